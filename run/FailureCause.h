// Why a run failed, kept typed from the layer that knew it (the device,
// the image file, the box) up to the front ends, which say it in words.
#pragma once

#include <string>

namespace zel {

enum class CauseKind {
  None,
  NotFound,          // no such port or file
  PermissionDenied,  // the user may not open it
  Busy,              // another program holds it
  NotSerial,         // it opened, but it is no serial line
  Gone,              // the device disappeared during the run
  Unreadable,        // the image or command file could not be read
  ImageChanged,      // the image file was changed while it was served
  WriteCutShort,     // the line took only part of a frame before its time-out
  BoxProtocol,       // the box said something the exchange does not allow
  PartialImage,      // the box ended having asked for only part of the image
  Other,             // any other system failure
};

struct CFailureCause {
  CauseKind kind = CauseKind::None;
  std::string subject;     // the port or file concerned
  std::string systemText;  // the system's own words, where it gave any

  explicit operator bool() const { return kind != CauseKind::None; }
};

// One line for the operator, such as
// "Cause: /dev/ttyUSB0: the port is in use by another program".
std::string DescribeCause(const CFailureCause& cause);
// The same without "Cause: " in front; empty for none. Without the
// subject where the reader knows it already (a port's own tile).
std::string CauseWords(const CFailureCause& cause, bool withSubject = true);
// The port does not open or the image cannot be read: the station's
// fault, no box's.
bool IsStationFault(CauseKind kind);
// After such a cause, or a port gone or failing, a port that serves box
// after box waits for the operator instead of for its next box.
bool EndsAPortsLoop(CauseKind kind);
// What the operator does next, in a few words; empty for none.
std::string NextStep(CauseKind kind);

}  // namespace zel
