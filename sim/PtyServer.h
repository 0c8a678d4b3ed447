#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "sim/Random.h"
#include "sim/Responder.h"
#include "sim/SimOptions.h"

namespace kt::sim {

// Serves a Responder on a pseudo-terminal: one thread, one poll loop, and an
// output queue ordered by send time that doubles as the timer queue (pacing,
// splits, delays and the fault options are all just send times).
class PtyServer {
 public:
  PtyServer(const SimOptions& options, Responder& responder, std::uint64_t seed);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Opens the pseudo-terminal (and the link). 0 = ok; 1 = failed, see `error`.
  int Open(std::string& error);
  const std::string& SlavePath() const { return slavePath_; }
  // Serves until SIGTERM, SIGINT or SIGHUP; returns the exit status.
  int Run();

 private:
  using Clock = std::chrono::steady_clock;
  struct Chunk {
    Clock::time_point due;
    Block bytes;
    std::size_t sent = 0;
    bool sequence = false;  // part of a sequence (or its garbage): dropped when one is abandoned
    bool vanish = false;    // close the line once this chunk is out
    std::string log;        // logged when the chunk is fully written
  };

  void ReadMaster();
  void OnByte(std::uint8_t byte);
  void Send(const Reply& reply);
  // Queues bytes to start going out at `start`, cut into pieces as the
  // options say. Returns the time the last piece is due.
  Clock::time_point Enqueue(const std::uint8_t* data, std::size_t size, Clock::time_point start, bool sequence,
                            std::string log);
  void DropSequenceOutput();
  void WriteDue();
  void Vanish();
  void CloseLine();
  void RemoveLink();
  void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

  SimOptions options_;
  Responder& responder_;
  Random garbageRng_;
  int master_ = -1;
  int slave_ = -1;  // our own hold on the slave: the master never sees a hang-up
  int signals_ = -1;
  std::string slavePath_;
  bool linkMade_ = false;
  bool vanishArmed_ = false;
  bool vanished_ = false;
  bool blockedOnWrite_ = false;
  std::deque<Chunk> out_;
  Clock::time_point lineFree_;  // when the line finishes what is queued (line-rate pacing)
  Clock::time_point t0_;
};

}  // namespace kt::sim
