// An image's SHA-256 taken on a helper thread while the box is served, so
// that a large image keeps no box waiting for its first reply. A byte is
// served only once it is in the digest (WaitHashed): what the box gets is
// what the digest covers, and the digest taken again at the end tells
// whether the image stayed so. The thread is joined by Wait or, stopped
// first, by the destructor: a run that ends early does not wait for it.
#pragma once

#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

#include "upgrade/ImageFile.h"
#include "upgrade/Sha256.h"

namespace zel {

class CImageDigest {
 public:
  // Starts hashing image, which must stay open until this object is gone.
  void Begin(const CImageFile& image);
  // Waits until the first bytes of the image are in the digest, or the
  // hashing has ended; false when stop came first.
  bool WaitHashed(uint64_t bytes, const std::stop_token& stop);
  // Waits for the whole digest; false when the image could not be read.
  bool Wait();
  // The digest, once Wait has returned true.
  const CSha256::Digest& Result() const { return m_digest; }

 private:
  void Hash(const CImageFile& image, const std::stop_token& stop);

  std::mutex m_mutex;
  std::condition_variable_any m_cv;
  uint64_t m_hashed = 0;     // bytes from the start in the digest so far
  bool m_bFinished = false;  // the hashing has ended, done or not
  bool m_bDone = false;      // ... with the whole image read
  CSha256::Digest m_digest{};
  std::jthread m_thread;  // last: stopped and joined before the rest goes
};

}  // namespace zel
