// Machine-readable events: one JSON object per line (JSON Lines) on
// standard output, each with its port and a UTC timestamp.
//   {"event":"line","port":...,"time":...,"text":...,"level":"normal"|"debug"}
//   {"event":"progress","port":...,"time":...,"offset":...,"length":...,"served":...,"total":...}
//   {"event":"end","port":...,"time":...,"outcome":"succeeded"|"failed"|"cancelled",
//    "cause":null|"...","bytes":...,"seconds":...,"coverage":0..1 (upgrades),"sha256":null|"..."}
//   {"event":"station","time":...,"succeeded":...,"failed":...,"cancelled":...,
//    "boxes":[{"port":...,"label":...,"outcome":...,"bytes":...,"seconds":...,"cause":...}]}
//   {"event":"port","name":...,"device":...,"com":null|"COM1",...} (boxfeed ports)
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cli/StationTable.h"
#include "run/RunDriver.h"
#include "serial/PortList.h"
#include "station/ResultsFile.h"

namespace zel::cli {

class CJsonEvents {
 public:
  explicit CJsonEvents(std::FILE* out = stdout) : m_out(out) {}

  void Line(const std::string& port, const std::string& text, LineLevel level);
  void Progress(const std::string& port, uint32_t offset, uint32_t length, uint64_t served, uint64_t total);
  void End(const std::string& port, const CRunEnd& end);
  // The close of a run of several ports: one entry per port.
  void Station(const std::vector<CStationBox>& boxes);
  // One port of the list; com: its COM name, or empty.
  void Port(const CPortInfo& port, const std::string& com);
  // An input refused before any port opened: what could not be done, and
  // why.
  void Error(const std::string& what, const std::string& cause);

 private:
  void Write(const std::string& json);

  std::mutex m_mutex;
  std::FILE* m_out;
};

}  // namespace zel::cli
