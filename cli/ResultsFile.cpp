#include "cli/ResultsFile.h"

#include <nlohmann/json.hpp>

#include "cli/JsonEvents.h"

namespace zel::cli {
namespace {

using Json = nlohmann::ordered_json;  // the fields in the order a person reads them

Json TextOrNull(const std::string& text) { return text.empty() ? Json() : Json(text); }

}  // namespace

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
      {"outcome", OutcomeName(record.outcome)},
      {"cause", TextOrNull(record.cause)},
  };
  return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace zel::cli
