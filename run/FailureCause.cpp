#include "run/FailureCause.h"

namespace zel {

std::string DescribeCause(const CFailureCause& cause) {
  const char* words = "";
  switch (cause.kind) {
    case CauseKind::None: return {};
    case CauseKind::NotFound: words = "it does not exist"; break;
    case CauseKind::PermissionDenied: words = "permission denied"; break;
    case CauseKind::Busy: words = "it is in use by another program"; break;
    case CauseKind::NotSerial: words = "it is not a serial port"; break;
    case CauseKind::Gone: words = "the port disappeared (unplugged or hung up)"; break;
    case CauseKind::Unreadable: words = "the file cannot be read"; break;
    case CauseKind::ImageChanged: words = "the image changed during the transfer"; break;
    case CauseKind::WriteCutShort: words = "a reply to the box was cut short"; break;
    case CauseKind::BoxProtocol: words = "the box did not follow the exchange"; break;
    case CauseKind::PartialImage: words = "the box ended before it had asked for the whole image"; break;
    case CauseKind::Other: words = "system error"; break;
  }
  std::string line = "Cause: ";
  if (!cause.subject.empty()) line += cause.subject + ": ";
  line += words;
  // Where the words above are general, the details follow.
  const bool general = cause.kind == CauseKind::Unreadable || cause.kind == CauseKind::BoxProtocol ||
                       cause.kind == CauseKind::PartialImage || cause.kind == CauseKind::WriteCutShort ||
                       cause.kind == CauseKind::Other;
  if (general && !cause.systemText.empty()) line += " (" + cause.systemText + ")";
  return line;
}

std::string CauseWords(const CFailureCause& cause) {
  const std::string line = DescribeCause(cause);
  return line.empty() ? line : line.substr(std::string("Cause: ").size());
}

}  // namespace zel
