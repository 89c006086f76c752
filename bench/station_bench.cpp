// A production station: boxfeed loading 8 boxes at once, each paced at
// 57600 baud with 1 KiB requests, next to the same with one box. Then its
// peak memory with 32 ports loading one 64 MiB image, beside a 1 KiB one. Each box
// should finish within 1 % of its line's limit, and boxfeed should use
// under 5 % of one core over the run. Then boxfeed waiting for 8 and for
// 32 boxes that are not switched on: how often it wakes up per port and
// second while nothing happens (at most 2 is the aim). Then the station
// window (boxfeeder --station, offscreen) with 32 boxes: each within 1 %
// of its wire limit, the window's process under 15 % of one core while
// they load and under 1 % while it waits for 32 boxes that stay off.
//   station_bench BOXFEED [BOXFEEDER]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "run/Platform.h"
#include "sim/BoxSimulator.h"

extern char** environ;

namespace {

using namespace zel;
using Clock = std::chrono::steady_clock;

// Starts a program with its standard output and error on /dev/null.
pid_t SpawnQuietly(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// What a finished boxfeed used: its exit status, wall time, CPU seconds
// and voluntary context switches.
struct CUsage {
  int status = -1;
  double wall = 0, cpu = 0;
  long wakeUps = 0;
};

CUsage WaitFor(pid_t pid, Clock::time_point start) {
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  CUsage result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.wall = std::chrono::duration<double>(Clock::now() - start).count();
  result.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  result.wakeUps = usage.ru_nvcsw;
  return result;
}

struct CStationResult {
  std::vector<double> overWire;  // each box's time against its wire limit, percent over
  double cpuShare = 0;           // boxfeed's CPU seconds per wall second, percent of one core
  int status = -1;
  bool allIntact = true;
};

// boxfeed's command line for an upgrade of path on a port of each of boxes
// new simulated boxes.
std::vector<std::string> UpgradeArgs(const char* boxfeed, const std::string& path, size_t boxes,
                                     std::vector<std::unique_ptr<sim::CBoxSimulator>>& sims) {
  std::vector<std::string> args{boxfeed, "-q", "upgrade", path, "--end-pause-ms", "0"};
  for (size_t i = 0; i < boxes; ++i) {
    sims.push_back(std::make_unique<sim::CBoxSimulator>());
    args.push_back("-p");
    args.push_back(sims.back()->Port());
  }
  return args;
}

CStationResult RunStation(const char* boxfeed, size_t boxes, const std::vector<uint8_t>& image,
                          const std::string& path) {
  sim::CBoxPlan plan;
  plan.chunk = 1024;
  plan.baud = 57600;
  std::vector<std::unique_ptr<sim::CBoxSimulator>> sims;
  std::vector<sim::CBoxReport> reports(boxes);
  std::vector<std::thread> threads;
  const auto args = UpgradeArgs(boxfeed, path, boxes, sims);
  for (size_t i = 0; i < boxes; ++i) threads.emplace_back([&, i] { reports[i] = sims[i]->Run(image, plan); });
  const auto start = Clock::now();
  const CUsage usage = WaitFor(SpawnQuietly(args), start);
  for (auto& sim : sims) sim->Stop();
  for (auto& t : threads) t.join();
  CStationResult result;
  result.status = usage.status;
  result.cpuShare = usage.cpu / usage.wall * 100.0;
  for (const auto& report : reports) {
    result.overWire.push_back((report.seconds / report.wireSeconds - 1.0) * 100.0);
    result.allIntact &= report.imageIntact;
  }
  return result;
}

// boxfeed's peak resident memory (MiB) with 32 ports loading one image:
// every box asks for 16 pieces of 64 KiB from anywhere in it and ends.
double PeakMemoryMiB(const char* boxfeed, size_t boxes, const std::vector<uint8_t>& image) {
  const std::string path = WriteTemporaryFile(image, ".sdl");
  sim::CBoxPlan plan;
  plan.chunk = 65535;
  plan.order = sim::CBoxPlan::Order::Random;
  plan.endAfter = 16;
  std::vector<std::unique_ptr<sim::CBoxSimulator>> sims;
  std::vector<std::thread> threads;
  const auto args = UpgradeArgs(boxfeed, path, boxes, sims);
  for (size_t i = 0; i < boxes; ++i) threads.emplace_back([&, i] { sims[i]->Run(image, plan); });
  // The high-water mark of the process's own memory, read until it ends
  // (a spawned child's ru_maxrss counts this process's memory too).
  const pid_t pid = SpawnQuietly(args);
  long peakKiB = 0;
  for (int status = 0; ::waitpid(pid, &status, WNOHANG) == 0;) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(file, line);)
      if (line.rfind("VmHWM:", 0) == 0) peakKiB = std::max(peakKiB, std::stol(line.substr(6)));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (auto& sim : sims) sim->Stop();
  for (auto& t : threads) t.join();
  std::filesystem::remove(path);
  return static_cast<double>(peakKiB) / 1024.0;
}

// boxfeed with ports whose boxes stay off, for seconds, then Ctrl-C:
// voluntary context switches per port per second, and CPU.
// Voluntary context switches of every thread of a process so far.
long WakeUpsSoFar(pid_t pid) {
  long total = 0;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks)) {
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::stol(line.substr(24));
  }
  return total;
}

