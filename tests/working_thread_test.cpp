#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "run/Event.h"
#include "run/OperatorReport.h"
#include "run/RunDriver.h"
#include "run/UiDispatcher.h"
#include "run/ZELWorkingThread.h"
#include "serial/SerialDevice.h"
#include "sim/PtyLine.h"
#include "tests/TestEngine.h"
#include "tests/ThreadProbe.h"

namespace zel {
namespace {

using test::CTestEngine;

// Handles messages on the sending thread and keeps what it received.
class CRecordingOwner : public IOwnerWindow {
 public:
  char slot[100] = {};
  std::vector<std::pair<std::string, intptr_t>> lines;
  intptr_t SendMessage(uint32_t message, uintptr_t, intptr_t lParam) override {
    if (message == WM_TRACE_LINE) lines.emplace_back(slot, lParam);
    return 0;
  }
};

// Handles messages on the test's user-interface thread, the CUiLoop.
class CLoopOwner : public CUiThreadWindow {
 public:
  explicit CLoopOwner(IUiDispatcher& dispatcher) : CUiThreadWindow(dispatcher) {}
  char slot[100] = {};
  std::vector<std::string> lines;
  std::thread::id handlerThread;
  CZELWorkingThread* sender = nullptr;  // whose Terminate ends a send

