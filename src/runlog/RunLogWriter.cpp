#include "runlog/RunLogWriter.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <QDateTime>
#include <QSqlError>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "runlog/RunLogConnection.h"
#include "runlog/RunLogStore.h"
#include "runlog/RunOutbox.h"

namespace kt {
namespace {

const std::string& IdOf(const std::variant<LoggedRun, LoggedEvent>& job) {
  return std::holds_alternative<LoggedRun>(job) ? std::get<LoggedRun>(job).Id : std::get<LoggedEvent>(job).Id;
}

// A reason as the messages quote it: on one line, without a closing stop
// (the sentence has its own), never empty.
QString Reason(QString why) {
  why = why.simplified();
  while (why.endsWith('.')) why.chop(1);
  return why.isEmpty() ? QString("no reason was given") : why;
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

void RunLogWriter::RetryNow(bool retell) {
  {
    std::lock_guard lock(Mutex_);
    Retry_ = true;
    Retell_ = Retell_ || retell;
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
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (WaitIdle(static_cast<int>(std::max<std::int64_t>(0, left.count()))) == 0 && OutboxCount() == 0) {
      std::lock_guard lock(Mutex_);
      if (HeldJobs_ == 0) return 0;
    }
    if (std::chrono::steady_clock::now() >= deadline) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// The writer thread's state and steps: what it holds in memory, what it has
// said, and one pass over everything that waits.
class RunLogWriter::Worker {
 public:
  explicit Worker(RunLogWriter& w)
      : w_(w),
        outbox_(w.Log_.OutboxDir),
        where_(QString::fromStdString(w.Log_.Target.Describe())),
        folder_(QString::fromStdString(outbox_.Folder())) {}

  void Run();

 private:
  void Tell(const QString& english, const QString& chinese) {
    owed_ = true;
    emit w_.Failed(english, chinese);
  }
  // Said again when the window asks (Retell), besides the outages.
  void Note(const QString& english, const QString& chinese) {
    notes_.emplace_back(english, chinese);
    Tell(english, chinese);
  }
  // Tells a waiting SubmitAndWait where its run went, and keeps the list of
  // runs held in memory in view of other threads.
  void Settle(const Job& job, Kept kept);
  bool Open();
  // 0: in the log (or already there). 1: the log failed; the connection is closed.
  int Write(const Job& job);
  // 0: in the outbox. 1: the outbox cannot take it (boxWhy_ says why).
  int Put(const Job& job);
  void Keep(Job job) {
    if (Put(job)) held_.push_back(std::move(job));
  }
  // Sends the outbox; false when the log failed.
  bool Drain();
  void Pass(std::deque<Job>& jobs);
  // The outage in one sentence a language: why, how many wait where.
  void SayOutage();
  void NoteOlderOutbox();

  RunLogWriter& w_;
  RunLogConnection conn_;
  RunOutbox outbox_;
  const QString where_, folder_;
  std::deque<Job> held_;                            // neither the log nor the outbox could take these
  bool logDown_ = false;                            // the log failed on the last try
  bool owed_ = false;                               // Failed was emitted: Recovered follows once all is in the log
  QString logWhy_, boxWhy_;                         // the last reasons, for the message
  QString lastOutage_;                              // not said again while nothing has changed
  std::set<std::string> told_;                      // outbox entries reported as unsendable
  std::vector<std::pair<QString, QString>> notes_;  // what was said besides outages
};

void RunLogWriter::Worker::Settle(const Job& job, Kept kept) {
  if (!std::holds_alternative<LoggedRun>(job)) return;
  const LoggedRun& run = std::get<LoggedRun>(job);
  std::lock_guard lock(w_.Mutex_);
  if (const auto it = w_.Settled_.find(run.Id); it != w_.Settled_.end()) it->second = kept;
  std::erase_if(w_.Held_, [&run](const HeldRun& h) { return h.Id == run.Id; });
  if (kept == Kept::Memory) w_.Held_.push_back({run.Id, run.Info.No, run.TimeUtcMs});
  w_.Idle_.notify_all();
}

bool RunLogWriter::Worker::Open() {
  QString ignored;
  if (conn_.IsOpen() || conn_.Open(w_.Log_.Target, ignored) == 0) return true;
  logWhy_ = conn_.Reason();
  return false;
}

int RunLogWriter::Worker::Write(const Job& job) {
  QString e;
  WriteOutcome outcome{};
  QSqlDatabase db = conn_.Db();
  const bool isRun = std::holds_alternative<LoggedRun>(job);
  const int bad = isRun ? WriteRun(db, std::get<LoggedRun>(job), outcome, e)
                        : WriteEvent(db, std::get<LoggedEvent>(job), outcome, e);
  if (bad) {
    logWhy_ = Reason(e.isEmpty() ? db.lastError().text() : e);
    db = QSqlDatabase();
    conn_.Close();  // reconnect from scratch next time: the server may have restarted
    return 1;
  }
  Settle(job, Kept::Logged);
  if (isRun) emit w_.Committed(QString::fromStdString(IdOf(job)));
  return 0;
}

int RunLogWriter::Worker::Put(const Job& job) {
  QString e;
  const int bad = std::holds_alternative<LoggedRun>(job) ? outbox_.Put(std::get<LoggedRun>(job), e)
                                                         : outbox_.Put(std::get<LoggedEvent>(job), e);
  if (bad) boxWhy_ = Reason(e);
  Settle(job, bad ? Kept::Memory : Kept::Outbox);
  return bad;
}

bool RunLogWriter::Worker::Drain() {
  for (const std::string& path : outbox_.Pending()) {
    bool isRun = false;
    LoggedRun run;
    LoggedEvent event;
    QString e;
    const int bad = outbox_.Load(path, isRun, run, event, e);
    const QString file = QString::fromStdString(path);
    if (bad == 1 && told_.insert(path).second)
      Note(QString("The outbox entry %1 is damaged and cannot be logged; it was renamed %1.bad%2.")
               .arg(file, e.isEmpty() ? QString() : " (renaming failed: " + e + ")"),
           QString("待发记录文件 %1 已损坏，无法补记；已改名为 %1.bad%2。")
               .arg(file, e.isEmpty() ? QString() : "（改名失败：" + e + "）"));
    if (bad == 2 && std::filesystem::exists(path) && told_.insert(path).second)
      Note(QString("The outbox entry %1 cannot be read (%2); it stays in the outbox.").arg(file, e),
           QString("待发记录文件 %1 无法读取（%2），仍留在待发目录中。").arg(file, e));
    if (bad) continue;  // or another program has sent it meanwhile
    if (Write(isRun ? Job(std::move(run)) : Job(std::move(event)))) return false;
    outbox_.Remove(path);
  }
  return true;
}

// One pass over everything that waits: what is held and the outbox go into
// the log first, then the new jobs; what the log cannot take goes to the
// outbox, and what the outbox cannot take either stays held and is offered
// to both again on the next pass.
void RunLogWriter::Worker::Pass(std::deque<Job>& jobs) {
  if (logDown_) {
    // Keep them safe first: reconnecting may take a while.
    for (Job& job : jobs) Keep(std::move(job));
    jobs.clear();
  }
  bool ok = Open();
  while (ok && !held_.empty()) {
    ok = Write(held_.front()) == 0;
    if (ok) held_.pop_front();
  }
  ok = ok && Drain();
  for (Job& job : jobs) {
    if (ok) ok = Write(job) == 0;
    if (!ok) Keep(std::move(job));
  }
  jobs.clear();
  if (!ok) std::erase_if(held_, [&](const Job& job) { return Put(job) == 0; });
  logDown_ = !ok;
  if (!ok) {
    SayOutage();
  } else if (owed_ && outbox_.Count() == 0) {
    owed_ = false;
    lastOutage_.clear();
    emit w_.Recovered();
  }
}

void RunLogWriter::Worker::SayOutage() {
  const int waiting = outbox_.Count();
  QString english = QString(
                        "The run log (%1) cannot be written: %2. %3 run(s) wait in the outbox %4 and are "
                        "logged when the log is back.")
                        .arg(where_, logWhy_)
                        .arg(waiting)
                        .arg(folder_);
  QString chinese = QString("测试记录无法写入（%1）：%2。%3 条测试结果在待发目录 %4 中等候，记录恢复后自动补记。")
                        .arg(where_, logWhy_)
                        .arg(waiting)
                        .arg(folder_);
  if (!held_.empty()) {
    english += QString(
                   " %1 run(s) are held in memory only, because the outbox cannot be written either: %2; "
                   "they are lost if the program ends before the log or the outbox works again.")
                   .arg(held_.size())
                   .arg(boxWhy_);
    chinese += QString(
                   "另有 %1 条只保存在内存中，因为待发目录也无法写入：%2；"
                   "若在记录或待发目录恢复前退出程序，这些结果将丢失。")
                   .arg(held_.size())
                   .arg(boxWhy_);
  }
  if (english != lastOutage_) Tell(english, chinese);
  lastOutage_ = english;
}

// Runs an older program left in the outbox folder itself do not say which
// log they were meant for: they are left there, and said so once.
void RunLogWriter::Worker::NoteOlderOutbox() {
  if (const int older = RunOutbox(w_.Log_.OutboxRoot).Count(); older > 0)
    Note(QString("%1 run(s) in the outbox folder %2 were kept by an older version of this program and do not say "
                 "which log they belong to; they are left there. To log them, move them into the folder of their "
                 "log (this log's is %3).")
             .arg(older)
             .arg(QString::fromStdString(w_.Log_.OutboxRoot), folder_),
         QString("待发目录 %2 中有 %1 条由旧版程序保存的测试结果，未注明所属的测试记录，因此留在原处不补记。"
                 "如需补记，请将其移入所属测试记录的目录（本测试记录的目录为 %3）。")
             .arg(older)
             .arg(QString::fromStdString(w_.Log_.OutboxRoot), folder_));
}

void RunLogWriter::Worker::Run() {
  NoteOlderOutbox();
  std::deque<Job> jobs;
  Pass(jobs);
  std::unique_lock lock(w_.Mutex_);
  for (;;) {
    auto ready = [this] { return w_.Stop_ || w_.Retry_ || !w_.Queue_.empty(); };
    if (logDown_ || !held_.empty())
      w_.Wake_.wait_for(lock, std::chrono::milliseconds(w_.Log_.RetryMs), ready);
    else
      w_.Wake_.wait(lock, ready);
    jobs.swap(w_.Queue_);
    const bool stop = w_.Stop_, retell = w_.Retell_;
    w_.Retry_ = w_.Retell_ = false;
    w_.Busy_ = true;
    lock.unlock();

    if (retell) {
      for (const auto& [english, chinese] : notes_) Tell(english, chinese);
      lastOutage_.clear();
    }
    Pass(jobs);  // on the way out, the last try for what is held
#if defined(__GLIBC__)
    // The runs were built on the window thread and are freed here: glibc
    // keeps memory freed across threads in the window thread's heap instead
    // of reusing or returning it, several kilobytes a run, which over a
    // shift of continuous testing is tens of megabytes. Returned after each
    // pass (a fraction of a millisecond, off the window thread).
    malloc_trim(0);
#endif

    lock.lock();
    w_.HeldJobs_ = held_.size();
    w_.Busy_ = false;
    w_.Idle_.notify_all();
    if (stop && w_.Queue_.empty()) break;
  }
  lock.unlock();
  conn_.Close();
}

void RunLogWriter::Run() { Worker(*this).Run(); }

}  // namespace kt
