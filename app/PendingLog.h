// Log text on its way to the window's log control. A traced transfer adds
// hundreds of lines a second: they reach the control together, at most
// every kFlushIntervalMs, so that it lays its text out and paints once for
// them. Whoever reads the control first takes what is pending; setting the
// control's whole text drops it; scrolling waits, since the flush brings
// the newest lines into view.
#pragma once

#include <string>
#include <utility>

namespace zel {

class CPendingLog {
 public:
  static constexpr int kFlushIntervalMs = 40;

  // Adds text; true when nothing was pending, so that the caller starts
  // its flush timer.
  bool Add(const std::string& text) {
    const bool first = m_text.empty();
    m_text += text;
    return first;
  }
  bool IsEmpty() const { return m_text.empty(); }
  std::string Take() { return std::exchange(m_text, {}); }
  void Drop() { m_text.clear(); }

 private:
  std::string m_text;
};

}  // namespace zel
