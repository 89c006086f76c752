// The upgrade engine fed a byte stream as the box's side of the line.
// Every frame it writes is checked against a model of its own: a start or
// end command of 12 bytes, or a data reply whose length field, offset,
// data (the image, 0xFF past its end), trailer and CRC are right.
#include <cstdio>
#include <cstdlib>

#include "run/OperatorReport.h"
#include "run/Platform.h"
#include "run/RunDriver.h"
#include "tests/MemoryDevice.h"
#include "upgrade/ZELUpgradeThread.h"

namespace zel::fuzz {

namespace {

using test::CMemoryDevice;
using test::CMemoryLine;

constexpr uint8_t kMarker[8] = {'Q', 'u', 'I', 'e', 't', 'F', 'o', 'X'};

struct CObserver : IRunObserver {
  bool ended = false;
  void OnLine(const std::string&, LineLevel) override {}
  void OnOperatorMessage(const std::string&) override {}
  void OnDiagnostic(const std::string&) override {}
  void OnEnd(const CRunEnd&) override { ended = true; }
};

// CRC-8, reflected polynomial 0x31, bit by bit (the engine uses a table).
uint8_t Crc(const uint8_t* bytes, size_t count) {
  uint8_t crc = 0xFF;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C) : crc >> 1;
  }
  return crc;
}

const std::vector<uint8_t>& Image() {
  static const std::vector<uint8_t> image = [] {
    std::vector<uint8_t> bytes(3000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return bytes;
  }();
  return image;
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "bad frame: %s\n", what);
  std::abort();
}

void CheckFrame(const std::vector<uint8_t>& f) {
  Check(f.size() >= 12 && std::memcmp(f.data(), kMarker, 8) == 0, "no marker");
  const unsigned pid = f[8] << 8 | f[9];
  if (pid == 0x0012 || pid == 0x0013) {
    Check(f.size() == 12 && f[10] == 0 && f[11] == 0, "command frame");
    return;
  }
  Check(pid == 0x0031 && f.size() >= 20, "unknown frame");
  const size_t n = f.size() - 20;
  Check((f[10] << 8 | f[11]) == static_cast<int>((n + 8) & 0xFFFF), "length field");
  const uint64_t offset = uint64_t{f[12]} << 24 | f[13] << 16 | f[14] << 8 | f[15];
  for (size_t i = 0; i < n; ++i) {
    const uint64_t at = offset + i;
    Check(f[16 + i] == (at < Image().size() ? Image()[at] : 0xFF), "data");
  }
  Check(f[16 + n] == 0 && f[17 + n] == 0 && f[18 + n] == 0, "trailer");
  Check(f[19 + n] == Crc(&f[12], n + 4), "checksum");
}

}  // namespace
}  // namespace zel::fuzz

using namespace zel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string imagePath = [] { return WriteTemporaryFile(fuzz::Image(), ".sdl"); }();
  test::CMemoryLine line;
  line.input = data;
  line.size = size;
  CUiLoop loop;
  CZELUpgradeThread engine;
  engine.UseDevice(std::make_unique<test::CMemoryDevice>(line));
  engine.SetPauseBeforeSuccess(std::chrono::milliseconds(0));
  fuzz::CObserver observer;
  {
    CRunDriver driver(loop, engine);
    if (driver.Start("FUZZ", imagePath, observer) == 0) loop.RunUntil([&] { return observer.ended; });
  }
  for (const auto& frame : line.frames) fuzz::CheckFrame(frame);
  return 0;
}
