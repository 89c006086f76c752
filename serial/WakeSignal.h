// A descriptor that a poll(2) can wait on beside others, made readable
// from any thread to wake the waiter: an eventfd where the system has one,
// else a pipe to itself. POSIX systems only.
#pragma once

namespace zel {

class CWakeSignal {
 public:
  CWakeSignal();
  ~CWakeSignal();
  CWakeSignal(const CWakeSignal&) = delete;
  CWakeSignal& operator=(const CWakeSignal&) = delete;

  // What to poll for POLLIN; -1 when the system gave no descriptor.
  int Fd() const { return m_readFd; }
  // Makes Fd readable until Clear; safe from any thread.
  void Raise() const;
  // Makes Fd unreadable again.
  void Clear() const;

 private:
  int m_readFd = -1;
  int m_writeFd = -1;  // the same descriptor as m_readFd for an eventfd
};

}  // namespace zel
