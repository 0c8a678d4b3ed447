// Writing a run and reading it back bit for bit, the schema's versions, and
// the forms of the log's address.
#include <QFile>
#include <QSqlQuery>

#include <cmath>

#include "RunLogTestKit.h"
#include "runlog/LogTarget.h"
#include "runlog/RunLogConfig.h"
#include "runlog/RunLogStore.h"
#include "runlog/RunOutbox.h"

namespace kt::test {
namespace {

// Every field, bit for bit, compared in the outbox's form of a run. The log
// keeps the profile's hash, not its text.
void ExpectSame(LoggedRun written, const LoggedRun& read) {
  written.ProfileText.clear();
  written.ProfileHash = read.ProfileHash;
  EXPECT_TRUE(SerializeRun(written) == SerializeRun(read));
}

LoggedRun RichRun() {
  LoggedRun r = MakeRun("0b7e3c52-6a1d-4c8e-9f20-7d5e4b3a2c10", 1796638530123, "SN-0042", VerdictResult::Fail);
  r.Info.Name = "电子镇流器";
  r.Info.Manufacturer = "Acme, \"Lighting\"";
  r.Info.ColourTemperature = "6500K";
  r.TestDate = "2026-12-07";
  r.Figures = {{"Urms", 230.12345678901234, true},
               {"THDI", 1e-300, true},
               {"CurrentHarmonicPct[3]", -0.1, true},
               {"Cf", 0, false}};
  r.Result.ProfileName = "T8 line";
  r.Result.ProfileRevision = "r7";
  r.Result.Screening = true;
  r.Result.Detail = "Class C, option b";
  r.Result.Missing = {"Ulamp", "Ilamp"};
  r.Result.Rules = {Rule("Urms", 230.12345678901234, 220.0, 240.0, RuleOutcome::Pass),
                    Rule("THDI", std::nullopt, std::nullopt, 0.33, RuleOutcome::NotMeasured),
                    Rule("PF", 0.5, 0.9, std::nullopt, RuleOutcome::Fail)};
  r.Result.Rules[0].Margin = 9.87654321;
  r.Result.Rules[2].Note = "below the line's floor";
  r.ProfileText = "[profile]\nname = T8 line\n";
  r.ProgramVersion = "1.0.3";
  r.InstrumentSerial = "KT-0042";
  r.CalibrationDue = "2027-03-01";
  r.Record.clear();
  for (int i = 0; i < 3000; ++i) r.Record.push_back(static_cast<std::uint8_t>(i * 7));
  return r;
}

TEST(RunLogStore, RunReadsBackExactlyAndAResendIsANoOp) {
  TempFolder dir;
  RunLogConnection c;
  QString error;
  ASSERT_EQ(c.Open(SqliteAt(dir / "log.db"), error), 0) << error.toStdString();
  QSqlDatabase db = c.Db();
  const LoggedRun run = RichRun();
  WriteOutcome outcome{};
  ASSERT_EQ(WriteRun(db, run, outcome, error), 0) << error.toStdString();
  EXPECT_EQ(outcome, WriteOutcome::Written);
  LoggedRun back;
  ASSERT_EQ(ReadRun(db, run.Id, back, error), 0) << error.toStdString();
  ExpectSame(run, back);
  // The hash of "[profile]\nname = T8 line\n", by sha256sum.
  EXPECT_EQ(back.ProfileHash, "cdefade35befe0b1ef7de702232c3c716d69692528dea59056f6157def55153f");

  LoggedRun changed = run;
  changed.Info.No = "other";
  ASSERT_EQ(WriteRun(db, changed, outcome, error), 0);
  EXPECT_EQ(outcome, WriteOutcome::AlreadyThere);
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM runs").toInt(), 1);
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM figures").toInt(), 4);
  EXPECT_EQ(Scalar(c, "SELECT serial FROM runs").toString(), "SN-0042");

  std::vector<std::uint8_t> record;
  TestKind kind = NoTest;
  ASSERT_EQ(ReadRecord(db, run.Id, record, kind, error), 0);
  EXPECT_EQ(record, run.Record);
  EXPECT_EQ(kind, InputTest);
  LoggedRun bare = MakeRun("bare", 1, "");
  bare.Record.clear();
  ASSERT_EQ(WriteRun(db, bare, outcome, error), 0) << error.toStdString();
  ASSERT_EQ(ReadRecord(db, "bare", record, kind, error), 0);
  EXPECT_TRUE(record.empty());
  EXPECT_EQ(ReadRun(db, "no-such-run", back, error), 1);
  EXPECT_TRUE(error.isEmpty());
}

// A damaged entry asking for four thousand million figures is refused
// before anything is allocated for them.
TEST(RunOutbox, AnEntryWithAHugeCountIsRefused) {
  QByteArray bytes = SerializeRun(RichRun());
  bool isRun = false;
  LoggedRun run;
  LoggedEvent event;
  ASSERT_EQ(DeserializeEntry(bytes, isRun, run, event), 0);
  const qsizetype at = bytes.indexOf("2026-12-07") + 10;  // the figure count follows the test date
  ASSERT_EQ(bytes.mid(at, 4), QByteArray("\0\0\0\4", 4));
  bytes.replace(at, 4, QByteArray(4, '\xff'));
  EXPECT_EQ(DeserializeEntry(bytes, isRun, run, event), 1);

  // A golden check stays one through the outbox; a purpose that is neither
  // is refused; an entry of the first format (no purpose, no instrument)
  // written before is still read, as production.
  LoggedRun check = MakeRun("g", 1, "G-01");
  check.Purpose = RunPurpose::GoldenCheck;
  bytes = SerializeRun(check);
  ASSERT_EQ(DeserializeEntry(bytes, isRun, run, event), 0);
  EXPECT_EQ(run.Purpose, RunPurpose::GoldenCheck);
  const qsizetype tail = bytes.size() - 12;  // the purpose, two empty texts
  ASSERT_EQ(bytes.mid(tail), QByteArray("\0\0\0\1\0\0\0\0\0\0\0\0", 12));
  bytes[tail + 3] = 7;
  EXPECT_EQ(DeserializeEntry(bytes, isRun, run, event), 1);
  bytes.chop(12);
  bytes[5] = 1;  // the format's version, after the magic
  ASSERT_EQ(DeserializeEntry(bytes, isRun, run, event), 0);
  EXPECT_TRUE(run.Id == "g" && run.Purpose == RunPurpose::Production);
}

TEST(RunLogStore, OlderLogIsMigratedAndNewerRefused) {
  TempFolder dir;
  const LogTarget target = SqliteAt(dir / "log.db");
  QString error;
  const LoggedRun run = RichRun();
  {
    RunLogConnection old;
    ASSERT_EQ(old.Open(target, error, 1), 0) << error.toStdString();
    EXPECT_EQ(Scalar(old, "SELECT version FROM schema_version").toInt(), 1);
    EXPECT_FALSE(Scalar(old, "SELECT COUNT(*) FROM sqlite_master WHERE name = 'events'").toBool());
    // The run's rows as the first program wrote them: a log of today's
    // writes them, the old log takes its rows and nothing else.
    RunLogConnection current;
    ASSERT_EQ(current.Open(SqliteAt(dir / "current.db"), error), 0) << error.toStdString();
    QSqlDatabase db = current.Db();
    WriteOutcome outcome{};
    ASSERT_EQ(WriteRun(db, run, outcome, error), 0) << error.toStdString();
    db = old.Db();
    ASSERT_TRUE(QSqlQuery(db).exec(QString::fromStdString("ATTACH '" + (dir / "current.db") + "' AS c")));
    for (const char* table : {"runs", "run_records", "figures", "rules"}) {
      const QString columns =
          Scalar(old, QString("SELECT group_concat(name) FROM pragma_table_info('%1', 'main')").arg(table)).toString();
      ASSERT_TRUE(QSqlQuery(db).exec(QString("INSERT INTO %1 (%2) SELECT %2 FROM c.%1").arg(table, columns)));
    }
  }
  RunLogConnection now;
  ASSERT_EQ(now.Open(target, error), 0) << error.toStdString();
  EXPECT_EQ(Scalar(now, "SELECT version FROM schema_version").toInt(), RunLogSchemaVersion);
  EXPECT_EQ(Scalar(now, "SELECT COUNT(*) FROM sqlite_master WHERE name = 'runs_serial'").toInt(), 1);
  // The migration summed the old run as the writer sums a new one.
  const char* summary =
      "SELECT group_concat(t, ';') FROM (SELECT day || station || kind || type || verdict || figure || bounds ||"
      " min_value || max_value || n || fails AS t FROM %1stats_rules UNION ALL SELECT day || name || n || mean ||"
      " m2 || min_value || max_value FROM %1stats_figures UNION ALL SELECT day || runs || no_serial || units || "
      "first_pass FROM %1stats_runs)";
  QSqlDatabase db = now.Db();
  ASSERT_TRUE(QSqlQuery(db).exec(QString::fromStdString("ATTACH '" + (dir / "current.db") + "' AS c")));
  EXPECT_EQ(Scalar(now, QString(summary).arg("")).toString().toStdString(),
            Scalar(now, QString(summary).arg("c.")).toString().toStdString());
  EXPECT_EQ(Scalar(now, "SELECT SUM(n) FROM stats_figures").toInt(), 3);
  LoggedRun back;
  ASSERT_EQ(ReadRun(db, run.Id, back, error), 0);
  LoggedRun asFirst = run;  // the first log kept no instrument
  asFirst.InstrumentSerial.clear();
  asFirst.CalibrationDue.clear();
  ExpectSame(asFirst, back);
  LoggedEvent event{"5d1f0e7a-1111-4222-8333-944455556666", 1796638530999, "bench-1", OutputTest, "no answer"};
  WriteOutcome outcome{};
  ASSERT_EQ(WriteEvent(db, event, outcome, error), 0) << error.toStdString();
  ASSERT_EQ(WriteEvent(db, event, outcome, error), 0);
  EXPECT_EQ(outcome, WriteOutcome::AlreadyThere);
  EXPECT_EQ(Scalar(now, "SELECT what FROM events").toString(), "no answer");

  // A newer program's log, in the rollback journal, is refused untouched.
  QSqlQuery(db).exec("UPDATE schema_version SET version = 99");
  QSqlQuery(db).exec("PRAGMA journal_mode=DELETE");
  db = QSqlDatabase();
  now.Close();
  auto bytes = [file = QString::fromStdString(target.Path)] {
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return f.readAll() + (QFile::exists(file + "-wal") || QFile::exists(file + "-shm") ? "+journal" : "");
  };
  const QByteArray before = bytes();
  RunLogConnection newer;
  EXPECT_EQ(newer.Open(target, error), 1);
  EXPECT_TRUE(error.contains("newer")) << error.toStdString();
  EXPECT_FALSE(newer.IsOpen());
  EXPECT_EQ(bytes(), before);
}

TEST(RunLogStore, ImportIdDependsOnlyOnTheBytes) {
  const std::vector<std::uint8_t> a = {1, 2, 3}, b = {1, 2, 4};
  EXPECT_EQ(RunIdFromBytes(a), RunIdFromBytes(std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_NE(RunIdFromBytes(a), RunIdFromBytes(b));
  EXPECT_EQ(RunIdFromBytes(a).size(), 36u);
  EXPECT_EQ(RunIdFromBytes(a)[14], '5');  // a name-based (version 5) UUID
}

struct TargetCase {
  const char* Text;
  int Result;
  LogTarget::Driver Kind;
  const char *Path, *Host;
  int Port;
  const char *User, *Password, *Database, *Options;
};

TEST(RunLogTarget, FormsParse) {
  using D = LogTarget::Driver;
  const TargetCase cases[] = {
      {"", 0, D::Default, "", "", 0, "", "", "", ""},
      {"off", 0, D::None, "", "", 0, "", "", "", ""},
      {"sqlite:/var/lib/kt/log.db", 0, D::Sqlite, "/var/lib/kt/log.db", "", 0, "", "", "", ""},
      {"sqlite:///srv/log.db", 0, D::Sqlite, "/srv/log.db", "", 0, "", "", "", ""},
      {"sqlite:", 1, D::Default, "", "", 0, "", "", "", ""},
      {"postgresql://line@db.local:5433/runs", 0, D::Postgres, "", "db.local", 5433, "line", "", "runs", ""},
      {"postgres://u:p%40ss@h/d", 0, D::Postgres, "", "h", 0, "u", "p@ss", "d", ""},
      {"postgresql://kt@/runlog?host=/tmp/pg%20x", 0, D::Postgres, "", "/tmp/pg x", 0, "kt", "", "runlog", ""},
      {"postgresql://[::1]:6000/d?sslmode=require&connect_timeout=2", 0, D::Postgres, "", "::1", 6000, "", "", "d",
       "sslmode=require;connect_timeout=2"},
      {"postgresql:///?dbname=x&user=y&port=7", 0, D::Postgres, "", "", 7, "y", "", "x", ""},
      {"postgresql://h:99999/d", 1, D::Default, "", "", 0, "", "", "", ""},
      {"postgresql://h/", 1, D::Default, "", "", 0, "", "", "", ""},
      {"postgresql://h/d?bad", 1, D::Default, "", "", 0, "", "", "", ""},
      {"postgresql://h/d%2", 1, D::Default, "", "", 0, "", "", "", ""},
      {"mysql://h/d", 1, D::Default, "", "", 0, "", "", "", ""},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE(c.Text);
    LogTarget t;
    std::string error;
    ASSERT_EQ(ParseLogTarget(c.Text, t, error), c.Result) << error;
    EXPECT_EQ(c.Result == 1, !error.empty());
    EXPECT_EQ(std::tie(t.Kind, t.Path, t.Host, t.Port, t.User, t.Password, t.Database, t.Options),
              std::make_tuple(c.Kind, std::string(c.Path), std::string(c.Host), c.Port, std::string(c.User),
                              std::string(c.Password), std::string(c.Database), std::string(c.Options)));
  }
}

// Pairs of addresses, of one log (true) or of two: one outbox folder per log.
TEST(RunLogTarget, EachLogHasItsOwnOutboxFolder) {
  const std::tuple<const char*, const char*, bool> pairs[] = {
      {"sqlite:/x/y/../log.db", "sqlite:/x/log.db", true},
      {"postgresql://u@h/d", "postgresql://v:pw@h:5432/d?sslmode=require", true},
      {"sqlite:/x/log.db", "sqlite:/y/log.db", false},
      {"postgresql://h/d", "postgresql://h/e", false},
      {"postgresql://h/d", "postgresql://h:5433/d", false},
      {"postgresql://h/d", "postgresql://g/d", false},
  };
  for (const auto& [x, y, same] : pairs) {
    LogTarget a, b;
    std::string e;
    ASSERT_EQ(ParseLogTarget(x, a, e) + ParseLogTarget(y, b, e), 0);
    EXPECT_EQ(OutboxFolderFor("/o", a) == OutboxFolderFor("/o", b), same) << x << " " << y;
  }
}

}  // namespace
}  // namespace kt::test
