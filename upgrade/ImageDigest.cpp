#include "upgrade/ImageDigest.h"

#include "run/StoppableWait.h"

namespace zel {

void CImageDigest::Hash(const CImageFile& image, const std::stop_token& stop) {
  CSha256::Digest digest;
  const bool done = image.Digest(digest, stop, [this](uint64_t hashed) {
    {
      std::lock_guard lock(m_mutex);
      m_hashed = hashed;
    }
    m_cv.notify_all();
  });
  {
    std::lock_guard lock(m_mutex);
    m_digest = digest;
    m_bDone = done;
    m_bFinished = true;
  }
  m_cv.notify_all();
}

void CImageDigest::Begin(const CImageFile& image) {
  // A small image is hashed at once: a thread would cost more than it saves.
  constexpr uint64_t kHashAtOnce = 1 << 20;
  if (image.Size() <= kHashAtOnce) {
    Hash(image, {});
    return;
  }
  try {
    m_thread = std::jthread([this, &image](std::stop_token stop) { Hash(image, stop); });
  } catch (const std::system_error&) {
    Hash(image, {});  // no thread to be had: here, then
  }
}

bool CImageDigest::WaitHashed(uint64_t bytes, const std::stop_token& stop) {
  std::unique_lock lock(m_mutex);
  return StoppableWait(
      lock, m_cv, [&] { return m_bFinished || m_hashed >= bytes; }, stop);
}

bool CImageDigest::Wait() {
  if (m_thread.joinable()) m_thread.join();
  std::lock_guard lock(m_mutex);
  return m_bDone;
}

}  // namespace zel
