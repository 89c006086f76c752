// What the POSIX serial device asks of its system beyond POSIX: one file
// per system (SerialSystemLinux.cpp), so that another POSIX system needs
// only its own.
#pragma once

#include <string>

namespace zel::serial_system {

// Whether path may be a terminal, told without opening it. /dev/null,
// which every process holds, is not.
bool MayBeTerminal(const std::string& path);

// Asks the driver of the open port fd to hand over received bytes at once
// rather than when a USB adapter's latency timer ticks; true when it
// changed the port (UndoLowLatency gives back what it was).
bool SetLowLatency(int fd);
void UndoLowLatency(int fd);

}  // namespace zel::serial_system
