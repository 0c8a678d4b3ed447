// What the production line adds to the window, end to end against the
// simulator: the verdict of each run on the band and the report, its row in
// the run log opened again as the run, a log that cannot be written told
// once, and with no limits chosen nothing of it on the page or the report.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTcpSocket>
#include <QToolButton>

#include <algorithm>
#include <fstream>

#include "WindowRig.h"
#include "link/Resets.h"
#include "measurements/RecordFile.h"
#include "remote/RemoteServer.h"
#include "runlog/RunLogQuery.h"
#include "shell/LineFeatures.h"
#include "shell/RemoteControl.h"
#include "shell/TBaoLuoForm.h"
#include "shell/TLogForm.h"
#include "shell/TLogSettingsForm.h"
#include "shell/TVerdictBand.h"
#include "station/StationSettings.h"
#include "support/PdfWords.h"

namespace kt::test {
namespace {

// Profiles the simulated instrument's default results pass and fail for
// sure: its mains is 230 V, its ballast's power factor far above 0.1.
void WriteProfiles(const TempDir& dir) {
  std::ofstream(dir.File("pass.json")) << R"({"name": "Mains only", "revision": "2",
    "rules": [{"figure": "Urms", "min": 150, "max": 300}, {"figure": "Pout", "min": 1},
    {"figure": "WaveRmsIl", "min": 0.01}]})";
  std::ofstream(dir.File("fail.json")) << R"({"name": "Impossible PF", "revision": "1",
    "rules": [{"figure": "PF", "max": 0.1}]})";
}

QAction* Action(QMenu* menu, const QString& textStart) {
  for (QAction* a : menu->actions())
    if (a->text().remove('&').startsWith(textStart)) return a;
  return nullptr;
}

struct LineRig {
  TempDir profiles;
  std::unique_ptr<WindowRig> rig;
  // `brokenLog`: the log's database file is to be in a "folder" that is a
  // plain file, so that every write fails.
  explicit LineRig(bool brokenLog = false) {
    WriteProfiles(profiles);
    qputenv("KT6100_PROFILES", profiles.path.string().c_str());
    const QByteArray data = qgetenv("XDG_DATA_HOME");
    if (brokenLog) {
      // The log and its outbox both in a "folder" that is a plain file: a
      // full disk, as far as the writer can tell.
      std::ofstream(profiles.File("blocker")) << "not a folder";
      qputenv("KT6100_LOG", ("sqlite:" + profiles.File("blocker") + "/log.db").c_str());
      qputenv("XDG_DATA_HOME", profiles.File("blocker").c_str());
    }
    rig = std::make_unique<WindowRig>();
    qunsetenv("KT6100_LOG");
    qputenv("XDG_DATA_HOME", data);
  }
  TKT5100Form& w() { return rig->w(); }
  TVerdictBand& band() { return *w().findChild<TVerdictBand*>("VerdictBand"); }
  QString Shown() { return band().findChild<QLabel*>("VerdictWord")->text(); }
  void Choose(const char* name) {
    QAction* a = Action(w().menuBar()->findChild<QMenu*>("Limits"), QString::fromUtf8(name));
    ASSERT_NE(a, nullptr) << name;
    a->trigger();
  }
  void RunOnce(void (TKT5100Form::*command)()) {
    const int before = rig->w().runs;
    (w().*command)();
    ASSERT_TRUE(WaitFor([&] { return rig->w().runs > before && !rig->f().TestBusy; }, 15000));
  }
  std::vector<Word> Print(const std::string& name) {
    rig->dialogs.pdfPath = QString::fromStdString(rig->folder.File(name));
    w().PrintClick();
    return PdfWords(rig->folder.File(name));
  }
};

bool HasWord(const std::vector<Word>& words, const std::string& text) {
  return std::any_of(words.begin(), words.end(), [&](const Word& w) { return w.text == text; });
}

