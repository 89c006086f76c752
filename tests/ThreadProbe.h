// Tells when a thread has gone to sleep in poll(2): it has entered a wait
// that only data, a time-out or a wake-up can end.
#pragma once

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace zel::test {

inline pid_t CurrentTid() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// Waits until thread tid of this process sleeps in poll or ppoll.
inline void WaitUntilBlockedInPoll(pid_t tid) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  const std::string task = "/proc/self/task/" + std::to_string(tid);
  while (std::chrono::steady_clock::now() < give_up) {
    long call = -1;
    std::ifstream(task + "/syscall") >> call;
    std::string stat;
    std::getline(std::ifstream(task + "/stat"), stat);
    const auto state = stat.find(") ");
    const bool sleeping = state != std::string::npos && stat[state + 2] == 'S';
    if (sleeping && (call == SYS_poll || call == SYS_ppoll)) return;
    std::this_thread::yield();
  }
  ADD_FAILURE() << "thread " << tid << " never blocked in poll";
}

}  // namespace zel::test
