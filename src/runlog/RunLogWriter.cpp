#include "runlog/RunLogWriter.h"

#include <QDateTime>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "runlog/RunLogConnection.h"
#include "runlog/RunLogStore.h"
#include "runlog/RunOutbox.h"

namespace kt {
namespace {

const std::string& IdOf(const std::variant<LoggedRun, LoggedEvent>& job) {
  return std::holds_alternative<LoggedRun>(job) ? std::get<LoggedRun>(job).Id : std::get<LoggedEvent>(job).Id;
}

}  // namespace

RunLogWriter::RunLogWriter(const RunLogConfig& config, QObject* parent) : QObject(parent), Config_(config) {}

RunLogWriter::~RunLogWriter() {
  if (!Thread_) return;
  {
    std::lock_guard lock(Mutex_);
    Stop_ = true;
  }
  Wake_.notify_all();
  Thread_->wait();
  delete Thread_;
}

int RunLogWriter::Start(QString& error) {
  if (Thread_) return 0;
  if (ResolveRunLogConfig(Config_, Log_, error)) return 1;
  if (Log_.Target.Kind == LogTarget::Driver::None) return 0;
  Thread_ = QThread::create([this] { Run(); });
  Thread_->setObjectName("kt_runlog_writer");
  Thread_->start();
  return 0;
}

std::string RunLogWriter::Submit(LoggedRun run) {
  if (run.Id.empty()) run.Id = NewRunId();
  if (run.TimeUtcMs == 0) run.TimeUtcMs = QDateTime::currentMSecsSinceEpoch();
  if (run.Station.empty()) run.Station = Log_.Station;
  std::string id = run.Id;
  Enqueue(std::move(run));
  return id;
}

std::string RunLogWriter::Record(LoggedEvent event) {
  if (event.Id.empty()) event.Id = NewRunId();
  if (event.TimeUtcMs == 0) event.TimeUtcMs = QDateTime::currentMSecsSinceEpoch();
  if (event.Station.empty()) event.Station = Log_.Station;
  std::string id = event.Id;
  Enqueue(std::move(event));
  return id;
}

RunLogWriter::Kept RunLogWriter::SubmitAndWait(LoggedRun run, std::string& id, int timeoutMs) {
  if (!Thread_) {
    id = run.Id;
    return Kept::Off;
  }
  if (run.Id.empty()) run.Id = NewRunId();
  id = run.Id;
  {
    std::lock_guard lock(Mutex_);
    Settled_[id] = Kept::Memory;  // until the thread says otherwise
  }
  Submit(std::move(run));
  std::unique_lock lock(Mutex_);
  const auto settled = [&] {
    const auto it = Settled_.find(id);
    const bool held = std::any_of(Held_.begin(), Held_.end(), [&](const HeldRun& h) { return h.Id == id; });
    return it->second != Kept::Memory || held;
  };
  Idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), settled);
  const Kept kept = Settled_[id];
  Settled_.erase(id);
  return kept;
}

std::vector<RunLogWriter::HeldRun> RunLogWriter::HeldRuns() const {
  std::lock_guard lock(Mutex_);
  return Held_;
}

void RunLogWriter::Enqueue(Job job) {
  if (!Thread_) return;
  {
    std::lock_guard lock(Mutex_);
    Queue_.push_back(std::move(job));
  }
  Wake_.notify_one();
}

void RunLogWriter::RetryNow() {
  {
    std::lock_guard lock(Mutex_);
    Retry_ = true;
  }
  Wake_.notify_one();
}

int RunLogWriter::OutboxCount() const { return RunOutbox(Log_.OutboxDir).Count(); }

int RunLogWriter::WaitIdle(int timeoutMs) {
  if (!Thread_) return 0;
  std::unique_lock lock(Mutex_);
  const bool idle = Idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return Queue_.empty() && !Busy_ && !Retry_; });
  return idle ? 0 : 1;
}

