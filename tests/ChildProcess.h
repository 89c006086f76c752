// Runs a program of this project as a child process, capturing its
// standard output and standard error.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

extern char** environ;

namespace zel::test {

class CChildProcess {
 public:
  static constexpr int kClosed = -2;
  // stderrFd: where the child's standard error goes (a terminal, say);
  // by default a pipe that Stderr() reads; kClosed: the child starts with
  // its standard output and error closed, as a service may start it. env: NAME=VALUE entries added
  // to this process's environment for the child.
  explicit CChildProcess(std::vector<std::string> args, int stderrFd = -1,
                         std::vector<std::string> env = {}) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stderrFd == kClosed) {
      posix_spawn_file_actions_addclose(&actions, 1);
      posix_spawn_file_actions_addclose(&actions, 2);
    } else {
      posix_spawn_file_actions_adddup2(&actions, out[1], 1);
      posix_spawn_file_actions_adddup2(&actions, stderrFd >= 0 ? stderrFd : err[1], 2);
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The entries given replace this process's of the same name.
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('=') + 1);
      if (std::none_of(env.begin(), env.end(), [&](const std::string& x) { return x.rfind(name, 0) == 0; }))
        envp.push_back(*e);
    }
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    m_out = out[0];
    m_err = err[0];
  }
  ~CChildProcess() {
    if (m_pid > 0 && !m_bWaited) {
      ::kill(m_pid, SIGKILL);
      Wait();
    }
    ::close(m_out);
    ::close(m_err);
  }
  CChildProcess(const CChildProcess&) = delete;
  CChildProcess& operator=(const CChildProcess&) = delete;

  // Reads standard output until it holds text (false at its end).
  bool ReadUntil(const std::string& text) {
    while (m_stdout.find(text) == std::string::npos)
      if (!ReadSome(m_out, m_stdout)) return false;
    return true;
  }
  void Signal(int signal) { ::kill(m_pid, signal); }
  pid_t Pid() const { return m_pid; }
  // Goes away as a reader of standard output does (`| head`): the child's
  // later writes there find the pipe closed.
  void CloseStdout() {
    ::close(m_out);
    m_out = -1;
  }
  // Collects the rest of the output and returns the exit status (-1 when
  // the child did not exit normally).
  int Wait() {
    while (ReadSome(m_out, m_stdout)) {
    }
    while (ReadSome(m_err, m_stderr)) {
    }
    return Exited();
  }
  // Waits for the child itself to exit, leaving its output unread: what
  // it started in the background may still be writing there.
  int Exited() {
    if (!m_bWaited) {
      ::waitpid(m_pid, &m_status, 0);
      m_bWaited = true;
    }
    return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
  }
  const std::string& Stdout() const { return m_stdout; }
  const std::string& Stderr() const { return m_stderr; }

 private:
  static bool ReadSome(int fd, std::string& into) {
    if (fd < 0) return false;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    into.append(buf, static_cast<size_t>(n));
    return true;
  }
  pid_t m_pid = -1;
  int m_out = -1, m_err = -1;
  bool m_bWaited = false;
  int m_status = 0;
  std::string m_stdout, m_stderr;
};

}  // namespace zel::test
