// Runs programs as children of a test, bounded in time: tests that drive real
// peers (dfu-util, the simulated-keyboard program, an X server) must end even
// when the peer hangs. Header-only so that tests without the USB library can
// use it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace QV::TestSupport {

// A program started in a process group of its own, so that ending it ends
// whatever it started; it also dies with the test. Its standard output and
// error go to `log`.
class ChildProcess {
 public:
  using Clock = std::chrono::steady_clock;

  // `environment` is added to the test's own; `keepOpen` is a descriptor the
  // program inherits (-1: none).
  ChildProcess(std::vector<std::string> words, const std::vector<std::pair<std::string, std::string>>& environment,
               const std::filesystem::path& log, int keepOpen = -1)
      : m_log(log) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
      setpgid(0, 0);
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
      for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
      if (keepOpen >= 0) fcntl(keepOpen, F_SETFD, 0);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    // Also from this side, so that the group exists before any kill below,
    // however the two processes are scheduled.
    if (m_pid > 0) setpgid(m_pid, m_pid);
  }

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  ~ChildProcess() { end(); }

  bool started() const { return m_pid > 0 || m_status.has_value(); }

  // The exit code once the program has ended (-1 when a signal ended it);
  // nothing when it still runs at the deadline.
  std::optional<int> waitForExit(Clock::duration limit) {
    if (m_status) return m_status;
    const auto deadline = Clock::now() + limit;
    while (m_pid > 0) {
      int status = 0;
      const pid_t ended = waitpid(m_pid, &status, WNOHANG);
      if (ended == m_pid) {
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      if (ended < 0 || Clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return m_status;
  }

  // Sends `signal` to the program alone, not to what it started; false once
  // it has ended and been waited for.
  bool sendSignal(int signal) const { return m_pid > 0 && kill(m_pid, signal) == 0; }
  // Sends `signal` to the program and to everything it started, as the end
  // of a session does.
  bool sendSignalToGroup(int signal) const { return m_pid > 0 && kill(-m_pid, signal) == 0; }

  // Asks the program to end, and ends it when it has not by the deadline.
  void stop(Clock::duration grace) {
    if (m_pid > 0 && kill(-m_pid, SIGTERM) == 0) waitForExit(grace);
    end();
  }

  // Ends the program and everything it started at once.
  void end() {
    if (m_pid <= 0) return;
    kill(-m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    m_status = -1;
  }

  std::string output() const {
    std::ifstream in(m_log);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  std::filesystem::path m_log;
  pid_t m_pid = -1;
  std::optional<int> m_status;
};

struct CommandOutcome {
  int exitCode = -1;     // -1 when it did not exit normally or ran past its limit
  bool timedOut = false;
  std::string output;    // standard output and error together
};

// Runs `words` (looked up on PATH) with the test's environment, its output
// going to `log`. A run past `limit` is ended with everything it started.
inline CommandOutcome runCommand(std::vector<std::string> words, const std::filesystem::path& log,
                                 std::chrono::milliseconds limit) {
  CommandOutcome outcome;
  ChildProcess child(std::move(words), {}, log);
  if (!child.started()) return outcome;
  if (const std::optional<int> exitCode = child.waitForExit(limit)) {
    outcome.exitCode = *exitCode;
  } else {
    child.end();
    outcome.timedOut = true;
  }
  outcome.output = child.output();
  return outcome;
}

}  // namespace QV::TestSupport
