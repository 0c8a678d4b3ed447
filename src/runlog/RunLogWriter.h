#pragma once
// The log's writer: its own thread with its own connection, so that no
// database work is ever on the path of the serial exchange. Submit only
// queues the run and returns. A run that cannot be written waits in the
// outbox and is sent when the log is back (tried again every RetryMs, at
// each new run and at start, when an earlier session's outbox is drained).
// A run neither can take is held in memory and tried again, in the log and
// in the outbox, until one of them takes it; HeldRuns() lists those.
//
//   kt::RunLogWriter writer(config);
//   connect(&writer, &kt::RunLogWriter::Failed, window, &TLogForm::ShowLogProblem);
//   writer.Start(error);
//   writer.Submit(run);      // from any thread
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "runlog/LoggedRun.h"
#include "runlog/RunLogConfig.h"

class QThread;

namespace kt {

class RunLogWriter : public QObject {
  Q_OBJECT

 public:
  explicit RunLogWriter(const RunLogConfig& config, QObject* parent = nullptr);
  // Writes what is queued and held, or puts it in the outbox (a last try
  // for what is held), then stops.
  ~RunLogWriter() override;

  // Resolves the configuration and starts the thread. 1 with a message for
  // a malformed setting or KT6100_LOG; a log that is merely unreachable is
  // not an error here (Failed tells of it, the outbox keeps the runs).
  // With the log set to "off" nothing is started and Submit drops runs.
  int Start(QString& error);
  const ResolvedLog& Log() const { return Log_; }

  // Queue a run or an event and return at once. An empty Id, a zero time or
  // an empty station are filled in here; the run's id is returned.
  std::string Submit(LoggedRun run);
  std::string Record(LoggedEvent event);

  // Where a submitted run is.
  enum class Kept { Logged, Outbox, Memory, Off };
  // Queues the run and waits (at most timeoutMs) until it is in the log or
  // in the outbox; Memory when neither could take it yet (or on timeout: it
  // is still queued), Off when the log is off. The command line prints a run
  // only once this has returned.
  Kept SubmitAndWait(LoggedRun run, std::string& id, int timeoutMs);
  // The runs that are neither in the log nor in the outbox: in this
  // process's memory only, lost if it ends now.
  struct HeldRun {
    std::string Id, Serial;
    std::int64_t TimeUtcMs = 0;
  };
  std::vector<HeldRun> HeldRuns() const;

  // Wait (at most timeoutMs) until everything queued so far has been
  // handled: written, in the outbox or held (HeldRuns). 0 when it has; 1 on
  // timeout.
  int WaitIdle(int timeoutMs);
  // Also wait for the outbox to be empty and nothing to be held, trying the
  // log at once. 0 when everything is in the log; 1 on timeout (the log
  // stayed unwritable).
  int WaitDrained(int timeoutMs);
  // Try the log at once. retell: say again what Failed has said (the notes
  // and the outage, even unchanged), for a receiver connected since: the
  // first pass runs as soon as Start has returned.
  void RetryNow(bool retell = false);
  int OutboxCount() const;  // entries waiting in this log's outbox folder

 signals:
  // Emitted on the writer thread; connect with the default (queued) type.
  void Committed(const QString& id);  // a run is in the log (also a resend)
  // Something the user must know: the log cannot be written now (how many
  // runs wait where, and why), or an outbox entry that cannot be sent. One
  // whole sentence in each language, to be shown as it is.
  void Failed(const QString& english, const QString& chinese);
  void Recovered();  // after Failed: everything is in the log again, nothing waits

 private:
  using Job = std::variant<LoggedRun, LoggedEvent>;
  class Worker;  // the writer thread's state and steps
  void Run();
  void Enqueue(Job job);

  RunLogConfig Config_;
  ResolvedLog Log_;
  QThread* Thread_ = nullptr;
  mutable std::mutex Mutex_;
  std::condition_variable Wake_, Idle_;
  std::deque<Job> Queue_;
  bool Busy_ = false, Stop_ = false, Retry_ = false, Retell_ = false;
  // Where the runs SubmitAndWait waits for went, by id.
  std::map<std::string, Kept> Settled_;
  std::vector<HeldRun> Held_;  // the runs the thread holds in memory, for others to see
  std::size_t HeldJobs_ = 0;   // and with the events
};

}  // namespace kt
