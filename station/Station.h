// Several runs side by side: one engine and one run driver per port, all
// handled on one user-interface thread, as a production station loads many
// boxes at once. A box that fails, hangs up or is cancelled stops none of
// the others. The command line runs every transfer through it (a single
// box is a station of one); a station window can do the same.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "run/RunDriver.h"

namespace zel {

// A port of the station and the short label its lines carry.
struct CStationPort {
  std::string path;
  std::string label;
};

// How one port's run ended.
struct CStationBox {
  std::string port, label;
  CRunEnd end;
};

class CStation {
 public:
  using EngineFactory = std::function<std::unique_ptr<CZELWorkingThread>()>;

  CStation(IUiDispatcher& dispatcher, EngineFactory makeEngine);
  // Terminates the runs still going; their observers hear nothing more.
  ~CStation();
  CStation(const CStation&) = delete;
  CStation& operator=(const CStation&) = delete;

  // Adds a port whose run observer hears; returns the port's index. The
  // observer must outlive the station.
  size_t Add(const CStationPort& port, IRunObserver& observer);
  size_t Size() const { return m_ports.size(); }
  CZELWorkingThread& Engine(size_t index);

  // Starts the port's run with file; false when it could not start (the
  // port has ended then, as failed, without a word to its observer).
  bool Start(size_t index, const std::string& file);
  // The operator's Cancel of one port, or of all: the runs still going
  // stop and end as cancelled.
  void Stop(size_t index);
  void StopAll();
  // StopAll was called since the station was made.
  bool StoppedAll() const { return m_bStoppedAll; }
  bool AllEnded() const;
  // Each port's end, in the order the ports were added.
  std::vector<CStationBox> Boxes() const;
  // Succeeded when every box was loaded; else failed when any failed; else
  // cancelled.
  RunOutcome Outcome() const;

 private:
  // One port: its engine and driver, and what its run's end was. It hears
  // the run first and passes everything on to the port's observer.
  struct CPortRun final : IRunObserver {
    CPortRun(IUiDispatcher& dispatcher, std::unique_ptr<CZELWorkingThread> newEngine, CStationPort newPort,
             IRunObserver& outer);
    void OnLine(const std::string& text, LineLevel level) override { observer.OnLine(text, level); }
    void OnProgress(uint32_t offset, uint32_t length) override { observer.OnProgress(offset, length); }
    void OnOutcome(RunOutcome outcome) override { observer.OnOutcome(outcome); }
    void OnEnd(const CRunEnd& runEnd) override;
    void OnOperatorMessage(const std::string& text) override { observer.OnOperatorMessage(text); }
    void OnDiagnostic(const std::string& text) override { observer.OnDiagnostic(text); }

    std::unique_ptr<CZELWorkingThread> engine;
    CRunDriver driver;  // after the engine, so that it goes first
    CStationPort port;
    IRunObserver& observer;
    CRunEnd end;
    bool ended = true;  // until started
  };

  IUiDispatcher& m_dispatcher;
  EngineFactory m_makeEngine;
  std::vector<std::unique_ptr<CPortRun>> m_ports;
  bool m_bStoppedAll = false;
};

}  // namespace zel
