// A pseudo-terminal in raw mode standing in for a serial line: the tool
// opens the slave by its path, exactly as it would open a USB adapter;
// whoever plays the far end (the simulated box, a benchmark, a test) holds
// the master, which is non-blocking. Both ends are close-on-exec, so a
// program started meanwhile holds neither.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zel::sim {

class CPtyLine {
 public:
  CPtyLine();  // throws std::runtime_error when no pseudo-terminal can be had
  ~CPtyLine();
  CPtyLine(const CPtyLine&) = delete;
  CPtyLine& operator=(const CPtyLine&) = delete;

  const std::string& Port() const { return m_port; }
  int Master() const { return m_master; }
  int Slave() const { return m_slave; }

  // Hands the master to the caller, who closes it.
  int ReleaseMaster();
  // Hangs up the far end, as an unplugged adapter does.
  void CloseMaster();
  // Until someone opens the port again, the master then sees a hang-up.
  void CloseSlave();

  // Writes all of bytes; false when the line took none for timeoutMs.
  bool WriteMaster(const std::vector<uint8_t>& bytes, int timeoutMs = 10000);
  // Reads count bytes, or what came before nothing more did for timeoutMs.
  std::vector<uint8_t> ReadMaster(size_t count, int timeoutMs = 10000);
  // Everything the master can read now.
  std::vector<uint8_t> DrainMaster();

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_port;
};

}  // namespace zel::sim
