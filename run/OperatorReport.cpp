#include "run/OperatorReport.h"

#include <cstdio>

namespace zel {

void ShowToOperator(IOperatorReporter* reporter, const std::string& text) {
  if (reporter) {
    reporter->ShowMessage(text);
    return;
  }
  std::fprintf(stderr, "%s\n", text.c_str());
}

void WriteDiagnostic(IOperatorReporter* reporter, const std::string& text) {
  if (reporter) {
    reporter->WriteDiagnostic(text);
    return;
  }
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace zel