TEST(LineFeatures, EachRunIsJudgedShownPrintedLoggedAndOpenedAgain) {
  LineRig line;
  TKT5100Form& w = line.w();
  line.rig->f().ChineseMode = 0;
  w.HanZiClick();  // to Chinese and back: the menus follow the language
  w.HanZiClick();
  ASSERT_EQ(line.rig->f().ChineseMode, 0);

  // No limits: no band, and the report is the program's own.
  line.RunOnce(&TKT5100Form::InputTestLockBtnClick);
  EXPECT_FALSE(line.band().isVisible());
  const auto plain = line.Print("plain.pdf");
  ASSERT_FALSE(plain.empty());
  for (const char* word : {"PASS", "FAIL", "Limits:"}) EXPECT_FALSE(HasWord(plain, word)) << word;

  struct Case {
    const char* profile;
    void (TKT5100Form::*command)();
    TestKind kind;
    VerdictResult result;
    const char* word;
  } cases[] = {
      {"Mains only", &TKT5100Form::InputTestLockBtnClick, InputTest, VerdictResult::Pass, "PASS"},
      {"Impossible PF", &TKT5100Form::InputTestLockBtnClick, InputTest, VerdictResult::Fail, "FAIL"},
      {"Mains only", &TKT5100Form::OutputTestLockBtnClick, OutputTest, VerdictResult::Pass, "PASS"},
      // The profile has no rule an output test measures.
      {"Impossible PF", &TKT5100Form::OutputTestLockBtnClick, OutputTest, VerdictResult::NotApplicable, "N/A"},
  };
  TLogForm& log = OpenLogWindow(w);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + " " + c.word);
    line.Choose(c.profile);
    line.RunOnce(c.command);
    EXPECT_TRUE(line.band().isVisible());
    EXPECT_EQ(line.band().Result(), c.result);
    EXPECT_EQ(line.Shown(), c.word);
    EXPECT_TRUE(HasWord(line.Print(std::to_string(&c - cases) + ".pdf"), c.word)) << "the report carries the verdict";

    // The log's newest row is this run with this verdict, and it opens as
    // the run it was: the same record a store would write.
    const auto stored = BuildRecord(*line.rig->f().Kinds[static_cast<std::size_t>(c.kind)].Record, line.rig->f());
    const int verdictColumn = static_cast<int>(RunColumn::Verdict);
    ASSERT_TRUE(SearchLogUntil(log, [&](RunTableModel& m) {
      return m.rowCount() > 0 && m.index(0, verdictColumn).data().toString().contains(c.word);
    }));
    ClearResults(line.rig->f().M);
    line.rig->f().ShownKind = NoTest;
    log.OpenRow(0);
    EXPECT_EQ(line.rig->f().ShownKind, c.kind);
    EXPECT_EQ(BuildRecord(*line.rig->f().Kinds[static_cast<std::size_t>(c.kind)].Record, line.rig->f()), stored);
    EXPECT_EQ(line.band().Result(), c.result) << "judged again when opened";
  }
  EXPECT_TRUE(line.rig->dialogs.messages.empty());

  // The analysis window judges its own runs on a band of its own.
  line.Choose("Mains only");
  std::vector<VerdictResult> analysed;
  line.rig->dialogs.onModal = [&](QDialog& dialog) {
    if (auto* a = qobject_cast<TBaoLuoForm*>(&dialog)) {
      QTest::mouseClick(a->BaoBtn, Qt::LeftButton);
      EXPECT_TRUE(WaitFor([&] { return a->Data().EnvelopeValid == 1 && line.rig->f().CommStep == 0; }, 10000));
      analysed.push_back(!a->VerdictBand->isHidden() ? a->VerdictBand->Result() : VerdictResult::None);
      QTest::mouseClick(a->GaoPinBtn, Qt::LeftButton);
      EXPECT_TRUE(WaitFor([&] { return a->Data().Period[ChIl] > 0 && line.rig->f().CommStep == 0; }, 10000));
      analysed.push_back(!a->VerdictBand->isHidden() ? a->VerdictBand->Result() : VerdictResult::None);
      line.rig->dialogs.pdfPath = QString::fromStdString(line.rig->folder.File("analysis.pdf"));
      a->PrintClick();  // its report carries the verdict its band shows
      EXPECT_TRUE(HasWord(PdfWords(line.rig->folder.File("analysis.pdf")), "合格"));
      a->ExitClick();
    }
    return static_cast<int>(QDialog::Rejected);
  };
  w.BaoAnaClick();
  // The envelope measures no figure of the profile; the analysis the lamp current's.
  EXPECT_EQ(analysed, (std::vector<VerdictResult>{VerdictResult::NotApplicable, VerdictResult::Pass}));

  // A logged analysis opens from its bytes (no file in a shared folder).
  int period = 0;
  line.rig->dialogs.onModal = [&](QDialog& d) {
    if (auto* a = qobject_cast<TBaoLuoForm*>(&d)) period = a->Data().Period[ChIl];
    return 0;
  };
  ASSERT_TRUE(SearchLogUntil(log, [](RunTableModel& m) { return m.rowCount() > 0 && m.KindAt(0) == GaoTest; }));
  log.OpenRow(0);
  EXPECT_GT(period, 0);
  line.rig->dialogs.onModal = nullptr;

  // Back to no limits: the band goes and the next report is plain again.
  line.Choose("No limits");
  EXPECT_FALSE(line.band().isVisible());
  EXPECT_FALSE(HasWord(line.Print("plain-again.pdf"), "PASS"));
}

