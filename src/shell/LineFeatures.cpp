#include "shell/LineFeatures.h"

#include <filesystem>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QVBoxLayout>

#include "link/Form.h"
#include "runlog/RunLogWriter.h"
#include "runlog/RunRecorder.h"
#include "shell/ShellDialogs.h"
#include "shell/TKT5100Form.h"
#include "shell/TLogForm.h"
#include "shell/TProfileForm.h"
#include "shell/TVerdictBand.h"
#include "verdict/ClassC.h"
#include "verdict/VerdictReport.h"

namespace kt {

namespace {

QString T(bool chinese, const char* zh, const char* en) { return QString::fromUtf8(chinese ? zh : en); }

const QString ActiveKey = QStringLiteral("limits/active");
const QString SoundKey = QStringLiteral("limits/sound");

}  // namespace

LineFeatures::LineFeatures(TKT5100Form& window, Form& form, ShellDialogs& dialogs, QVBoxLayout* column,
                           QMenuBar* bar)
    : QObject(nullptr), window_(window), form_(form), dialogs_(dialogs),
      recorder_(std::make_unique<RunRecorder>(form)), bar_(bar) {
  band_ = new TVerdictBand(&window);
  band_->setObjectName("VerdictBand");
  band_->hide();
  // Above the page: the band takes its height from the window, never covers
  // an item of the page.
  column->insertWidget(1, band_);
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
    LogWindow().show();
    LogWindow().raise();
    LogWindow().Refresh();
  });
  UpdateMenus();
}

void LineFeatures::UpdateMenus() {
  const bool zh = chinese_;
  limits_->setTitle(T(zh, "限值&L", "&Limits"));
  log_->setTitle(T(zh, "记录&R", "&Records"));
  showLog_->setText(T(zh, "测试记录&R…", "Run &log…"));
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
  choice(T(zh, "IEC 61000-3-2 C类谐波筛查", "IEC 61000-3-2 Class C screening"), ClassCName, "ClassC");
  for (const Profile& p : recorder_->Profiles())
    choice(QString::fromStdString(p.Name + (p.Revision.empty() ? "" : "  (" + p.Revision + ")")), p.Name,
           "Profile");
  limits_->addSeparator();
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
  sound_->setChecked(QSettings().value(SoundKey, false).toBool());
  connect(sound_, &QAction::toggled, this, [](bool on) { QSettings().setValue(SoundKey, on); });
}

void LineFeatures::Start() {
  QSettings settings;
  RunLogConfig config;
  config.Target = settings.value(QStringLiteral("log/target")).toString().toStdString();
  config.Station = settings.value(QStringLiteral("log/station")).toString().toStdString();
  QString error;
  if (recorder_->StartLog(config, error) != 0) {
    window_.MessageBox("测试记录的设置有误，本次不作记录：" + error.toStdString(), "警告");
  } else if (RunLogWriter* w = recorder_->Writer()) {
    connect(w, &RunLogWriter::Failed, this, &LineFeatures::LogFailed);
    connect(w, &RunLogWriter::Recovered, this, [this] {
      logDown_ = false;
      window_.SetStatusText(T(chinese_, "测试记录已恢复写入", "The run log is written again").toStdString());
    });
  }
  ReloadProfiles();
  std::string ignored;
  recorder_->Choose(settings.value(ActiveKey).toString().toStdString(), ignored, chinese_);
  UpdateMenus();
}

void LineFeatures::ReloadProfiles() {
  std::vector<std::string> problems;
  recorder_->LoadProfiles(ProfileFolder(), problems, chinese_);
  if (!problems.empty()) {
    std::string text;
    for (const auto& p : problems) text += p + "\n";
    dialogs_.MessageBox(text, chinese_ ? "警告" : "Warning");
  }
  UpdateMenus();
}

void LineFeatures::SetChinese(bool chinese) {
  if (chinese == chinese_) return;
  chinese_ = chinese;
  UpdateMenus();
  band_->SetChinese(chinese);
  if (logForm_) logForm_->SetChinese(chinese);
}

void LineFeatures::Choose(const std::string& choice) {
  std::string error;
  if (recorder_->Choose(choice, error, chinese_) != 0) {
    dialogs_.MessageBox(error, chinese_ ? "警告" : "Warning");
  } else {
    QSettings().setValue(ActiveKey, QString::fromStdString(choice));
    ShownChanged();
  }
  UpdateMenus();
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
  ReloadProfiles();
  Choose(editor.Result().Name);
}

void LineFeatures::RunStarted() {
  band_->setVisible(recorder_->Judging());
  band_->MarkPrevious();
}

void LineFeatures::Show(const Verdict& v) {
  band_->SetChinese(chinese_);
  band_->ShowVerdict(v);
  band_->show();
}

void LineFeatures::RunEnded(int kind, RunOutcome outcome, int analysisLanguage) {
  if (outcome != RunOutcome::Completed) {
    recorder_->LogEvent(kind, outcome);
    return;
  }
  Verdict v;
  if (recorder_->Judging()) {
    v = recorder_->Judge(kind);
    if (kind != GaoTest && kind != BaoTest) Show(v);
    if (v.Result == VerdictResult::Fail && sound_->isChecked()) TVerdictBand::Beep();
  }
  recorder_->LogRun(kind, v, analysisLanguage);
}

void LineFeatures::ShownChanged() {
  if (!recorder_->Judging()) {
    band_->hide();
    return;
  }
  const int kind = form_.ShownKind;
  if (kind >= InputTest && kind <= PhaseTest)
    Show(recorder_->Judge(kind));
  else
    RunStarted();
}

void LineFeatures::PrintVerdict(Canvas& report, int kind) {
  if (recorder_->Judging()) PrintVerdictBlock(report, recorder_->Judge(kind), chinese_);
}

std::unique_ptr<Verdict> LineFeatures::JudgeForDisplay(int kind) {
  if (!recorder_->Judging()) return nullptr;
  return std::make_unique<Verdict>(recorder_->Judge(kind));
}

void LineFeatures::LogFailed(const QString& message) {
  const std::string text = T(chinese_, "测试记录无法写入：", "The run log cannot be written: ").toStdString() +
                           message.toStdString();
  window_.SetStatusText(text);
  // Told once per outage; the runs wait in the outbox meanwhile and still
  // show and store as files.
  if (logDown_) return;
  logDown_ = true;
  window_.MessageBox(text + T(chinese_, "\n结果照常显示和存盘；记录恢复后自动补记。",
                              "\nResults still show and store; they are logged once the log is back.")
                                .toStdString(),
                     "警告");
}

TLogForm& LineFeatures::LogWindow() {
  if (!logForm_) {
    QSettings settings;
    RunLogConfig config;
    config.Target = settings.value(QStringLiteral("log/target")).toString().toStdString();
    config.Station = settings.value(QStringLiteral("log/station")).toString().toStdString();
    logForm_ = std::make_unique<TLogForm>(config, nullptr);
    logForm_->SetChinese(chinese_);
    connect(logForm_.get(), &TLogForm::OpenRun, &window_, &TKT5100Form::OpenLoggedRun);
    if (RunLogWriter* w = recorder_->Writer()) {
      connect(w, &RunLogWriter::Failed, logForm_.get(), &TLogForm::ShowLogProblem);
      connect(w, &RunLogWriter::Recovered, logForm_.get(), &TLogForm::ClearLogProblem);
      connect(w, &RunLogWriter::Committed, logForm_.get(), [this] {
        if (logForm_->isVisible()) logForm_->Refresh();
      });
    }
  }
  return *logForm_;
}

}  // namespace kt
