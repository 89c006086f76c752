// An engine whose work the test gives as a function.
#pragma once

#include <functional>

#include "run/ZELWorkingThread.h"

namespace zel::test {

class CTestEngine : public CZELWorkingThread {
 public:
  ~CTestEngine() override { EndThreadBeforeDestruction(); }
  std::function<void(CTestEngine&)> body;
  using CZELWorkingThread::RecordRunEnd;
  using CZELWorkingThread::Reporter;
  using CZELWorkingThread::SendToOwner;
  using CZELWorkingThread::ShouldStop;
  using CZELWorkingThread::StopToken;

 protected:
  int Run() override {
    if (body) body(*this);
    return 0;
  }
};

}  // namespace zel::test
