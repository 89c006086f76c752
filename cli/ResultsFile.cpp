#include "cli/ResultsFile.h"

#include <nlohmann/json.hpp>

#include "cli/JsonEvents.h"

namespace zel::cli {
namespace {

nlohmann::json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::json() : nlohmann::json(text);
}

}  // namespace

std::string RecordLine(const CBoxRecord& record) {
  const nlohmann::json line{
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
      {"outcome", OutcomeName(record.outcome)},
      {"cause", TextOrNull(record.cause)},
  };
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace zel::cli
