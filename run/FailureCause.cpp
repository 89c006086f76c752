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

std::string CauseWords(const CFailureCause& cause, bool withSubject) {
  CFailureCause said = cause;
  if (!withSubject) said.subject.clear();
  const std::string line = DescribeCause(said);
  return line.empty() ? line : line.substr(std::string("Cause: ").size());
}

bool IsStationFault(CauseKind kind) {
  return kind == CauseKind::NotFound || kind == CauseKind::PermissionDenied || kind == CauseKind::Busy ||
         kind == CauseKind::NotSerial || kind == CauseKind::Unreadable;
}

bool EndsAPortsLoop(CauseKind kind) {
  return IsStationFault(kind) || kind == CauseKind::Gone || kind == CauseKind::Other;
}

std::string NextStep(CauseKind kind) {
  switch (kind) {
    case CauseKind::None: return {};
    case CauseKind::NotFound: return "check that the adapter is plugged in and the port is the right one";
    case CauseKind::PermissionDenied: return "ask for the right to open the port";
    case CauseKind::Busy: return "close the program that holds the port";
    case CauseKind::NotSerial: return "choose the box's serial port";
    case CauseKind::Gone: return "check the cable and the box's power, then switch it on again";
    case CauseKind::Unreadable: return "check the image file";
    case CauseKind::ImageChanged:
      return "leave the image file alone while boxes load, then load the box again";
    case CauseKind::WriteCutShort: return "check the cable, then switch the box on again";
    case CauseKind::BoxProtocol:
    case CauseKind::PartialImage: return "switch the box off and on again to load it again";
    case CauseKind::Other: return "switch the box on again; if it fails again, check the port";
  }
  return {};
}

}  // namespace zel
