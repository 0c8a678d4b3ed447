#include "sim/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace kt::sim {

SimProcess::SimProcess(std::string executable) : executable_(std::move(executable)) {}

SimProcess::~SimProcess() { Stop(); }

void SimProcess::Reaped(int status) {
  pid_ = -1;
  if (WIFEXITED(status))
    exitStatus_ = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    exitStatus_ = 128 + WTERMSIG(status);
}

int SimProcess::Start(const std::vector<std::string>& args, int timeoutMs) {
  Stop();
  slavePath_.clear();
  error_.clear();

  // Everything the child needs is prepared before fork: between fork and exec
  // only async-signal-safe calls are allowed (the parent may have threads).
  std::vector<std::string> argvText{executable_};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + std::strerror(errno);
    return 1;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    error_ = std::string("fork: ") + std::strerror(errno);
    ::close(out[0]);
    ::close(out[1]);
    return 1;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);  // the parent died before prctl took hold
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(out[1], STDOUT_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  ::close(out[1]);
  pid_ = pid;

  // Wait for "ready <path>\n".
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool complete = false;
  while (!complete) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      error_ = "no ready line within " + std::to_string(timeoutMs) + " ms";
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    char buf[256];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = "the simulator ended before it was ready";
      break;
    }
    line.append(buf, static_cast<std::size_t>(n));
    complete = line.find('\n') != std::string::npos;
  }
  ::close(out[0]);  // the simulator writes nothing more to stdout
  if (complete) {
    line.resize(line.find('\n'));
    if (line.rfind("ready ", 0) == 0 && line.size() > 6) {
      slavePath_ = line.substr(6);
      return 0;
    }
    error_ = "unexpected first line: " + line;
  }
  const int status = Stop(200);
  if (status >= 0) error_ += " (exit status " + std::to_string(status) + ")";
  return 1;
}

bool SimProcess::Running() {
  if (pid_ < 0) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) Reaped(status);
  return pid_ >= 0;
}

int SimProcess::Stop(int graceMs) {
  if (pid_ < 0) return -1;
  if (!Running()) return exitStatus_;
  ::kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      Reaped(status);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return exitStatus_;
}

}  // namespace kt::sim
