#include "link/InputThread.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/SerialPort.h"

namespace kt {

struct InputThread::Shared {
  std::mutex m;
  std::condition_variable cv;
  bool stopping = false;
  bool running = false;     // a check is running on the window thread
  std::uint64_t asked = 0;  // checks handed to the window thread
  std::uint64_t done = 0;   // checks it has run
  int nextWait = 0;
};

InputThread::InputThread(SerialPort& port, Check check, WindowDispatch toWindow)
    : port_(port), check_(std::move(check)), toWindow_(std::move(toWindow)), shared_(std::make_shared<Shared>()) {
  thread_ = std::thread([this] { Body(); });
}

InputThread::~InputThread() { Stop(); }

void InputThread::Stop() {
  {
    std::unique_lock<std::mutex> lock(shared_->m);
    shared_->stopping = true;
    // Only possible when Stop() is called off the window thread.
    shared_->cv.wait(lock, [&] { return !shared_->running; });
  }
  shared_->cv.notify_all();
  port_.Wake();
  if (thread_.joinable()) thread_.join();
}

void InputThread::Body() {
  const std::shared_ptr<Shared> s = shared_;
  int wait = 0;  // check once at start
  for (;;) {
    if (wait > 0) port_.WaitForInput(wait);
    std::unique_lock<std::mutex> lock(s->m);
    if (s->stopping) return;
    const std::uint64_t ticket = ++s->asked;
    lock.unlock();

    // The check only touches `this` while the poller is alive: Stop() sets
    // `stopping` first, and a check queued after that does nothing.
    toWindow_([s, this, ticket] {
      {
        std::lock_guard<std::mutex> g(s->m);
        if (s->stopping) return;
        s->running = true;
      }
      const int next = check_();
      {
        std::lock_guard<std::mutex> g(s->m);
        s->running = false;
        s->nextWait = next;
        s->done = ticket;
      }
      s->cv.notify_all();
    });

    lock.lock();
    s->cv.wait(lock, [&] { return s->stopping || s->done >= ticket; });
    if (s->stopping) return;
    wait = s->nextWait;
  }
}

}  // namespace kt
