// What a bar shows beside itself while a box loads: the share served, the
// speed so far and the time left at that speed. The command line's bars
// and the station window's tiles show the same figures.
#pragma once

#include <cstdint>
#include <string>

namespace zel {

// part * 100 / total, truncated, without overflow; 100 for an empty image.
int PercentOf(uint64_t part, uint64_t total);

// "42 %  5.6 KB/s", and "  0:12 left" while bytes remain (or "--:-- left"
// before the speed is known); elapsed in seconds since the first request.
std::string TransferFigures(uint64_t served, uint64_t total, double elapsed, bool finished);

}  // namespace zel
