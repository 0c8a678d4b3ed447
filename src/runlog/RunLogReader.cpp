#include "runlog/RunLogReader.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>

#include <dlfcn.h>

#include <atomic>

#include "runlog/RunLogConnection.h"

namespace kt {
namespace {

using ProgressHandlerFn = void (*)(void*, int, int (*)(void*), void*);

// SQLite's way to stop a statement, taken from the library the driver
// already loaded (none when the driver carries a copy of its own, whose
// handles that library would not know).
ProgressHandlerFn SqliteProgressHandler() {
  static const ProgressHandlerFn handler = [] {
    void* lib = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_NOLOAD);
    return lib ? reinterpret_cast<ProgressHandlerFn>(dlsym(lib, "sqlite3_progress_handler")) : nullptr;
  }();
  return handler;
}

// How many SQLite instructions between two looks at whether the job was
// superseded: well under a millisecond.
constexpr int InstructionsPerLook = 10000;

}  // namespace

struct RunLogReader::Shared {
  LogTarget Target;
  std::array<std::atomic<quint64>, Channels> Latest{};
  std::atomic<bool> Closing{false};
  std::unique_ptr<RunLogConnection> Log;  // the reader thread's only, as the two below
  std::size_t Channel = 0;
  quint64 Request = 0;  // the job running now, 0 for none

  bool Superseded() const { return Closing || (Request != 0 && Latest[Channel] != Request); }

  // On SQLite, a job superseded (or the reader's end) stops at its next
  // statement step instead of running to its end; the job then fails and
  // is not run again. On PostgreSQL it runs to its end.
  void Opened() {
    QSqlDatabase db = Log->Db();
    const QVariant h = db.driver()->handle();
    if (!SqliteProgressHandler() || qstrcmp(h.typeName(), "sqlite3*") != 0) return;
    SqliteProgressHandler()(
        *static_cast<void* const*>(h.constData()), InstructionsPerLook,
        [](void* shared) { return static_cast<Shared*>(shared)->Superseded() ? 1 : 0; }, this);
  }

  int Run(std::size_t channel, quint64 request, const Job& job, QString& error) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      error.clear();
      if (!Log) {
        Log = std::make_unique<RunLogConnection>();
        if (Log->Open(Target, error, RunLogSchemaVersion, true)) {
          Log.reset();
          return 1;
        }
        Opened();
      }
      int status = 0;
      {
        QSqlDatabase db = Log->Db();  // let go before the connection is removed
        Channel = channel, Request = request;
        status = job(db, error);
        Request = 0;
      }
      if (status == 0) return 0;
      Log.reset();
      if (Superseded()) return 1;
    }
    return 1;
  }
};

RunLogReader::RunLogReader(const LogTarget& target, QObject* parent)
    : QObject(parent), Shared_(std::make_shared<Shared>()) {
  Shared_->Target = target;
  Thread_ = new QThread;
  Thread_->setObjectName("RunLogReader");
  Worker_ = new QObject;
  Worker_->moveToThread(Thread_);
  Thread_->start();
}

RunLogReader::~RunLogReader() {
  Shared_->Closing = true;
  // The job under way stops (SQLite) or ends; the connection is then
  // closed on its own thread.
  QMetaObject::invokeMethod(
      Worker_,
      [shared = Shared_] {
        shared->Log.reset();
        QThread::currentThread()->quit();
      },
      Qt::QueuedConnection);
  Thread_->wait();
  delete Worker_;
  delete Thread_;
}

bool RunLogReader::Busy() const { return Asked_ != Answered_; }

void RunLogReader::Ask(int channel, Job job, Done done) {
  const bool wasBusy = Busy();
  const auto c = static_cast<std::size_t>(channel);
  const quint64 request = ++Asked_[c];
  Shared_->Latest[c] = request;
  QMetaObject::invokeMethod(
      Worker_,
      [this, shared = Shared_, channel, c, request, job = std::move(job), done = std::move(done)]() mutable {
        if (shared->Closing || shared->Latest[c] != request) return;  // superseded before it began
        QString error;
        const int status = shared->Run(c, request, job, error);
        if (shared->Closing || shared->Latest[c] != request) return;
        // `this` outlives every post: its destructor waits for this thread.
        QMetaObject::invokeMethod(
            this,
            [this, channel, request, status, error, done = std::move(done)] {
              Answer(channel, request, status, error, done);
            },
            Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
  if (!wasBusy) emit BusyChanged(true);
}

void RunLogReader::Answer(int channel, quint64 request, int status, const QString& error, const Done& done) {
  const auto c = static_cast<std::size_t>(channel);
  if (request != Asked_[c]) return;  // a newer request went out since
  Answered_[c] = request;
  done(status, error);
  if (!Busy()) emit BusyChanged(false);
}

}  // namespace kt
