// The writer's outbox when the log cannot be written, and the import of a
// folder of data files.
#include <fstream>
#include <mutex>
#include <thread>

#include "RunLogTestKit.h"
#include "runlog/RunLogImport.h"
#include "runlog/RunLogStore.h"
#include "runlog/RunLogWriter.h"
#include "runlog/RunOutbox.h"

namespace kt::test {
namespace {

struct Signals {
  std::mutex Mutex;
  std::vector<QString> Failed;  // each as "english\nchinese"
  int Recovered = 0;
  void Watch(RunLogWriter& w) {
    QObject::connect(
        &w, &RunLogWriter::Failed, &w,
        [this](const QString& english, const QString& chinese) {
          std::lock_guard lock(Mutex);
          Failed.push_back(english + '\n' + chinese);
        },
        Qt::DirectConnection);
    QObject::connect(
        &w, &RunLogWriter::Recovered, &w,
        [this] {
          std::lock_guard lock(Mutex);
          ++Recovered;
        },
        Qt::DirectConnection);
  }
  // How many messages so far hold all of these.
  long Said(std::initializer_list<QString> parts) {
    std::lock_guard lock(Mutex);
    return std::count_if(Failed.begin(), Failed.end(), [&](const QString& m) {
      return std::all_of(parts.begin(), parts.end(), [&](const QString& p) { return m.contains(p); });
    });
  }
};

// Two logs share one outbox folder, as the default layout has it; each log
// is in turn unwritable, with its outbox or without.
TEST(RunLogWriter, EachRunIsLoggedKeptOrHeldAndEachLogSendsOnlyItsOwn) {
  using K = RunLogWriter::Kept;
  TempFolder dir;
  const auto config = [&](const std::string& log) {
    RunLogConfig c;
    c.Target = "sqlite:" + dir / log + "/log.db";
    c.OutboxDir = dir / "box";
    c.RetryMs = 3600000;  // tried again only when told to, and at the end
    c.UseEnvironment = false;
    return c;
  };
  const auto box = [&](const std::string& log) {
    ResolvedLog r;
    QString e;
    ResolveRunLogConfig(config(log), r, e);
    return r.OutboxDir;
  };
  // A plain file where a folder should be: nothing is written under it, even by root.
  const auto block = [](const std::string& folder, bool blocked) {
    std::error_code ec;
    std::filesystem::remove(folder, ec);  // a plain file; never a folder of entries
    if (blocked) std::ofstream(folder) << "x";
  };
  Signals seen;
  QString error;
  std::string a, b, c, d;
  const auto start = [&](RunLogWriter& w) {
    seen.Watch(w);
    ASSERT_EQ(w.Start(error), 0);
  };
  const auto put = [&](RunLogWriter& w, const std::string& serial, K expected, std::string& id) {
    EXPECT_EQ(w.SubmitAndWait(MakeRun("", 0, serial), id, 60000), expected) << serial;
    EXPECT_EQ(w.WaitIdle(60000), 0);
  };
  std::filesystem::create_directories(dir / "box");
  block(dir / "a", true);
  block(box("a"), true);
  {
    RunLogWriter w(config("a"));
    start(w);
    put(w, "A1", K::Memory, a);
    const auto held = w.HeldRuns();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].Id + held[0].Serial, a + "A1");
    EXPECT_TRUE(seen.Said({"0 run(s) wait in the outbox " + QString::fromStdString(box("a")),
                           "1 run(s) are held in memory only", "Not a directory", "另有 1 条只保存在内存中"}));
    block(box("a"), false);  // in time for the writer's last try
  }
  EXPECT_EQ(RunOutbox(box("a")).Count(), 1);
  ASSERT_EQ(RunOutbox(dir / "box").Put(MakeRun(NewRunId(), 1, "older"), error), 0);
  block(dir / "b", true);
  block(box("b"), true);
  {
    RunLogWriter w(config("b"));
    start(w);
    put(w, "B1", K::Memory, b);
    block(dir / "b", false);
    ASSERT_EQ(w.WaitDrained(60000), 0);  // held, then logged
    EXPECT_TRUE(w.HeldRuns().empty());
    put(w, "B2", K::Logged, c);
  }
  EXPECT_TRUE(seen.Said({"1 run(s) in the outbox folder " + QString::fromStdString(dir / "box"), "旧版程序"}));
  {
    RunLogWriter w(config("a"));
    start(w);
    put(w, "A2", K::Outbox, d);
    EXPECT_TRUE(w.HeldRuns().empty());
    EXPECT_TRUE(seen.Said({"2 run(s) wait in the outbox", "2 条测试结果在待发目录"}));
    EXPECT_FALSE(seen.Said({"2 run(s) wait", "held"}));
    std::ofstream(box("a") + "/000000000000001-damaged.run") << "not an entry";
    block(dir / "a", false);
    ASSERT_EQ(w.WaitDrained(60000), 0);
    w.RetryNow(true);  // for a window opened since: said again
    EXPECT_EQ(w.WaitIdle(60000), 0);
  }
  EXPECT_EQ(seen.Said({"000000000000001-damaged.run is damaged", "000000000000001-damaged.run.bad", "已损坏"}), 2);
  EXPECT_EQ(seen.Recovered, 3);
  EXPECT_EQ(RunOutbox(dir / "box").Count(), 1);  // no log's own: left alone
  for (const auto& [log, ids] : {std::pair{"a", std::multiset{a, d}}, std::pair{"b", std::multiset{b, c}}}) {
    RunLogConnection conn;
    ASSERT_EQ(conn.Open(SqliteAt(dir / log + "/log.db"), error), 0);
    EXPECT_EQ(LoggedIds(conn), ids) << log;
  }
}

TEST(RunLogWriter, OffWritesNothing) {
  RunLogConfig config;
  config.Target = "off";
  config.UseEnvironment = false;
  RunLogWriter writer(config);
  QString error;
  ASSERT_EQ(writer.Start(error), 0);
  // No writer thread is started for a log that is off.
  const auto writers = [] {
    int n = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
      std::string name;
      std::getline(std::ifstream(task.path() / "comm"), name);
      n += name.starts_with("kt_runlog_writ");  // the kernel keeps 15 characters
    }
    return n;
  };
  EXPECT_EQ(writers(), 0);
  TempFolder dir;
  config.Target = "sqlite:" + (dir / "log.db");
  {
    RunLogWriter on(config);
    ASSERT_EQ(on.Start(error), 0);
    // (the thread names itself once it runs)
    for (int i = 0; i < 1000 && writers() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(writers(), 1);
  }
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
    EXPECT_EQ(result.Refused[0],
              std::pair(dir / "data/big.dat", std::string("1073741824 bytes: larger than any data file")));
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
