// Soak: 200 back-to-back upgrades with boxfeed and boxsim as separate
// processes, then 200 in this one process. It reports failures (there must
// be none), the trend of the time per run, and what is left over: file
// descriptors, threads and processes, and resident memory.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "link/OperatorReport.h"
#include "link/Platform.h"
#include "link/RunDriver.h"
#include "sim/BoxSimulator.h"
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

// Processes of this user whose name is one of ours, still there.
int OurProcesses() {
  int count = 0;
  if (DIR* proc = ::opendir("/proc")) {
    while (const dirent* entry = ::readdir(proc)) {
      const std::string comm = std::string("/proc/") + entry->d_name + "/comm";
      if (std::FILE* file = std::fopen(comm.c_str(), "r")) {
        char name[64] = {};
        if (std::fgets(name, sizeof name, file) &&
            (std::string(name) == "boxsim\n" || std::string(name) == "boxfeed\n"))
          ++count;
        std::fclose(file);
      }
    }
    ::closedir(proc);
  }
  return count;
}

pid_t Spawn(std::vector<std::string> args, int out) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
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
  std::printf("%s: first 20 runs %.1f ms each, last 20 %.1f ms: ratio %.2f\n", what, first, last, last / first);
}

int ProcessSoak(const std::string& bin, const std::string& image) {
  const int fdsBefore = CountEntries("/proc/self/fd"), threadsBefore = CountEntries("/proc/self/task");
  int failures = 0;
  std::vector<double> ms;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = Clock::now();
    int said[2];
    if (::pipe2(said, O_CLOEXEC) != 0) return 1;
    const pid_t box = Spawn({bin + "/sim/boxsim", image}, said[1]);
    ::close(said[1]);
    std::string first;
    char c;
    while (::read(said[0], &c, 1) == 1 && c != '\n') first += c;
    const std::string port = first.substr(first.rfind(' ') + 1);
    const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t feed = Spawn({bin + "/cli/boxfeed", "-q", "upgrade", image, "--port", port, "--end-pause-ms", "0"}, devnull);
    ::close(devnull);
    const int fed = Wait(feed);
    while (::read(said[0], &c, 1) == 1) {
    }
    ::close(said[0]);
    const int boxed = Wait(box);
    if (fed != 0 || boxed != 0) ++failures;
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::printf("%d runs of boxfeed and boxsim as processes: %d failures\n", kRuns, failures);
  Trend("  time per run", ms);
  std::printf("  left over: %d file descriptors, %d threads, %d boxfeed or boxsim processes\n",
              CountEntries("/proc/self/fd") - fdsBefore, CountEntries("/proc/self/task") - threadsBefore,
              OurProcesses());
  return failures;
}

struct CSilent : IOperatorReporter {
  void ShowMessage(const std::string&) override {}
};

struct CObserver : IRunObserver {
  bool ended = false;
  RunOutcome outcome = RunOutcome::Failed;
  void OnLine(const std::string&, LineLevel) override {}
  void OnEnd(const CRunEnd& end) override {
    outcome = end.outcome;
    ended = true;
  }
};

int InProcessSoak(const std::vector<uint8_t>& image, const std::string& path) {
  CSilent silent;
  SetOperatorReporter(&silent);
  int failures = 0, fdsAt10 = 0;
  long residentAt10 = 0;
  std::vector<double> ms;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = Clock::now();
    {
      sim::CBoxSimulator box;
      sim::CBoxReport report;
      std::thread boxThread([&] { report = box.Run(image, {}); });
      CUiLoop loop;
      CZELUpgradeThread engine;
      engine.SetPauseBeforeSuccess(std::chrono::milliseconds(0));
      engine.SetDiagnosticOutput(nullptr);
      CObserver observer;
      {
        CRunDriver driver(loop, engine);
        if (driver.Start(box.Port(), path, observer) == 0) loop.RunUntil([&] { return observer.ended; });
      }
      box.Stop();
      boxThread.join();
      if (observer.outcome != RunOutcome::Succeeded || !report.imageIntact) ++failures;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (run == 9) {
      fdsAt10 = CountEntries("/proc/self/fd");
      residentAt10 = ResidentKiB();
    }
  }
  SetOperatorReporter(nullptr);
  std::printf("%d runs in one process: %d failures\n", kRuns, failures);
  Trend("  time per run", ms);
  std::printf("  file descriptors: %d after 10 runs, %d after %d; resident memory: %ld KiB after 10, %ld KiB after %d\n",
              fdsAt10, CountEntries("/proc/self/fd"), kRuns, residentAt10, ResidentKiB(), kRuns);
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string bin = argc > 1 ? argv[1] : ".";
  std::vector<uint8_t> image(8192);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 31 + 7);
  const std::string path = WriteTemporaryFile(image, ".sdl");
  const int failures = ProcessSoak(bin, path) + InProcessSoak(image, path);
  std::remove(path.c_str());
  return failures == 0 ? 0 : 1;
}
