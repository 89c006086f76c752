// The --json event writer fed any line text and port name: every event is
// one line of JSON that parses back, and text that was UTF-8 comes back
// unchanged.
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/JsonEvents.h"

namespace {

bool IsUtf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string port = split == std::string::npos ? "COM1" : input.substr(0, split);
  const std::string text = split == std::string::npos ? input : input.substr(split + 1);
  std::FILE* out = std::tmpfile();
  if (out == nullptr) return 0;
  {
    zel::cli::CJsonEvents events(out);
    events.Line(port, text, zel::LineLevel::Debug);
    zel::CRunEnd end{zel::RunOutcome::Failed, {zel::CauseKind::Other, port, text}, {size, size, 1.5}, text};
    events.End(port, end);
  }
  std::rewind(out);
  char* line = nullptr;
  size_t capacity = 0;
  int count = 0;
  while (getline(&line, &capacity, out) > 0) {
    const auto event = nlohmann::json::parse(line);  // throws, and so fails, on anything but JSON
    if (++count == 1 && IsUtf8(text) && IsUtf8(port) && (event["text"] != text || event["port"] != port))
      std::abort();
  }
  std::free(line);
  std::fclose(out);
  if (count != 2) std::abort();
  return 0;
}
