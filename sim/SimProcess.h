#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace kt::sim {

// Runs kt6100-sim as a child process for tests, the demo and benchmarks:
// starts it, waits for its "ready <slave path>" line, and ends it again.
// The child is told to end when the thread that started it ends
// (PR_SET_PDEATHSIG), so a crashed test leaves no simulator behind.
class SimProcess {
 public:
  explicit SimProcess(std::string executable);
  ~SimProcess();  // Stop()
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts the simulator with `args` (without the program name) and waits up
  // to `timeoutMs` for its ready line. 0 = running; 1 = failed, see Error().
  int Start(const std::vector<std::string>& args, int timeoutMs = 5000);
  // SIGTERM, then SIGKILL if it has not ended within `graceMs`; reaps it.
  // Returns its exit status, 128 + signal if a signal ended it, -1 if there
  // was nothing to stop.
  int Stop(int graceMs = 2000);
  // True while the child runs (reaps it when it has ended).
  bool Running();

  const std::string& SlavePath() const { return slavePath_; }
  pid_t Pid() const { return pid_; }
  const std::string& Error() const { return error_; }
  // Exit status of the last child that ended (as Stop() returns it).
  int ExitStatus() const { return exitStatus_; }

 private:
  void Reaped(int status);

  std::string executable_;
  pid_t pid_ = -1;
  std::string slavePath_;
  std::string error_;
  int exitStatus_ = -1;
};

}  // namespace kt::sim