// Limits break on a production line: a file damaged on reload or between
// two sessions, two profiles for one type. Judging never goes off in
// silence, and a run keeps the one verdict it was given, on paper too.
TEST(LineFeatures, BrokenLimitsNeverSwitchJudgingOffAndARunKeepsItsVerdict) {
  auto line = std::make_unique<LineRig>();  // its profiles stay for a second window
  const auto note = [&] { return line->band().findChild<QLabel*>("VerdictNote")->text().toStdString(); };
  line->Choose("Mains only");
  line->RunOnce(&TKT5100Form::InputTestLockBtnClick);
  ASSERT_EQ(line->band().Result(), VerdictResult::Pass);
  std::ofstream(line->profiles.File("pass.json"))
      << R"({"name": "Mains only", "rules": [{"figure": "Urms", "min": 1,50}]})";
  Action(line->w().menuBar()->findChild<QMenu*>("Limits"), "重新读取")->trigger();
  EXPECT_TRUE(Action(line->w().menuBar()->findChild<QMenu*>("Limits"), "Mains only")->isChecked());
  line->RunOnce(&TKT5100Form::InputTestLockBtnClick);
  EXPECT_EQ(line->band().Result(), VerdictResult::Pass);
  EXPECT_NE(note().find("“pass.json”：不是有效的 JSON"), std::string::npos) << note();
  EXPECT_NE(note().find("按先前读入的副本（版本 2）判定"), std::string::npos) << note();

  // The next session keeps the last good copy it saved, and says so.
  line->rig = std::make_unique<WindowRig>();
  EXPECT_TRUE(
      line->rig->Said("限值文件“pass.json”：不是有效的 JSON（第 63 字节）——按上次运行时读入的副本（版本 2）判定"));
  line->RunOnce(&TKT5100Form::InputTestLockBtnClick);
  EXPECT_EQ(line->band().Result(), VerdictResult::Pass);

  // Two profiles claim one type: runs of that type are not judged by either.
  for (const char* twin : {"a", "b"})
    std::ofstream(line->profiles.File(std::string("twin-") + twin + ".json"))
        << R"({"name": "Twin )" << twin << R"(", "type": "EB-7", "rules": [{"figure": "Urms", "min": 1}]})";
  Action(line->w().menuBar()->findChild<QMenu*>("Limits"), "重新读取")->trigger();
  line->rig->f().Info.Type = "eb-7\u3000";
  line->RunOnce(&TKT5100Form::InputTestLockBtnClick);
  EXPECT_EQ(line->band().Result(), VerdictResult::Incomplete);
  EXPECT_EQ(line->band().findChild<QLabel*>("VerdictFirst")->text(),
            QString::fromUtf8("限值文件“twin-a.json”与“twin-b.json”都对应型号“EB-7”：改到只剩一个之前均不使用"));

  // Judged by the screening with no type; the print dialog's new type does
  // not judge it again, an explicit command does.
  line->rig->f().Info.Type.clear();
  line->Choose("Impossible PF");
  line->RunOnce(&TKT5100Form::InputTestLockBtnClick);
  ASSERT_EQ(line->band().Result(), VerdictResult::Fail);
  line->rig->f().Info.Type = "EB-7";
  const auto paper = line->Print("typed.pdf");
  EXPECT_TRUE(HasWord(paper, "不合格") && !HasWord(paper, "不完整"));
  line->Choose("Mains only");
  EXPECT_EQ(line->band().Result(), VerdictResult::Fail);
  line->rig->f().Info.Type.clear();
  Action(line->w().menuBar()->findChild<QMenu*>("Limits"), "按当前限值重新判定")->trigger();
  EXPECT_EQ(line->band().Result(), VerdictResult::Pass);
}

