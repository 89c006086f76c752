// The image file, open for reading: its size and positioned reads. Each
// platform provides it in its own file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/FailureCause.h"

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
  // Reads up to count bytes at offset, fewer only at the end of the file;
  // returns the bytes read, or -1 on a read error (Failure() says why).
  int64_t ReadAt(uint8_t* buffer, size_t count, uint64_t offset);
  const CFailureCause& Failure() const { return m_failure; }

 private:
  static constexpr intptr_t kNoHandle = -1;
  intptr_t m_handle = kNoHandle;  // the platform's file descriptor or handle
  uint64_t m_size = 0;
  std::string m_path;
  CFailureCause m_failure;
};

}  // namespace zel
