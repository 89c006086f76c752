#include "cli/JsonEvents.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

namespace zel::cli {

using nlohmann::json;

namespace {

json Event(const char* name, const std::string& port) {
  return json{{"event", name}, {"port", port}, {"time", UtcTimestamp()}};
}

}  // namespace

void CJsonEvents::Write(const std::string& text) {
  std::lock_guard lock(m_mutex);
  std::fputs(text.c_str(), m_out);
  std::fputc('\n', m_out);
  std::fflush(m_out);
}

void CJsonEvents::Line(const std::string& port, const std::string& text, LineLevel level) {
  json event = Event("line", port);
  event["text"] = text;
  event["level"] = level == LineLevel::Debug ? "debug" : "normal";
  // Lines come from the box's world: bytes that are no UTF-8 are replaced.
  Write(event.dump(-1, ' ', false, json::error_handler_t::replace));
}

void CJsonEvents::Progress(const std::string& port, uint32_t offset, uint32_t length, uint64_t served,
                           uint64_t total) {
  json event = Event("progress", port);
  event["offset"] = offset;
  event["length"] = length;
  event["served"] = served;
  event["total"] = total;
  Write(event.dump());
}

namespace {

json CauseValue(const CFailureCause& cause) {
  const std::string words = CauseWords(cause);
  return words.empty() ? json(nullptr) : json(words);
}

}  // namespace

void CJsonEvents::End(const std::string& port, const CRunEnd& end) {
  json event = Event("end", port);
  event["outcome"] = OutcomeName(end.outcome);
  event["cause"] = CauseValue(end.cause);
  event["bytes"] = end.figures.bytes;
  event["seconds"] = end.figures.seconds;
  if (end.figures.imageBytes != 0) event["coverage"] = Coverage(end.figures);
  event["sha256"] = end.imageSha256.empty() ? json(nullptr) : json(end.imageSha256);
  Write(event.dump(-1, ' ', false, json::error_handler_t::replace));
}

void CJsonEvents::Error(const std::string& what, const std::string& cause) {
  Write(json{{"event", "error"}, {"time", UtcTimestamp()}, {"what", what}, {"cause", cause}}.dump(
      -1, ' ', false, json::error_handler_t::replace));
}

void CJsonEvents::Station(const std::vector<CStationBox>& boxes) {
  json event{{"event", "station"}, {"time", UtcTimestamp()}};
  std::map<RunOutcome, int> counts;
  json list = json::array();
  for (const CStationBox& box : boxes) {
    ++counts[box.end.outcome];
    list.push_back({{"port", box.port},
                    {"label", box.label},
                    {"outcome", OutcomeName(box.end.outcome)},
                    {"bytes", box.end.figures.bytes},
                    {"seconds", box.end.figures.seconds},
                    {"cause", CauseValue(box.end.cause)}});
  }
  event["succeeded"] = counts[RunOutcome::Succeeded];
  event["failed"] = counts[RunOutcome::Failed];
  event["cancelled"] = counts[RunOutcome::Cancelled];
  event["boxes"] = list;
  Write(event.dump(-1, ' ', false, json::error_handler_t::replace));
}

void CJsonEvents::Port(const CPortInfo& port, const std::string& com) {
  const auto textOrNull = [](const std::string& text) { return text.empty() ? json(nullptr) : json(text); };
  json event{{"event", "port"},
             {"name", port.name},
             {"device", port.device},
             {"byPath", textOrNull(port.byPath)},
             {"com", textOrNull(com)},
             {"vidPid", textOrNull(port.vidPid)},
             {"manufacturer", textOrNull(port.manufacturer)},
             {"product", textOrNull(port.product)},
             {"serial", textOrNull(port.serial)},
             {"busy", port.busy},
             {"heldBy", textOrNull(port.heldBy)},
             {"permissionDenied", port.permissionDenied},
             {"latencyTimerMs", port.latencyTimerMs >= 0 ? json(port.latencyTimerMs) : json(nullptr)}};
  Write(event.dump(-1, ' ', false, json::error_handler_t::replace));
}

}  // namespace zel::cli