TEST(LineFeatures, ALogThatCannotBeWrittenIsToldOnceAndRunsStillShow) {
  LineRig line(true);
  line.Choose("Mains only");
  for (int i = 0; i < 3; ++i) line.RunOnce(&TKT5100Form::InputTestLockBtnClick);
  EXPECT_EQ(line.band().Result(), VerdictResult::Pass);
  ASSERT_TRUE(WaitFor([&] { return !line.rig->dialogs.messages.empty(); }, 10000));
  WaitFor([] { return false; }, 300);
  int told = 0;
  for (const auto& m : line.rig->dialogs.messages) told += m.first.find("测试记录无法写入") != std::string::npos;
  EXPECT_EQ(told, 1) << "once per outage, not once per run";
  EXPECT_GT(line.rig->f().M.Input.Urms, 200.0f);
  // The runs are only in memory: closing asks first, and "no" keeps them.
  line.rig->dialogs.confirmAnswer = false;
  line.w().close();
  ASSERT_EQ(line.rig->dialogs.questions.size(), 1u);
  EXPECT_TRUE(line.w().isVisible() && line.rig->dialogs.questions[0].startsWith("3 次测试结果尚未保存"));
  line.rig->dialogs.confirmAnswer = true;
  line.w().close();
  EXPECT_FALSE(line.w().isVisible());
}

// The log window opens over the middle of the main window, says there why
// a run cannot open during a test, and the log's settings are offered.
TEST(LineFeatures, TheLogWindowStandsOverTheWindowAndTheLogsSettingsAreOffered) {
  LineRig line;
  line.RunOnce(&TKT5100Form::InputTestLockBtnClick);
  TLogForm& log = OpenLogWindow(line.w());
  EXPECT_LE((log.frameGeometry().center() - line.w().frameGeometry().center()).manhattanLength(), 4);
  ASSERT_TRUE(SearchLogUntil(log, [](RunTableModel& m) { return m.rowCount() > 0; }));
  line.rig->Swap({"--delay-block", "2", "--delay-ms", "1500"});  // a run that lasts long enough to be seen
  line.w().InputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return line.rig->f().RunKind != NoTest; }, 10000));
  log.OpenRow(0);
  EXPECT_TRUE(log.findChild<QLabel*>("LogStatus")->text().contains("测试进行中")) << "where the operator looks";
  ASSERT_TRUE(WaitFor([&] { return line.rig->f().RunKind == NoTest; }, 15000));

  line.rig->dialogs.onModal = [&](QDialog& dialog) {
    auto& form = dynamic_cast<TLogSettingsForm&>(dialog);
    form.Target()->setText("mysql://db/kt");
    form.accept();
    EXPECT_TRUE(form.Problem()->text().startsWith("记录位置有误：")) << form.Problem()->text().toStdString();
    form.Target()->setText("postgresql://line@db:5432/kt");
    form.Station()->setText(" line-3 ");
    form.accept();
    return form.result();
  };
  line.w().findChild<QAction*>("LogSettings")->trigger();
  QSettings settings;
  EXPECT_EQ(settings.value("log/target"), "postgresql://line@db:5432/kt");
  EXPECT_EQ(settings.value("log/station"), "line-3");
  settings.remove("log");
}

