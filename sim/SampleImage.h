// Deterministic image bytes that differ at every offset of a small image:
// what the demo, the benchmarks and the tests load when no real image is at
// hand. Different seeds give different images of one size.
#pragma once

#include <cstdint>
#include <vector>

namespace zel::sim {

inline std::vector<uint8_t> SampleImage(size_t size, uint32_t seed = 7) {
  std::vector<uint8_t> image(size);
  uint32_t x = seed;
  for (auto& b : image) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return image;
}

}  // namespace zel::sim
