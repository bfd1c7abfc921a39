// Runs a command as a child of a test, bounded in time: tests that drive real
// peers (dfu-util, the simulated-keyboard program) must end even when the
// peer hangs. Header-only so that tests without the USB library can use it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace QV::TestSupport {

struct CommandOutcome {
  int exitCode = -1;     // -1 when it did not exit normally or ran past its limit
  bool timedOut = false;
  std::string output;    // standard output and error together
};

// Runs `words` (looked up on PATH) with the test's environment, its output
// going to `log`. The child gets a process group of its own, so a run past
// `limit` is ended with everything it started.
inline CommandOutcome runCommand(std::vector<std::string> words, const std::filesystem::path& log,
                                 std::chrono::milliseconds limit) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  CommandOutcome outcome;
  const pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (child < 0) return outcome;
  // Also from this side, so that the group exists before any kill below, however
  // the two processes are scheduled.
  setpgid(child, child);

  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (ended == 0) {
    kill(-child, SIGKILL);
    waitpid(child, &status, 0);
    outcome.timedOut = true;
  } else if (ended == child && WIFEXITED(status)) {
    outcome.exitCode = WEXITSTATUS(status);
  }
  std::ifstream in(log);
  outcome.output.assign(std::istreambuf_iterator<char>(in), {});
  return outcome;
}

}  // namespace QV::TestSupport
