#include "runlog/RunRecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "analysis/AnalysisFile.h"
#include "analysis/AnalysisRun.h"
#include "core/AnalysisData.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/RecordFile.h"
#include "platform/Clock.h"
#include "runlog/ExampleProfiles.h"
#include "runlog/RunLogWriter.h"
#include "verdict/ClassC.h"

namespace kt {

const char* ProgramVersion() { return KT6100_VERSION; }

std::string ProfileFolder() {
  const QByteArray env = qgetenv("KT6100_PROFILES");
  if (!env.isEmpty()) return env.toStdString();
  return (QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/profiles").toStdString();
}

RunRecorder::RunRecorder(Form& form) : form_(form) {}
RunRecorder::~RunRecorder() = default;

int RunRecorder::StartLog(const RunLogConfig& config, QString& error) {
  writer_ = std::make_unique<RunLogWriter>(config);
  if (writer_->Start(error) != 0) {
    writer_.reset();
    return 1;
  }
  return 0;
}

void RunRecorder::LoadProfiles(const std::string& folder, std::vector<std::string>& problems, bool chinese) {
  QDir dir(QString::fromStdString(folder));
  if (!dir.exists() && QDir().mkpath(dir.path())) {
    for (int i = 0; i < ExampleProfileCount; ++i) {
      QFile f(dir.filePath(QString::fromUtf8(ExampleProfiles[i].FileName)));
      if (f.open(QIODevice::WriteOnly)) f.write(ExampleProfiles[i].Text);
    }
  }
  profiles_.clear();
  for (const QFileInfo& file : dir.entryInfoList({"*.json"}, QDir::Files, QDir::Name)) {
    Profile p;
    ProfileMessage message;
    if (LoadProfile(file.filePath().toStdString(), p, message) == 0)
      profiles_.push_back(std::move(p));
    else
      problems.push_back(message.Text(chinese));
  }
  if (!chosen_.empty() && chosen_ != ClassCName && !Find(chosen_)) chosen_.clear();
}

const Profile* RunRecorder::Find(const std::string& name) const {
  for (const Profile& p : profiles_)
    if (p.Name == name) return &p;
  return nullptr;
}

int RunRecorder::Choose(const std::string& nameOrFile, std::string& error, bool chinese) {
  if (nameOrFile.empty() || nameOrFile == ClassCName || Find(nameOrFile)) {
    chosen_ = nameOrFile;
    return 0;
  }
  Profile p;
  ProfileMessage message;
  if (LoadProfile(nameOrFile, p, message) != 0) {
    error = message.Text(chinese);
    return 1;
  }
  chosen_ = p.Name;
  if (const Profile* old = Find(p.Name))
    const_cast<Profile&>(*old) = std::move(p);
  else
    profiles_.push_back(std::move(p));
  return 0;
}

ActiveLimits RunRecorder::LimitsFor(const std::string& productType) const {
  ActiveLimits choice;
  if (chosen_ == ClassCName) {
    choice.Source = LimitSource::ClassC;
  } else if (const Profile* p = Find(chosen_)) {
    choice.Source = LimitSource::File;
    choice.File = p;
  }
  return ChooseLimits(profiles_, productType, choice);
}

bool RunRecorder::Judging() const { return LimitsFor(form_.Info.Type).Source != LimitSource::None; }

Verdict RunRecorder::Judge(TestKind kind) const {
  return Evaluate(LimitsFor(form_.Info.Type), RunView{kind, &form_.M, form_.Analysis});
}

namespace {

// The bytes a store of the run would write: the kind's record, or the
// analysis window's file for its two kinds.
std::vector<std::uint8_t> RecordOf(const Form& form, TestKind kind, int analysisLanguage) {
  if ((kind == GaoTest || kind == BaoTest) && form.Analysis)
    return BuildAnalysisRecord(form, *form.Analysis, analysisLanguage);
  if (kind >= InputTest && kind <= PhaseTest && form.Kinds[static_cast<std::size_t>(kind)].Record)
    return BuildRecord(*form.Kinds[static_cast<std::size_t>(kind)].Record, form);
  return {};
}

const char* EventText(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::HandshakeFailed: return "no answer to the handshake";
    case RunOutcome::BlockLate: return "a block came too late";
    case RunOutcome::LineLost: return "the line went away during the run";
    case RunOutcome::Abandoned: return "the run was abandoned";
    default: return "completed";
  }
}

}  // namespace

std::string RunRecorder::LogRun(TestKind kind, const Verdict& verdict, int analysisLanguage) {
  if (!writer_) return "";
  LoggedRun run;
  run.Kind = kind;
  run.Info = form_.Info;
  run.TestDate.assign(form_.TestDate, strnlen(form_.TestDate, sizeof form_.TestDate));
  run.Figures = CollectFigures(RunView{kind, &form_.M, form_.Analysis});
  run.Result = verdict;
  const ActiveLimits limits = LimitsFor(form_.Info.Type);
  if (limits.Source == LimitSource::File && limits.File) run.ProfileText = limits.File->RawText;
  run.ProgramVersion = ProgramVersion();
  run.Record = RecordOf(form_, kind, analysisLanguage);
  return writer_->Submit(std::move(run));
}

void RunRecorder::LogEvent(TestKind kind, RunOutcome outcome) {
  if (!writer_ || outcome == RunOutcome::Completed) return;
  LoggedEvent e;
  e.Kind = kind;
  e.What = EventText(outcome);
  writer_->Record(std::move(e));
}

namespace {

// A window nobody looks at: the loaders' messages become the reason.
class QuietHost final : public Host {
 public:
  std::string message;
  void Repaint() override {}
  void RepaintAnalysis() override {}
  void SetStatusText(const std::string&) override {}
  void SetProgress(int) override {}
  void SetAnalysisProgress(int) override {}
  void EnableTimer1(bool) override {}
  void ShowAlarm(bool) override {}
  void MessageBox(const std::string& text, const std::string&) override { message = text; }
  void CloseMainWindow() override {}
  void SetLockTestBtnDown(bool) override {}
  void SetHanZiBtnDown(bool) override {}
  void SetGaoTestEnabled(bool) override {}
  void DrawStartPrompt() override {}
  void PostCommData() override {}
};

class NoPort final : public SerialPort {
 public:
  int Open(const std::string&) override { return 1; }
  void Close() override {}
  bool IsOpen() const override { return false; }
  int WriteByte(std::uint8_t) override { return 1; }
  unsigned Read(std::uint8_t*, unsigned) override { return 0; }
  unsigned QueuedCount() override { return 0; }
  void PurgeReceive() override {}
  bool WaitForInput(int) override { return false; }
  void Wake() override {}
};

}  // namespace

int DecodeStoredRun(const std::string& path, const std::vector<std::uint8_t>& bytes, LoggedRun& run,
                    std::string& error) {
  QuietHost host;
  NoPort port;
  SystemClock clock;
  Form form(host, port, clock);
  AnalysisData analysis;
  form.Analysis = &analysis;
  RegisterMeasurementKinds(form);
  RegisterAnalysisKinds(form);
  const int failed = DecodeStoredRunInto(form, path, bytes, run, error);
  if (failed && error.empty()) error = host.message.empty() ? "数据文件格式错误!" : host.message;
  return failed;
}

int DecodeStoredRunInto(Form& form, const std::string& path, const std::vector<std::uint8_t>& bytes,
                        LoggedRun& run, std::string& error) {
  AnalysisData& analysis = *form.Analysis;
  ClearResults(form.M);
  if (bytes.size() < DataFileHeaderSize || std::memcmp(bytes.data(), DataFileMagic, DataFileMagicSize) != 0) {
    error = "数据文件格式错误!";
    return 1;
  }
  std::int32_t language = 0;
  const bool analysisFile = QFileInfo(QString::fromStdString(path)).suffix().compare("bdt", Qt::CaseInsensitive) == 0;
  if (analysisFile) {
    // The loader has told the form's host why.
    if (OpenAnalysisFile(form, analysis, language, path) != 0) return 1;
    // The file does not say which of the window's tests it holds: an
    // analysed wave makes it the analysis.
    run.Kind = analysis.Period[ChIl] > 0 ? GaoTest : BaoTest;
  } else {
    RecordParser p(bytes.data() + DataFileMagicSize, 4);
    const std::int32_t kind = p.I32();
    const RecordLayout* layout =
        kind >= InputTest && kind <= PhaseTest ? form.Kinds[static_cast<std::size_t>(kind)].Record : nullptr;
    if (!layout) {
      error = "数据文件格式错误!";
      return 1;
    }
    if (ParseRecord(form, *layout, bytes) != 0) return 1;
    run.Kind = kind;
    if (kind == StartTest) form.M.Start.Valid = 1;
  }
  run.Info = form.Info;
  run.TestDate.assign(form.TestDate, strnlen(form.TestDate, sizeof form.TestDate));
  run.Figures = CollectFigures(RunView{run.Kind, &form.M, &analysis});
  run.ProgramVersion = ProgramVersion();
  run.Record = analysisFile ? BuildAnalysisRecord(form, analysis, language)
                            : BuildRecord(*form.Kinds[static_cast<std::size_t>(run.Kind)].Record, form);
  // A stored record knows its day only; the file's time is the best there is.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) run.TimeUtcMs = static_cast<std::int64_t>(st.st_mtime) * 1000;
  return 0;
}

}  // namespace kt