struct CIdleResult {
  double wakeUpsPerPortSecond = 0;     // once every port waits, start and stop left out
  double runWakeUpsPerPortSecond = 0;  // the whole run, start and stop included
  double cpuShare = 0;
  int status = -1;
};

CIdleResult RunIdle(const char* boxfeed, size_t ports, double seconds, const std::string& path) {
  sim::CBoxPlan silent;
  silent.silent = true;
  std::vector<std::unique_ptr<sim::CBoxSimulator>> sims;
  std::vector<std::thread> threads;
  std::vector<std::string> args{boxfeed, "-q", "upgrade", path};
  for (size_t i = 0; i < ports; ++i) {
    sims.push_back(std::make_unique<sim::CBoxSimulator>());
    args.push_back("-p");
    args.push_back(sims.back()->Port());
  }
  for (size_t i = 0; i < ports; ++i) threads.emplace_back([&, i] { sims[i]->Run({}, silent); });
  const auto start = Clock::now();
  const pid_t pid = SpawnQuietly(args);
  // A second to open every port and settle, then the waiting alone.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const long settled = WakeUpsSoFar(pid);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const long waited = WakeUpsSoFar(pid) - settled;
  ::kill(pid, SIGINT);
  const CUsage usage = WaitFor(pid, start);
  for (auto& sim : sims) sim->Stop();
  for (auto& t : threads) t.join();
  CIdleResult result;
  result.status = usage.status;
  result.wakeUpsPerPortSecond = static_cast<double>(waited) / static_cast<double>(ports) / seconds;
  result.runWakeUpsPerPortSecond =
      static_cast<double>(usage.wakeUps) / static_cast<double>(ports) / usage.wall;
  result.cpuShare = usage.cpu / usage.wall * 100.0;
  return result;
}

// CPU seconds a process has used so far, all its threads.
double CpuSecondsSoFar(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  if (text.rfind(')') == std::string::npos) return 0;  // the process has gone
  // Fields after the command's closing parenthesis: state is the 3rd
  // field, utime the 14th and stime the 15th.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int n = 3; fields >> field; ++n) {
    if (n == 14 || n == 15) ticks += std::stod(field);
    if (n == 15) break;
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct CWindowResult {
  std::vector<double> overWire;
  std::vector<double> answering;  // each box's time waiting for the tool's replies, percent of the wire limit
  double loadingCpuShare = 0;     // percent of one core, from the first second to the last box's end
  int status = -1;
  bool allIntact = true;
};

// The station window with a box per port; silent boxes stay off, and the
// window is then ended after seconds.
CWindowResult RunWindow(const char* boxfeeder, size_t boxes, const std::vector<uint8_t>& image,
                        const std::string& path, bool silent, double seconds) {
  sim::CBoxPlan plan;
  plan.chunk = 1024;
  plan.baud = 57600;
  plan.silent = silent;
  // The operator switches the boxes on once the window is up and every
  // port waits, as on a line.
  plan.switchOnAfterMs = 1000;
  std::vector<std::unique_ptr<sim::CBoxSimulator>> sims;
  std::vector<sim::CBoxReport> reports(boxes);
  std::vector<std::thread> threads;
  std::vector<std::string> args{boxfeeder, "--station", path, "--start", "--exit-when-done"};
  for (size_t i = 0; i < boxes; ++i) {
    sims.push_back(std::make_unique<sim::CBoxSimulator>());
    args.push_back("--port");
    args.push_back(sims.back()->Port());
  }
  for (size_t i = 0; i < boxes; ++i) threads.emplace_back([&, i] { reports[i] = sims[i]->Run(image, plan); });
  const auto start = Clock::now();
  const pid_t pid = SpawnQuietly(args);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double settled = CpuSecondsSoFar(pid);
  const auto settledAt = Clock::now();
  if (silent) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    for (auto& sim : sims) sim->Stop();
  }
  for (auto& t : threads) t.join();
  const double used = CpuSecondsSoFar(pid) - settled;
  const double wall = std::chrono::duration<double>(Clock::now() - settledAt).count();
  if (silent) ::kill(pid, SIGTERM);
  const CUsage usage = WaitFor(pid, start);
  CWindowResult result;
  result.status = usage.status;
  result.loadingCpuShare = used / wall * 100.0;
  if (!silent) {
    for (const auto& report : reports) {
      result.overWire.push_back((report.seconds / report.wireSeconds - 1.0) * 100.0);
      double waited = 0;
      for (double us : report.turnaroundUs) waited += us / 1e6;
      result.answering.push_back(waited / report.wireSeconds * 100.0);
      result.allIntact &= report.imageIntact;
    }
  }
  return result;
}

