#include "station/RunRecorder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimeZone>

#include <sys/stat.h>

#include <nlohmann/json.hpp>

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
#include "runlog/RunLogWriter.h"
#include "station/ExampleProfiles.h"
#include "station/LoneForm.h"
#include "station/StationSettings.h"
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

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The product type a file that cannot be parsed claims, read from its text
// as far as that goes: "" when it names none, "?" when it may name one that
// cannot be read. Only regular files are read (a FIFO would block).
std::string ClaimedType(const QFileInfo& file) {
  QFile f(file.filePath());
  if (!file.isFile() || file.size() > static_cast<qint64>(ProfileMaxBytes) || !f.open(QIODevice::ReadOnly)) return "?";
  const QString text = QString::fromUtf8(f.readAll());
  if (!text.contains(QStringLiteral("\"type\""))) return "";
  static const QRegularExpression claim(QStringLiteral(R"re("type"\s*:\s*"([^"\\]*)")re"));
  const QRegularExpressionMatch m = claim.match(text);
  return m.hasMatch() ? TypeKey(m.captured(1).toStdString()) : "?";
}

// "a.json" and "b.json", or "a.json", "b.json" and "c.json".
std::string FileList(const std::vector<std::string>& files, const char* comma, const char* last, const char* open,
                     const char* close) {
  std::string out;
  for (std::size_t i = 0; i < files.size(); ++i)
    out += (i == 0 ? "" : i + 1 == files.size() ? last : comma) + std::string(open) + files[i] + close;
  return out;
}

ProfileMessage KeptCopyNote(const Profile& copy, const ProfileMessage* problem, bool lastSession) {
  const std::string rev = copy.Revision.empty() ? "" : copy.Revision;
  ProfileMessage note;
  note.English = (problem ? problem->English : "profile " + Quoted(copy.Source) + " is gone") +
                 " — the last good copy" + (lastSession ? " from the last session" : "") +
                 (rev.empty() ? "" : ", revision " + rev) + ", judges";
  note.Chinese = (problem ? problem->Chinese : "限值文件“" + copy.Source + "”已不存在") + "——按" +
                 (lastSession ? "上次运行时" : "先前") + "读入的副本" + (rev.empty() ? "" : "（版本 " + rev + "）") +
                 "判定";
  return note;
}

}  // namespace

void RunRecorder::LoadProfiles(const std::string& folder, std::vector<std::string>& problems, bool chinese) {
  QDir dir(QString::fromStdString(folder));
  if (!dir.exists() && QDir().mkpath(dir.path())) {
    for (int i = 0; i < ExampleProfileCount; ++i) {
      QFile f(dir.filePath(QString::fromUtf8(ExampleProfiles[i].FileName)));
      if (f.open(QIODevice::WriteOnly)) f.write(ExampleProfiles[i].Text);
    }
  }
  std::vector<Profile> previous = std::move(profiles_);
  profiles_.clear();
  problems_.clear();
  notes_.clear();
  for (const QFileInfo& file : dir.entryInfoList({"*.json"}, QDir::Files | QDir::System, QDir::Name)) {
    Profile p;
    ProfileMessage message;
    if (LoadProfile(file.filePath().toStdString(), p, message) == 0)
      profiles_.push_back(std::move(p));
    else
      problems_.push_back({file.fileName().toStdString(), ClaimedType(file), message});
  }

  // What judged before and cannot be read now goes on judging as it was,
  // with a note.
  for (Profile& old : previous) {
    if (Find(old.Name)) continue;
    const auto problem =
        std::find_if(problems_.begin(), problems_.end(), [&old](const Problem& p) { return p.File == old.Source; });
    if (problem == problems_.end() && dir.exists(QString::fromStdString(old.Source))) continue;
    notes_.emplace_back(old.Name, KeptCopyNote(old, problem == problems_.end() ? nullptr : &problem->Message, false));
    profiles_.push_back(std::move(old));
  }

  // Two profiles for one product type (a kept copy counts): which one
  // judges would depend on the order of file names. Neither does, until
  // one is changed.
  std::vector<std::string> conflicted;
  for (std::size_t i = 0; i < profiles_.size(); ++i) {
    const std::string key = TypeKey(profiles_[i].Type);
    if (key.empty() || std::find(conflicted.begin(), conflicted.end(), profiles_[i].Source) != conflicted.end())
      continue;
    std::vector<std::string> files;
    for (const Profile& other : profiles_)
      if (TypeKey(other.Type) == key) files.push_back(other.Source);
    if (files.size() < 2) continue;
    const std::string& type = profiles_[i].Type;
    ProfileMessage m{
        "profiles " + FileList(files, ", ", " and ", "\"", "\"") + " all claim the product type " + Quoted(type) +
            ": none of them is used until only one does",
        "限值文件" + FileList(files, "、", "与", "“", "”") + "都对应型号“" + type + "”：改到只剩一个之前均不使用"};
    if (files.size() == 2) m.English.replace(m.English.find(" all claim"), 10, " both claim");
    for (const std::string& f : files) problems_.push_back({f, key, m});
    conflicted.insert(conflicted.end(), files.begin(), files.end());
  }
  const auto isConflicted = [&conflicted](const std::string& file) {
    return std::find(conflicted.begin(), conflicted.end(), file) != conflicted.end();
  };
  std::erase_if(notes_, [&](const auto& n) { return Find(n.first) && isConflicted(Find(n.first)->Source); });
  std::erase_if(profiles_, [&](const Profile& p) { return isConflicted(p.Source); });

  for (const Problem& p : problems_) problems.push_back(p.Message.Text(chinese));
  for (const auto& [name, note] : notes_) problems.push_back(note.Text(chinese));
  chosenFile_ = Find(chosen_) ? Find(chosen_)->Source : chosenFile_;
}

const Profile* RunRecorder::Find(const std::string& name) const {
  for (const Profile& p : profiles_)
    if (p.Name == name) return &p;
  return nullptr;
}

int RunRecorder::Choose(const Choice& choice, std::string& error, bool chinese) {
  const std::string& name = choice.NameOrFile;
  const auto take = [&](const std::string& chosen, const std::string& file) {
    chosen_ = chosen;
    chosenFile_ = file;
    explicit_ = choice.Explicit;
    return 0;
  };
  if (name.empty() || name == ClassCName) return take(name, "");
  if (const Profile* p = Find(name)) return take(name, p->Source);
  // A bare name is a profile's name: it is not looked for as a file.
  const bool path =
      name.find('/') != std::string::npos || QString::fromStdString(name).endsWith(".json", Qt::CaseInsensitive);
  Profile p;
  ProfileMessage message;
  if (!path) {
    const auto problem = std::find_if(problems_.begin(), problems_.end(), [&choice](const Problem& pr) {
      return !choice.File.empty() && pr.File == choice.File;
    });
    message = problem != problems_.end()
                  ? problem->Message
                  : ProfileMessage{"no profile named " + Quoted(name) + " could be read from " + ProfileFolder(),
                                   "在 " + ProfileFolder() + " 中没有可读取的名为“" + name + "”的限值文件"};
  } else if (LoadProfile(name, p, message) == 0) {
    const std::string chosen = p.Name, file = p.Source;
    if (const Profile* old = Find(p.Name))
      const_cast<Profile&>(*old) = std::move(p);
    else
      profiles_.push_back(std::move(p));
    return take(chosen, file);
  }
  error = message.Text(chinese);
  if (choice.KeepUnavailable) {
    take(name, choice.File);
    problems_.push_back({choice.File, "", message});
  }
  return 1;
}

int RunRecorder::KeepLastGoodCopy(const std::string& text) {
  Profile copy;
  ProfileMessage ignored;
  if (chosen_.empty() || chosen_ == ClassCName || Find(chosen_) ||
      ParseProfile(text, chosenFile_.empty() ? "?" : chosenFile_, copy, ignored) != 0 || copy.Name != chosen_)
    return 1;
  const auto problem =
      std::find_if(problems_.begin(), problems_.end(), [this](const Problem& p) { return p.File == chosenFile_; });
  notes_.emplace_back(copy.Name, KeptCopyNote(copy, problem == problems_.end() ? nullptr : &problem->Message, true));
  profiles_.push_back(std::move(copy));
  return 0;
}

ActiveLimits RunRecorder::WithNote(ActiveLimits limits) const {
  if (limits.Source == LimitSource::File && limits.File)
    for (const auto& [name, note] : notes_)
      if (name == limits.File->Name) limits.Note = note;
  return limits;
}

ActiveLimits RunRecorder::LimitsFor(const std::string& productType) const {
  ActiveLimits choice;
  choice.RatedPowerW = ratedPowerW_;
  if (chosen_ == ClassCName) {
    choice.Source = LimitSource::ClassC;
  } else if (const Profile* p = Find(chosen_)) {
    choice.Source = LimitSource::File;
    choice.File = p;
  } else if (!chosen_.empty()) {
    choice.Source = LimitSource::Unavailable;
    choice.Name = chosen_;
    for (const Problem& pr : problems_)
      if (pr.File == chosenFile_) choice.Problem = pr.Message;
    if (choice.Problem.English.empty())
      choice.Problem = {"the limits " + Quoted(chosen_) + " could not be read", "限值“" + chosen_ + "”无法读取"};
  }
  if (explicit_) return WithNote(choice);
  const std::string key = TypeKey(productType);
  // The profile of this product type may be the one that cannot be read
  // (unless its last good copy judges in its place).
  for (const Problem& pr : problems_) {
    if (key.empty() || (pr.Type != key && pr.Type != "?")) continue;
    if (std::any_of(profiles_.begin(), profiles_.end(), [&pr](const Profile& p) { return p.Source == pr.File; }))
      continue;
    ActiveLimits refused;
    refused.Source = LimitSource::Unavailable;
    refused.Name = productType;
    refused.Problem = pr.Message;
    if (pr.Type == "?") {
      refused.Problem.English += "; it may hold the limits of product type " + Quoted(productType);
      refused.Problem.Chinese += "；它可能是型号“" + productType + "”的限值";
    }
    return refused;
  }
  return WithNote(ChooseLimits(profiles_, productType, choice));
}

bool RunRecorder::TypeMatchesNone(const std::string& productType) const {
  const std::string key = TypeKey(productType);
  if (key.empty() || explicit_) return false;
  bool typed = false;
  for (const Profile& p : profiles_) {
    if (TypeKey(p.Type) == key) return false;
    typed = typed || !TypeKey(p.Type).empty();
  }
  return typed && LimitsFor(productType).Source != LimitSource::Unavailable;
}

bool RunRecorder::Judging() const { return LimitsFor(form_.Info.Type).Source != LimitSource::None; }

Verdict RunRecorder::Judge(TestKind kind) const {
  const RunView view{kind, &form_.M, form_.Analysis};
  if (const GoldenUnit* unit = GoldenUnitOfRun()) {
    const Profile& p = *LimitsFor(form_.Info.Type).File;
    return GoldenVerdict(*unit, kind, CollectFigures(view), p.Name, p.Revision);
  }
  return Evaluate(LimitsFor(form_.Info.Type), view);
}

const GoldenUnit* RunRecorder::GoldenUnitOfRun() const {
  if (form_.Info.No.empty()) return nullptr;
  const ActiveLimits limits = LimitsFor(form_.Info.Type);
  return limits.Source == LimitSource::File && limits.File ? FindGolden(*limits.File, form_.Info.No) : nullptr;
}

void RunRecorder::NoteGoldenPass(const std::string& profile, std::int64_t timeMs) {
  std::int64_t& last = goldenPasses_[profile];
  last = std::max(last, timeMs);
}

ProductionGate RunRecorder::Gate(std::int64_t loggedPassMs) const {
  ProductionGate g;
  const ActiveLimits limits = LimitsFor(form_.Info.Type);
  if (limits.Source == LimitSource::File) g.Limits = limits.File;
  g.GoldenSerial = GoldenUnitOfRun() != nullptr;
  g.LastGoldenPassMs = loggedPassMs;
  if (g.Limits) {
    const auto it = goldenPasses_.find(g.Limits->Name);
    if (it != goldenPasses_.end()) g.LastGoldenPassMs = std::max(g.LastGoldenPassMs, it->second);
  }
  const QDateTime now = QDateTime::currentDateTime();
  g.NowMs = now.toMSecsSinceEpoch();
  g.UtcOffsetMs = static_cast<std::int64_t>(now.offsetFromUtc()) * 1000;
  g.CalibrationDue = settings::CalibrationDue();
  // A due date that cannot be read blocks as an overdue one would: it
  // never lets an instrument out of calibration pass unnoticed.
  std::int64_t due = 0;
  const bool set = !g.CalibrationDue.empty();
  if (set && !ParseDay(g.CalibrationDue, due)) due = -1;
  g.Instrument = CalibrationState(due, set, QDate(1970, 1, 1).daysTo(now.date()));
  g.GoldenOverridden = goldenOverride_;
  g.CalibrationOverridden = calibrationOverride_;
  return g;
}

namespace {

// The bytes a store of the run would write: the kind's record, or the
// analysis window's file for its two kinds.
std::vector<std::uint8_t> RecordOf(const Form& form, TestKind kind, int analysisLanguage) {
  if ((kind == GaoTest || kind == BaoTest) && form.Analysis)
    return BuildAnalysisRecord(form, *form.Analysis, analysisLanguage);
  if (const KindOps* ops = form.MainKind(kind); ops && ops->Record) return BuildRecord(*ops->Record, form);
  return {};
}

const char* EventText(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::HandshakeFailed:
      return "no answer to the handshake";
    case RunOutcome::BlockLate:
      return "a block came too late";
    case RunOutcome::LineLost:
      return "the line went away during the run";
    case RunOutcome::Abandoned:
      return "the run was abandoned";
    default:
      return "completed";
  }
}

}  // namespace

LoggedRun RunRecorder::Describe(TestKind kind, const Verdict& verdict, int analysisLanguage) const {
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
  if (GoldenUnitOfRun()) run.Purpose = RunPurpose::GoldenCheck;
  run.InstrumentSerial = settings::InstrumentSerial();
  run.CalibrationDue = settings::CalibrationDue();
  return run;
}

std::string RunRecorder::LogRun(TestKind kind, const Verdict& verdict, int analysisLanguage) {
  LoggedRun run = Describe(kind, verdict, analysisLanguage);
  run.TimeUtcMs = QDateTime::currentMSecsSinceEpoch();
  if (writer_) {
    if (run.Station.empty()) run.Station = writer_->Log().Station;
    run.Id = writer_->Submit(run);
  }
  last_ = std::move(run);
  return last_->Id;
}

RunLogWriter::Kept RunRecorder::LogRunAndWait(TestKind kind, const Verdict& verdict, int analysisLanguage,
                                              int timeoutMs, LoggedRun& run) {
  run = Describe(kind, verdict, analysisLanguage);
  // The time is set here, not by the writer: the caller prints the very
  // time the log keeps.
  run.TimeUtcMs = QDateTime::currentMSecsSinceEpoch();
  if (!writer_) {
    last_ = run;
    return RunLogWriter::Kept::Off;
  }
  // And the station, so that a printed run reads as the log's export does.
  if (run.Station.empty()) run.Station = writer_->Log().Station;
  const RunLogWriter::Kept kept = writer_->SubmitAndWait(run, run.Id, timeoutMs);
  last_ = run;
  return kept;
}

void RunRecorder::LogEvent(TestKind kind, RunOutcome outcome) {
  if (!writer_ || outcome == RunOutcome::Completed) return;
  LoggedEvent e;
  e.Kind = kind;
  e.What = EventText(outcome);
  writer_->Record(std::move(e));
}

std::string LocalAuditFile() {
  return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString() + "/audit.jsonl";
}

void RunRecorder::Audit(const std::string& who, const std::string& what, const std::string& before,
                        const std::string& after) {
  LoggedEvent e;
  e.Audit = true;
  e.TimeUtcMs = QDateTime::currentMSecsSinceEpoch();
  e.Who = who;
  e.What = what;
  e.OldValue = before;
  e.NewValue = after;
  if (writer_) {
    writer_->Record(std::move(e));
    return;
  }
  QDir().mkpath(QFileInfo(QString::fromStdString(LocalAuditFile())).absolutePath());
  QFile f(QString::fromStdString(LocalAuditFile()));
  // One line a change, appended: nothing written before is ever rewritten.
  nlohmann::ordered_json line;
  line["time_utc"] =
      QDateTime::fromMSecsSinceEpoch(e.TimeUtcMs, QTimeZone::utc()).toString(Qt::ISODateWithMs).toStdString();
  line["who"] = who;
  line["what"] = what;
  line["old"] = before;
  line["new"] = after;
  const std::string text = line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  if (f.open(QIODevice::Append)) f.write(text.data(), static_cast<qint64>(text.size()));
}

int LimitsByName(const std::string& folder, const std::string& nameOrFile, bool chinese, ActiveLimits& limits,
                 std::string& error) {
  QuietHost host;
  NoPort port;
  SystemClock clock;
  Form form(host, port, clock);
  RunRecorder recorder(form);
  std::vector<std::string> problems;
  recorder.LoadProfiles(folder, problems, chinese);
  if (recorder.Choose(RunRecorder::Choice{nameOrFile, {}, false, true}, error, chinese) != 0) return 1;
  limits = recorder.LimitsFor("");
  if (limits.Source != LimitSource::Unavailable) return 0;
  error = limits.Problem.Text(chinese);
  return 1;
}

std::vector<std::string> ProfileNames(const std::string& folder) {
  QuietHost host;
  NoPort port;
  SystemClock clock;
  Form form(host, port, clock);
  RunRecorder recorder(form);
  std::vector<std::string> problems, names;
  recorder.LoadProfiles(folder, problems, false);
  for (const Profile& p : recorder.Profiles()) names.push_back(p.Name);
  names.push_back(ClassCName);
  return names;
}

Rejudgement RejudgeRecord(const ActiveLimits& limits, TestKind kind, const std::vector<std::uint8_t>& record) {
  LoneForm lone;
  Rejudgement again;
  LoggedRun decoded;
  // The log keeps an analysis as its *.bdt file, every other run as its *.dat.
  const bool analysisRun = kind == BaoTest || kind == GaoTest;
  if (lone.Decode(analysisRun ? "logged.bdt" : "logged.dat", record, decoded, again.Problem) != 0) return again;
  again.Fresh = Evaluate(limits, RunView{decoded.Kind, &lone.form.M, &lone.analysis});
  return again;
}

int DecodeStoredRun(const std::string& path, const std::vector<std::uint8_t>& bytes, LoggedRun& run,
                    std::string& error) {
  LoneForm lone;
  return lone.Decode(path, bytes, run, error);
}

int DecodeStoredRunInto(Form& form, const std::string& path, const std::vector<std::uint8_t>& bytes, LoggedRun& run,
                        std::string& error) {
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
    if (ParseAnalysisRecord(form, analysis, language, bytes) != 0) return 1;
    // The file does not say which of the window's tests it holds: an
    // analysed wave makes it the analysis.
    run.Kind = analysis.Period[ChIl] > 0 ? GaoTest : BaoTest;
  } else {
    RecordParser p(bytes.data() + DataFileMagicSize, 4);
    const std::int32_t kind = p.I32();
    const RecordLayout* layout = form.MainKind(kind) ? form.MainKind(kind)->Record : nullptr;
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
