// The ports of one upgrade as the operator named them: "--port PATH" or
// "--port NAME=PATH". Each gets the short label its lines, progress bar,
// summary and log file carry when several run.
#pragma once

#include <string>
#include <vector>

#include "serial/PortList.h"
#include "station/Station.h"

namespace zel {

// The ports in the given order; empty, with refusal saying why, when two
// name the same device or two labels would be the same.
std::vector<CStationPort> NameStationPorts(const std::vector<std::string>& arguments, std::string& refusal);

// The shortest tails of the paths, in whole path components, that tell
// them apart ("a/box", "b/box"); a bare number keeps its folder ("pts/3").
// Long names that share words, as /dev/serial/by-id names do, lose the
// words they all share ("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" and
// "..._A10K3XYZ-if00-port0" become "A50285BI" and "A10K3XYZ").
std::vector<std::string> ShortLabels(const std::vector<std::string>& paths);

// The log file of one of several ports: "st.txt" for label "ttyUSB0" is
// "st-ttyUSB0.txt"; characters a file name should not hold become '_'.
std::string LogPathForPort(const std::string& logPath, const std::string& label);

// The listed port that path names (its name, its by-path link or its
// device, through any links); null when none.
const CPortInfo* FindPort(const std::vector<CPortInfo>& present, const std::string& path);

}  // namespace zel
