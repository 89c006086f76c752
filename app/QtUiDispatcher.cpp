#include "app/QtUiDispatcher.h"

#include <QMetaObject>
#include <QThread>

namespace zel {

CQtUiDispatcher::CQtUiDispatcher() = default;

void CQtUiDispatcher::Post(std::function<void()> task) {
  QMetaObject::invokeMethod(&m_receiver, std::move(task), Qt::QueuedConnection);
}

bool CQtUiDispatcher::IsUiThread() const { return QThread::currentThread() == m_receiver.thread(); }

}  // namespace zel
