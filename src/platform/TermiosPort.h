#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/SerialPort.h"

namespace kt {

// A serial port on a POSIX terminal device (a real UART, a USB adapter or a
// pseudo-terminal). Incoming bytes are moved from the device into a receive
// queue of our own, the size a serial driver would give it, so that the queue
// count is exact and a waiting thread sleeps until genuinely new bytes come.
class TermiosPort final : public SerialPort {
 public:
  static constexpr unsigned ReceiveQueueSize = 4096;

  TermiosPort();
  ~TermiosPort() override;
  TermiosPort(const TermiosPort&) = delete;
  TermiosPort& operator=(const TermiosPort&) = delete;

  int Open(const std::string& device) override;
  void Close() override;
  bool IsOpen() const override;
  int WriteByte(std::uint8_t byte) override;
  unsigned Read(std::uint8_t* buf, unsigned n) override;
  unsigned QueuedCount() override;
  void PurgeReceive() override;
  bool WaitForInput(int timeoutMs) override;
  void Wake() override;
  void WakeAtCount(unsigned count) override;
  bool CanWake() const override { return wakeWrite_ >= 0; }

  bool HungUp() const override { return hungUp_.load(); }
  int Reopen() override;

 private:
  // A configured, exclusively held descriptor for `device`, or -1.
  static int OpenDevice(const std::string& device);
  void Drain();

  std::string device_;
  std::atomic<int> fd_{-1};
  int wakeRead_ = -1, wakeWrite_ = -1;
  std::vector<std::uint8_t> queue_;
  std::atomic<bool> queueFull_{false};
  std::atomic<bool> hungUp_{false};
  unsigned wakeAt_ = 1;  // the device's VMIN as last set (reading thread)
};

}  // namespace kt
