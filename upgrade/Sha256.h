// SHA-256 (FIPS 180-4), so that a line can prove which image each box got
// and the engine can tell when an image changed under a transfer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

class CSha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  CSha256();
  void Update(const uint8_t* data, size_t size);
  // The digest of everything given; the object is spent afterwards.
  Digest Finish();

  // Lower-case hexadecimal, 64 characters.
  static std::string Hex(const Digest& digest);

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> m_state;
  std::array<uint8_t, 64> m_block{};
  size_t m_used = 0;
  uint64_t m_length = 0;
};

}  // namespace zel
