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
#include "run/RunSummary.h"
#include "serial/PortList.h"
#include "station/Station.h"

namespace zel {

// The outcome's name in events and records: "succeeded", "failed" or
// "cancelled".
const char* OutcomeName(RunOutcome outcome);

// Who writes the records: the same for every box of a process.
struct CRecordOrigin {
  std::string host;         // this computer's name
  std::string station;      // the station's name (--station-name), the host's by default
  std::string toolVersion;  // the program's version
};

// The origin of this process's records: station empty for the host's name.
CRecordOrigin RecordOrigin(const std::string& station);

struct CBoxRecord {
  std::string runId;           // unique per box, so that a record sent twice is known as one
  std::string started, ended;  // as UtcTimestamp gives them
  double seconds = 0;          // from the box's first request to the end; 0 when it asked for none
  CRecordOrigin origin;
  std::string port, alias;     // the path given, and its label where one is shown (empty when none)
  std::string byPath;          // the port's /dev/serial/by-path socket, where it has one
  std::string vidPid, serial;  // the adapter's, where the listing knows them
  std::string imagePath;       // absolute
  uint64_t imageSize = 0;
  std::string imageSha256;  // empty when the image was never opened
  uint64_t bytesServed = 0;
  double coverage = 0;  // distinct bytes of the image served over its size
  RunOutcome outcome = RunOutcome::Failed;
  std::string cause;  // the failure's words; empty for none
};

// 128 random bits in the form of a UUID (version 4).
std::string NewRunId();

// The record as one line of JSON, with its line end. Unknown fields are
// null; a name that is not UTF-8 keeps its bytes: each byte outside UTF-8
// is written \xHH, and its backslashes are doubled.
std::string RecordLine(const CBoxRecord& record);

// A box's record as its run starts: a new run id, the image (its path
// made absolute), the port, its label when aliasShown (the operator sees
// it beside the box) and the adapter the listing knows at its path.
CBoxRecord RecordAtStart(const CRecordOrigin& origin, const std::string& imagePath, uint64_t imageSize,
                         const std::string& imageSha256, const CStationPort& port, bool aliasShown,
                         const std::vector<CPortInfo>& present);
// The same completed with the run's end, now.
CBoxRecord RecordAtEnd(CBoxRecord record, const CRunEnd& end);

// Appends line to the file at path (made if missing) with one write;
// false with the system's words in error.
bool AppendLine(const std::string& path, const std::string& line, std::string& error);

}  // namespace zel