int RunLogWriter::WaitDrained(int timeoutMs) {
  if (!Thread_) return 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    RetryNow();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (WaitIdle(static_cast<int>(std::max<std::int64_t>(0, left.count()))) == 0 && OutboxCount() == 0) return 0;
    if (std::chrono::steady_clock::now() >= deadline) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void RunLogWriter::Run() {
  RunLogConnection conn;
  RunOutbox outbox(Log_.OutboxDir);
  bool failing = false;
  std::vector<Job> held;  // neither the log nor the outbox could take these

  // Tells a waiting SubmitAndWait where its run went, and keeps the list of
  // runs held in memory in view of other threads.
  auto settle = [&](const Job& job, Kept kept) {
    if (!std::holds_alternative<LoggedRun>(job)) return;
    const LoggedRun& run = std::get<LoggedRun>(job);
    std::lock_guard lock(Mutex_);
    if (const auto it = Settled_.find(run.Id); it != Settled_.end()) it->second = kept;
    std::erase_if(Held_, [&run](const HeldRun& h) { return h.Id == run.Id; });
    if (kept == Kept::Memory) Held_.push_back({run.Id, run.Info.No, run.TimeUtcMs});
    Idle_.notify_all();
  };
  auto failed = [&](const QString& why) {
    failing = true;
    conn.Close();  // reconnect from scratch next time: the server may have restarted
    const int waiting = outbox.Count() + static_cast<int>(held.size());
    emit Failed(QString("The run log (%1) cannot be written: %2. %3 run(s) wait in the outbox %4 and "
                        "will be sent when the log is back.")
                    .arg(QString::fromStdString(Log_.Target.Describe()), why)
                    .arg(waiting)
                    .arg(QString::fromStdString(Log_.OutboxDir)));
  };
  auto keep = [&](Job job) {
    QString e;
    const int bad = std::holds_alternative<LoggedRun>(job) ? outbox.Put(std::get<LoggedRun>(job), e)
                                                           : outbox.Put(std::get<LoggedEvent>(job), e);
    if (bad) {
      settle(job, Kept::Memory);
      held.push_back(std::move(job));
      emit Failed("The run log cannot be written, and the outbox cannot keep the run either: " + e +
                  ". The run is held in memory until one of them works.");
    } else {
      settle(job, Kept::Outbox);
    }
  };
  // 0: written (or already there). 1: the log failed (connection closed).
  auto write = [&](const Job& job) {
    QString e;
    WriteOutcome outcome{};
    QSqlDatabase db = conn.Db();
    const bool isRun = std::holds_alternative<LoggedRun>(job);
    const int bad = isRun ? WriteRun(db, std::get<LoggedRun>(job), outcome, e)
                          : WriteEvent(db, std::get<LoggedEvent>(job), outcome, e);
    db = QSqlDatabase();
    if (bad) {
      failed(e);
      return 1;
    }
    settle(job, Kept::Logged);
    if (isRun) emit Committed(QString::fromStdString(IdOf(job)));
    return 0;
  };
  auto open = [&] {
    if (conn.IsOpen()) return true;
    QString e;
    if (conn.Open(Log_.Target, e) == 0) return true;
    failed(e);
    return false;
  };
  // Sends the held runs and the outbox; true when all of it went in.
  auto drain = [&] {
    while (!held.empty()) {
      if (write(held.front())) return false;
      held.erase(held.begin());
    }
    for (const std::string& path : outbox.Pending()) {
      if (!std::filesystem::exists(path)) continue;  // another program sent it
      bool isRun = false;
      LoggedRun run;
      LoggedEvent event;
      QString e;
      if (outbox.Load(path, isRun, run, event, e)) {
        if (std::filesystem::exists(path)) emit Failed(e);
        continue;
      }
      if (isRun ? write(Job(std::move(run))) : write(Job(std::move(event)))) return false;
      outbox.Remove(path);
    }
    if (failing) {
      failing = false;
      emit Recovered();
    }
    return true;
  };

  if (open()) drain();
  std::unique_lock lock(Mutex_);
  for (;;) {
    auto ready = [this] { return Stop_ || Retry_ || !Queue_.empty(); };
    if (failing || !held.empty())
      Wake_.wait_for(lock, std::chrono::milliseconds(Log_.RetryMs), ready);
    else
      Wake_.wait(lock, ready);
    std::deque<Job> jobs;
    jobs.swap(Queue_);
    const bool stop = Stop_;
    Retry_ = false;
    Busy_ = true;
    lock.unlock();

    if (!jobs.empty() && failing) {
      // Keep them safe first: reconnecting may take a while.
      for (Job& job : jobs) keep(std::move(job));
      jobs.clear();
    }
    bool ok = open();
    if (ok && (failing || !held.empty() || outbox.Count() > 0)) ok = drain();
    for (std::size_t k = 0; k < jobs.size(); ++k) {
      if (ok && write(jobs[k]) == 0) continue;
      ok = false;
      keep(std::move(jobs[k]));
    }
    if (!ok) conn.Close();

    lock.lock();
    Busy_ = false;
    Idle_.notify_all();
    if (stop && Queue_.empty()) break;
  }
  lock.unlock();
  for (Job& job : held) {  // a last try to keep them on disk
    QString e;
    if (std::holds_alternative<LoggedRun>(job))
      outbox.Put(std::get<LoggedRun>(job), e);
    else
      outbox.Put(std::get<LoggedEvent>(job), e);
  }
  conn.Close();
}

}  // namespace kt
