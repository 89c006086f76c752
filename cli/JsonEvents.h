// Machine-readable events: one JSON object per line (JSON Lines) on
// standard output, each with its port and a UTC timestamp.
//   {"event":"line","port":...,"time":...,"text":...,"level":"normal"|"debug"}
//   {"event":"progress","port":...,"time":...,"offset":...,"length":...,"served":...,"total":...}
//   {"event":"end","port":...,"time":...,"outcome":"succeeded"|"failed"|"cancelled",
//    "cause":null|"...","bytes":...,"seconds":...}
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "link/RunDriver.h"

namespace zel::cli {

class CJsonEvents {
 public:
  explicit CJsonEvents(std::FILE* out = stdout) : m_out(out) {}

  void Line(const std::string& port, const std::string& text, LineLevel level);
  void Progress(const std::string& port, uint32_t offset, uint32_t length, uint64_t served, uint64_t total);
  void End(const std::string& port, const CRunEnd& end, uint64_t bytes, double seconds);

 private:
  void Write(const std::string& json);

  std::mutex m_mutex;
  std::FILE* m_out;
};

// The outcome's name in events: "succeeded", "failed" or "cancelled".
const char* OutcomeName(RunOutcome outcome);

}  // namespace zel::cli
