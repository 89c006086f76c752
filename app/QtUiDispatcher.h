// Hands tasks to the Qt user-interface thread through its event loop.
#pragma once

#include <QObject>

#include "run/UiDispatcher.h"

namespace zel {

class CQtUiDispatcher : public IUiDispatcher {
 public:
  // Tasks run on the thread that creates the dispatcher (the GUI thread).
  CQtUiDispatcher();
  void Post(std::function<void()> task) override;
  bool IsUiThread() const override;

 private:
  // Tasks queued for a receiver that is gone are dropped by Qt.
  QObject m_receiver;
};

}  // namespace zel
