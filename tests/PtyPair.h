// A pseudo-terminal for tests: the code under test opens the slave by its
// path, exactly as it would open a USB adapter; the test plays the far end
// on the master.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zel::test {

class CPtyPair {
 public:
  CPtyPair();
  ~CPtyPair();
  CPtyPair(const CPtyPair&) = delete;
  CPtyPair& operator=(const CPtyPair&) = delete;

  const std::string& SlavePath() const { return m_slavePath; }
  int Master() const { return m_master; }
  int Slave() const { return m_slave; }

  void WriteMaster(const std::vector<uint8_t>& bytes);
  // Reads exactly count bytes from the master (the test fails after 10 s).
  std::vector<uint8_t> ReadMaster(size_t count);
  // Everything the master can read now.
  std::vector<uint8_t> DrainMaster();
  // Hangs up the far end, as an unplugged adapter does.
  void CloseMaster();

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_slavePath;
};

}  // namespace zel::test
