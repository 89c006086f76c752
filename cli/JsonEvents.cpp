#include "cli/JsonEvents.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace zel::cli {
namespace {

using nlohmann::json;

// Now, as 2026-12-07T01:50:12.345Z.
std::string UtcNow() {
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

json Event(const char* name, const std::string& port) {
  return json{{"event", name}, {"port", port}, {"time", UtcNow()}};
}

}  // namespace

const char* OutcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Succeeded: return "succeeded";
    case RunOutcome::Cancelled: return "cancelled";
    case RunOutcome::Failed: break;
  }
  return "failed";
}

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

void CJsonEvents::End(const std::string& port, const CRunEnd& end, uint64_t bytes, double seconds) {
  json event = Event("end", port);
  event["outcome"] = OutcomeName(end.outcome);
  const std::string cause = DescribeCause(end.cause);
  event["cause"] = cause.empty() ? json(nullptr) : json(cause.substr(cause.find(": ") + 2));
  event["bytes"] = bytes;
  event["seconds"] = seconds;
  Write(event.dump(-1, ' ', false, json::error_handler_t::replace));
}

}  // namespace zel::cli
