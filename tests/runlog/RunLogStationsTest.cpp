// Several stations on one log, a server that stops under them, and a writer
// killed at random moments: nothing lost, nothing twice.
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <random>
#include <thread>

#include "PgCluster.h"
#include "RunLogTestKit.h"
#include "runlog/LogTarget.h"
#include "runlog/RunLogConfig.h"
#include "runlog/RunOutbox.h"

namespace kt::test {
namespace {

// Generous: a loaded two-core machine, perhaps under the sanitizers.
constexpr int WaitMs = 600000;

struct Writer {
  std::unique_ptr<QProcess> Process = std::make_unique<QProcess>();
  std::string Outbox;
  std::set<std::string> Committed;

  void Start(const std::string& target, const std::string& outbox, const std::string& station, int count,
             int intervalMs = 0) {
    Outbox = outbox;
    Process->setProcessChannelMode(QProcess::SeparateChannels);
    Process->setStandardErrorFile(QString::fromStdString(outbox + ".stderr"), QIODevice::Append);
    Process->start(WriterProgram(),
                   {"--target", QString::fromStdString(target), "--outbox", QString::fromStdString(outbox), "--station",
                    QString::fromStdString(station), "--count", QString::number(count), "--interval-ms",
                    QString::number(intervalMs), "--retry-ms", "200"});
    ASSERT_TRUE(Process->waitForStarted(WaitMs)) << Process->errorString().toStdString();
  }
  // Reads what the writer printed so far.
  void Read() {
    while (Process->canReadLine()) {
      const QByteArray line = Process->readLine().trimmed();
      if (line.startsWith("C ")) Committed.insert(line.mid(2).toStdString());
    }
  }
  void Finish() {
    ASSERT_TRUE(Process->waitForFinished(WaitMs));
    Process->waitForReadyRead(0);
    Read();
    EXPECT_EQ(Process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Process->exitCode(), 0) << "see " << Outbox << ".stderr";
  }
};

int Waiting(const std::string& target, const std::string& outbox) {
  LogTarget t;
  std::string e;
  ParseLogTarget(target, t, e);
  return RunOutbox(OutboxFolderFor(outbox, t)).Count();
}

int OpenLog(const std::string& target, RunLogConnection& c) {
  LogTarget t;
  std::string e;
  QString error;
  if (ParseLogTarget(target, t, e)) return 1;
  return c.Open(t, error);
}

std::int64_t CountRuns(const std::string& target) {
  RunLogConnection c;
  if (OpenLog(target, c)) return -1;
  return Scalar(c, "SELECT COUNT(*) FROM runs").toLongLong();
}

void ExpectExactly(const std::string& target, const std::vector<Writer>& writers, std::int64_t expected) {
  RunLogConnection c;
  ASSERT_EQ(OpenLog(target, c), 0);
  const std::multiset<std::string> logged = LoggedIds(c);
  EXPECT_EQ(static_cast<std::int64_t>(logged.size()), expected);
  std::set<std::string> reported;
  for (const Writer& w : writers) {
    reported.insert(w.Committed.begin(), w.Committed.end());
    EXPECT_EQ(Waiting(target, w.Outbox), 0) << w.Outbox;
  }
  EXPECT_EQ(static_cast<std::int64_t>(reported.size()), expected);
  for (const std::string& id : reported) EXPECT_EQ(logged.count(id), 1u) << id;
}

struct Backend {
  const char* Name;
  bool Postgres;
};

class RunLogStations : public ::testing::TestWithParam<Backend> {};

TEST_P(RunLogStations, FourWritersAtOnceLoseNothing) {
  TempFolder dir;
  PgCluster pg;
  std::string target = "sqlite:" + dir / "shared.db";
  if (GetParam().Postgres) {
    std::string error;
    ASSERT_EQ(pg.Start(error), 0) << error;
    target = pg.Target();
  }
  constexpr int Writers = 4, Runs = 500;
  std::vector<Writer> writers(Writers);
  for (int i = 0; i < Writers; ++i)
    writers[static_cast<std::size_t>(i)].Start(target, dir / ("outbox" + std::to_string(i)), "st" + std::to_string(i),
                                               Runs);
  for (Writer& w : writers) w.Finish();
  ExpectExactly(target, writers, Writers * Runs);
  if (!GetParam().Postgres) return;

  // The server goes away under running writers and comes back.
  constexpr int More = 300;
  std::vector<Writer> second(Writers);
  for (int i = 0; i < Writers; ++i)
    second[static_cast<std::size_t>(i)].Start(target, dir / ("outbox-b" + std::to_string(i)), "sb" + std::to_string(i),
                                              More, 5);
  QElapsedTimer clock;
  clock.start();
  while (CountRuns(target) < Writers * Runs + 100 && clock.elapsed() < WaitMs) QThread::msleep(20);
  std::string error;
  ASSERT_EQ(pg.StopServer(error), 0) << error;
  auto waiting = [&] {
    int n = 0;
    for (const Writer& w : second) n += Waiting(target, w.Outbox);
    return n;
  };
  while (waiting() < Writers && clock.elapsed() < WaitMs) QThread::msleep(20);
  EXPECT_GE(waiting(), Writers);
  ASSERT_EQ(pg.StartServer(error), 0) << error;
  for (Writer& w : second) w.Finish();
  for (Writer& w : second) writers.push_back(std::move(w));
  ExpectExactly(target, writers, Writers * (Runs + More));
}

// Stations switched on together meet an empty log: one migrates, the
// others wait for it and find the log made; none reports a failure.
TEST_P(RunLogStations, StartingTogetherOnAnEmptyLogMigrateOnce) {
  TempFolder dir;
  for (int round = 0; round < 5; ++round) {
    LogTarget t = SqliteAt(dir / ("fresh" + std::to_string(round)));
    std::string error;
    ASSERT_TRUE(!GetParam().Postgres || PgCluster::FreshDatabase(t, error) == 0) << error;
    std::atomic<int> ready{0};
    std::vector<QString> errors(4);
    std::vector<std::thread> stations;
    for (QString& e : errors)
      stations.emplace_back([&] {
        RunLogConnection c;
        for (++ready; ready < 4;) std::this_thread::yield();
        if (c.Open(t, e) == 0 && Scalar(c, "SELECT version FROM schema_version").toInt() != RunLogSchemaVersion)
          e = "not migrated";
      });
    for (std::thread& s : stations) s.join();
    for (const QString& e : errors) EXPECT_TRUE(e.isEmpty()) << round << ": " << e.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, RunLogStations,
                         ::testing::Values(Backend{"SQLite", false}, Backend{"PostgreSQL", true}),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST(RunLogKill, EveryReportedRunSurvivesSigkill) {
  TempFolder dir;
  const std::string path = dir / "log.db";
  const std::string target = "sqlite:" + path;
  std::mt19937 random(20261207);
  std::set<std::string> reported;
  constexpr int Kills = 20;
  for (int k = 0; k < Kills; ++k) {
    SCOPED_TRACE(k);
    Writer w;
    w.Start(target, dir / "outbox", "killed", 0);
    // A random number of commits, then a random moment after the last one.
    const std::size_t wanted = std::uniform_int_distribution<std::size_t>(1, 25)(random);
    while (w.Committed.size() < wanted && w.Process->state() == QProcess::Running) {
      w.Process->waitForReadyRead(WaitMs);
      w.Read();
    }
    ASSERT_EQ(w.Process->state(), QProcess::Running);
    QThread::usleep(std::uniform_int_distribution<unsigned>(0, 20000)(random));
    w.Process->kill();  // SIGKILL
    ASSERT_TRUE(w.Process->waitForFinished(WaitMs));
    w.Read();
    reported.insert(w.Committed.begin(), w.Committed.end());

    RunLogConnection c;
    QString error;
    ASSERT_EQ(c.Open(SqliteAt(path), error), 0) << error.toStdString();
    EXPECT_EQ(Scalar(c, "PRAGMA integrity_check").toString(), "ok");
    const std::multiset<std::string> logged = LoggedIds(c);
    for (const std::string& id : reported) ASSERT_EQ(logged.count(id), 1u) << id;
    EXPECT_EQ(std::set<std::string>(logged.begin(), logged.end()).size(), logged.size());
  }
}

}  // namespace
}  // namespace kt::test
