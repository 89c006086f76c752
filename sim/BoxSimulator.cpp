#include "sim/BoxSimulator.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>

#include "sim/PtyLine.h"
#include "upgrade/UpgradeFrame.h"

namespace zel::sim {
namespace {

using Clock = std::chrono::steady_clock;

struct CRequest {
  uint16_t n;
  uint32_t offset;
};

std::vector<CRequest> PlanRequests(size_t imageSize, const CBoxPlan& plan) {
  std::vector<CRequest> extras, main;
  const uint32_t size = static_cast<uint32_t>(imageSize);
  const uint16_t chunk = static_cast<uint16_t>(std::clamp<uint32_t>(plan.chunk, 1, 65535));
  if (plan.zeroLengthRequest) extras.push_back({0, 0});
  if (plan.maxLengthRequest) extras.push_back({65535, 0});
  if (plan.requestAtEnd) extras.push_back({chunk, size});
  if (plan.requestPastEnd) extras.push_back({chunk, size + 1});
  for (uint32_t offset = 0; offset < size; offset += chunk)
    main.push_back({static_cast<uint16_t>(std::min<uint32_t>(chunk, size - offset)), offset});
  switch (plan.order) {
    case CBoxPlan::Order::Sequential: break;
    case CBoxPlan::Order::Reverse: std::reverse(main.begin(), main.end()); break;
    case CBoxPlan::Order::Random: {
      std::mt19937 random(plan.seed);
      std::shuffle(main.begin(), main.end(), random);
      break;
    }
    case CBoxPlan::Order::Repeated: {
      std::vector<CRequest> twice;
      for (const CRequest& r : main) twice.insert(twice.end(), {r, r});
      main = std::move(twice);
      break;
    }
  }
  extras.insert(extras.end(), main.begin(), main.end());
  if (plan.endAfter && *plan.endAfter < extras.size()) extras.resize(*plan.endAfter);
  return extras;
}

}  // namespace

// One run of the exchange.
class CBoxSimulator::CSession {
 public:
  CSession(CBoxSimulator& box, const std::vector<uint8_t>& image, const CBoxPlan& plan)
      : m_box(box),
        m_master(box.m_master),
        m_stopFd(box.m_stop.Fd()),
        m_image(image),
        m_plan(plan),
        m_random(plan.seed) {
    if (plan.baud > 0) m_byteTime = std::chrono::nanoseconds(10'000'000'000LL / plan.baud);
  }

  CBoxReport Run() {
    m_report.imageBytes = m_image.size();
    if (m_plan.silent) {
      WaitUntil(Clock::time_point::max());
      return Finish();
    }
    if (!WaitForTheToolToOpen()) return Finish();
    if (!WaitUntil(Clock::now() + std::chrono::milliseconds(m_plan.switchOnAfterMs))) return Finish();
    if (!SendNoise(m_plan.noiseBeforeReboot, /*avoidMarkerStart=*/true)) return Finish();
    if (!m_plan.bannerBeforeReboot.empty() && !Send(m_plan.bannerBeforeReboot)) return Finish();
    if (m_plan.acknowledgeFirst && !Send(CommandFrame(PID_ACKNOWLEDGE))) return Finish();
    if (m_plan.markerOnly) {
      if (Send(kFrameMarker)) WaitUntil(Clock::time_point::max());
      return Finish();
    }
    const auto begin = Clock::now();
    m_wireBytes = 0;
    if (!Send(CommandFrame(m_plan.firstPid.value_or(PID_REBOOT)))) return Finish();
    if (m_plan.firstPid && *m_plan.firstPid != PID_REBOOT) {
      WaitForHangUp();  // the tool gives up and closes the port
      return Finish();
    }
    std::vector<uint8_t> start;
    if (!Receive(kFrameHeaderSize, start)) return Finish("no PID_START_UPGRADE");
    const auto expected = CommandFrame(PID_START_UPGRADE);
    if (!std::equal(expected.begin(), expected.end(), start.begin()))
      return Finish("bad PID_START_UPGRADE frame");
    m_report.startReceived = true;
    m_rebuilt.assign(m_image.size(), 0);
    m_covered.assign(m_image.size(), false);
    const std::vector<CRequest> requests = PlanRequests(m_image.size(), m_plan);
    for (size_t i = 0; i < requests.size(); ++i) {
      if (m_plan.beforeRequest) m_plan.beforeRequest(i);
      if (!SendNoise(m_plan.noiseBetweenFrames, false)) return Finish();
      if (!SendRequest(requests[i])) return Finish();
      if (!m_plan.askAllFirst && !TakeReply(requests[i])) return Finish();
    }
    if (m_plan.askAllFirst) {
      if (m_plan.beforeReadingReplies) m_plan.beforeReadingReplies();
      for (const CRequest& request : requests)
        if (!TakeReply(request)) return Finish();
    }
    if (m_plan.endUpgrade) {
      if (!Send(CommandFrame(PID_TERM_UPGRADE))) return Finish();
      m_report.completed = true;
    }
    m_report.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    m_report.wireSeconds = m_plan.baud ? static_cast<double>(m_wireBytes) * 10.0 / m_plan.baud : 0.0;
    KeepTheLineUntilTheToolCloses();
    return Finish();
  }

  CBootReport RunBoot(const std::vector<uint8_t>& expectedSection, const CBootPlan& plan) {
    CBootReport boot;
    auto finish = [&] {
      boot.problem = m_report.problem;
      if (!boot.completed) HangUpOnAProblem();
      return boot;
    };
    if (!WaitForTheToolToOpen()) return finish();
    boot.startedAtBootSpeed = LineSpeed() == B38400;
    if (plan.silent) {
      WaitUntil(Clock::time_point::max());
      return finish();
    }
    if (plan.hangUp) {
      Fail("hung up");
      return finish();
    }
    if (!Send(std::vector<uint8_t>(std::max<uint32_t>(plan.powerOnBytes, 1), 0x55))) return finish();
    if (!Receive(expectedSection.size(), boot.section)) return finish();
    boot.sectionMatches = boot.section == expectedSection;
    if (plan.afterSection) plan.afterSection();
    std::vector<uint8_t> b;
    for (int i = 0; i < 14; ++i) {
      if (!Receive(1, b)) return finish();
      if (i == 0) boot.switchedBeforeB = LineSpeed() == B115200;
      if (b[0] == 'B') ++boot.bBytes;
    }
    std::vector<uint8_t> answer(std::min<uint32_t>(plan.answerBytes, 23), 0xA5);
    if (!answer.empty() && !Send(answer)) return finish();
    boot.completed = true;
    KeepTheLineUntilTheToolCloses();
    return finish();
  }

 private:
  // The speed the tool set on its end of the line.
  speed_t LineSpeed() const {
    termios tio{};
    ::tcgetattr(m_master, &tio);
    return ::cfgetospeed(&tio);
  }

  CBoxReport Finish(const std::string& problem = {}) {
    if (!problem.empty() && m_report.problem.empty()) m_report.problem = problem;
    if (m_report.startReceived) {
      const bool allCovered = std::all_of(m_covered.begin(), m_covered.end(), [](bool b) { return b; });
      m_report.imageIntact = allCovered && m_rebuilt == m_image;
    }
    HangUpOnAProblem();
    return m_report;
  }

  // A box whose exchange broke off hangs up: the tool sees the line go at
  // once instead of waiting for frames that never come. A stop is no
  // problem of the exchange: the line stays.
  void HangUpOnAProblem() {
    if (m_report.problem.empty() || m_report.problem == "stopped" || m_master < 0) return;
    ::close(m_master);
    m_master = -1;
  }

  // After its last frame the box keeps the line until the tool has closed
  // its side, so that the tool reads everything sent to it; a tool that
  // never closes is hung up on after a few seconds.
  void KeepTheLineUntilTheToolCloses() {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
      if (m_master < 0) return;
      uint8_t ignored[256];
      while (::read(m_master, ignored, sizeof ignored) > 0) {
      }
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        Fail("the tool kept the line after the end");
        return;
      }
      pollfd fds[2] = {{m_master, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
      ::poll(fds, 2, static_cast<int>(left));
      if (fds[1].revents) return;
      if ((fds[0].revents & POLLHUP) && !(fds[0].revents & POLLIN)) return;
    }
  }

  // Waits for the stop signal until the deadline; false when stopped.
  bool WaitUntil(Clock::time_point deadline) {
    for (;;) {
      timespec ts{};
      timespec* timeout = nullptr;
      if (deadline != Clock::time_point::max()) {
        const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        ts.tv_sec = ns / 1'000'000'000;
        ts.tv_nsec = ns % 1'000'000'000;
        timeout = &ts;
      }
      pollfd pfd{m_stopFd, POLLIN, 0};
      const int rc = ::ppoll(&pfd, 1, timeout, nullptr);
      if (rc > 0) return Fail("stopped");
      if (rc == 0) return true;
      if (errno != EINTR) return Fail("poll failed");
    }
  }

  bool Fail(const std::string& problem) {
    if (m_report.problem.empty()) m_report.problem = problem;
    return false;
  }

  // The master reports a hang-up while no one has the slave open.
  bool WaitForTheToolToOpen() {
    for (;;) {
      pollfd pfd{m_master, POLLIN, 0};
      ::poll(&pfd, 1, 0);
      if (!(pfd.revents & POLLHUP)) return true;
      if (!WaitUntil(Clock::now() + std::chrono::milliseconds(1))) return false;
    }
  }

  void WaitForHangUp() {
    std::vector<uint8_t> ignored;
    while (Receive(1, ignored)) {
    }
  }

  void Pace(size_t bytes) {
    m_wireBytes += bytes;
    if (m_byteTime.count() == 0) return;
    m_lineFree = std::max(m_lineFree, Clock::now()) + m_byteTime * static_cast<int64_t>(bytes);
    WaitUntil(m_lineFree);
  }

  template <typename Bytes>
  bool Send(const Bytes& bytes) {
    Pace(bytes.size());
    // A USB adapter passes fewer than 62 bytes on only when its latency
    // timer ticks; the timer runs freely from the box's start.
    if (m_plan.usbLatencyMs > 0 && bytes.size() < 62) {
      const auto tick = std::chrono::milliseconds(m_plan.usbLatencyMs);
      const auto since = Clock::now() - m_timerStart;
      if (!WaitUntil(m_timerStart + (since / tick + 1) * tick)) return Fail("stopped");
    }
    size_t done = 0;
    while (done < bytes.size()) {
      if (m_master < 0) return Fail("line hung up");
      const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail("the tool closed the port");
      pollfd fds[2] = {{m_master, POLLOUT, 0}, {m_stopFd, POLLIN, 0}};
      ::poll(fds, 2, -1);
      if (fds[1].revents) return Fail("stopped");
    }
    return true;
  }

  bool SendNoise(size_t count, bool avoidMarkerStart) {
    if (count == 0) return true;
    std::vector<uint8_t> noise(count);
    for (auto& b : noise) {
      do b = static_cast<uint8_t>(m_random());
      while (avoidMarkerStart && b == kFrameMarker[0]);
    }
    return Send(noise);
  }

  // Reads exactly count bytes from the tool within the reply time-out.
  bool Receive(size_t count, std::vector<uint8_t>& out) {
    out.clear();
    m_bTimedOut = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_plan.replyTimeoutMs);
    while (out.size() < count) {
      if (m_master < 0) return Fail("line hung up");
      size_t want = count - out.size();
      if (m_plan.stallAfter) {
        if (m_report.bytesReceived >= *m_plan.stallAfter) {
          m_box.NoteStalled(m_report);
          WaitUntil(Clock::time_point::max());
          return Fail("stalled");
        }
        want = std::min<size_t>(want, *m_plan.stallAfter - m_report.bytesReceived);
      }
      if (m_plan.hangUpAfter) {
        if (HangUpIfDue()) return false;
        want = std::min<size_t>(want, *m_plan.hangUpAfter - m_report.bytesReceived);
      }
      uint8_t buf[65536 + 64];
      const ssize_t n = ::read(m_master, buf, std::min(want, sizeof buf));
      if (n > 0) {
        if (out.empty()) m_firstByteAt = Clock::now();
        out.insert(out.end(), buf, buf + n);
        m_report.bytesReceived += static_cast<uint64_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return Fail("the tool closed the port");
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        m_bTimedOut = true;
        return Fail("no answer from the tool");
      }
      pollfd fds[2] = {{m_master, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
      ::poll(fds, 2, static_cast<int>(left));
      if (fds[1].revents) return Fail("stopped");
      if ((fds[0].revents & POLLHUP) && !(fds[0].revents & POLLIN)) return Fail("the tool closed the port");
    }
    return true;
  }

  // Hangs up once the tool has sent hangUpAfter bytes; true when it did.
  bool HangUpIfDue() {
    if (!m_plan.hangUpAfter || m_report.bytesReceived < *m_plan.hangUpAfter) return false;
    ::close(m_master);
    m_master = -1;
    m_report.hungUp = true;
    Fail("hung up");
    return true;
  }

  bool SendRequest(const CRequest& request) {
    // A hang-up due between requests comes before the next one: the tool
    // then meets it in its read, never in a reply it had started.
    if (HangUpIfDue()) return false;
    ++m_report.requests;
    if (!Send(DataRequestFrame(request.n, request.offset))) return false;
    m_askedAt = Clock::now();
    return true;
  }

  // A reply the box did not like: the end of the exchange, unless the box
  // checks nothing.
  bool BadReply(const std::string& problem) {
    ++m_report.badReplies;
    Fail(problem);
    return m_plan.endDespiteBadReplies;
  }

  bool TakeReply(const CRequest& request) {
    const bool pastEnd = request.offset > m_image.size();
    const size_t expectedSize = pastEnd ? kFrameHeaderSize : size_t{request.n} + kDataReplyOverhead;
    std::vector<uint8_t> reply;
    if (!Receive(expectedSize, reply)) return m_bTimedOut && BadReply({});
    m_report.turnaroundUs.push_back(
        std::chrono::duration<double, std::micro>(m_firstByteAt - m_askedAt).count());
    if (m_byteTime.count() > 0) {
      // The box has the reply once its last byte has crossed the wire.
      m_wireBytes += reply.size();
      m_lineFree = m_firstByteAt + m_byteTime * static_cast<int64_t>(reply.size());
      if (!WaitUntil(m_lineFree)) return false;
    }
    const std::string problem = pastEnd ? CheckTerm(reply) : CheckReply(request, reply);
    if (!problem.empty()) return BadReply(problem);
    ++m_report.goodReplies;
    return true;
  }

  std::string CheckTerm(const std::vector<uint8_t>& frame) {
    const auto expected = CommandFrame(PID_TERM_UPGRADE);
    if (!std::equal(expected.begin(), expected.end(), frame.begin())) return "expected PID_TERM_UPGRADE";
    ++m_report.termCommands;
    return {};
  }

  std::string CheckReply(const CRequest& request, const std::vector<uint8_t>& frame) {
    char what[160];
    std::snprintf(what, sizeof what, " in the reply to %u bytes at %u", request.n, request.offset);
    if (!MatchMarker(frame.data())) return "bad marker" + std::string(what);
    if (ReadBigEndian16(&frame[8]) != PID_DATA_REPLY) return "bad PID" + std::string(what);
    if (ReadBigEndian16(&frame[10]) != static_cast<uint16_t>(request.n + 8))
      return "bad length" + std::string(what);
    if (ReadBigEndian32(&frame[12]) != request.offset) return "bad offset" + std::string(what);
    const uint8_t* tail = &frame[kReplyDataOffset + request.n];
    if (tail[0] || tail[1] || tail[2]) return "bad trailer" + std::string(what);
    if (tail[3] != FrameChecksum(kReplyChecksumSeed, &frame[12], size_t{request.n} + 4))
      return "bad checksum" + std::string(what);
    for (size_t i = 0; i < request.n; ++i) {
      const size_t at = size_t{request.offset} + i;
      const uint8_t byte = frame[kReplyDataOffset + i];
      if (at < m_image.size()) {
        m_rebuilt[at] = byte;
        m_covered[at] = true;
      } else if (byte != 0xFF) {
        return "padding past the end is not 0xFF" + std::string(what);
      }
    }
    return {};
  }

  CBoxSimulator& m_box;
  int& m_master;
  const int m_stopFd;
  const std::vector<uint8_t>& m_image;
  const CBoxPlan& m_plan;
  std::mt19937 m_random;
  CBoxReport m_report;
  std::vector<uint8_t> m_rebuilt;
  std::vector<bool> m_covered;
  std::chrono::nanoseconds m_byteTime{0};
  Clock::time_point m_lineFree{};
  Clock::time_point m_firstByteAt{};
  Clock::time_point m_askedAt{};  // when the last request went out
  bool m_bTimedOut = false;       // the last Receive ended without an answer
  uint64_t m_wireBytes = 0;
  Clock::time_point m_timerStart = Clock::now();  // the adapter's latency timer
};

CBoxSimulator::CBoxSimulator() { OpenLine(); }

void CBoxSimulator::OpenLine() {
  CPtyLine line;
  // The box is switched on only once the tool has the port: the master
  // shows a hang-up until then.
  line.CloseSlave();
  m_port = line.Port();
  m_master = line.ReleaseMaster();
}

CBoxSimulator::~CBoxSimulator() {
  if (m_master >= 0) ::close(m_master);
}

void CBoxSimulator::ClearStop() {
  m_stop.Clear();
  std::lock_guard lock(m_stateMutex);
  m_bStopped = false;
  // A line hung up by the last run is replaced by a new one.
  if (m_master < 0) OpenLine();
}

CBootReport CBoxSimulator::RunBoot(const std::vector<uint8_t>& expectedSection, const CBootPlan& plan) {
  CBoxPlan linePlan;
  const std::vector<uint8_t> noImage;
  CSession session(*this, noImage, linePlan);
  return session.RunBoot(expectedSection, plan);
}

CBoxReport CBoxSimulator::Run(const std::vector<uint8_t>& image, const CBoxPlan& plan) {
  {
    std::lock_guard lock(m_stateMutex);
    m_bStalled = false;
  }
  CSession session(*this, image, plan);
  return session.Run();
}

void CBoxSimulator::NoteStalled(CBoxReport& report) {
  report.stalled = true;
  {
    std::lock_guard lock(m_stateMutex);
    m_bStalled = true;
  }
  m_stateCv.notify_all();
}

bool CBoxSimulator::WaitUntilStalled() {
  std::unique_lock lock(m_stateMutex);
  m_stateCv.wait(lock, [this] { return m_bStalled || m_bStopped; });
  return m_bStalled;
}

void CBoxSimulator::Stop() {
  m_stop.Raise();
  {
    std::lock_guard lock(m_stateMutex);
    m_bStopped = true;
  }
  m_stateCv.notify_all();
}

}  // namespace zel::sim
