#include "station/ResultsFile.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "station/StationPorts.h"

namespace zel {
namespace {

using Json = nlohmann::ordered_json;  // the fields in the order a person reads them

Json TextOrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

}  // namespace

std::string UtcTimestamp() {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
  return text;
}

const char* OutcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Succeeded: return "succeeded";
    case RunOutcome::Cancelled: return "cancelled";
    case RunOutcome::Failed: break;
  }
  return "failed";
}

std::string RecordLine(const CBoxRecord& record) {
  const Json line{
      {"started", record.started},
      {"ended", record.ended},
      {"port", record.port},
      {"alias", TextOrNull(record.alias)},
      {"vidPid", TextOrNull(record.vidPid)},
      {"serial", TextOrNull(record.serial)},
      {"image", record.imagePath},
      {"imageSize", record.imageSize},
      {"imageSha256", TextOrNull(record.imageSha256)},
      {"bytesServed", record.bytesServed},
      {"coverage", record.coverage},
      {"outcome", OutcomeName(record.outcome)},
      {"cause", TextOrNull(record.cause)},
  };
  return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

CBoxRecord RecordAtStart(const std::string& imagePath, uint64_t imageSize, const std::string& imageSha256,
                         const CStationPort& port, bool named, const std::vector<CPortInfo>& present) {
  CBoxRecord record;
  record.started = UtcTimestamp();
  record.port = port.path;
  if (named) record.alias = port.label;
  if (const CPortInfo* adapter = FindPort(present, port.path)) {
    record.vidPid = adapter->vidPid;
    record.serial = adapter->serial;
  }
  record.imagePath = imagePath;
  record.imageSize = imageSize;
  record.imageSha256 = imageSha256;
  return record;
}

CBoxRecord RecordAtEnd(CBoxRecord record, const CRunEnd& end) {
  record.ended = UtcTimestamp();
  if (!end.imageSha256.empty()) record.imageSha256 = end.imageSha256;  // as the run served it
  record.bytesServed = end.figures.bytes;
  record.coverage = Coverage(end.figures);
  if (end.figures.imageBytes != 0) record.imageSize = end.figures.imageBytes;
  record.outcome = end.outcome;
  record.cause = end.outcome == RunOutcome::Failed ? CauseWords(end.cause) : std::string();
  return record;
}

}  // namespace zel
