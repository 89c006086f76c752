// A progress bar's 32-bit range and position, as the dialog sets them, and
// the same shown on a bar that counts in int: larger ranges scaled down.
#pragma once

#include <algorithm>
#include <cstdint>

namespace zel {

class CProgressModel {
 public:
  void SetRange(uint32_t upper) {
    m_upper = upper;
    m_pos = std::min(m_pos, upper);
  }
  void SetPos(uint32_t pos) { m_pos = std::min(pos, m_upper); }
  // A step, which stops at the end of the range.
  void Offset(uint32_t delta) {
    m_pos = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{m_pos} + delta, m_upper));
  }
  uint32_t Upper() const { return m_upper; }
  uint32_t Pos() const { return m_pos; }
  int ShownMaximum() const { return static_cast<int>(m_upper / Scale()); }
  int ShownValue() const { return static_cast<int>(m_pos / Scale()); }

 private:
  uint32_t Scale() const { return m_upper / 0x7FFFFFFFu + 1; }
  uint32_t m_upper = 100;
  uint32_t m_pos = 0;
};

}  // namespace zel
