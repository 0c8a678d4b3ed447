#pragma once
// A thread of its own that reads the log for a window, so that no query
// holds the window however large the log: a request runs there on the
// thread's own connection (a Qt SQL connection belongs to one thread) and
// its answer comes back on the thread that asked. Requests are kept apart by
// channel (the table, its events, the filter's choices, …): a newer request
// on a channel supersedes the older ones, so one not yet begun is skipped
// and the answer of one under way is dropped; on SQLite its statement is
// stopped too, on PostgreSQL it runs to its end.
#include <QObject>
#include <QSqlDatabase>
#include <QString>

#include <array>
#include <functional>
#include <memory>

#include "runlog/LogTarget.h"

class QThread;

namespace kt {

class RunLogReader : public QObject {
  Q_OBJECT

 public:
  static constexpr int Channels = 4;
  // Runs on the reader's thread; 0, or 1 with a reason. A failed job is run
  // once more on a connection opened again: a server that restarted drops
  // its connections, so it may fail more than once.
  using Job = std::function<int(QSqlDatabase& db, QString& error)>;
  // Runs on the asking thread with the job's status, unless superseded.
  using Done = std::function<void(int status, const QString& error)>;

  explicit RunLogReader(const LogTarget& target, QObject* parent = nullptr);
  // Stops a job under way where it can, else waits for it; the ones queued
  // are skipped.
  ~RunLogReader() override;

  void Ask(int channel, Job job, Done done);
  bool Busy() const;  // some channel's newest request is not answered yet

 signals:
  void BusyChanged(bool busy);

 private:
  struct Shared;  // what the reader's thread reads too
  void Answer(int channel, quint64 request, int status, const QString& error, const Done& done);

  std::shared_ptr<Shared> Shared_;
  QThread* Thread_ = nullptr;
  QObject* Worker_ = nullptr;  // lives on Thread_; the jobs are posted to it
  std::array<quint64, Channels> Asked_{}, Answered_{};
};

}  // namespace kt
