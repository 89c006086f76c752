// The image file, open for reading: its size and positioned reads. Each
// platform provides it in its own file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

#include "run/FailureCause.h"
#include "upgrade/Sha256.h"

namespace zel {

class CImageFile {
 public:
  CImageFile() = default;
  ~CImageFile();
  CImageFile(const CImageFile&) = delete;
  CImageFile& operator=(const CImageFile&) = delete;

  // Opens a regular file for reading; false, with Failure() saying why,
  // when it is missing, unreadable, or not a regular file (a FIFO or a
  // device would block or never end).
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return m_handle != kNoHandle; }
  uint64_t Size() const { return m_size; }
  const std::string& Path() const { return m_path; }
  // Reads up to count bytes at offset, fewer only at the end of the file;
  // returns the bytes read, or -1 on a read error (Failure() says why).
  int64_t ReadAt(uint8_t* buffer, size_t count, uint64_t offset) {
    return ReadBlock(buffer, count, offset, &m_failure);
  }
  const CFailureCause& Failure() const { return m_failure; }

  // True while the file is as it was at Open: the same size and the same
  // last modification. A copy over the image, a truncation and a rewrite
  // in place each change one of them.
  bool Unchanged();
  // The SHA-256 of the whole file as it reads now; false on a read error
  // or when stop was requested first. It changes nothing of the object, so
  // a helper thread may take it while the owner serves reads; hashed hears
  // how many bytes from the start are in the digest so far.
  bool Digest(CSha256::Digest& digest, const std::stop_token& stop = {},
              const std::function<void(uint64_t)>& hashed = {}) const;

  struct CStamp {
    uint64_t size = 0;
    int64_t modified = 0;  // the platform's time stamp, at its finest
    bool operator==(const CStamp&) const = default;
  };
  // The file's size and last change as Open found them.
  const CStamp& Stamp() const { return m_stamp; }
  // The same of the file at path now, without opening it (so that nobody
  // copying over it meets a file in use); false when there is none.
  static bool StampOf(const std::string& path, CStamp& stamp);

 private:
  // The file's stamp now; false when the system cannot say.
  bool ReadStamp(CStamp& stamp) const;
  // Positioned read; on a read error -1, with the cause in failure.
  int64_t ReadBlock(uint8_t* buffer, size_t count, uint64_t offset, CFailureCause* failure) const;

  static constexpr intptr_t kNoHandle = -1;
  intptr_t m_handle = kNoHandle;  // the platform's file descriptor or handle
  uint64_t m_size = 0;
  CStamp m_stamp;
  std::string m_path;
  CFailureCause m_failure;
};

}  // namespace zel
