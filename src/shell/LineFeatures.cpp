#include "shell/LineFeatures.h"

#include <filesystem>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QVBoxLayout>

#include "link/Form.h"
#include "runlog/RunLogStore.h"
#include "runlog/RunLogWriter.h"
#include "shell/RemoteControl.h"
#include "shell/ShellDialogs.h"
#include "shell/StationAccess.h"
#include "shell/TLogForm.h"
#include "shell/TLogSettingsForm.h"
#include "shell/TProfileForm.h"
#include "shell/TScanBar.h"
#include "shell/TVerdictBand.h"
#include "station/RunRecorder.h"
#include "station/Scan.h"
#include "station/StationSettings.h"
#include "verdict/ClassC.h"

namespace kt {

namespace {

QString T(bool chinese, const char* zh, const char* en) { return QString::fromUtf8(chinese ? zh : en); }

// The limits in force as the audit trail names them: the profile and the
// hash of its text, so that an edit shows even under the same name.
std::string LimitsId(const ActiveLimits& limits) {
  if (limits.Source == LimitSource::ClassC) return ClassCName;
  if (limits.File) return limits.File->Name + " " + ProfileFileHash(limits.File->RawText);
  return limits.Name;
}

}  // namespace

LineFeatures::LineFeatures(QWidget& window, Host& host, OpenRun openRun, Form& form, ShellDialogs& dialogs,
                           QVBoxLayout* column, QMenuBar* bar)
    : QObject(nullptr),
      window_(window),
      host_(host),
      openRun_(std::move(openRun)),
      form_(form),
      dialogs_(dialogs),
      recorder_(std::make_unique<RunRecorder>(form)),
      bar_(bar) {
  band_ = new TVerdictBand(&window);
  band_->setObjectName("VerdictBand");
  band_->hide();
  // Above the page: the band takes its height from the window, never covers
  // an item of the page.
  column->insertWidget(1, band_);
  scan_ = new TScanBar(&window, host, form, dialogs, *recorder_, [this](const Verdict& v) {
    shown_ = v;
    Show(&v);
  });
  scan_->hide();
  column->insertWidget(1, scan_);
  BuildMenus();
}

LineFeatures::~LineFeatures() = default;

void LineFeatures::BuildMenus() {
  limits_ = bar_->addMenu(QString());
  limits_->setObjectName("Limits");
  log_ = bar_->addMenu(QString());
  log_->setObjectName("Log");
  showLog_ = log_->addAction(QString());
  showLog_->setObjectName("ShowLog");
  connect(showLog_, &QAction::triggered, this, [this] {
    TLogForm& log = LogWindow();
    if (!log.isVisible()) {
      // Over the middle of the main window: without a window manager a new
      // window would stand at (0, 0), over the menu and the tool bar.
      QRect r = log.frameGeometry();
      r.moveCenter(window_.frameGeometry().center());
      log.move(r.topLeft());
    }
    log.show();
    log.raise();
    log.Refresh();
  });
  station_ = bar_->addMenu(QString());
  station_->setObjectName("Station");
  QAction* scanning = station_->addAction(QString());
  scanning->setObjectName("ScanToTest");
  scanning->setCheckable(true);
  scanning->setChecked(settings::ScanToTest());
  connect(scanning, &QAction::toggled, this, [this](bool on) {
    settings::SetScanToTest(on);
    SetScanning(on);
  });
  QAction* separator = station_->addAction(QString());
  separator->setObjectName("ScanSeparator");
  connect(separator, &QAction::triggered, this, [this] { AskScanSeparator(); });
  QAction* remote = station_->addAction(QString());
  remote->setObjectName("RemoteControl");
  remote->setCheckable(true);
  connect(remote, &QAction::triggered, this, [this](bool on) { SetRemote(on); });
  access_ = std::make_unique<StationAccess>(window_, host_, form_, dialogs_, *recorder_, *station_);
  if (auto* main = qobject_cast<QMainWindow*>(&window_))
    remote_ = std::make_unique<RemoteControl>(
        *main->statusBar(), host_, form_, *recorder_, *scan_,
        [this](const std::string& name, std::string& error) { return Choose(name, &error); },
        [this] { host_.RunStateChanged(); });
  scan_->SetAudit([this](const std::string& what, const std::string& after) { access_->Audit(what, "", after); });
  QAction* settings = log_->addAction(QString());
  settings->setObjectName("LogSettings");
  connect(settings, &QAction::triggered, this, [this] {
    const RunLogConfig before = settings::LogConfig();
    TLogSettingsForm dialog(chinese_, &window_);
    dialogs_.ExecModal(dialog);
    const RunLogConfig after = settings::LogConfig();
    if (after.Target != before.Target || after.Station != before.Station)
      access_->Audit("log target", before.Target + " " + before.Station, after.Target + " " + after.Station);
  });
  UpdateMenus();
}

void LineFeatures::UpdateMenus() {
  const bool zh = chinese_;
  limits_->setTitle(T(zh, "限值&L", "&Limits"));
  log_->setTitle(T(zh, "记录&R", "&Records"));
  showLog_->setText(T(zh, "测试记录&R…", "Run &log…"));
  log_->findChild<QAction*>("LogSettings")->setText(T(zh, "记录设置&S…", "Log &settings…"));
  station_->setTitle(T(zh, "工位&S", "&Station"));
  station_->findChild<QAction*>("ScanToTest")->setText(T(zh, "扫码测试&S", "&Scan to test"));
  station_->findChild<QAction*>("ScanSeparator")->setText(T(zh, "扫码分隔符&P…", "Scan se&parator…"));
  station_->findChild<QAction*>("RemoteControl")->setText(T(zh, "远程控制 (SCPI)&R", "&Remote control (SCPI)"));
  limits_->clear();
  delete choices_;
  choices_ = new QActionGroup(this);
  const auto choice = [&](const QString& text, const std::string& value, const char* name) {
    QAction* a = limits_->addAction(text);
    a->setObjectName(name);
    a->setCheckable(true);
    a->setChecked(recorder_->Chosen() == value);
    choices_->addAction(a);
    connect(a, &QAction::triggered, this, [this, value] { Choose(value); });
  };
  choice(T(zh, "不判定&N", "&No limits"), "", "NoLimits");
  // The edition and amendment the screening's tables follow, wherever it is named.
  choice(T(zh, "IEC 61000-3-2 C类谐波筛查", "IEC 61000-3-2 Class C screening") + " (" + ClassCRevision + ")",
         ClassCName, "ClassC");
  bool chosenShown = recorder_->Chosen().empty() || recorder_->Chosen() == ClassCName;
  for (const Profile& p : recorder_->Profiles()) {
    chosenShown = chosenShown || p.Name == recorder_->Chosen();
    choice(QString::fromStdString(p.Name + (p.Revision.empty() ? "" : "  (" + p.Revision + ")")), p.Name, "Profile");
  }
  // Limits chosen but unreadable stay in the menu, checked: every run says
  // why it was not judged until they are mended or another choice is made.
  if (!chosenShown)
    choice(QString::fromStdString(recorder_->Chosen()) + T(zh, "（无法读取）", " (cannot be read)"),
           recorder_->Chosen(), "Unavailable");
  limits_->addSeparator();
  judgeAgain_ = limits_->addAction(T(zh, "按当前限值重新判定&J", "&Judge again with these limits"));
  judgeAgain_->setObjectName("JudgeAgain");
  connect(judgeAgain_, &QAction::triggered, this, [this] { JudgeAgain(); });
  edit_ = limits_->addAction(T(zh, "编辑限值&E…", "&Edit limits…"));
  edit_->setObjectName("EditProfile");
  connect(edit_, &QAction::triggered, this, [this] { EditProfile(); });
  reload_ = limits_->addAction(T(zh, "重新读取限值文件&R", "&Reload profiles"));
  reload_->setObjectName("ReloadProfiles");
  connect(reload_, &QAction::triggered, this, [this] { ReloadProfiles(); });
  limits_->addSeparator();
  sound_ = limits_->addAction(T(zh, "不合格时发声&S", "&Sound on FAIL"));
  sound_->setObjectName("SoundOnFail");
  sound_->setCheckable(true);
  sound_->setChecked(settings::SoundOnFail());
  connect(sound_, &QAction::toggled, this, [](bool on) { settings::SetSoundOnFail(on); });
}

void LineFeatures::Start() {
  QString error;
  if (recorder_->StartLog(settings::LogConfig(), error) != 0) {
    host_.MessageBox("测试记录的设置有误，本次不作记录：" + error.toStdString(), "警告");
  } else if (RunLogWriter* w = recorder_->Writer()) {
    connect(w, &RunLogWriter::Failed, this, &LineFeatures::LogFailed);
    connect(w, &RunLogWriter::Recovered, this, [this] {
      logDown_ = false;
      host_.SetStatusText(T(chinese_, "测试记录已恢复写入", "The run log is written again").toStdString());
    });
    w->RetryNow(true);  // an outage found before these connects is said again
  }
  ReloadProfiles();
  std::string ignored;
  // The chosen profile's last good text keeps a file damaged between two
  // sessions from switching judging off at the next start.
  if (recorder_->Choose(settings::RememberedLimits(), ignored, chinese_) != 0 &&
      recorder_->KeepLastGoodCopy(settings::LastGoodLimits()) == 0)
    dialogs_.MessageBox(recorder_->LimitsFor("").Note.Text(chinese_), chinese_ ? "警告" : "Warning");
  started_ = true;
  RememberChoice();
  UpdateMenus();
  // The limits in force (or that they cannot be read) show before the first run.
  Show(nullptr);
  SetScanning(settings::ScanToTest());
  if (settings::RemoteOn()) SetRemote(true);
  access_->Start();
}

void LineFeatures::SetRemote(bool on) {
  if (!remote_) return;
  std::string error;
  const bool was = remote_->On();
  if (remote_->SetOn(on, error) != 0)
    dialogs_.MessageBox((chinese_ ? "远程控制无法启动：" : "Remote control cannot start: ") + error,
                        chinese_ ? "警告" : "Warning");
  station_->findChild<QAction*>("RemoteControl")->setChecked(remote_->On());
  settings::SetRemoteOn(remote_->On());
  if (remote_->On() != was) access_->Audit("remote control", was ? "on" : "off", remote_->On() ? "on" : "off");
}

void LineFeatures::ApplyRole() {
  if (!access_) return;
  access_->SetRemoteLock(remote_ && remote_->Remote());
  access_->Apply();
  // A field just given back (a sign-in) takes the next scan at once.
  if (scan_->isVisible() && !scan_->Busy()) scan_->FocusField();
}

void LineFeatures::Audit(const std::string& what, const std::string& before, const std::string& after) {
  access_->Audit(what, before, after);
}

void LineFeatures::SetScanning(bool on) {
  scan_->setVisible(on);
  scan_->FocusField();
}

void LineFeatures::AskScanSeparator() {
  const QString now = QString::fromStdString(settings::ScanSeparator());
  QString text;
  if (!dialogs_.AskText(
          &window_, T(chinese_, "扫码分隔符", "Scan separator"),
          T(chinese_, "型号与编号之间的分隔符（1 至 4 个字符）：", "Between type and serial (1 to 4 characters):"), now,
          text))
    return;
  ProfileMessage error;
  if (CheckScanSeparator(text.toStdString(), error) != 0) {
    dialogs_.MessageBox(error.Text(chinese_), chinese_ ? "警告" : "Warning");
    return;
  }
  settings::SetScanSeparator(text.toStdString());
}

void LineFeatures::RememberChoice() {
  // Before the choice of the last session is taken up there is nothing to
  // remember: the reload at start-up must not overwrite it.
  if (!started_) return;
  settings::RememberLimits(recorder_->Chosen(), recorder_->ChosenFile());
  // The copy is taken only from a profile read from its file just now.
  const ActiveLimits limits = recorder_->LimitsFor("");
  if (limits.Source == LimitSource::File && limits.File && limits.Note.English.empty())
    settings::SetLastGoodLimits(limits.File->RawText);
}

void LineFeatures::ReloadProfiles() {
  std::vector<std::string> problems;
  const std::string before = LimitsId(recorder_->LimitsFor(""));
  recorder_->LoadProfiles(ProfileFolder(), problems, chinese_);
  // A file changed behind the program's back changes the limits too.
  const std::string after = LimitsId(recorder_->LimitsFor(""));
  if (started_ && after != before) access_->Audit("limits reloaded", before, after);
  if (!problems.empty()) {
    std::string text;
    for (const auto& p : problems) text += p + "\n";
    dialogs_.MessageBox(text, chinese_ ? "警告" : "Warning");
  }
  RememberChoice();
  UpdateMenus();
  // The band says at once when the limits in force are a kept copy or
  // cannot be read, before the next run does.
  if (!shown_) Show(nullptr);
}

void LineFeatures::SetChinese(bool chinese) {
  if (chinese == chinese_) return;
  chinese_ = chinese;
  UpdateMenus();
  band_->SetChinese(chinese);
  scan_->SetChinese(chinese);
  access_->SetChinese(chinese);
  if (remote_) remote_->SetChinese(chinese);
  if (logForm_) logForm_->SetChinese(chinese);
}

int LineFeatures::Choose(const std::string& choice, std::string* problem) {
  std::string error;
  const std::string before = LimitsId(recorder_->LimitsFor(""));
  const int status = recorder_->Choose(choice, error, chinese_);
  if (status != 0 && problem) {
    *problem = error;
  } else if (status != 0) {
    dialogs_.MessageBox(error, chinese_ ? "警告" : "Warning");
  } else {
    const std::string after = LimitsId(recorder_->LimitsFor(""));
    if (after != before) access_->Audit("limits chosen", before, after);
    RememberChoice();
    // The results shown keep the verdict they were judged with (Judge again
    // applies the new limits to them); without limits no verdict stays.
    if (choice.empty()) {
      judged_ = {};
      shown_.reset();
    }
    Show(shown_ ? &*shown_ : nullptr);
  }
  UpdateMenus();
  return status;
}

void LineFeatures::EditProfile() {
  Profile p;
  std::string path;
  for (const Profile& loaded : recorder_->Profiles())
    if (loaded.Name == recorder_->Chosen()) {
      p = loaded;
      path = ProfileFolder() + "/" + loaded.Source;
    }
  // The built-in screening has no file: its edit starts a new profile in
  // the folder, under a name no other profile has yet.
  if (path.empty()) {
    for (int n = 1; path.empty() || std::filesystem::exists(path); ++n)
      path = ProfileFolder() + "/profile-" + std::to_string(n) + ".json";
  }
  TProfileForm editor(dialogs_, &window_);
  editor.SetChinese(chinese_);
  if (!editor.Edit(p, QString::fromStdString(path))) return;
  access_->Audit("profile edited: " + editor.Result().Name, p.RawText.empty() ? "" : ProfileFileHash(p.RawText),
                 ProfileFileHash(ProfileToJson(editor.Result())));
  ReloadProfiles();
  Choose(editor.Result().Name);
}

bool LineFeatures::MayStartRun() {
  if (remote_ && remote_->Remote()) {
    // Keys and the analysis window's commands too: the controller has it.
    TVerdictBand::Beep();
    host_.SetStatusText(chinese_ ? "远程控制中：按“本地”收回控制"
                                 : "Under remote control: press Local to take it back");
    return false;
  }
  const ProfileMessage blocked = CalibrationBlock(recorder_->Gate(0));
  if (blocked.English.empty()) return true;
  TVerdictBand::Beep();
  host_.SetStatusText(blocked.Text(chinese_));
  dialogs_.MessageBox(blocked.Text(chinese_), chinese_ ? "警告" : "Warning");
  return false;
}

void LineFeatures::RunStarted() {
  access_->FillOperator();
  band_->setVisible(recorder_->Judging());
  band_->MarkPrevious();
}

void LineFeatures::Show(const Verdict* v) {
  band_->SetChinese(chinese_);
  if (v) {
    band_->ShowVerdict(*v);
  } else {
    band_->Clear();
    // Limits that cannot be read say so on the neutral field already.
    const ActiveLimits limits = recorder_->LimitsFor(form_.Info.Type);
    band_->SetProfileName(QString::fromStdString(limits.Source == LimitSource::ClassC ? std::string(ClassCName)
                                                 : limits.File                        ? limits.File->Name
                                                                                      : limits.Name));
  }
  band_->setVisible(v || recorder_->Judging());
}

void LineFeatures::RunEnded(int kind, RunOutcome outcome, int analysisLanguage) {
  if (outcome != RunOutcome::Completed) {
    recorder_->LogEvent(kind, outcome);
    scan_->RunEnded(kind, outcome, Verdict{});
    if (remote_) remote_->RunEnded(kind, outcome);
    return;
  }
  access_->FillOperator();  // the signed-in user, whatever the information box says
  Verdict v;
  if (recorder_->Judging()) {
    v = recorder_->Judge(kind);
    if (kind >= 0 && kind < KindCount) judged_[static_cast<std::size_t>(kind)] = v;
    if (kind != GaoTest && kind != BaoTest) {
      shown_ = v;
      Show(&v);
    }
    if (v.Result == VerdictResult::Fail && sound_->isChecked()) TVerdictBand::Beep();
    if (recorder_->TypeMatchesNone(form_.Info.Type))
      host_.SetStatusText((chinese_
                               ? "型号“" + form_.Info.Type + "”没有对应的限值文件，按所选限值判定"
                               : "Type \"" + form_.Info.Type + "\" matches no profile: judged by the chosen limits"));
  }
  recorder_->LogRun(kind, v, analysisLanguage);
  scan_->RunEnded(kind, outcome, v);
  if (remote_) remote_->RunEnded(kind, outcome);
}

void LineFeatures::ShownChanged(bool opened) {
  const int kind = form_.ShownKind;
  shown_.reset();
  if (IsMainKind(kind)) {
    if (opened && recorder_->Judging())
      shown_ = recorder_->Judge(kind);
    else if (!opened)
      shown_ = judged_[static_cast<std::size_t>(kind)];
  }
  Show(shown_ ? &*shown_ : nullptr);
}

void LineFeatures::JudgeAgain() {
  const int kind = form_.ShownKind;
  if (form_.RunKind != NoTest || kind < InputTest || kind > PhaseTest || !recorder_->Judging()) return;
  shown_ = recorder_->Judge(kind);
  Show(&*shown_);
}

const Verdict* LineFeatures::PrintedVerdict(int kind) const {
  return shown_ && shown_->Kind == kind ? &*shown_ : nullptr;
}

const Verdict* LineFeatures::VerdictOf(int kind) const {
  if (kind < 0 || kind >= KindCount) return nullptr;
  const auto& v = judged_[static_cast<std::size_t>(kind)];
  return v ? &*v : nullptr;
}

const Verdict* LineFeatures::JudgeNow(int kind) {
  if (kind < 0 || kind >= KindCount) return nullptr;
  auto& v = judged_[static_cast<std::size_t>(kind)];
  v.reset();
  if (recorder_->Judging()) v = recorder_->Judge(kind);
  return v ? &*v : nullptr;
}

bool LineFeatures::MayClose() {
  RunLogWriter* w = recorder_->Writer();
  if (!w) return true;
  // What is queued goes to the log or the outbox first, if it can.
  w->WaitIdle(5000);
  const auto held = w->HeldRuns();
  if (held.empty()) return true;
  std::string serials;
  for (const auto& run : held) serials += (serials.empty() ? "" : ", ") + (run.Serial.empty() ? "—" : run.Serial);
  const QString text = chinese_ ? QString::fromUtf8(
                                      "%1 次测试结果尚未保存：测试记录和待发目录都无法写入（编号：%2）。\n"
                                      "关闭程序将丢失它们。仍要关闭吗？（选“否”则等待，程序会继续尝试保存）")
                                      .arg(held.size())
                                      .arg(QString::fromStdString(serials))
                                : QString::fromUtf8(
                                      "%1 runs are not saved yet: neither the run log nor its outbox can be written "
                                      "(serials: %2).\nClosing loses them. Close anyway? (No: wait; the program keeps "
                                      "trying to save them.)")
                                      .arg(held.size())
                                      .arg(QString::fromStdString(serials));
  return dialogs_.Confirm(&window_, T(chinese_, "测试结果未保存", "Runs not saved"), text);
}

void LineFeatures::LogFailed(const QString& english, const QString& chinese) {
  // The writer's sentence is whole: what failed, why, and where the runs wait.
  const std::string text = (chinese_ ? chinese : english).toStdString();
  host_.SetStatusText(text);
  // A box once per outage (until Recovered); the status line keeps the latest.
  if (logDown_) return;
  logDown_ = true;
  host_.MessageBox(text, T(chinese_, "警告", "Warning").toStdString());
}

TLogForm& LineFeatures::LogWindow() {
  if (!logForm_) {
    logForm_ = std::make_unique<TLogForm>(settings::LogConfig(), nullptr);
    logForm_->SetChinese(chinese_);
    connect(logForm_.get(), &TLogForm::OpenRun, &window_, [this](const QByteArray& record, int kind) {
      // The main window refuses during a run and says so in its status bar,
      // which this window covers: said here too.
      if (form_.RunKind != NoTest)
        logForm_->Tell(T(chinese_, "测试进行中：本次测试结束后才能打开记录。",
                         "A test is under way: the run opens only after it has ended."));
      openRun_(record, kind);
    });
    if (RunLogWriter* w = recorder_->Writer()) {
      connect(w, &RunLogWriter::Failed, logForm_.get(), &TLogForm::ShowLogProblem);
      connect(w, &RunLogWriter::Recovered, logForm_.get(), &TLogForm::ClearLogProblem);
      connect(w, &RunLogWriter::Committed, logForm_.get(), &TLogForm::RunsCommitted);
      w->RetryNow(true);  // the window opened during an outage shows it
    }
  }
  return *logForm_;
}

}  // namespace kt