// A keyboard-wedge scanner at the window: the label fills the number and
// type, the type's profile and sequence run, the verdict shows, the run is
// logged under the serial and the cursor is back in the field. A scan while
// busy, a bad label and a retest the operator declines start nothing.
TEST(LineFeatures, AScanRunsItsTypesSequenceAndTheCursorComesBack) {
  LineRig line;
  std::ofstream(line.profiles.File("eb.json")) << R"({"name": "EB line", "type": "EB-236",
    "sequence": ["input", "output"], "rules": [{"figure": "Urms", "min": 150}, {"figure": "Pout", "min": 1}]})";
  // Its input run fails (the power factor is far above 0.1), its output run passes.
  std::ofstream(line.profiles.File("bad.json")) << R"({"name": "Bad PF", "type": "EB-9",
    "sequence": ["input", "output"], "rules": [{"figure": "PF", "max": 0.1}, {"figure": "Pout", "min": 1}]})";
  TKT5100Form& w = line.w();
  w.findChild<QAction*>("ReloadProfiles")->trigger();
  auto* field = w.findChild<QLineEdit*>("ScanField");
  ASSERT_NE(field, nullptr);
  EXPECT_FALSE(field->isVisible()) << "no scan field until the station scans";
  w.findChild<QAction*>("ScanToTest")->trigger();
  ASSERT_TRUE(field->isVisible());
  EXPECT_EQ(w.focusWidget(), field);
  const auto outcome = [&] { return w.findChild<QLabel*>("ScanOutcome")->text().toStdString(); };
  const auto scan = [&](const char* text) {
    QTest::keyClicks(field, QString::fromUtf8(text));
    QTest::keyClick(field, Qt::Key_Return);
  };
  const int before = line.rig->w().runs;
  scan("EB-236*SN1042");
  scan("EB-236*SN1043");  // the first one's sequence is under way
  EXPECT_EQ(outcome(), "测试进行中，扫码被拒绝");
  ASSERT_TRUE(WaitFor([&] { return outcome().rfind("SN1042 (EB-236): ", 0) == 0; }, 30000)) << outcome();
  EXPECT_EQ(line.rig->w().runs, before + 2);
  EXPECT_EQ(outcome(), "SN1042 (EB-236): 合格  [输入特性 合格, 输出特性 合格]");
  EXPECT_EQ(line.band().Result(), VerdictResult::Pass);
  EXPECT_EQ(line.rig->f().Info.No, "SN1042");
  EXPECT_TRUE(w.focusWidget() == field && field->text().isEmpty());
  TLogForm& log = OpenLogWindow(w);
  ASSERT_TRUE(SearchLogUntil(log, [](RunTableModel& m) {
    const auto cell = [&](int row, RunColumn c) { return m.index(row, static_cast<int>(c)).data().toString(); };
    return m.rowCount() == 2 && cell(0, RunColumn::Serial) == "SN1042" && cell(1, RunColumn::Serial) == "SN1042" &&
           cell(0, RunColumn::Type) == "EB-236" && cell(0, RunColumn::Profile).startsWith("EB line");
  }));
  log.close();

  scan("EB-236*SN*9");
  EXPECT_NE(outcome().find("出现了不止一次"), std::string::npos) << outcome();
  line.rig->dialogs.confirmAnswer = false;
  scan("SN1042");  // the type stays EB-236; it passed a moment ago
  ASSERT_TRUE(WaitFor([&] { return !line.rig->dialogs.questions.empty(); }, 10000));
  EXPECT_NE(line.rig->dialogs.questions[0].indexOf("SN1042"), -1);
  EXPECT_EQ(outcome(), "未重测：SN1042");
  EXPECT_EQ(line.rig->w().runs, before + 2);
  EXPECT_EQ(w.focusWidget(), field);
  scan("EB-9*SN7");  // the worst run's verdict, not the last one's
  ASSERT_TRUE(WaitFor([&] { return outcome().rfind("SN7 (EB-9): ", 0) == 0; }, 30000)) << outcome();
  EXPECT_EQ(outcome(), "SN7 (EB-9): 不合格  [输入特性 不合格, 输出特性 合格]");
  EXPECT_EQ(line.band().Result(), VerdictResult::Fail);
}

bool Enabled(TKT5100Form& w, const char* name) {
  QObject* o = w.findChild<QObject*>(name);
  if (auto* m = qobject_cast<QMenu*>(o)) return m->menuAction()->isEnabled();
  if (auto* a = qobject_cast<QAction*>(o)) return a->isEnabled();
  return qobject_cast<QWidget*>(o)->isEnabled();
}

