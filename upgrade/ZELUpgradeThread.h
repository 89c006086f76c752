// The upgrade engine: on its worker thread it opens the port, waits for the
// box to announce itself, tells it to start, and serves the box's data
// requests from the image file until the box reports the end. It reports
// each step to its owner window as trace lines, progress and an outcome.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ports/ZELUpgradePort.h"
#include "run/Event.h"
#include "run/ZELWorkingThread.h"
#include "upgrade/ImageDigest.h"
#include "upgrade/ImageFile.h"

namespace zel {

class CZELUpgradeThread : public CZELWorkingThread {
 public:
  // ReadFrame results besides a PID.
  static constexpr int kReadStopped = 0;
  static constexpr int kReadBadMarker = -5;
  static constexpr int kReadMissingOutput = -7;
  static constexpr int kReadDeviceGone = -9;

  CZELUpgradeThread();
  ~CZELUpgradeThread() override;

  // Copies both texts; a running transfer keeps the ones it started with.
  int SetParameters(std::string port, std::string file) override;
  // Releases the wait that follows a successful upgrade.
  void AcknowledgeEnd() override;
  // The pause between the box's last frame and the success notification:
  // one second, which gives the box time to take the end to heart.
  void SetPauseBeforeSuccess(std::chrono::milliseconds pause) { m_pauseBeforeSuccess = pause; }

 protected:
  int Run() override;

  // 0 when the box ended the upgrade; 1 on failure or stop.
  int Handshake();
  int ServeRequests();

  // The exchange's frame operations, on the worker thread. SendDataReply
  // returns 0 when the whole reply was written, 1 when not.
  int SendCommand(uint16_t pid);
  int SendDataReply(uint16_t n, uint32_t offset);
  int ReadFrame(uint16_t* length, uint32_t* offset);
  size_t ReadExact(uint8_t* buffer, size_t capacity, size_t count);
  bool Synchronise();

 private:
  enum class ByteRead { Got, None, Gone };
  ByteRead ReadByte(uint8_t& byte);
  using Clock = std::chrono::steady_clock;
  // Serves one request; false when the image could not be read or changed.
  bool ServeDataRequest(CImageFile& image, uint16_t n, uint32_t offset);
  // After the box's end: 0 when the image is still the one served and
  // every reply went out whole, else 1.
  int EndOfUpgrade(CImageFile& image, CImageDigest& start);
  // Traces and notes why the image can no longer be served; returns 1.
  int ImageFailed(CImageFile& image);
  void NoteRequest();
  CRunFigures Figures() const;
  void Diagnostic(const char* text);
  // The cause of a failed handshake or service: the port's, if it failed.
  void NoteFailure(CFailureCause cause);

  CEvent m_evEndAck{CEvent::Kind::AutoReset};
  std::string m_strPort;
  std::string m_strFile;
  DCB m_dcbSettings;
  CZELUpgradePort m_port;

  std::mutex m_paramMutex;  // SetParameters against the start of a run
  std::chrono::milliseconds m_pauseBeforeSuccess{1000};
  std::vector<uint8_t> m_reply;  // the frame being answered, reused
  size_t m_nSkipped = 0;         // bytes skipped before the last frame's marker
  CFailureCause m_failure;       // why the current run failed, where known

  // What the current run served, as it happened.
  std::string m_imageSha256;
  uint64_t m_imageSize = 0;  // as the run found it
  CRunFigures m_figures;
  bool m_bFirstRequestSeen = false;
  Clock::time_point m_firstRequestAt{};
  Clock::time_point m_lastFrameAt{};
  std::map<uint32_t, uint16_t> m_cutShort;  // replies not written whole: offset, length
};

}  // namespace zel