struct CContinuousResult {
  std::vector<double> overWire;     // per port: boxes 2 and 3, reopening included, against their wire limit
  std::vector<double> boxOverWire;  // the same, each box from its first frame to its last
  double loadingCpuShare = 0;       // while the boxes load
  double waitingCpuShare = 0;       // then while every port waits for its next box
  bool allIntact = true;
};

// The station window in continuous mode: three boxes one after another on
// each port, each switched on the moment the one before has ended; then
// every port waits for a fourth for seconds.
CContinuousResult RunContinuousWindow(const char* boxfeeder, size_t ports, const std::vector<uint8_t>& image,
                                      const std::string& path, double seconds) {
  sim::CBoxPlan first, next;
  first.chunk = next.chunk = 1024;
  first.baud = next.baud = 57600;
  first.switchOnAfterMs = 1000;  // once the window is up and every port waits
  std::vector<std::unique_ptr<sim::CBoxSimulator>> sims;
  std::vector<std::string> args{boxfeeder, "--station", path, "--start"};
  for (size_t i = 0; i < ports; ++i) {
    sims.push_back(std::make_unique<sim::CBoxSimulator>());
    args.push_back("--port");
    args.push_back(sims.back()->Port());
  }
  CContinuousResult result;
  result.overWire.resize(ports);
  result.boxOverWire.resize(ports);
  std::vector<bool> intact(ports, true);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < ports; ++i)
    threads.emplace_back([&, i] {
      sim::CBoxReport report = sims[i]->Run(image, first);
      const auto firstEnded = Clock::now();
      double wire = 0, own = 0;
      bool whole = report.imageIntact;
      for (int box = 0; box < 2; ++box) {
        report = sims[i]->Run(image, next);
        wire += report.wireSeconds;
        own += report.seconds;
        whole &= report.imageIntact;
      }
      const double wall = std::chrono::duration<double>(Clock::now() - firstEnded).count();
      result.overWire[i] = (wall / wire - 1.0) * 100.0;
      result.boxOverWire[i] = (own / wire - 1.0) * 100.0;
      intact[i] = whole;
    });
  const auto start = Clock::now();
  const pid_t pid = SpawnQuietly(args);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double settled = CpuSecondsSoFar(pid);
  const auto settledAt = Clock::now();
  for (auto& t : threads) t.join();
  const double loaded = CpuSecondsSoFar(pid);
  const auto loadedAt = Clock::now();
  result.loadingCpuShare =
      (loaded - settled) / std::chrono::duration<double>(loadedAt - settledAt).count() * 100.0;
  std::this_thread::sleep_for(std::chrono::seconds(1));  // every port back to waiting
  const double waitFrom = CpuSecondsSoFar(pid);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  result.waitingCpuShare = (CpuSecondsSoFar(pid) - waitFrom) / seconds * 100.0;
  ::kill(pid, SIGTERM);
  WaitFor(pid, start);
  for (auto& sim : sims) sim->Stop();
  for (const bool whole : intact) result.allIntact &= whole;
  return result;
}

