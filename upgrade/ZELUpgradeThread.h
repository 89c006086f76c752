// The upgrade engine: on its worker thread it opens the port, waits for the
// box to announce itself, tells it to start, and serves the box's data
// requests from the image file until the box reports the end. It reports
// each step to its owner window as trace lines, progress and an outcome.
#pragma once

#include <atomic>
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
#include "upgrade/ImageCopy.h"
#include "upgrade/ServedRanges.h"

namespace zel {

class CZELUpgradeThread : public CZELWorkingThread {
 public:
  // The line's speed of every upgrade.
  static constexpr uint32_t kLineBaud = 57600;
  // ReadFrame results besides a PID.
  static constexpr int kReadStopped = 0;
  static constexpr int kReadBadMarker = -5;
  static constexpr int kReadMissingOutput = -7;
  static constexpr int kReadDeviceGone = -9;

  CZELUpgradeThread();
  ~CZELUpgradeThread() override;

  // Copies both texts; a running transfer keeps the ones it started with.
  int SetParameters(std::string port, std::string file) override;
  // The copy of the image to serve, shared with other engines (a
  // station's ports); a run takes it when its path is the run's file, and
  // else copies the file itself as it starts.
  void SetImage(std::shared_ptr<CImageCopy> image);
  void SetInput(std::shared_ptr<CRunInput> input) override {
    SetImage(std::dynamic_pointer_cast<CImageCopy>(std::move(input)));
  }
  // Whether a box that asks for only part of the image fails: the box
  // decides when it is done, so by default such a run succeeds, saying
  // what share of the image it asked for.
  void SetRequireWholeInput(bool require) override { m_bRequireWholeImage = require; }
  // The device the runs open in place of the platform's; set it between runs.
  void UseDevice(std::unique_ptr<CSerialDevice> device) { m_port.UseDevice(std::move(device)); }
  // Releases the wait that follows a successful upgrade.
  void AcknowledgeEnd() override;
  // The pause between the box's last frame and the success notification:
  // one second, which gives the box time to take the end to heart.
  void SetPauseBeforeSuccess(std::chrono::milliseconds pause) override { m_pauseBeforeSuccess = pause; }

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
  // The run's copy of the image, taken (or its copying begun) before the
  // port opens; false, traced and noted, when there is none to serve.
  bool TakeImage();
  // Serves one request; false when the image could not be read.
  bool ServeDataRequest(uint16_t n, uint32_t offset);
  // After the box's end: 0 when the whole image was copied and hashed and
  // every reply went out whole (and, where required, the box asked for
  // all of the image), else 1.
  int EndOfUpgrade();
  // Traces and notes why the image cannot be served; returns 1.
  int ImageFailed(CFailureCause cause);
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

  std::mutex m_paramMutex;  // SetParameters and SetImage against the start of a run
  std::shared_ptr<CImageCopy> m_givenImage;
  std::atomic<bool> m_bRequireWholeImage{false};
  std::shared_ptr<CImageCopy> m_image;  // the current run's
  std::chrono::milliseconds m_pauseBeforeSuccess{1000};
  std::vector<uint8_t> m_reply;  // the frame being answered, reused
  size_t m_nSkipped = 0;         // bytes skipped before the last frame's marker
  CFailureCause m_failure;       // why the current run failed, where known

  // What the current run served, as it happened.
  std::string m_imageSha256;
  uint64_t m_imageSize = 0;  // as the run found it
  CServedRanges m_served;    // the image's bytes the box has been given
  CRunFigures m_figures;
  bool m_bFirstRequestSeen = false;
  Clock::time_point m_firstRequestAt{};
  Clock::time_point m_lastFrameAt{};
  std::map<uint32_t, uint16_t> m_cutShort;  // replies not written whole: offset, length
};

}  // namespace zel
