// Which bytes of an image have been served, as ranges merged as they come,
// so that a box asking for the same bytes twice counts them once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>

namespace zel {

class CServedRanges {
 public:
  void Clear() {
    m_ranges.clear();
    m_total = 0;
  }
  // Adds [begin, end).
  void Add(uint64_t begin, uint64_t end) {
    if (begin >= end) return;
    auto it = m_ranges.upper_bound(begin);
    if (it != m_ranges.begin() && std::prev(it)->second >= begin) --it;
    while (it != m_ranges.end() && it->first <= end) {
      begin = std::min(begin, it->first);
      end = std::max(end, it->second);
      m_total -= it->second - it->first;
      it = m_ranges.erase(it);
    }
    m_ranges.emplace(begin, end);
    m_total += end - begin;
  }
  // Distinct bytes served.
  uint64_t Total() const { return m_total; }

 private:
  std::map<uint64_t, uint64_t> m_ranges;  // begin -> end, disjoint and apart
  uint64_t m_total = 0;
};

}  // namespace zel
