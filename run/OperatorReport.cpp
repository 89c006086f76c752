#include "run/OperatorReport.h"

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
thread_local IOperatorReporter* t_reporter = nullptr;

}  // namespace

void SetOperatorReporter(IOperatorReporter* reporter) {
  g_reporter.store(reporter ? reporter : &g_defaultReporter);
}

CThreadReporterScope::CThreadReporterScope(IOperatorReporter* reporter) : m_previous(t_reporter) {
  t_reporter = reporter;
}

CThreadReporterScope::~CThreadReporterScope() { t_reporter = m_previous; }

void ReportToOperator(const std::string& text) {
  IOperatorReporter* reporter = t_reporter ? t_reporter : g_reporter.load();
  reporter->ShowMessage(text);
}

void CUiThreadReporter::ShowMessage(const std::string& text) {
  CallOnUiThread(m_dispatcher, [show = m_show, text] { show(text); });
}

}  // namespace zel
