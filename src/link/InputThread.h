#pragma once
#include <functional>
#include <memory>
#include <thread>

namespace kt {

class SerialPort;

// The receive poller. It sleeps on the port until bytes arrive or the next
// deadline is due, then has the window thread run the check (PollerCheck) and
// waits for it, so all link state stays on the window thread. It never spins:
// an idle program wakes it about once a second.
class InputThread {
 public:
  // Runs `fn` on the window thread, later; must be callable from this thread.
  using WindowDispatch = std::function<void(std::function<void()> fn)>;
  // The check; returns how long to sleep before the next one is due (ms).
  using Check = std::function<int()>;

  InputThread(SerialPort& port, Check check, WindowDispatch toWindow);
  ~InputThread();
  InputThread(const InputThread&) = delete;
  InputThread& operator=(const InputThread&) = delete;

  // Ends the thread and waits for it. Called on the window thread; a check
  // that is still queued there is dropped, so this never deadlocks.
  void Stop();

 private:
  struct Shared;
  void Body();

  SerialPort& port_;
  Check check_;
  WindowDispatch toWindow_;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace kt
