#include "upgrade/ImageFile.h"

#include <vector>

namespace zel {

bool CImageFile::Unchanged() {
  CStamp now;
  return IsOpen() && ReadStamp(now) && now == m_stamp;
}

bool CImageFile::Digest(CSha256::Digest& digest, const std::stop_token& stop,
                        const std::function<void(uint64_t)>& hashed) const {
  CSha256 hash;
  std::vector<uint8_t> block(256 * 1024);
  for (uint64_t offset = 0;;) {
    if (stop.stop_requested()) return false;
    const int64_t got = ReadBlock(block.data(), block.size(), offset, nullptr);
    if (got < 0) return false;
    if (got == 0) break;
    hash.Update(block.data(), static_cast<size_t>(got));
    offset += static_cast<uint64_t>(got);
    if (hashed) hashed(offset);
  }
  digest = hash.Finish();
  return true;
}

}  // namespace zel
