// The writer's outbox when the log cannot be written, and the import of a
// folder of data files.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <mutex>

#include "RunLogTestKit.h"
#include "runlog/RunLogImport.h"
#include "runlog/RunLogStore.h"
#include "runlog/RunLogWriter.h"
#include "runlog/RunOutbox.h"

namespace kt::test {
namespace {

// Root may write a read-only file; act as an ordinary user meanwhile.
struct AsOrdinaryUser {
  explicit AsOrdinaryUser(const std::string& folder) {
    if (geteuid() != 0) return;
    EXPECT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    Switched = setegid(65534) == 0 && seteuid(65534) == 0;
    EXPECT_TRUE(Switched);
  }
  ~AsOrdinaryUser() {
    if (Switched) {
      EXPECT_EQ(seteuid(0), 0);
      EXPECT_EQ(setegid(0), 0);
    }
  }
  bool Switched = false;
};

struct Signals {
  std::mutex Mutex;
  std::vector<QString> Committed, Failed;
  int Recovered = 0;
  void Watch(RunLogWriter& w) {
    QObject::connect(&w, &RunLogWriter::Committed, &w, [this](const QString& id) {
      std::lock_guard lock(Mutex);
      Committed.push_back(id);
    }, Qt::DirectConnection);
    QObject::connect(&w, &RunLogWriter::Failed, &w, [this](const QString& m) {
      std::lock_guard lock(Mutex);
      Failed.push_back(m);
    }, Qt::DirectConnection);
    QObject::connect(&w, &RunLogWriter::Recovered, &w, [this] {
      std::lock_guard lock(Mutex);
      ++Recovered;
    }, Qt::DirectConnection);
  }
};

TEST(RunLogWriter, ReadOnlyLogFillsTheOutboxThenDrainsItOnce) {
  TempFolder dir;
  AsOrdinaryUser user(dir.Path);
  const std::string path = dir / "log.db";
  QString error;
  std::string kept;
  {
    RunLogConnection c;
    ASSERT_EQ(c.Open(SqliteAt(path), error), 0) << error.toStdString();
    QSqlDatabase db = c.Db();
    WriteOutcome outcome{};
    const LoggedRun first = MakeRun(NewRunId(), 1000, "A");
    ASSERT_EQ(WriteRun(db, first, outcome, error), 0);
    // As if its commit had gone through but the answer was lost: it is
    // sent again from the outbox and must not be logged twice.
    QString e;
    ASSERT_EQ(RunOutbox(dir / "outbox").Put(first, e), 0);
    kept = first.Id;
  }
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);

