#include "cli/Console.h"

#include <algorithm>

#include "cli/Terminal.h"

namespace zel::cli {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::string Duration(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

int PercentOf(uint64_t part, uint64_t total) {
  if (total == 0) return 100;
  return static_cast<int>(part * 100 / total);
}

CConsole::CConsole(std::FILE* out, std::FILE* err) : m_out(out), m_err(err), m_bTerminal(IsTerminal(err)) {}

void CConsole::ClearBar() {
  if (!m_bBarShown) return;
  std::fputs("\r\033[K", m_err);
  m_bBarShown = false;
}

void CConsole::PrintLog(const std::string& line) {
  std::lock_guard lock(m_mutex);
  ClearBar();
  std::fprintf(m_out, "%s\n", line.c_str());
  std::fflush(m_out);
  DrawBar(true);
}

void CConsole::PrintRaw(const char* text) {
  std::lock_guard lock(m_mutex);
  ClearBar();
  std::fputs(text, m_out);
  std::fflush(m_out);
  DrawBar(true);
}

void CConsole::ShowMessage(const std::string& text) {
  std::lock_guard lock(m_mutex);
  ClearBar();
  std::fprintf(m_err, "%s\n", text.c_str());
  std::fflush(m_err);
  DrawBar(true);
}

void CConsole::BeginProgress(uint64_t total) {
  std::lock_guard lock(m_mutex);
  m_bActive = true;
  m_total = total;
  m_served = 0;
  m_percent = 0;
  m_lastPlainDecile = -1;
  m_start = std::chrono::steady_clock::now();
  m_lastAdvance = m_start;
  m_lastDraw = {};
}

void CConsole::Advance(uint64_t length) {
  std::lock_guard lock(m_mutex);
  if (!m_bActive) return;
  // The share of the image served so far: it only grows, whatever order
  // the box asks in (repeated blocks count again, up to the end).
  m_served = std::min(m_total, m_served + length);
  m_percent = PercentOf(m_served, m_total);
  m_lastAdvance = std::chrono::steady_clock::now();
  DrawBar(false);
}

void CConsole::EndProgress(bool complete) {
  std::lock_guard lock(m_mutex);
  if (!m_bActive) return;
  if (complete) {
    m_percent = 100;
    m_served = m_total;
  }
  DrawBar(true);
  if (m_bTerminal && m_bBarShown) std::fputs("\n", m_err);
  m_bBarShown = false;
  m_bActive = false;
}

void CConsole::DrawBar(bool force) {
  if (!m_bActive) return;
  const auto now = std::chrono::steady_clock::now();
  if (!m_bTerminal) {
    const int decile = m_percent / 10;
    if (decile != m_lastPlainDecile) {
      std::fprintf(m_err, "Progress: %d %%\n", m_percent);
      std::fflush(m_err);
      m_lastPlainDecile = decile;
    }
    return;
  }
  if (!force && now - m_lastDraw < kRedrawInterval) return;
  m_lastDraw = now;
  const double elapsed =
      std::chrono::duration<double>((m_bActive && m_served < m_total ? now : m_lastAdvance) - m_start)
          .count();
  const double rate = elapsed > 0 ? static_cast<double>(m_served) / elapsed : 0;
  const int filled = m_total ? static_cast<int>(m_served * kBarWidth / m_total) : kBarWidth;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kBarWidth, '.');
  const std::string left = rate > 0 ? Duration(static_cast<double>(m_total - m_served) / rate) + " left"
                                    : std::string("--:-- left");
  std::fprintf(m_err, "\r\033[K[%s] %3d %%  %llu/%llu bytes  %.1f KB/s  %s", bar.c_str(), m_percent,
               static_cast<unsigned long long>(m_served), static_cast<unsigned long long>(m_total),
               rate / 1000.0, left.c_str());
  std::fflush(m_err);
  m_bBarShown = true;
}

}  // namespace zel::cli
