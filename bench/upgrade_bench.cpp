// Upgrade benchmark: the command line's upgrade path against the simulated
// box over a pseudo-terminal, measured side by side with a raw stream of
// the same bytes through the same kind of pty, and a paced run against the
// wire's limit.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <thread>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "ports/CommHandle.h"
#include "ports/CommRecords.h"
#include "run/Platform.h"
#include "serial/SerialDevice.h"
#include "sim/BoxSimulator.h"
#include "sim/PtyLine.h"
#include "sim/SampleImage.h"
#include "upgrade/ZELUpgradeThread.h"

namespace {

using namespace zel;
using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct CRunResult {
  sim::CBoxReport box;
  double toolCpuSeconds = 0;
  int status = -1;
};

CRunResult RunUpgrade(const std::vector<uint8_t>& image, const std::string& path, const sim::CBoxPlan& plan) {
  std::FILE* null = std::fopen("/dev/null", "w");
  cli::CConsole console(null, null);
  CUiLoop loop;
  cli::CActiveStations active;
  sim::CBoxSimulator box;
  CRunResult result;
  double boxCpu = 0;
  const double cpuBefore = ProcessCpuSeconds();
  std::thread boxThread([&] {
    const double start = ThreadCpuSeconds();
    result.box = box.Run(image, plan);
    boxCpu = ThreadCpuSeconds() - start;
  });
  result.status = cli::RunOne(loop, console, active, [] { return std::make_unique<CZELUpgradeThread>(); },
                              box.Port(), path, {});
  box.Stop();
  boxThread.join();
  result.toolCpuSeconds = ProcessCpuSeconds() - cpuBefore - boxCpu;
  std::fclose(null);
  return result;
}

// A pty with the device layer on its slave end, opened as the tool opens a
// port; the far end is the master.
struct CRawPty {
  CRawPty() {
    device->Open(line.Port());
    comm.SetTimeouts(LineTimeoutsOf(PortTimeouts()));
    ::fcntl(line.Master(), F_SETFL, ::fcntl(line.Master(), F_GETFL) & ~O_NONBLOCK);
  }
  ~CRawPty() { device->Close(); }
  sim::CPtyLine line;
  const int master = line.Master();
  std::unique_ptr<CSerialDevice> device = CSerialDevice::Create();
  CCommHandle comm{*device};  // the ports' reads and writes, with their time-outs
};

// The same bytes written through the device layer to a pty and read at the
// far end, with no protocol: the ceiling for the upgrade's throughput.
double RawStreamSeconds(const std::vector<uint8_t>& image) {
  CRawPty pty;
  const int master = pty.master;
  CCommHandle& device = pty.comm;
  const auto start = Clock::now();
  std::thread reader([&] {
    std::vector<uint8_t> sink(1 << 16);
    size_t got = 0;
    while (got < image.size()) {
      const ssize_t n = ::read(master, sink.data(), sink.size());
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
  });
  constexpr size_t kBlock = 4096 + 20;  // a reply's worth per write
  for (size_t offset = 0; offset < image.size(); offset += kBlock) {
    uint32_t written = 0;
    device.Write(image.data() + offset, static_cast<uint32_t>(std::min(kBlock, image.size() - offset)),
                 written);
  }
  reader.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return seconds;
}

// Request-to-reply turnaround of a bare echo over a pty through the device
// layer (16 bytes in, a 1044-byte block out), with the same idle gap
// between requests as the paced line leaves: the floor the tool's
// turnaround stands on.
std::vector<double> RawTurnaroundsUs(size_t count, std::chrono::microseconds gap) {
  std::vector<double> samples;
  CRawPty pty;
  const int master = pty.master;
  CCommHandle& device = pty.comm;
  std::thread echo([&] {
    std::vector<uint8_t> request(16), reply(1044, 0x5A);
    for (size_t i = 0; i < count; ++i) {
      uint32_t got = 0, have = 0, written = 0;
      while (have < request.size())
        if (device.Read(request.data() + have, static_cast<uint32_t>(request.size() - have), got))
          have += got;
      device.Write(reply.data(), static_cast<uint32_t>(reply.size()), written);
    }
  });
  std::vector<uint8_t> buffer(4096);
  for (size_t i = 0; i < count; ++i) {
    std::this_thread::sleep_for(gap);
    const auto asked = Clock::now();
    [[maybe_unused]] ssize_t n = ::write(master, buffer.data(), 16);
    size_t got = 0;
    while (got < 1044) {
      pollfd pfd{master, POLLIN, 0};
      ::poll(&pfd, 1, -1);
      const ssize_t r = ::read(master, buffer.data(), buffer.size());
      if (r <= 0) continue;
      if (got == 0)
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - asked).count());
      got += static_cast<size_t>(r);
    }
  }
  echo.join();
  return samples;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())));
  return values[at];
}

