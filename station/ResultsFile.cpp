#include "station/ResultsFile.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>

#include "run/Platform.h"
#include "station/StationPorts.h"

namespace zel {
namespace {

using Json = nlohmann::ordered_json;  // the fields in the order a person reads them

// The length of the valid UTF-8 sequence at text[at], or 0 for none.
size_t Utf8SequenceAt(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  const unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
      (lead == 0xF4 && second > 0x8F))
    return 0;  // overlong, a surrogate, or past U+10FFFF
  return length;
}

// A name as the system gave it: UTF-8 as it is; a name that is not keeps
// its bytes, each byte outside UTF-8 written \xHH and each backslash
// doubled, so that nothing is lost or confused.
std::string KeepBytes(const std::string& text) {
  bool valid = true;
  for (size_t at = 0; at < text.size() && valid;) {
    const size_t length = Utf8SequenceAt(text, at);
    valid = length != 0;
    at += length;
  }
  if (valid) return text;
  std::string kept;
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceAt(text, at);
    if (length == 0) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[at]));
      kept += escaped;
      ++at;
    } else if (text[at] == '\\') {
      kept += "\\\\";
      ++at;
    } else {
      kept.append(text, at, length);
      at += length;
    }
  }
  return kept;
}

Json Text(const std::string& text) { return Json(KeepBytes(text)); }
Json TextOrNull(const std::string& text) { return text.empty() ? Json() : Text(text); }

}  // namespace

const char* OutcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Succeeded: return "succeeded";
    case RunOutcome::Cancelled: return "cancelled";
    case RunOutcome::Failed: break;
  }
  return "failed";
}

CRecordOrigin RecordOrigin(const std::string& station) {
  CRecordOrigin origin;
  origin.host = HostName();
  origin.station = station.empty() ? origin.host : station;
  origin.toolVersion = BOXFEEDER_VERSION;
  return origin;
}

std::string NewRunId() {
  static std::mutex mutex;
  static std::mt19937_64 random{[] {
    std::random_device device;
    return (uint64_t{device()} << 32) ^ device() ^
           static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  }()};
  std::lock_guard lock(mutex);
  uint64_t high = random(), low = random();
  high = (high & ~uint64_t{0xF000}) | 0x4000;                    // version 4
  low = (low & ~(uint64_t{0xC} << 60)) | (uint64_t{0x8} << 60);  // the RFC's variant
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
  return text;
}

std::string RecordLine(const CBoxRecord& record) {
  const Json line{
      {"runId", record.runId},
      {"started", record.started},
      {"ended", record.ended},
      {"seconds", std::round(record.seconds * 1000) / 1000},
      {"host", TextOrNull(record.origin.host)},
      {"station", TextOrNull(record.origin.station)},
      {"toolVersion", record.origin.toolVersion},
      {"port", Text(record.port)},
      {"alias", TextOrNull(record.alias)},
      {"byPath", TextOrNull(record.byPath)},
      {"vidPid", TextOrNull(record.vidPid)},
      {"serial", TextOrNull(record.serial)},
      {"image", Text(record.imagePath)},
      {"imageSize", record.imageSize},
      {"imageSha256", TextOrNull(record.imageSha256)},
      {"bytesServed", record.bytesServed},
      {"coverage", record.coverage},
      {"outcome", OutcomeName(record.outcome)},
      {"cause", TextOrNull(record.cause)},
  };
  return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

CBoxRecord RecordAtStart(const CRecordOrigin& origin, const std::string& imagePath, uint64_t imageSize,
                         const std::string& imageSha256, const CStationPort& port, bool aliasShown,
                         const std::vector<CPortInfo>& present) {
  CBoxRecord record;
  record.runId = NewRunId();
  record.started = UtcTimestamp();
  record.origin = origin;
  record.port = port.path;
  if (aliasShown) record.alias = port.label;
  if (const CPortInfo* adapter = FindPort(present, port.path)) {
    record.byPath = adapter->byPath;
    record.vidPid = adapter->vidPid;
    record.serial = adapter->serial;
  }
  record.imagePath = AbsolutePath(imagePath);
  record.imageSize = imageSize;
  record.imageSha256 = imageSha256;
  return record;
}

CBoxRecord RecordAtEnd(CBoxRecord record, const CRunEnd& end) {
  record.ended = UtcTimestamp();
  record.seconds = end.figures.seconds;
  if (!end.imageSha256.empty()) record.imageSha256 = end.imageSha256;  // as the run served it
  record.bytesServed = end.figures.bytes;
  record.coverage = Coverage(end.figures);
  if (end.figures.imageBytes != 0) record.imageSize = end.figures.imageBytes;
  record.outcome = end.outcome;
  record.cause = end.outcome == RunOutcome::Failed ? CauseWords(end.cause) : std::string();
  return record;
}

}  // namespace zel