  RunLogConfig config;
  config.Target = "sqlite:" + path;
  config.OutboxDir = dir / "outbox";
  config.RetryMs = 100;
  config.UseEnvironment = false;
  Signals seen;
  std::vector<std::string> ids;
  {
    RunLogWriter writer(config);
    seen.Watch(writer);
    ASSERT_EQ(writer.Start(error), 0);
    for (int i = 0; i < 5; ++i) ids.push_back(writer.Submit(MakeRun("", 0, "S" + std::to_string(i))));
    ASSERT_EQ(writer.WaitIdle(60000), 0);
    EXPECT_EQ(writer.OutboxCount(), 6);
    {
      std::lock_guard lock(seen.Mutex);
      ASSERT_FALSE(seen.Failed.empty());
      EXPECT_TRUE(seen.Failed.back().contains("cannot be written")) << seen.Failed.back().toStdString();
      EXPECT_TRUE(seen.Committed.empty());
    }
    // SQLite gives the journal files it made meanwhile the log's mode.
    for (const std::string& f : {path, path + "-wal", path + "-shm"})
      EXPECT_TRUE(!std::filesystem::exists(f) || chmod(f.c_str(), 0644) == 0) << f;
    ASSERT_EQ(writer.WaitDrained(60000), 0) << seen.Failed.back().toStdString();
    EXPECT_EQ(writer.OutboxCount(), 0);
    std::lock_guard lock(seen.Mutex);
    EXPECT_EQ(seen.Recovered, 1);
    EXPECT_EQ(seen.Committed.size(), 6u);
  }
  // A run left in the outbox by an earlier session goes in at start.
  const LoggedRun left = MakeRun(NewRunId(), 2000, "L");
  ASSERT_EQ(RunOutbox(dir / "outbox").Put(left, error), 0);
  {
    RunLogWriter writer(config);
    ASSERT_EQ(writer.Start(error), 0);
    ASSERT_EQ(writer.WaitDrained(60000), 0);
  }
  RunLogConnection c;
  ASSERT_EQ(c.Open(SqliteAt(path), error), 0);
  std::multiset<std::string> expected(ids.begin(), ids.end());
  expected.insert(kept);
  expected.insert(left.Id);
  EXPECT_EQ(LoggedIds(c), expected);
}

TEST(RunLogWriter, OffWritesNothing) {
  RunLogConfig config;
  config.Target = "off";
  config.UseEnvironment = false;
  RunLogWriter writer(config);
  QString error;
  ASSERT_EQ(writer.Start(error), 0);
  EXPECT_FALSE(writer.Enabled());
  EXPECT_FALSE(writer.Submit(MakeRun("", 0, "A")).empty());
  config.Target = "mysql://x";
  RunLogWriter bad(config);
  EXPECT_EQ(bad.Start(error), 1);
  EXPECT_FALSE(error.isEmpty());
}

TEST(RunLogImport, SameFolderTwiceAddsNothing) {
  TempFolder dir;
  std::filesystem::create_directories(dir / "data/sub");
  auto file = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir / ("data/" + name), std::ios::binary) << bytes;
  };
  file("a.dat", "KT1 input A-1");
  file("b.BDT", "KT1 envelope B-2");
  file("c.dat", "garbage");
  file("notes.txt", "KT1 input N-9");
  file("sub/e.dat", "KT1 output E-5");
  file("sub/copy-of-a.dat", "KT1 input A-1");
  // Sparse: a reader that took it whole would take 1 GiB, then import it.
  file("big.dat", "KT1 input BIG");
  std::filesystem::resize_file(dir / "data/big.dat", std::uintmax_t{1} << 30);
  // Stands in for the program's record loaders.
  const RunDecoder decode = [](const std::string&, const std::vector<std::uint8_t>& bytes, LoggedRun& run,
                               std::string& error) {
    const std::string text(bytes.begin(), bytes.end());
    if (text.rfind("KT1 ", 0) != 0) {
      error = "not a KT6100 data file";
      return 1;
    }
    run.Kind = text.find("envelope") != std::string::npos ? BaoTest : InputTest;
    run.Info.No = text.substr(text.rfind(' ') + 1);
    return 0;
  };
  RunLogConnection log;
  QString error;
  ASSERT_EQ(log.Open(SqliteAt(dir / "log.db"), error), 0);
  QSqlDatabase db = log.Db();
  struct Pass {
    int Imported, Present;
  };
  for (const Pass expected : {Pass{3, 1}, Pass{0, 4}}) {
    ImportResult result;
    ASSERT_EQ(ImportFolder(db, dir / "data", decode, "importer", result, error), 0) << error.toStdString();
    EXPECT_EQ(result.Imported, expected.Imported);
    EXPECT_EQ(result.AlreadyPresent, expected.Present);
    ASSERT_EQ(result.Refused.size(), 2u);
    EXPECT_EQ(result.Refused[0], std::pair(dir / "data/big.dat", std::string("1073741824 bytes: larger than any data file")));
    EXPECT_EQ(result.Refused[1], std::pair(dir / "data/c.dat", std::string("not a KT6100 data file")));
  }
  EXPECT_EQ(Scalar(log, "SELECT COUNT(*) FROM runs").toInt(), 3);
  const std::string a = "KT1 envelope B-2";
  std::vector<std::uint8_t> record;
  TestKind kind = NoTest;
  ASSERT_EQ(ReadRecord(db, RunIdFromBytes({a.begin(), a.end()}), record, kind, error), 0);
  EXPECT_EQ(std::string(record.begin(), record.end()), a);
  EXPECT_EQ(kind, BaoTest);
  EXPECT_EQ(Scalar(log, "SELECT station FROM runs WHERE serial = 'E-5'").toString(), "importer");
  ImportResult none;
  EXPECT_EQ(ImportFolder(db, dir / "missing", decode, "importer", none, error), 1);
}

}  // namespace
}  // namespace kt::test
