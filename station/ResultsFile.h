// The results file of a production line: one JSON object per box, on a
// line of its own, appended as each box ends, so that the line's own
// shipper can collect the records of every PC. Each record goes in with
// one write to a file opened for appending only, so that several
// processes may share one file without tearing each other's lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run/RunOutcome.h"
#include "serial/PortList.h"
#include "station/Station.h"

namespace zel {

// The outcome's name in events and records: "succeeded", "failed" or
// "cancelled".
const char* OutcomeName(RunOutcome outcome);
// Now, as 2026-12-07T01:50:12.345Z: the clock of events, records and logs.
std::string UtcTimestamp();

struct CBoxRecord {
  std::string started, ended;  // as UtcTimestamp gives them
  std::string port, alias;     // the path given, and its NAME= (empty when none)
  std::string vidPid, serial;  // the adapter's, where the listing knows them
  std::string imagePath;
  uint64_t imageSize = 0;
  std::string imageSha256;  // empty when the image was never opened
  uint64_t bytesServed = 0;
  double coverage = 0;  // distinct bytes of the image served over its size
  RunOutcome outcome = RunOutcome::Failed;
  std::string cause;  // the failure's words; empty for none
};

// The record as one line of JSON, with its line end. Unknown fields are
// null; a name that is not UTF-8 keeps its bytes: each byte outside UTF-8
// is written \xHH, and its backslashes are doubled.
std::string RecordLine(const CBoxRecord& record);

// A box's record as its run starts: the image, the port, its alias (when
// the operator named it) and the adapter the listing knows at its path.
CBoxRecord RecordAtStart(const std::string& imagePath, uint64_t imageSize, const std::string& imageSha256,
                         const CStationPort& port, bool named, const std::vector<CPortInfo>& present);
// The same completed with the run's end, now.
CBoxRecord RecordAtEnd(CBoxRecord record, const CRunEnd& end);

// Appends line to the file at path (made if missing) with one write;
// false with the system's words in error.
bool AppendLine(const std::string& path, const std::string& line, std::string& error);

}  // namespace zel
