// Soak: 200 back-to-back upgrades with boxfeed and boxsim as separate
// processes, then 200 in this one process, with faults among them: boxes
// that hang up mid-transfer, noise before and between frames, Ctrl-C while
// the box is off, a paced line and the end pause. It reports runs that did
// not end as their fault should (there must be none), the trend of the
// time per run, and what is left over: file descriptors, threads, its own
// child processes, and resident memory.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "run/OperatorReport.h"
#include "run/Platform.h"
#include "run/RunDriver.h"
#include "sim/BoxOnThread.h"
#include "sim/SampleImage.h"
#include "upgrade/ZELUpgradeThread.h"

extern char** environ;

namespace {

using namespace zel;
using Clock = std::chrono::steady_clock;
constexpr int kRuns = 200;

int CountEntries(const char* directory) {
  int count = 0;
  if (DIR* dir = ::opendir(directory)) {
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
  }
  return count;
}

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// This process's children still there, zombies included.
int OwnChildren() {
  int count = 0;
  const std::string self = std::to_string(::getpid());
  if (DIR* proc = ::opendir("/proc")) {
    while (const dirent* entry = ::readdir(proc)) {
      const std::string path = std::string("/proc/") + entry->d_name + "/stat";
      if (std::FILE* file = std::fopen(path.c_str(), "r")) {
        // pid (comm) state ppid ...: the name may hold blanks, so read
        // from its closing parenthesis.
        char line[512] = {};
        if (std::fgets(line, sizeof line, file)) {
          const char* close = std::strrchr(line, ')');
          char state = 0;
          long parent = 0;
          if (close && std::sscanf(close + 1, " %c %ld", &state, &parent) == 2 &&
              std::to_string(parent) == self)
            ++count;
        }
        std::fclose(file);
      }
    }
    ::closedir(proc);
  }
  return count;
}

// One kind of run of the soak: the box's faults and what boxfeed must say.
struct CScenario {
  const char* name;
  std::vector<std::string> boxArgs;   // besides the image
  std::vector<std::string> feedArgs;  // besides upgrade, image and port
  bool interrupt;                     // Ctrl-C once the box is asked for
  int feedStatus;                     // boxfeed's exit status
  int boxStatus;                      // boxsim's
};

const std::vector<CScenario>& Scenarios() {
  static const std::vector<CScenario> scenarios{
      {"clean", {}, {"--end-pause-ms", "0"}, false, 0, 0},
      {"noise", {"--noise-before", "300", "--noise-between", "7"}, {"--end-pause-ms", "0"}, false, 0, 0},
      {"paced, end pause", {"--baud", "921600"}, {"--end-pause-ms", "50"}, false, 0, 0},
      {"hang-up", {"--hang-up-after", "20000"}, {"--end-pause-ms", "0"}, false, 1, 1},
      {"Ctrl-C", {"--silent"}, {}, true, 2, 1},
  };
  return scenarios;
}

pid_t Spawn(std::vector<std::string> args, int out, int err = -1) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  if (err >= 0)
    posix_spawn_file_actions_adddup2(&actions, err, 2);
  else
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Reads fd until text has come or the writer has gone.
bool ReadUntil(int fd, const std::string& text) {
  std::string seen;
  char c;
  while (seen.find(text) == std::string::npos)
    if (::read(fd, &c, 1) != 1)
      return false;
    else
      seen += c;
  return true;
}

int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Trend(const char* what, const std::vector<double>& ms) {
  const auto mean = [&](size_t from, size_t to) {
    return std::accumulate(ms.begin() + static_cast<long>(from), ms.begin() + static_cast<long>(to), 0.0) /
           static_cast<double>(to - from);
  };
  const double first = mean(0, 20), last = mean(ms.size() - 20, ms.size());
  std::printf("%s: first 20 runs %.1f ms each, last 20 %.1f ms: ratio %.2f\n", what, first, last,
              last / first);
}

int ProcessSoak(const std::string& bin, const std::string& image) {
  const int fdsBefore = CountEntries("/proc/self/fd"), threadsBefore = CountEntries("/proc/self/task");
  int failures = 0;
  std::vector<double> ms;
  for (int run = 0; run < kRuns; ++run) {
    const CScenario& scenario = Scenarios()[static_cast<size_t>(run) % Scenarios().size()];
    const auto start = Clock::now();
    int said[2], prompt[2];
    if (::pipe2(said, O_CLOEXEC) != 0 || ::pipe2(prompt, O_CLOEXEC) != 0) return 1;
    std::vector<std::string> boxArgs{bin + "/sim/boxsim", image};
    boxArgs.insert(boxArgs.end(), scenario.boxArgs.begin(), scenario.boxArgs.end());
    const pid_t box = Spawn(boxArgs, said[1]);
    ::close(said[1]);
    std::string first;
    char c;
    while (::read(said[0], &c, 1) == 1 && c != '\n') first += c;
    const std::string port = first.substr(first.rfind(' ') + 1);
    const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::vector<std::string> feedArgs{bin + "/cli/boxfeed", "upgrade", image, "--port", port, "-q"};
    feedArgs.insert(feedArgs.end(), scenario.feedArgs.begin(), scenario.feedArgs.end());
    // Quiet, the operator's prompt comes on standard error.
    const pid_t feed = Spawn(feedArgs, devnull, prompt[1]);
    ::close(devnull);
    ::close(prompt[1]);
    if (scenario.interrupt && ReadUntil(prompt[0], "Please SWITCH ON your box now")) ::kill(feed, SIGINT);
    while (::read(prompt[0], &c, 1) == 1) {
    }
    ::close(prompt[0]);
    const int fed = Wait(feed);
    if (scenario.interrupt) ::kill(box, SIGINT);  // a silent box waits for ever
    while (::read(said[0], &c, 1) == 1) {
    }
    ::close(said[0]);
    const int boxed = Wait(box);
    if (fed != scenario.feedStatus || boxed != scenario.boxStatus) {
      ++failures;
      std::printf("  run %d (%s): boxfeed %d, boxsim %d; expected %d and %d\n", run, scenario.name, fed,
                  boxed, scenario.feedStatus, scenario.boxStatus);
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::printf("%d runs of boxfeed and boxsim as processes (", kRuns);
  for (const CScenario& scenario : Scenarios())
    std::printf("%s%s", scenario.name, &scenario == &Scenarios().back() ? "" : ", ");
  std::printf("): %d ended otherwise than their fault should\n", failures);
  Trend("  time per run", ms);
  std::printf("  left over: %d file descriptors, %d threads, %d child processes\n",
              CountEntries("/proc/self/fd") - fdsBefore, CountEntries("/proc/self/task") - threadsBefore,
              OwnChildren());
  return failures;
}

struct CObserver : IRunObserver {
  bool ended = false;
  RunOutcome outcome = RunOutcome::Failed;
  std::function<void()> onProgress;
  void OnLine(const std::string&, LineLevel) override {}
  void OnOperatorMessage(const std::string&) override {}
  void OnDiagnostic(const std::string&) override {}
  void OnProgress(uint32_t, uint32_t) override {
    if (onProgress) onProgress();
  }
  void OnEnd(const CRunEnd& end) override {
    outcome = end.outcome;
    ended = true;
  }
};

int InProcessSoak(const std::vector<uint8_t>& image, const std::string& path) {
  int failures = 0, fdsAt10 = 0;
  long residentAt10 = 0;
  std::vector<double> ms;
  for (int run = 0; run < kRuns; ++run) {
    // Clean, noisy, hanging up after 20000 bytes, and stopped at the first
    // reply, in turn.
    const int kind = run % 4;
    sim::CBoxPlan plan;
    if (kind == 1) plan.noiseBeforeReboot = 300, plan.noiseBetweenFrames = 7;
    if (kind == 2) plan.hangUpAfter = 20000;
    const RunOutcome expected = kind == 2   ? RunOutcome::Failed
                                : kind == 3 ? RunOutcome::Cancelled
                                            : RunOutcome::Succeeded;
    const auto start = Clock::now();
    {
      sim::CBoxOnThread box(image, plan);
      CUiLoop loop;
      CZELUpgradeThread engine;
      engine.SetPauseBeforeSuccess(std::chrono::milliseconds(0));
      CObserver observer;
      {
        CRunDriver driver(loop, engine);
        if (kind == 3) observer.onProgress = [&] { driver.Stop(); };
        if (driver.Start(box.box.Port(), path, observer) == 0) loop.RunUntil([&] { return observer.ended; });
      }
      box.Finish();
      const bool intact = expected != RunOutcome::Succeeded || box.report.imageIntact;
      if (observer.outcome != expected || !intact) {
        ++failures;
        std::printf("  run %d: outcome %d, expected %d\n", run, static_cast<int>(observer.outcome),
                    static_cast<int>(expected));
      }
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (run == 9) {
      fdsAt10 = CountEntries("/proc/self/fd");
      residentAt10 = ResidentKiB();
    }
  }
  std::printf("%d runs in one process (clean, noise, hang-up, stop): %d ended otherwise than they should\n",
              kRuns, failures);
  Trend("  time per run", ms);
  std::printf(
      "  file descriptors: %d after 10 runs, %d after %d; resident memory: %ld KiB after 10, %ld KiB after "
      "%d\n",
      fdsAt10, CountEntries("/proc/self/fd"), kRuns, residentAt10, ResidentKiB(), kRuns);
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string bin = argc > 1 ? argv[1] : ".";
  const std::vector<uint8_t> image = sim::SampleImage(64 * 1024);
  const std::string path = WriteTemporaryFile(image, ".sdl");
  const int failures = ProcessSoak(bin, path) + InProcessSoak(image, path);
  std::remove(path.c_str());
  return failures == 0 ? 0 : 1;
}
