// The floor for a Windows tool on a COM port: the fewest calls that can
// answer the box. Synchronous reads of a whole frame each, the image in
// memory, no checks, no reports. make windows-bench runs it beside
// boxfeed.exe against the same simulated box, so that boxfeed.exe's
// turnaround reads as a multiple of what any Win32 program pays.
//   win32_floor IMAGE COMn
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "upgrade/UpgradeFrame.h"

namespace {

bool ReadAll(HANDLE port, uint8_t* bytes, DWORD count) {
  while (count > 0) {
    DWORD got = 0;
    if (!ReadFile(port, bytes, count, &got, nullptr)) return false;
    bytes += got;
    count -= got;
  }
  return true;
}

bool WriteAll(HANDLE port, const uint8_t* bytes, DWORD count) {
  DWORD written = 0;
  return WriteFile(port, bytes, count, &written, nullptr) && written == count;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zel;
  if (argc != 3) {
    std::fprintf(stderr, "usage: win32_floor IMAGE COMn\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<uint8_t> image{std::istreambuf_iterator<char>(file), {}};
  const std::string name = std::string("\\\\.\\") + argv[2];
  HANDLE port =
      CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "win32_floor: %s does not open\n", argv[2]);
    return 1;
  }
  DCB line{};
  line.DCBlength = sizeof line;
  GetCommState(port, &line);
  line.BaudRate = CBR_115200;
  line.ByteSize = 8;
  line.Parity = NOPARITY;
  line.StopBits = ONESTOPBIT;
  line.fBinary = TRUE;
  SetCommState(port, &line);
  COMMTIMEOUTS wholeCount{};  // each read waits for all it asks
  SetCommTimeouts(port, &wholeCount);
  std::vector<uint8_t> reply;
  for (;;) {
    uint8_t frame[kDataRequestSize];
    if (!ReadAll(port, frame, kFrameHeaderSize) || !MatchMarker(frame)) break;
    const uint16_t pid = ReadBigEndian16(frame + 8);
    if (pid == PID_REBOOT) {
      const auto start = CommandFrame(PID_START_UPGRADE);
      if (!WriteAll(port, start.data(), static_cast<DWORD>(start.size()))) break;
    } else if (pid == PID_DATA_REQUEST) {
      if (!ReadAll(port, frame + kFrameHeaderSize, kDataRequestSize - kFrameHeaderSize)) break;
      const uint16_t n = ReadBigEndian16(frame + 10);
      const uint32_t offset = ReadBigEndian32(frame + kFrameHeaderSize);
      reply.assign(n + kDataReplyOverhead, 0xFF);
      for (size_t i = 0; i < n && offset + i < image.size(); ++i)
        reply[kReplyDataOffset + i] = image[offset + i];
      SealDataReply(reply.data(), n, offset);
      if (!WriteAll(port, reply.data(), static_cast<DWORD>(reply.size()))) break;
    } else if (pid == PID_TERM_UPGRADE) {
      CloseHandle(port);
      return 0;
    }
  }
  CloseHandle(port);
  return 1;
}
