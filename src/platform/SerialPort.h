#pragma once
#include <cstdint>
#include <string>

namespace kt {

// The four port operations the test runs use, plus opening and a way to wait
// for input without spinning. Implementations keep a receive queue that
// QueuedCount() reports, like a serial driver does.
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // 19200 baud, 8 data bits, no parity, 1 stop bit, exclusive. 0 = ok, 1 = failed.
  virtual int Open(const std::string& device) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual int WriteByte(std::uint8_t byte) = 0;  // 0 = ok, 1 = failed
  // Reads at most n queued bytes into buf; returns how many were read.
  virtual unsigned Read(std::uint8_t* buf, unsigned n) = 0;
  virtual unsigned QueuedCount() = 0;
  virtual void PurgeReceive() = 0;
  // Blocks until bytes arrive that the queue has not taken in yet, until
  // timeoutMs passes, or until Wake() is called from another thread. Returns
  // true when input is waiting. Safe to call from a thread other than the one
  // that reads.
  virtual bool WaitForInput(int timeoutMs) = 0;
  virtual void Wake() = 0;
  // From the reading thread: nothing is to be done before `count` bytes are
  // queued in all, so WaitForInput may sleep through smaller arrivals (its
  // timeout and Wake() still end it). 1, the default, wakes on any byte.
  virtual void WakeAtCount(unsigned count) { (void)count; }
  // False when Wake() cannot work on this machine (the port could not get
  // the pipe it wakes waits with): a stop then waits for a wait's timeout.
  virtual bool CanWake() const { return true; }
  // True once the line has gone away under an open port: the far end of a
  // pseudo-terminal closed, a USB adapter unplugged. Nothing more can pass.
  virtual bool HungUp() const { return false; }
  // Opens the device of the last Open() again (after a hang-up the device
  // may have come back); the old handle stays in use when it fails. 0 = ok.
  virtual int Reopen() { return 1; }
};

}  // namespace kt
