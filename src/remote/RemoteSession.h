#pragma once
// One remote client's conversation with the station: its lines run as
// commands against the station's interface, its error queue, its standard
// event status, and whether it controls the station or may only ask. No Qt,
// no sockets: the server hands lines in and writes the answers out.
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/TestKind.h"
#include "remote/Scpi.h"

namespace kt {

// What remote commands act on: the window, or the command line's station.
// Each call is made on the thread that owns the station.
class RemoteStation {
 public:
  virtual ~RemoteStation() = default;
  // "maker,KT6100,serial,version"
  virtual std::string Identity() const = 0;
  virtual bool Busy() const = 0;
  // Starts a single run (0), or says why not.
  virtual int StartRun(TestKind kind, std::string& error) = 0;
  // What a scan of `text` does; 0 or why not.
  virtual int StartScan(const std::string& text, std::string& error) = 0;
  virtual void Abort() = 0;
  // Abort, then clear the test information and the results.
  virtual void Reset() = 0;
  // A profile's name, the screening's, or "NONE"; 0 or why not.
  virtual int SetLimits(const std::string& name, std::string& error) = 0;
  virtual std::string Limits() const = 0;
  // A test-information field by its name (NO, TYPE, OPERATOR, NAME, ...).
  virtual int SetInfo(const std::string& field, const std::string& value, std::string& error) = 0;
  virtual int Info(const std::string& field, std::string& value) const = 0;
  // The last completed run: PASS FAIL INCOMPLETE NA NONE, a figure, an
  // array, the whole run as one JSON line. 1 when there is no such thing.
  virtual std::string Verdict() const = 0;
  virtual int Scalar(const std::string& figure, double& value, bool& measured) const = 0;
  virtual int Array(const std::string& figure, std::vector<double>& values) const = 0;
  virtual int RunJson(std::string& json) const = 0;
  // Stores the last run's record / prints its report into a PDF.
  virtual int Store(const std::string& path, std::string& error) = 0;
  virtual int Print(const std::string& path, std::string& error) = 0;
  // A change made remotely, for the log's events: what, from whom.
  virtual void Note(const std::string& peer, const std::string& what) = 0;
};

class RemoteSession {
 public:
  // `controlling`: may start, store and configure; otherwise queries only.
  RemoteSession(RemoteStation& station, std::string peer, bool controlling);
  void SetControlling(bool on) { controlling_ = on; }
  bool Controlling() const { return controlling_; }

  // Runs one line; the answer line to send (none when nothing was asked,
  // or when the line waits for a run: RunEnded gives it then).
  std::optional<std::string> Line(std::string_view line);
  // Commands wait for the run under way (*OPC?, *WAI): the server holds
  // the client's further lines until RunEnded has run them.
  bool WaitingForRun() const { return !waiting_.empty(); }
  std::optional<std::string> RunEnded();

  static constexpr std::size_t MaxErrors = 20;

 private:
  void Push(int code, const std::string& detail = "");
  std::optional<std::string> Execute(std::vector<scpi::Command> commands);
  std::string Run(const scpi::Command& c);

  RemoteStation& station_;
  std::string peer_;
  bool controlling_;
  std::deque<std::pair<int, std::string>> errors_;
  unsigned esr_ = 0;                    // the standard event status register
  std::vector<scpi::Command> waiting_;  // the rest of a line that waits for a run
  std::vector<std::string> held_;       // its answers so far: one line answers one line
};

}  // namespace kt
