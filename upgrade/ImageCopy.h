// The image as a run serves it: read once from the file when the run (or
// the station) starts, hashed as it is read, and kept in memory or, for a
// large image, in a private scratch file. Every reply is served from this
// copy, so nothing done to the file on disk afterwards changes what a box
// gets, and the SHA-256 on record is the SHA-256 of the bytes served. One
// copy may serve every port of a station (share it with shared_ptr).
//
// The reading runs on a helper thread, so that a large image keeps no box
// waiting for its first reply: a byte may be served once WaitCopied says
// it is in. The thread is stopped and joined by the destructor.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "run/FailureCause.h"
#include "run/RunInput.h"
#include "upgrade/ImageFile.h"
#include "upgrade/ScratchFile.h"
#include "upgrade/Sha256.h"

namespace zel {

class CImageCopy final : public CRunInput {
 public:
  struct COptions {
    // Images up to this size are held in memory, larger ones in a
    // scratch file.
    uint64_t inMemoryLimit = uint64_t{256} << 20;
    // Images up to this size are read before Take returns; a thread would
    // cost more than it saves.
    uint64_t readAtOnce = uint64_t{1} << 20;
    // Called on the copying thread after each block with the bytes copied
    // so far (tests change the file there).
    std::function<void(uint64_t)> afterBlock;
    // Called on a reader's thread when it must wait for bytes not yet
    // copied, with the count it waits for (tests hold the copy back until
    // a reader has come to wait).
    std::function<void(uint64_t)> onWait;
  };

  // Opens path and starts copying it; null, with why in failure, when the
  // file cannot be opened, is no regular file, is empty or is larger than
  // 4 GiB (offsets are 32-bit: no box can ask past that). Its size is the file's at
  // this moment: a file that then shrinks or changes before it has been
  // read whole fails the copy.
  static std::shared_ptr<CImageCopy> Take(const std::string& path, CFailureCause& failure,
                                          const COptions& options);
  static std::shared_ptr<CImageCopy> Take(const std::string& path, CFailureCause& failure) {
    return Take(path, failure, COptions());
  }
  ~CImageCopy() override;
  CImageCopy(const CImageCopy&) = delete;
  CImageCopy& operator=(const CImageCopy&) = delete;

  const std::string& Path() const override { return m_path; }
  uint64_t Size() const override { return m_size; }
  // Waits until the first bytes of the image are in the copy and its
  // digest; false when stop came first or the copy failed before them.
  bool WaitCopied(uint64_t bytes, const std::stop_token& stop);
  // Waits for the whole copy; false when stop came first or it failed.
  bool WaitWhole(const std::stop_token& stop);
  // Why the copy failed; none while it goes well.
  CFailureCause Failure() const;
  // The SHA-256 of the whole image in lower-case hex; empty until it has
  // been copied whole.
  std::string Sha256() const override;
  // Bytes of the copy, all before what WaitCopied returned true for; false
  // with the cause in failure when the scratch file could not be read.
  bool ReadAt(uint8_t* data, size_t count, uint64_t offset, CFailureCause& failure) const;
  // Whether the file on disk looks other than when it was read: another
  // size or time of last change, or no file. A hint for the operator; what
  // is served is this copy whatever the answer.
  bool FileChangedSince() const override;

 private:
  CImageCopy() = default;
  void Copy(CImageFile& file, const std::stop_token& stop, const std::function<void(uint64_t)>& afterBlock);
  void Fail(CFailureCause cause);

  std::string m_path;
  uint64_t m_size = 0;
  CImageFile::CStamp m_stamp;               // the file's when the copy began
  std::vector<uint8_t> m_memory;            // the copy, when it is held in memory
  std::unique_ptr<CScratchFile> m_scratch;  // ... else here

  mutable std::mutex m_mutex;
  std::condition_variable_any m_cv;
  uint64_t m_copied = 0;     // bytes from the start in the copy and the digest
  bool m_bFinished = false;  // the copy has ended, whole or not
  CFailureCause m_failure;
  std::string m_sha256;
  std::function<void(uint64_t)> m_onWait;
  std::jthread m_thread;  // last: stopped and joined before the rest goes
};

}  // namespace zel
