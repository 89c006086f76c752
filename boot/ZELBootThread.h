// The boot download: from a command file of hexadecimal sections it runs
// the fixed boot exchange with the box (38400 baud, the box's first byte,
// section 2, the switch to 115200 baud, fourteen "B" bytes, the box's
// answer) and reports through trace lines only.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "ports/ZELBootPort.h"
#include "run/ZELWorkingThread.h"

namespace zel {

class CZELBootThread : public CZELWorkingThread {
 public:
  static constexpr size_t kSectionRoom = 4000;
  static constexpr uint32_t kBootBaud = 38400;
  static constexpr uint32_t kFastBaud = 115200;
  static constexpr int kBBytes = 14;
  static constexpr uint32_t kAnswerBytes = 23;
  static constexpr uint32_t kAnswerWaitMs = 5000;

  CZELBootThread();
  ~CZELBootThread() override;

  // Stores both texts when neither is empty (0); otherwise changes nothing
  // (1). A run in progress keeps the texts it started with.
  int SetParameters(std::string port, std::string file) override;
  // The device the runs open in place of the platform's; set it between runs.
  void UseDevice(std::unique_ptr<CSerialDevice> device) { m_port.UseDevice(std::move(device)); }

 protected:
  int Run() override;
  // 0 success, 1 failure.
  int DownloadBoot(std::FILE* file, const std::string& commandFile);
  size_t ReadBytes(uint8_t* buffer, size_t room, size_t count);
  bool SendBytes(const uint8_t* buffer, uint32_t count, uint32_t* written);
  bool ReadWithTimeout(uint8_t* buffer, uint32_t count, uint32_t* read);

 private:
  bool SwitchSpeed();
  // True when the run must end now: a stop, or a port that has vanished.
  bool Interrupted();
  // Ends a step that failed: traces line, if any, and returns 1.
  int Failed(const char* line = nullptr);

  std::mutex m_paramMutex;  // SetParameters against the start of a run
  std::string m_strFile;
  std::string m_strPort;
  DCB m_dcbSettings;
  CZELBootPort m_port;
  CFailureCause m_failure;  // why the current run failed, where known
  std::string m_runPort;    // the current run's port, for its causes
  std::optional<std::chrono::steady_clock::time_point> m_boxCameUp;  // the box's first byte
  CRunFigures m_figures;  // what the current run sent, measured as it went
};

}  // namespace zel