// The audit trail as the log window lists it, oldest first: "who what".
std::vector<std::string> AuditShown(TLogForm& log, std::size_t expected) {
  std::vector<std::string> rows;
  WaitFor(
      [&] {
        if (log.Busy()) return false;
        QTableWidget* t = log.AuditTrail();
        rows.clear();
        for (int r = t->rowCount() - 1; r >= 0; --r)
          rows.push_back((t->item(r, 2)->text() + " " + t->item(r, 3)->text()).toStdString());
        if (rows.size() >= expected) return true;
        return log.Refresh(), false;
      },
      10000);
  return rows;
}

// Users defined: nobody tests until signed in, an operator cannot reach the
// limits, the port or the log's settings through any menu, the signed-in
// name is every run's Operator, idleness signs out, and the log window's
// audit tab holds each of these steps.
TEST(LineFeatures, RolesDisableWhatTheyMayNotUseAndTheAuditTrailKeepsEveryStep) {
  LineRig line;
  TKT5100Form& w = line.w();
  ScriptedDialogs& d = line.rig->dialogs;
  const auto act = [&](const char* name, std::deque<QString> answers) {
    d.textAnswers = std::move(answers);
    w.findChild<QAction*>(name)->trigger();
  };
  const std::vector<const char*> operatorOnes = {"InputTestBtn", "CompTest", "ScanField", "Print", "StoreFile"},
                                 engineerOnes = {"Limits", "SerialPort", "LogSettings", "Instrument", "Override"};
  const auto all = [&](const std::vector<const char*>& names, bool on) {
    return std::all_of(names.begin(), names.end(), [&](const char* n) { return Enabled(w, n) == on; });
  };
  EXPECT_TRUE(all(operatorOnes, true) && all(engineerOnes, true)) << "no users: everything as it was";
  EXPECT_FALSE(Enabled(w, "SignIn"));

  act("Users", {"ann", "operator"});
  EXPECT_EQ(d.messages.back().first, "必须保留一个管理员：第一个用户须为 admin。");
  act("Users", {"boss", "admin", "1234", "1234"});
  EXPECT_TRUE(all(operatorOnes, false) && all(engineerOnes, false)) << "users defined, nobody signed in";
  EXPECT_TRUE(Enabled(w, "SignIn") && Enabled(w, "OpenFile"));
  act("SignIn", {"boss", "1234"});
  EXPECT_TRUE(all(operatorOnes, true) && all(engineerOnes, true) && Enabled(w, "Users"));
  act("Users", {"ann", "operator", "5678", "5678"});
  line.Choose("Mains only");
  w.ChangeDevice(line.rig->folder.File("COM2"));  // the same line, under its path
  act("SignOut", {});
  act("SignIn", {"ann", "0000"});
  EXPECT_EQ(d.messages.back().first, "用户名或 PIN/密码不正确。");
  EXPECT_FALSE(Enabled(w, "InputTestBtn"));
  act("SignIn", {"ann", "5678"});
  EXPECT_TRUE(all(operatorOnes, true) && all(engineerOnes, false) && !Enabled(w, "Users"));
  line.rig->f().Info.Operator = "typed by hand";
  line.RunOnce(&TKT5100Form::InputTestLockBtnClick);
  EXPECT_EQ(line.rig->f().Info.Operator, "ann");
  EXPECT_TRUE(all(operatorOnes, true) && all(engineerOnes, false)) << "a run's end gives no command back";

  QSettings().setValue("users/idleSeconds", 1);
  act("SignIn", {"ann", "5678"});
  ASSERT_TRUE(WaitFor([&] { return !Enabled(w, "InputTestBtn"); }, 20000)) << "signed out when idle";
  EXPECT_EQ(line.rig->f().Info.Operator, "");

  const std::vector<std::string> expected = {
      " user added",   "boss sign-in",        "boss user added", "boss limits chosen", "boss port",
      "boss sign-out", "ann sign-in refused", "ann sign-in",     "ann sign-in",        "ann automatic sign-out"};
  EXPECT_EQ(AuditShown(OpenLogWindow(w), expected.size()), expected);
}

