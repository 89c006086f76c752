#include "upgrade/ImageCopy.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "run/StoppableWait.h"
#include "upgrade/ImageFile.h"

namespace zel {
namespace {

constexpr size_t kBlock = 256 * 1024;
constexpr uint64_t kLargestImage = uint64_t{1} << 32;

}  // namespace

std::shared_ptr<CImageCopy> CImageCopy::Take(const std::string& path, CFailureCause& failure,
                                             const COptions& options) {
  auto image = std::make_shared<CImageFile>();
  if (!image->Open(path)) {
    failure = image->Failure();
    return nullptr;
  }
  if (image->Size() == 0 || image->Size() > kLargestImage) {
    failure = {CauseKind::Unreadable, path,
               image->Size() == 0 ? "the image is empty"
                                  : "the image is larger than 4 GiB, past what the box can ask for"};
    return nullptr;
  }
  std::shared_ptr<CImageCopy> copy(new CImageCopy);
  copy->m_path = path;
  copy->m_size = image->Size();
  copy->m_stamp = image->Stamp();
  copy->m_onWait = options.onWait;
  if (copy->m_size <= options.inMemoryLimit) {
    try {
      copy->m_memory.resize(static_cast<size_t>(copy->m_size));
    } catch (const std::bad_alloc&) {
      // Too large for this machine's memory: the scratch file, then.
    }
  }
  if (copy->m_memory.size() != copy->m_size) {
    copy->m_scratch = std::make_unique<CScratchFile>();
    std::string error;
    if (!copy->m_scratch->Create(error)) {
      failure = {CauseKind::Other, path, "no room for its copy: " + error};
      return nullptr;
    }
  }
  if (copy->m_size <= options.readAtOnce) {
    copy->Copy(*image, {}, options.afterBlock);
    return copy;
  }
  try {
    // The copying owns the file from here, and closes it once read.
    copy->m_thread = std::jthread([raw = copy.get(), file = image, afterBlock = options.afterBlock](
                                      std::stop_token stop) { raw->Copy(*file, stop, afterBlock); });
  } catch (const std::system_error&) {
    copy->Copy(*image, {}, options.afterBlock);  // no thread to be had: here, then
  }
  return copy;
}

CImageCopy::~CImageCopy() = default;

void CImageCopy::Fail(CFailureCause cause) {
  {
    std::lock_guard lock(m_mutex);
    m_failure = std::move(cause);
    m_bFinished = true;
  }
  m_cv.notify_all();
}

void CImageCopy::Copy(CImageFile& file, const std::stop_token& stop,
                      const std::function<void(uint64_t)>& afterBlock) {
  CSha256 hash;
  std::vector<uint8_t> block(kBlock);
  for (uint64_t offset = 0; offset < m_size;) {
    if (stop.stop_requested()) return Fail({CauseKind::Other, m_path, "the copy was stopped"});
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlock, m_size - offset));
    const int64_t got = file.ReadAt(block.data(), want, offset);
    if (got < 0) return Fail(file.Failure());
    if (static_cast<size_t>(got) != want)
      return Fail({CauseKind::ImageChanged, m_path, "it shrank while it was read"});
    hash.Update(block.data(), want);
    if (m_scratch) {
      std::string error;
      if (!m_scratch->WriteAt(block.data(), want, offset, error))
        return Fail({CauseKind::Other, m_path, "its copy could not be written: " + error});
    } else {
      std::memcpy(m_memory.data() + offset, block.data(), want);
    }
    offset += want;
    {
      std::lock_guard lock(m_mutex);
      m_copied = offset;
    }
    m_cv.notify_all();
    if (afterBlock) afterBlock(offset);
  }
  // Read whole: the file must still be what it was when the copy began,
  // not grown nor rewritten meanwhile, or the copy is of no one image.
  uint8_t past = 0;
  if (file.ReadAt(&past, 1, m_size) != 0 || !file.Unchanged())
    return Fail({CauseKind::ImageChanged, m_path, {}});
  file.Close();
  {
    std::lock_guard lock(m_mutex);
    m_sha256 = CSha256::Hex(hash.Finish());
    m_bFinished = true;
  }
  m_cv.notify_all();
}

bool CImageCopy::WaitCopied(uint64_t bytes, const std::stop_token& stop) {
  std::unique_lock lock(m_mutex);
  if (m_onWait && !m_bFinished && m_copied < bytes) m_onWait(bytes);
  if (!StoppableWait(
          lock, m_cv, [&] { return m_bFinished || m_copied >= bytes; }, stop))
    return false;
  return m_copied >= bytes;
}

bool CImageCopy::WaitWhole(const std::stop_token& stop) {
  std::unique_lock lock(m_mutex);
  if (!StoppableWait(
          lock, m_cv, [&] { return m_bFinished; }, stop))
    return false;
  return !m_failure;
}

std::string CImageCopy::Sha256() const {
  std::lock_guard lock(m_mutex);
  return m_sha256;
}

CFailureCause CImageCopy::Failure() const {
  std::lock_guard lock(m_mutex);
  return m_failure;
}

bool CImageCopy::ReadAt(uint8_t* data, size_t count, uint64_t offset, CFailureCause& failure) const {
  if (!m_scratch) {
    std::memcpy(data, m_memory.data() + offset, count);
    return true;
  }
  std::string error;
  if (m_scratch->ReadAt(data, count, offset, error)) return true;
  failure = {CauseKind::Unreadable, m_path, "its copy could not be read: " + error};
  return false;
}

bool CImageCopy::FileChangedSince() const {
  CImageFile::CStamp now;
  return !CImageFile::StampOf(m_path, now) || now != m_stamp;
}

}  // namespace zel
