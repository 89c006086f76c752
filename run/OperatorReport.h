// Failure reports for the operator. A port shows each failure as a modal
// message with an OK button on the calling thread, which waits until it is
// dismissed. The front end decides what "shown" means: the window opens a
// message box on its user-interface thread, the command line prints to
// standard error, tests record the texts.
#pragma once

#include <string>

#include "run/UiDispatcher.h"

namespace zel {

class IOperatorReporter {
 public:
  virtual ~IOperatorReporter() = default;
  // Returns when the operator has taken note (or the caller is terminated).
  virtual void ShowMessage(const std::string& text) = 0;
};

// Installs the process's reporter; null restores the default, which writes
// the text to standard error. The reporter must outlive its installation.
void SetOperatorReporter(IOperatorReporter* reporter);

// Installs a reporter for the calling thread alone, for the scope's
// lifetime: a worker that serves one of several ports reports as that
// port's.
class CThreadReporterScope {
 public:
  explicit CThreadReporterScope(IOperatorReporter* reporter);
  ~CThreadReporterScope();
  CThreadReporterScope(const CThreadReporterScope&) = delete;
  CThreadReporterScope& operator=(const CThreadReporterScope&) = delete;

 private:
  IOperatorReporter* m_previous;
};

// Shows text through the calling thread's reporter, else the process's.
void ReportToOperator(const std::string& text);

// Shows each message with a front-end function on the user-interface
// thread, while the calling worker waits (until terminated).
class CUiThreadReporter : public IOperatorReporter {
 public:
  using ShowFunction = std::function<void(const std::string&)>;
  CUiThreadReporter(IUiDispatcher& dispatcher, ShowFunction show)
      : m_dispatcher(dispatcher), m_show(std::move(show)) {}
  void ShowMessage(const std::string& text) override;

 private:
  IUiDispatcher& m_dispatcher;
  ShowFunction m_show;
};

}  // namespace zel