// A golden check due refuses production scans until a golden unit passes;
// an instrument past its calibration refuses them until an engineer's
// override, which the audit trail keeps; every run keeps the instrument.
TEST(LineFeatures, GoldenChecksAndCalibrationBlockAndFreeProduction) {
  LineRig line;
  std::ofstream(line.profiles.File("eb.json")) << R"({"name": "EB line", "type": "EB-236",
    "rules": [{"figure": "Urms", "min": 150}], "golden_due": {"every_hours": 8},
    "golden": [{"serial": "G-01", "figures": [{"figure": "Urms", "expected": 230, "tolerance": 30}]}]})";
  TKT5100Form& w = line.w();
  w.findChild<QAction*>("ReloadProfiles")->trigger();
  w.findChild<QAction*>("ScanToTest")->trigger();
  auto* field = w.findChild<QLineEdit*>("ScanField");
  const auto outcome = [&] { return w.findChild<QLabel*>("ScanOutcome")->text().toStdString(); };
  const auto scan = [&](const std::string& text, const std::string& shown) {
    QTest::keyClicks(field, QString::fromStdString(text));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([&] { return outcome().find(shown) != std::string::npos; }, 30000)) << outcome();
  };
  const int before = line.rig->w().runs;
  scan("EB-236*SN1", "需要标准样品核查：请先测试“EB line”的标准样品");
  scan("EB-236*G-01", "G-01 (EB-236): 合格");
  EXPECT_EQ(line.band().Result(), VerdictResult::Pass);
  scan("EB-236*SN1", "SN1 (EB-236): 合格");
  settings::SetInstrument("KT-0042", "2020-01-01");
  scan("EB-236*SN2", "仪器校准已过期（到期日 2020-01-01）：拒绝生产测试");
  w.InputTestLockBtnClick();  // no run from the tool bar either
  EXPECT_EQ(line.rig->dialogs.messages.back().first, "仪器校准已过期（到期日 2020-01-01）：拒绝生产测试");
  line.rig->dialogs.textAnswers = {"calibration"};
  w.findChild<QAction*>("Override")->trigger();
  scan("EB-236*SN2", "SN2 (EB-236): 合格");
  EXPECT_EQ(line.rig->w().runs, before + 3);

  TLogForm& log = OpenLogWindow(w);
  ASSERT_TRUE(SearchLogUntil(log, [](RunTableModel& m) {
    const auto cell = [&](int row, RunColumn c) { return m.index(row, static_cast<int>(c)).data().toString(); };
    return m.rowCount() == 3 && cell(2, RunColumn::Serial) == "G-01" &&
           cell(2, RunColumn::Verdict) == QString::fromUtf8("合格（标准样品核查）") &&
           cell(0, RunColumn::Verdict) == QString::fromUtf8("合格");
  }));
  const std::vector<std::string> audit = AuditShown(log, 2);
  EXPECT_EQ(audit, (std::vector<std::string>{" golden check passed", " override"}));
  QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "golden-check");
  db.setDatabaseName(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/runlog.db");
  ASSERT_TRUE(db.open());
  QSqlQuery q(
      "SELECT group_concat(serial || ' ' || purpose || ' ' || instrument_serial || ' ' || calibration_due, '|')"
      " FROM (SELECT * FROM runs ORDER BY seq)",
      db);
  ASSERT_TRUE(q.next());
  EXPECT_EQ(q.value(0).toString().toStdString(), "G-01 1  |SN1 0  |SN2 0 KT-0042 2020-01-01");
  q = QSqlQuery();
  db.close();
}