 protected:
  std::stop_token SenderTerminate() const override {
    return sender ? sender->TerminateToken() : std::stop_token();
  }
  intptr_t HandleMessage(uint32_t message, uintptr_t, intptr_t) override {
    handlerThread = std::this_thread::get_id();
    if (message == WM_TRACE_LINE) lines.emplace_back(slot);
    return 0;
  }
};

void WaitUntilIdle(CZELWorkingThread& engine) {
  engine.Join();
  EXPECT_FALSE(engine.IsRunning());
}

TEST(WorkingThreadLifecycle, StartRefusesASecondThreadUntilTheFirstEnds) {
  CEvent release(CEvent::Kind::ManualReset);
  std::atomic<int> runs{0};
  CTestEngine engine;
  engine.body = [&](CTestEngine&) {
    ++runs;
    release.Wait({});
  };
  ASSERT_EQ(engine.Start(), 0);
  EXPECT_TRUE(engine.IsRunning());
  EXPECT_TRUE(engine.IsThreadActive());
  EXPECT_EQ(engine.Start(), 1);
  EXPECT_EQ(engine.Create(0), 0);
  release.Set();
  WaitUntilIdle(engine);
  EXPECT_FALSE(engine.IsThreadActive());
  release.Reset();
  ASSERT_EQ(engine.Start(), 0);
  release.Set();
  WaitUntilIdle(engine);
  EXPECT_EQ(runs, 2);
}

TEST(WorkingThreadLifecycle, SuspendAndResumeCountWithAndWithoutAThread) {
  CTestEngine idle;
  EXPECT_EQ(idle.Suspend(), 0u);
  EXPECT_EQ(idle.Resume(), 0u);

  CEvent ran(CEvent::Kind::ManualReset);
  CTestEngine engine;
  engine.body = [&](CTestEngine&) { ran.Set(); };
  ASSERT_EQ(engine.Create(CREATE_SUSPENDED), 1);
  EXPECT_FALSE(ran.TryWait());
  EXPECT_EQ(engine.Suspend(), 1u);
  EXPECT_EQ(engine.Resume(), 2u);
  EXPECT_FALSE(ran.TryWait());
  EXPECT_EQ(engine.Resume(), 1u);
  EXPECT_TRUE(ran.Wait({}));
  WaitUntilIdle(engine);
}

TEST(WorkingThreadStop, AStopBeforeTheFirstPollIsSeenByEveryPollUntilTheNextStart) {
  CEvent gate(CEvent::Kind::ManualReset);
  std::vector<bool> polls;
  CTestEngine engine;
  engine.body = [&](CTestEngine& self) {
    gate.Wait({});
    polls.push_back(self.IsStopRequested());
    polls.push_back(self.IsStopRequested());
  };
  ASSERT_EQ(engine.Start(), 0);
  EXPECT_EQ(engine.Stop(), 0);
  gate.Set();
  WaitUntilIdle(engine);
  EXPECT_EQ(polls, (std::vector<bool>{true, true}));

  polls.clear();
  ASSERT_EQ(engine.Start(), 0);
  WaitUntilIdle(engine);
  EXPECT_EQ(polls, (std::vector<bool>{false, false}));
}

// Lines go through the owner's 100-byte slot: 99 characters fit, 100 do
// not; the slot is cleared before each line; debug lines only while
// wanted; a missing buffer keeps the one before; with no owner or no room
// a line is dropped.
TEST(WorkingThreadTrace, LinesGoThroughTheSlotWhileThereIsOne) {
  CRecordingOwner owner;
  CTestEngine engine;
  engine.SetOwner(&owner);
  ASSERT_EQ(engine.SetTraceBuffer(owner.slot, sizeof owner.slot), 0);
  std::vector<int> results;
  engine.body = [&](CTestEngine& self) {
    results.push_back(self.Trace(std::string(99, 'x')));
    results.push_back(self.Trace(std::string(100, 'y')));
    results.push_back(self.DebugTrace("ab"));
  };
  ASSERT_EQ(engine.Start(), 0);
  WaitUntilIdle(engine);
  EXPECT_EQ(results, (std::vector<int>{0, 1, 0}));
  for (size_t i = 2; i < sizeof owner.slot; ++i) EXPECT_EQ(owner.slot[i], 0) << i;
  engine.SetDebugLinesWanted(false);
  EXPECT_EQ(engine.DebugTrace("hidden"), 1);
  EXPECT_EQ(engine.SetTraceBuffer(nullptr, 50), 1);
  EXPECT_EQ(engine.Trace("plain"), 0) << "plain lines always, into the buffer before";
  EXPECT_EQ(owner.lines, (std::vector<std::pair<std::string, intptr_t>>{
                             {std::string(99, 'x'), 0}, {"ab", 1}, {"plain", 0}}));
  CTestEngine noOwner, noBuffer;
  noOwner.SetTraceBuffer(owner.slot, sizeof owner.slot);
  noBuffer.SetOwner(&owner);
  EXPECT_EQ(noOwner.Trace("line"), 1);
  EXPECT_EQ(noBuffer.Trace(""), 1) << "size 0 holds not even the terminator";
  EXPECT_EQ(owner.lines.size(), 3u);
}

TEST(WorkingThreadTrace, MessagesAreHandledOnTheUserInterfaceThread) {
  CUiLoop loop;
  CLoopOwner owner(loop);
  CTestEngine engine;
  engine.SetOwner(&owner);
  engine.SetTraceBuffer(owner.slot, sizeof owner.slot);
  engine.body = [](CTestEngine& self) {
    self.Trace("one");
    self.Trace("two");
  };
  ASSERT_EQ(engine.Start(), 0);
  loop.RunUntil([&] { return owner.lines.size() == 2; });
  WaitUntilIdle(engine);
  EXPECT_EQ(owner.lines, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(owner.handlerThread, std::this_thread::get_id());
}

// Terminate is called by the user-interface thread, which is not running
// its loop meanwhile: every wait must be released by Terminate alone, and
// no line may be delivered after it.
enum class Blocked { Notification, Event, PortRead, PollingLoop };

class WorkingThreadTerminate : public ::testing::TestWithParam<Blocked> {};

TEST_P(WorkingThreadTerminate, ReleasesTheWorker) {
  CUiLoop loop;
  CLoopOwner owner{loop};
  CTestEngine engine;
  owner.sender = &engine;
  engine.SetOwner(&owner);
  engine.SetTraceBuffer(owner.slot, sizeof owner.slot);
  CEvent entered{CEvent::Kind::ManualReset}, never{CEvent::Kind::AutoReset};
  std::atomic<bool> afterWait{false};
  std::atomic<int> laterTrace{-1};
  std::atomic<pid_t> tid{0};
  sim::CPtyLine pty;
  const auto device = CSerialDevice::Create();
  ASSERT_TRUE(device->Open(pty.Port()));
  engine.body = [&](CTestEngine& self) {
    tid = test::CurrentTid();
    if (GetParam() != Blocked::PortRead) entered.Set();
    switch (GetParam()) {
      case Blocked::Notification: self.Trace("blocked"); break;
      case Blocked::Event: EXPECT_FALSE(never.Wait(self.TerminateToken())); break;
      case Blocked::PortRead: {
        device->SetStop(self.StopToken());
        uint8_t byte;
        uint32_t read = 0;
        EXPECT_FALSE(device->Read(&byte, 1, read, CSerialDevice::kNoLimit));
        break;
      }
      case Blocked::PollingLoop:
        while (!self.ShouldStop()) std::this_thread::yield();
        break;
    }
    afterWait = true;
    laterTrace = self.Trace("after");
  };
  ASSERT_EQ(engine.Start(), 0);
  if (GetParam() == Blocked::PortRead) {
    while (tid == 0) std::this_thread::yield();
    test::WaitUntilBlockedInPoll(tid);  // blocked before Terminate, not after
    entered.Set();
  }
  entered.Wait({});
  EXPECT_EQ(engine.Terminate(0), 1);
  EXPECT_FALSE(engine.IsRunning());
  EXPECT_FALSE(engine.IsThreadActive());
  loop.Drain();  // whatever the worker had queued must not run now
  EXPECT_EQ(owner.lines, std::vector<std::string>{});
  EXPECT_TRUE(afterWait);
  EXPECT_EQ(laterTrace, 1) << "no line may be delivered after Terminate";
}

const char* Name(Blocked what) {
  const char* const kNames[] = {"Notification", "Event", "PortRead", "PollingLoop"};
  return kNames[static_cast<int>(what)];
}
void PrintTo(Blocked what, std::ostream* out) { *out << Name(what); }
std::string BlockedName(const ::testing::TestParamInfo<Blocked>& info) { return Name(info.param); }

INSTANTIATE_TEST_SUITE_P(Waits, WorkingThreadTerminate,
                         ::testing::Values(Blocked::Notification, Blocked::Event, Blocked::PortRead,
                                           Blocked::PollingLoop),
                         BlockedName);

TEST(WorkingThreadTerminateReport, ReleasesAMessageBoxWaitingForAPerson) {
  // The run driver shows an engine's report on the user-interface thread,
  // which does not run its loop here: only Terminate can end the wait.
  struct CObserver : IRunObserver {
    int shown = 0;
    void OnLine(const std::string&, LineLevel) override {}
    void OnEnd(const CRunEnd&) override {}
    void OnOperatorMessage(const std::string&) override { ++shown; }
  } observer;
  CUiLoop loop;
  CTestEngine engine;
  CEvent entered(CEvent::Kind::ManualReset);
  std::atomic<bool> returned{false};
  engine.body = [&](CTestEngine& self) {
    entered.Set();
    ShowToOperator(self.Reporter(), "Fail to Read the Port");
    returned = true;
  };
  CRunDriver driver(loop, engine);
  ASSERT_EQ(driver.Start("port", "file", observer), 0);
  entered.Wait({});
  driver.Terminate();
  EXPECT_TRUE(returned) << "the worker left its wait for the box";
  loop.Drain();
  EXPECT_EQ(observer.shown, 0) << "no box after Terminate";
}

TEST(WorkingThreadTerminateIdle, WithoutAThreadSignalsStopAndReturnsOne) {
  CTestEngine engine;
  EXPECT_EQ(engine.Terminate(0), 1);
  EXPECT_TRUE(engine.IsStopRequested());
}

TEST(WorkingThreadDestruction, DestroyingARunningEngineEndsItsThread) {
  CUiLoop loop;
  CLoopOwner owner(loop);
  CEvent entered(CEvent::Kind::ManualReset);
  {
    CTestEngine engine;
    owner.sender = &engine;
    engine.SetOwner(&owner);
    engine.SetTraceBuffer(owner.slot, sizeof owner.slot);
    engine.body = [&](CTestEngine& self) {
      entered.Set();
      self.Trace("never handled");
    };
    ASSERT_EQ(engine.Start(), 0);
    entered.Wait({});
  }
  loop.Drain();
  EXPECT_TRUE(owner.lines.empty());
}

}  // namespace
}  // namespace zel