void Unpaced() {
  constexpr size_t kSize = 64u << 20;
  const auto image = sim::SampleImage(kSize);
  const std::string path = WriteTemporaryFile(image, ".sdl");
  const double mib = static_cast<double>(kSize) / (1 << 20);
  const double rawSeconds = RawStreamSeconds(image);
  std::printf("1. Unpaced over a pty, %zu MiB image\n", kSize >> 20);
  std::printf("   %-22s %10s %12s %12s %12s %14s\n", "", "MB/s", "x raw", "CPU s/MiB", "CPU us/req",
              "requests");
  std::printf("   %-22s %10.1f %12s %12s %12s %14s\n", "raw stream",
              static_cast<double>(kSize) / rawSeconds / 1e6, "1.00", "-", "-", "-");
  for (uint32_t chunk : {4096u, 1024u, 256u}) {
    sim::CBoxPlan plan;
    plan.chunk = chunk;
    const CRunResult run = RunUpgrade(image, path, plan);
    const double rate = static_cast<double>(kSize) / run.box.seconds / 1e6;
    char label[32];
    std::snprintf(label, sizeof label, "upgrade, %u-byte req.", chunk);
    std::printf("   %-22s %10.1f %12.2f %12.4f %12.1f %14llu%s\n", label, rate, rawSeconds / run.box.seconds,
                run.toolCpuSeconds / mib, run.toolCpuSeconds / static_cast<double>(run.box.requests) * 1e6,
                static_cast<unsigned long long>(run.box.requests),
                run.box.imageIntact && run.status == 0 ? "" : "  (NOT intact)");
  }
  std::remove(path.c_str());
}

void Paced() {
  constexpr size_t kSize = 256u << 10;
  const auto image = sim::SampleImage(kSize);
  const std::string path = WriteTemporaryFile(image, ".sdl");
  sim::CBoxPlan plan;
  plan.chunk = 1024;
  plan.baud = 57600;
  const CRunResult run = RunUpgrade(image, path, plan);
  std::printf("2. Paced at 57600 baud, %zu KiB image in 1024-byte requests\n", kSize >> 10);
  std::printf("   total %.3f s, wire limit %.3f s: %.2f %% over the limit%s\n", run.box.seconds,
              run.box.wireSeconds, (run.box.seconds / run.box.wireSeconds - 1) * 100,
              run.box.imageIntact && run.status == 0 ? "" : "  (NOT intact)");
  // The line is idle while a reply crosses it: 1044 bytes at 57600 baud.
  const auto raw =
      RawTurnaroundsUs(run.box.turnaroundUs.size(), std::chrono::microseconds(1044LL * 10 * 1000000 / 57600));
  std::printf("   %-34s %10s %10s %10s\n", "turnaround per request (us)", "median", "p99", "max");
  std::printf("   %-34s %10.0f %10.0f %10.0f\n", "upgrade (256 requests)",
              Percentile(run.box.turnaroundUs, 0.5), Percentile(run.box.turnaroundUs, 0.99),
              Percentile(run.box.turnaroundUs, 1.0));
  std::printf("   %-34s %10.0f %10.0f %10.0f\n", "bare pty echo, same sizes", Percentile(raw, 0.5),
              Percentile(raw, 0.99), Percentile(raw, 1.0));
  std::printf("   %-34s %10.2f %10.2f\n", "ratio",
              Percentile(run.box.turnaroundUs, 0.5) / Percentile(raw, 0.5),
              Percentile(run.box.turnaroundUs, 0.99) / Percentile(raw, 0.99));
  std::remove(path.c_str());
}

// What a USB adapter's latency timer costs: requests (14 bytes) reach the
// tool only at the timer's ticks. 16 ms is an FTDI's default; 1 ms what
// the tool asks its driver for.
void UsbLatency() {
  constexpr size_t kSize = 32u << 10;
  const auto image = sim::SampleImage(kSize);
  const std::string path = WriteTemporaryFile(image, ".sdl");
  std::printf("3. A USB adapter's latency timer, paced at 57600 baud, %zu KiB image: share of the line\n",
              kSize >> 10);
  std::printf("   %-20s %12s %12s\n", "request size", "16 ms timer", "1 ms timer");
  for (const uint16_t chunk : {uint16_t{1024}, uint16_t{256}}) {
    double share[2] = {};
    for (int i = 0; i < 2; ++i) {
      sim::CBoxPlan plan;
      plan.chunk = chunk;
      plan.baud = 57600;
      plan.usbLatencyMs = i == 0 ? 16 : 1;
      const CRunResult run = RunUpgrade(image, path, plan);
      share[i] = run.box.imageIntact && run.status == 0 ? run.box.wireSeconds / run.box.seconds * 100 : 0;
    }
    std::printf("   %-20s %11.1f%% %11.1f%%\n", (std::to_string(chunk) + " bytes").c_str(), share[0],
                share[1]);
  }
  std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  if (only.empty() || only == "unpaced") Unpaced();
  if (only.empty() || only == "paced") Paced();
  if (only.empty() || only == "latency") UsbLatency();
  return 0;
}