// A line controller on the network: while it controls the station the
// operator's test commands are locked (the run commands and the scan field,
// not print or store) and the status bar says who has it; its runs and
// scans are the window's own, shown on the band and logged; "本地" gives the
// station back and leaves the controller only its queries.
TEST(LineFeatures, ARemoteControllerLocksTheOperatorOutUntilLocal) {
  LineRig line;
  TKT5100Form& w = line.w();
  QSettings().setValue("remote/listen", "127.0.0.1:0");
  w.findChild<QAction*>("RemoteControl")->trigger();
  ASSERT_NE(w.Line().Remote()->Server(), nullptr);
  auto* label = w.findChild<QLabel*>("RemoteLabel");
  EXPECT_TRUE(label->text().startsWith(QString::fromUtf8("远程控制 127.0.0.1:"))) << label->text().toStdString();
  QTcpSocket c;
  c.connectToHost(QHostAddress::LocalHost, w.Line().Remote()->Server()->Port());
  ASSERT_TRUE(c.waitForConnected(10000));
  const auto ask = [&](const char* text) {
    c.write(text);
    QByteArray got;
    WaitFor([&] { return (got += c.readAll()).endsWith('\n'); }, 60000);
    return got.trimmed().toStdString();
  };
  ASSERT_TRUE(WaitFor([&] { return !Enabled(w, "InputTestBtn"); }, 10000));
  EXPECT_FALSE(Enabled(w, "CompTest") || Enabled(w, "ScanField") || Enabled(w, "GaoPinBtn"));
  EXPECT_TRUE(Enabled(w, "Print") && Enabled(w, "StoreFile"));
  EXPECT_TRUE(label->text().startsWith(QString::fromUtf8("远程控制中：127.0.0.1:")));
  EXPECT_TRUE(w.findChild<QToolButton*>("LocalBtn")->isVisibleTo(&w));
  const int before = line.rig->w().runs;
  w.InputTestLockBtnClick();  // a key or the analysis window would reach it too
  EXPECT_FALSE(WaitFor([&] { return line.rig->f().RunKind != NoTest; }, 300));

  EXPECT_EQ(ask("CONF:LIM \"Mains only\";:INIT:INP;*OPC?;FETC:VERD?\n"), "1;PASS");
  EXPECT_EQ(line.Shown(), QString::fromUtf8("合格"));
  // A scan, and the same serial again: a retest nobody is asked about.
  EXPECT_EQ(ask("INIT:SCAN \"SN9\";*OPC?;FETC:VERD?;:CONF:INFO:NO?\n"), "1;PASS;\"SN9\"");
  EXPECT_EQ(ask("INIT:SCAN \"SN9\";*OPC?;FETC:VERD?\n"), "1;PASS");
  EXPECT_TRUE(line.rig->dialogs.questions.empty());
  // Aborted before it began: no run starts later, no figure of the one before.
  EXPECT_EQ(ask("INIT:INP;ABOR;*OPC?;FETC:VERD?;FETC:SCAL? \"Urms\";:SYST:ERR?\n"),
            "1;INCOMPLETE;9.91E37;-200,\"Execution error; no figure Urms\"");
  // A scan aborted while the log is asked about its serial.
  EXPECT_EQ(ask("INIT:SCAN \"SN10\";ABOR;*OPC?;FETC:VERD?\n"), "1;INCOMPLETE");
  EXPECT_FALSE(WaitFor([&] { return line.rig->f().RunKind != NoTest; }, 300));
  EXPECT_EQ(line.rig->w().runs, before + 3);

  w.findChild<QToolButton*>("LocalBtn")->click();
  EXPECT_TRUE(Enabled(w, "InputTestBtn") && Enabled(w, "ScanField"));
  EXPECT_FALSE(w.findChild<QToolButton*>("LocalBtn")->isVisibleTo(&w));
  EXPECT_EQ(ask("INIT:INP;:SYST:ERR?;:FETC:VERD?\n"),
            "-200,\"Execution error; another connection controls the station\";INCOMPLETE");
  w.findChild<QAction*>("RemoteControl")->trigger();
  EXPECT_EQ(w.Line().Remote()->Server(), nullptr);
  EXPECT_FALSE(label->isVisibleTo(&w));

  std::vector<std::string> audit = AuditShown(OpenLogWindow(w), 12);
  for (std::string& row : audit) row = row.substr(row.find(' ') + 1);  // the peer's port varies
  // The limits' change is kept twice: as the window's (before and after)
  // and as the controller's command.
  EXPECT_EQ(audit, (std::vector<std::string>{"remote control", "limits chosen", "remote: CONF:LIM Mains only",
                                             "remote: INIT:INP", "remote: INIT:SCAN SN9", "remote: INIT:SCAN SN9",
                                             "remote: INIT:INP", "remote: ABOR", "remote: INIT:SCAN SN10",
                                             "remote: ABOR", "remote: returned to local", "remote control"}));
}

}  // namespace
}  // namespace kt::test
