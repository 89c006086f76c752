// A simulated set-top box on a pseudo-terminal. It plays the boot loader's
// side of the upgrade exchange: announces itself, waits for the start
// command, asks for the image by a plan, checks every reply, rebuilds the
// image and ends the upgrade. Faults can be injected and the line paced at
// a baud rate, so it serves the tests, the demo and the benchmark.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serial/WakeSignal.h"

namespace zel::sim {

struct CBoxPlan {
  enum class Order { Sequential, Reverse, Random, Repeated };
  uint32_t chunk = 1024;  // bytes asked for per request (1 to 65535)
  Order order = Order::Sequential;
  uint32_t seed = 1;  // for the random order and the noise
  // Extra requests, asked before the plan's own.
  bool zeroLengthRequest = false;  // n = 0 at offset 0
  bool maxLengthRequest = false;   // n = 65535 at offset 0
  bool requestAtEnd = false;       // at offset = image length: padding only
  bool requestPastEnd = false;     // one byte further: PID_TERM_UPGRADE expected
  // Faults.
  size_t noiseBeforeReboot = 0;         // bytes sent before PID_REBOOT (never the marker's first byte)
  std::string bannerBeforeReboot;       // text sent before PID_REBOOT, as boot loaders print
  size_t noiseBetweenFrames = 0;        // bytes sent before every data request
  bool acknowledgeFirst = false;        // PID_ACKNOWLEDGE before PID_REBOOT
  std::optional<uint16_t> firstPid;     // announce with this PID instead of PID_REBOOT
  bool silent = false;                  // never sends anything
  uint32_t switchOnAfterMs = 0;         // the operator switches the box on this late
  bool markerOnly = false;              // sends the marker alone, then falls silent
  std::optional<uint64_t> hangUpAfter;  // hang up once the tool has sent this many bytes
  std::optional<uint64_t> stallAfter;   // stop reading once the tool has sent this many bytes
  bool endUpgrade = true;               // send PID_TERM_UPGRADE after the last request
  std::optional<size_t> endAfter;       // ... or after this many of the plan's requests
  // A box that reads late: it sends every request before it reads any
  // reply, and calls beforeReadingReplies (on its thread) in between.
  bool askAllFirst = false;
  std::function<void()> beforeReadingReplies;
  // A box that checks nothing: a bad or missing reply is counted, and the
  // box goes on and ends the upgrade all the same.
  bool endDespiteBadReplies = false;
  // Called on the box's thread before it sends request number n (from 0).
  std::function<void(size_t n)> beforeRequest;
  // Pacing: the wire time of 10 bits per byte in each direction; 0 unpaced.
  uint32_t baud = 0;
  // The latency timer of a USB adapter between the box and the tool (16
  // ms is an FTDI's default): what the box sends in fewer than 62 bytes
  // reaches the tool at the timer's next tick. 0: none.
  uint32_t usbLatencyMs = 0;
  // How long to wait for any one reply before giving up.
  uint32_t replyTimeoutMs = 30000;
};

struct CBoxReport {
  bool startReceived = false;  // PID_START_UPGRADE arrived
  uint64_t requests = 0;       // data requests sent
  uint64_t goodReplies = 0;
  uint64_t badReplies = 0;
  uint64_t termCommands = 0;   // PID_TERM_UPGRADE frames from the tool
  uint64_t bytesReceived = 0;  // every byte the tool sent
  uint64_t imageBytes = 0;
  bool imageIntact = false;          // every byte of the image arrived and equals the file
  bool hungUp = false;               // the box hung up on purpose (a fault of the plan)
  bool stalled = false;              // the box stopped reading (a fault of the plan)
  bool completed = false;            // PID_TERM_UPGRADE sent after every request was answered
  std::string problem;               // the first thing that went wrong, empty if none
  double seconds = 0;                // from PID_REBOOT to PID_TERM_UPGRADE
  double wireSeconds = 0;            // the same exchange at the wire's limit (paced runs)
  std::vector<double> turnaroundUs;  // request's last byte to the reply's first
};

// The boot exchange as the box plays it.
struct CBootPlan {
  bool silent = false;        // never sends its first byte
  bool hangUp = false;        // hangs up instead of sending its first byte
  uint32_t answerBytes = 23;  // bytes sent after the fourteenth "B" (0 to 23)
  uint32_t powerOnBytes = 1;  // bytes the box says when it comes up (at least 1)
  // Called on the box's thread once section 2 has arrived.
  std::function<void()> afterSection;
};

struct CBootReport {
  bool startedAtBootSpeed = false;  // the line was at 38400 baud when the box came up
  std::vector<uint8_t> section;     // what the tool sent after the first byte
  bool sectionMatches = false;      // ... equals the expected section 2
  int bBytes = 0;                   // "B" bytes received
  bool switchedBeforeB = false;     // the line was at 115200 baud when the first "B" came
  bool completed = false;           // the box answered
  std::string problem;
};

class CBoxSimulator {
 public:
  CBoxSimulator();
  ~CBoxSimulator();
  CBoxSimulator(const CBoxSimulator&) = delete;
  CBoxSimulator& operator=(const CBoxSimulator&) = delete;

  // The device the tool opens.
  const std::string& Port() const { return m_port; }

  // Waits until the tool has opened the port, then runs the exchange for
  // the image. Returns when the exchange is over, broke off, or Stop. A
  // box whose exchange broke off hangs up, so that the tool sees the end
  // at once; a box that completed keeps the line until the tool closes it
  // (at most a few seconds), so that nothing it has not read is lost.
  CBoxReport Run(const std::vector<uint8_t>& image, const CBoxPlan& plan);
  // Waits until the tool has opened the port, then plays the boot exchange
  // expecting expectedSection as section 2 of the command file.
  CBootReport RunBoot(const std::vector<uint8_t>& expectedSection, const CBootPlan& plan);
  // Blocks until stalled is set in the report of the running Run: the
  // box has stopped reading. False when Stop came first.
  bool WaitUntilStalled();
  // Makes Run or RunBoot return soon, or the next one at once when none is
  // running; callable from any thread.
  void Stop();
  // Forgets a Stop, for another run, and replaces a line that the last run
  // hung up (Port() then names the new one); call it while no run is going on.
  void ClearStop();

 private:
  class CSession;
  void OpenLine();
  void NoteStalled(CBoxReport& report);

  int m_master = -1;
  CWakeSignal m_stop;  // raised by Stop, for the exchange's polls
  std::string m_port;
  std::mutex m_stateMutex;
  std::condition_variable m_stateCv;
  bool m_bStalled = false;
  bool m_bStopped = false;
};

}  // namespace zel::sim
