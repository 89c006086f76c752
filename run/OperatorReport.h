// What a run tells the operator besides its log: failures that a port or
// an engine shows as a modal message with an OK button (the caller waits
// until it is dismissed), and the engine's diagnostic lines for standard
// output. Each engine reports to the reporter its front end gave it; the
// run driver's reporter hands both to the run's observer.
#pragma once

#include <string>

namespace zel {

class IOperatorReporter {
 public:
  virtual ~IOperatorReporter() = default;
  // Returns when the operator has taken note (or the caller is terminated).
  virtual void ShowMessage(const std::string& text) = 0;
  // A diagnostic line, line ends included, for standard output.
  virtual void WriteDiagnostic(const std::string& text) = 0;
};

// Through reporter; without one, messages go to standard error and
// diagnostics to standard output.
void ShowToOperator(IOperatorReporter* reporter, const std::string& text);
void WriteDiagnostic(IOperatorReporter* reporter, const std::string& text);

}  // namespace zel
