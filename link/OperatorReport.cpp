#include "link/OperatorReport.h"

#include <atomic>
#include <cstdio>

namespace zel {
namespace {

class CStandardErrorReporter : public IOperatorReporter {
 public:
  void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

CStandardErrorReporter g_defaultReporter;
std::atomic<IOperatorReporter*> g_reporter{&g_defaultReporter};

}  // namespace

void SetOperatorReporter(IOperatorReporter* reporter) {
  g_reporter.store(reporter ? reporter : &g_defaultReporter);
}

void ReportToOperator(const std::string& text) { g_reporter.load()->ShowMessage(text); }

void CUiThreadReporter::ShowMessage(const std::string& text) {
  CallOnUiThread(m_dispatcher, [show = m_show, text] { show(text); });
}

}  // namespace zel