void Print(const char* what, const CStationResult& r) {
  const auto [low, high] = std::minmax_element(r.overWire.begin(), r.overWire.end());
  std::printf(
      "%-8s exit %d, images %s; over the wire limit: best %.2f %%, worst %.2f %%; boxfeed CPU %.2f %% of one "
      "core\n",
      what, r.status, r.allIntact ? "intact" : "NOT intact", *low, *high, r.cpuShare);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as it comes
  const char* boxfeed = argc > 1 ? argv[1] : "cli/boxfeed";
  std::vector<uint8_t> image(48 * 1024);
  std::mt19937 random(3);
  for (auto& b : image) b = static_cast<uint8_t>(random());
  const std::string path = WriteTemporaryFile(image, ".sdl");
  std::printf("Station: %zu KiB images, 1 KiB requests, each line paced at 57600 baud\n",
              image.size() / 1024);
  const CStationResult one = RunStation(boxfeed, 1, image, path);
  Print("1 box:", one);
  const CStationResult eight = RunStation(boxfeed, 8, image, path);
  Print("8 boxes:", eight);
  std::printf("8 boxes against 1: worst time over the limit %+.2f points, CPU x %.1f\n",
              *std::max_element(eight.overWire.begin(), eight.overWire.end()) -
                  *std::max_element(one.overWire.begin(), one.overWire.end()),
              one.cpuShare > 0 ? eight.cpuShare / one.cpuShare : 0.0);
  std::printf("Idle: boxfeed waiting 5 s for boxes that are not switched on, then Ctrl-C\n");
  for (const size_t ports : {8, 32}) {
    const CIdleResult idle = RunIdle(boxfeed, ports, 5.0, path);
    std::printf(
        "%2zu ports: exit %d; wake-ups per port per second %.2f while waiting (%.2f with start and stop); "
        "boxfeed CPU %.2f %% of one core\n",
        ports, idle.status, idle.wakeUpsPerPortSecond, idle.runWakeUpsPerPortSecond, idle.cpuShare);
  }
  {
    // One copy of the image serves every port.
    const std::vector<uint8_t> large(64 << 20, 0x5A), small(1024, 0x5A);
    const double base = PeakMemoryMiB(boxfeed, 32, small), peak = PeakMemoryMiB(boxfeed, 32, large);
    std::printf(
        "Memory, 32 boxes loading one image: boxfeed's peak %.1f MiB with 64 MiB, %.1f MiB with 1 KiB: the "
        "image "
        "costs %.1f MiB, %.2f times its size (aim: under the image + 64 MiB, %.0f MiB)\n",
        peak, base, peak - base, (peak - base) / 64.0, 64.0 + 64.0);
  }
  if (argc > 2) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const CWindowResult loading = RunWindow(argv[2], 32, image, path, false, 0);
    const auto [low, high] = std::minmax_element(loading.overWire.begin(), loading.overWire.end());
    std::printf(
        "Window, 32 boxes: exit %d, images %s; over the wire limit: best %.2f %%, worst %.2f %%; window CPU "
        "%.2f "
        "%% of one core while they load\n",
        loading.status, loading.allIntact ? "intact" : "NOT intact", *low, *high, loading.loadingCpuShare);
    std::printf("  of which waiting for the window's replies: worst %.2f %%\n",
                *std::max_element(loading.answering.begin(), loading.answering.end()));
    const CWindowResult waiting = RunWindow(argv[2], 32, image, path, true, 5.0);
    std::printf("Window, 32 boxes off: window CPU %.2f %% of one core while it waits 5 s\n",
                waiting.loadingCpuShare);
    const CContinuousResult continuous = RunContinuousWindow(argv[2], 32, image, path, 5.0);
    const auto [best, worst] = std::minmax_element(continuous.overWire.begin(), continuous.overWire.end());
    const auto [boxBest, boxWorst] =
        std::minmax_element(continuous.boxOverWire.begin(), continuous.boxOverWire.end());
    std::printf(
        "Window, continuous, 32 ports, 3 boxes each, the next switched on as the port opens again: images "
        "%s; "
        "boxes 2 and 3 over the wire limit, each from its first frame to its last: best %.2f %%, worst %.2f "
        "%% "
        "(aim: within 1 %%; one box per Start, above: worst %.2f %%); the same with the 1 s pause after each "
        "success and the reopening: best %.2f %%, worst %.2f %%; window CPU %.2f %% of one core while they "
        "load (aim: under 10 %%), %.2f %% while 32 ports wait for their next box\n",
        continuous.allIntact ? "intact" : "NOT intact", *boxBest, *boxWorst, *high, *best, *worst,
        continuous.loadingCpuShare, continuous.waitingCpuShare);
  }
  std::remove(path.c_str());
  return 0;
}
