// A private file of the temporary directory that nobody else can open or
// change: made without a name on disk (removed at once, or deleted on
// close), and gone with the object. Each platform provides it in its own
// file. Reads and writes are positioned, so threads may share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

class CScratchFile {
 public:
  CScratchFile() = default;
  ~CScratchFile();
  CScratchFile(const CScratchFile&) = delete;
  CScratchFile& operator=(const CScratchFile&) = delete;

  // False, with the system's words in error, when no such file can be made.
  bool Create(std::string& error);
  // The whole count at offset; false with the system's words in error.
  bool WriteAt(const uint8_t* data, size_t count, uint64_t offset, std::string& error);
  bool ReadAt(uint8_t* data, size_t count, uint64_t offset, std::string& error) const;

 private:
  static constexpr intptr_t kNoHandle = -1;
  intptr_t m_handle = kNoHandle;
};

}  // namespace zel
