// kt6100-cli: the tester from a script or a line controller, without a
// window. The runs are the window's (its steps, decoders, files, reports,
// verdicts and log); only the window is missing.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QSettings>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "analysis/AnalysisFile.h"
#include "analysis/AnalysisReport.h"
#include "app/FontSetup.h"
#include "cli/CliOutput.h"
#include "cli/CliRun.h"
#include "measurements/DataFiles.h"
#include "measurements/RecordFile.h"
#include "platform/GbkText.h"
#include "platform/PrinterCanvas.h"
#include "platform/SystemPorts.h"
#include "runlog/LogTarget.h"
#include "runlog/RunLogConnection.h"
#include "runlog/RunLogExport.h"
#include "runlog/RunLogImport.h"
#include "runlog/RunLogWriter.h"
#include "runlog/RunRecorder.h"
#include "verdict/VerdictReport.h"

namespace kt {
namespace {

// Exit statuses a script can tell apart.
enum Status { Good = 0, Failed = 1, NoInstrument = 2, Usage = 64 };

int UsageError(const QString& text) {
  std::fprintf(stderr, "kt6100-cli: %s\n(kt6100-cli --help for the usage)\n", text.toLocal8Bit().constData());
  return Usage;
}

int Fail(const std::string& text, int status) {
  std::fprintf(stderr, "%s\n", text.c_str());
  return status;
}

RunLogConfig WindowLogConfig() {
  QSettings settings;
  RunLogConfig config;
  config.Target = settings.value(QStringLiteral("log/target")).toString().toStdString();
  config.Station = settings.value(QStringLiteral("log/station")).toString().toStdString();
  return config;
}

// The limits as the window would choose them, or as --profile names them.
// Limits that were asked for (by --profile, by the window's choice or by a
// product type) but cannot be used stop everything before the instrument
// hears a byte: a script must never take "no verdict" for a pass.
int ChooseLimits(RunRecorder& recorder, const QCommandLineParser& p, const std::string& productType, bool chinese) {
  std::vector<std::string> problems;
  recorder.LoadProfiles(ProfileFolder(), problems, chinese);
  for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
  QSettings settings;
  const RunRecorder::Choice choice =
      p.isSet("profile") ? RunRecorder::Choice{p.value("profile").toStdString(), {}, false, true}
                         : RunRecorder::Choice{settings.value("limits/active").toString().toStdString(),
                                               settings.value("limits/activeFile").toString().toStdString(), true, false};
  std::string error;
  if (recorder.Choose(choice, error, chinese) != 0 && !choice.KeepUnavailable)
    return Fail(error + (chinese ? "\n未向测试仪发送任何命令。" : "\nNothing was sent to the instrument."), NoInstrument);
  if (p.isSet("rated-power")) {
    bool ok = false;
    const double watts = p.value("rated-power").toDouble(&ok);
    if (!ok || !(watts > 0.0 && watts <= 10000.0)) return UsageError("--rated-power takes watts above 0 (at most 10000)");
    recorder.SetRatedPower(watts);
  }
  const ActiveLimits limits = recorder.LimitsFor(productType);
  if (limits.Source == LimitSource::Unavailable)
    return Fail(limits.Problem.Text(chinese) + (chinese ? "\n未向测试仪发送任何命令。" : "\nNothing was sent to the instrument."),
                NoInstrument);
  if (!limits.Note.English.empty()) std::fprintf(stderr, "%s\n", limits.Note.Text(chinese).c_str());
  if (recorder.TypeMatchesNone(productType))
    std::fprintf(stderr, "type \"%s\" matches no profile: judged by the chosen limits\n", productType.c_str());
  const bool screening = limits.Source == LimitSource::ClassC || (limits.File && limits.File->RatedPowerW);
  if (p.isSet("rated-power") && !screening)
    std::fprintf(stderr, "--rated-power: the limits in force do not screen the mains harmonics; it is not used\n");
  return Good;
}

LoggedRun Described(Form& form, TestKind kind, const Verdict& verdict) {
  LoggedRun run;
  run.Kind = kind;
  run.TimeUtcMs = QDateTime::currentMSecsSinceEpoch();
  run.Info = form.Info;
  run.TestDate.assign(form.TestDate, strnlen(form.TestDate, sizeof form.TestDate));
  run.Figures = CollectFigures(RunView{kind, &form.M, form.Analysis});
  run.Result = verdict;
  return run;
}

class Printer {
 public:
  explicit Printer(OutputForm form) : form_(form) {}
  void Print(const LoggedRun& run) {
    if (form_ == OutputForm::Json) {
      std::printf("%s\n", RunJson(run).c_str());
    } else if (form_ == OutputForm::Csv) {
      if (!headerDone_) std::printf("%s\n", CsvHeader(run).c_str());
      headerDone_ = true;
      std::printf("%s\n", CsvLine(run).c_str());
    } else {
      std::printf("%s", RunTable(run).c_str());
    }
    std::fflush(stdout);
  }

 private:
  OutputForm form_;
  bool headerDone_ = false;
};

OutputForm FormOf(const QCommandLineParser& p) {
  return p.isSet("json") ? OutputForm::Json : p.isSet("csv") ? OutputForm::Csv : OutputForm::Table;
}

int StatusOf(const Verdict& v) {
  return v.Result == VerdictResult::Fail || v.Result == VerdictResult::Incomplete ? Failed : Good;
}

// The same report the window prints, into a PDF, with the verdict block
// when limits apply.
int PrintReport(Form& form, TestKind kind, const Verdict& verdict, int language, const std::string& path) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(path));
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Landscape);
  printer.setFullPage(true);
  QPainter painter;
  if (!painter.begin(&printer)) return Fail("打印失败!", NoInstrument);
  PrinterCanvas canvas(painter, printer.resolution());
  if (kind == GaoTest || kind == BaoTest) {
    PrintAnalysisReport(form, *form.Analysis, language, canvas);
  } else if (auto report = form.Kinds[static_cast<std::size_t>(kind)].Report) {
    report(form, canvas);
  }
  // The run's one verdict, as printed on stdout and kept in the log.
  PrintVerdictBlock(canvas, verdict, language == 0);
  if (!painter.end()) return Fail("打印失败!", NoInstrument);
  return Good;
}

int StoreRun(Form& form, TestKind kind, int language, const std::string& chosen) {
  const bool stored = (kind == GaoTest || kind == BaoTest)
                          ? SaveAnalysisFile(form, *form.Analysis, language, AnalysisFileName(chosen)) == 0
                          : SaveRecord(form, *form.Kinds[static_cast<std::size_t>(kind)].Record, DataFileName(chosen)) == 0;
  return stored ? Good : NoInstrument;  // the store's message is on stderr
}

// --no, --type, --operator into the test information, within the file's
// field sizes.
int FillInfo(Form& form, const QCommandLineParser& p) {
  const struct {
    const char* option;
    std::string TestInfo::*field;
    int size;
  } fields[] = {{"no", &TestInfo::No, TestInfoSizes::No},
                {"type", &TestInfo::Type, TestInfoSizes::Type},
                {"operator", &TestInfo::Operator, TestInfoSizes::Operator}};
  for (const auto& f : fields) {
    if (!p.isSet(f.option)) continue;
    const std::string text = p.value(f.option).toStdString();
    if (GbkLength(text) > static_cast<std::size_t>(f.size - 1))
      return UsageError(QString("--%1 holds at most %2 bytes (a Chinese character takes two)")
                            .arg(f.option)
                            .arg(f.size - 1));
    form.Info.*f.field = text;
  }
  return Good;
}

int RunCommand(const QCommandLineParser& p, const QStringList& args) {
  if (args.size() != 2) return UsageError("run needs one KIND: input output comp start phase envelope hf");
  const TestKind kind = CliKind(args[1].toStdString());
  if (kind == NoTest) return UsageError("unknown kind " + args[1]);
  const bool continuous = p.isSet("continuous");
  int count = 1;
  if (p.isSet("count")) {
    bool ok = false;
    count = p.value("count").toInt(&ok);
    if (!ok || count < 1 || continuous) return UsageError("--count takes a number of runs from 1 (and not with --continuous)");
  }
  const bool english = p.isSet("english");
  const int language = english ? 1 : 0;

  HeadlessTester tester(isatty(STDERR_FILENO) != 0);
  Form& form = tester.form();
  form.ChineseMode = english ? 0 : 1;
  if (int s = FillInfo(form, p)) return s;
  RunRecorder recorder(form);
  if (int s = ChooseLimits(recorder, p, form.Info.Type, !english)) return s;
  if (!p.isSet("no-log")) {
    QString error;
    if (recorder.StartLog(WindowLogConfig(), error) != 0) return UsageError(error);
    if (RunLogWriter* w = recorder.Writer())
      QObject::connect(w, &RunLogWriter::Failed, [english](const QString& en, const QString& zh) {
        std::fprintf(stderr, "%s\n", (english ? en : zh).toLocal8Bit().constData());
      });
  }
  std::string device = p.value("port").toStdString();
  if (device.empty()) device = QSettings().value("port/device").toString().toStdString();
  std::string error;
  if (tester.Open(device, error) != 0) return NoInstrument;  // the message is on stderr

  CatchStopSignals();
  Printer out(FormOf(p));
  int status = Good;
  // More than one run: a stop signal ends the series after the run under
  // way; a second one leaves that run too.
  const bool series = continuous || count > 1;
  for (int n = 0; continuous || n < count; ++n) {
    if (StopCount > 0) break;
    RunOutcome outcome = RunOutcome::Completed;
    if (kind == GaoTest) {
      // The analysis is of an envelope: it is taken first, as an operator
      // would in the analysis window.
      outcome = tester.Run(BaoTest, !series);
      if (outcome == RunOutcome::Completed)
        recorder.LogRun(BaoTest, recorder.Judging() ? recorder.Judge(BaoTest) : Verdict{}, language);
    }
    if (outcome == RunOutcome::Completed) outcome = tester.Run(kind, !series);
    if (outcome != RunOutcome::Completed) {
      recorder.LogEvent(kind, outcome);
      if (outcome != RunOutcome::Abandoned) status = NoInstrument;
      break;
    }
    const Verdict verdict = recorder.Judging() ? recorder.Judge(kind) : Verdict{};
    recorder.LogRun(kind, verdict, language);
    out.Print(Described(form, kind, verdict));
    status = std::max(status, StatusOf(verdict));
    if (p.isSet("store") && StoreRun(form, kind, language, p.value("store").toStdString()) != Good) status = NoInstrument;
    if (p.isSet("report") && PrintReport(form, kind, verdict, language, p.value("report").toStdString()) != Good)
      status = NoInstrument;
    // The window's pause between the runs of a continuous test.
    if (series) {
      const auto end = QDateTime::currentMSecsSinceEpoch() + 500;
      while (StopCount == 0 && QDateTime::currentMSecsSinceEpoch() < end) usleep(20000);
    }
  }
  tester.Close();
  if (RunLogWriter* w = recorder.Writer()) w->WaitIdle(30000);
  if (StopSignal != 0) return 128 + StopSignal;
  return status;
}

int ShowCommand(const QCommandLineParser& p, const QStringList& args) {
  if (args.size() != 2) return UsageError("show needs one FILE");
  const std::string path = args[1].toStdString();
  QFile file(args[1]);
  // No data file is near this size; a larger one is not read into memory.
  constexpr qint64 Largest = 1 << 20;
  if (!file.open(QIODevice::ReadOnly) || file.size() > Largest) return Fail("打开数据文件失败!", NoInstrument);
  const QByteArray data = file.readAll();
  const std::vector<std::uint8_t> bytes(data.begin(), data.end());
  HeadlessTester tester(false);
  LoggedRun run;
  std::string error;
  if (DecodeStoredRunInto(tester.form(), path, bytes, run, error) != 0) {
    if (error.empty() && tester.host().lastMessage.empty()) std::fprintf(stderr, "数据文件格式错误!\n");
    if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
    return NoInstrument;
  }
  RunRecorder recorder(tester.form());
  if (int s = ChooseLimits(recorder, p, tester.form().Info.Type, true)) return s;
  if (recorder.Judging()) run.Result = recorder.Judge(run.Kind);
  Printer(FormOf(p)).Print(run);
  return StatusOf(run.Result);
}

// A day as the operator means it: local midnight; --until takes in the day.
int ParseDay(const QString& text, bool endOfDay, std::optional<std::int64_t>& ms) {
  QDateTime t = QDateTime::fromString(text, Qt::ISODate);
  if (!t.isValid()) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (!day.isValid()) return 1;
    t = QDateTime(endOfDay ? day.addDays(1) : day, QTime(0, 0));
  }
  ms = t.toMSecsSinceEpoch();
  return 0;
}

int LogCommand(const QCommandLineParser& p, const QStringList& args) {
  const QString what = args.value(1);
  if (!((what == "export" && args.size() == 2) || (what == "import" && args.size() == 3)))
    return UsageError("log export ... --csv FILE, or log import FOLDER");
  ResolvedLog resolved;
  QString error;
  if (ResolveRunLogConfig(WindowLogConfig(), resolved, error) != 0) return UsageError(error);
  if (resolved.Target.Kind == LogTarget::Driver::None) return Fail("the run log is off", NoInstrument);
  RunLogConnection log;
  if (log.Open(resolved.Target, error) != 0) return Fail(error.toStdString(), NoInstrument);
  QSqlDatabase db = log.Db();
  if (what == "import") {
    ImportResult result;
    if (ImportFolder(db, args[2].toStdString(), DecodeStoredRun, resolved.Station, result, error) != 0)
      return Fail(error.toStdString(), NoInstrument);
    for (const auto& [file, reason] : result.Refused) std::fprintf(stderr, "%s: %s\n", file.c_str(), reason.c_str());
    std::fprintf(stderr, "%d imported, %d already in the log, %zu refused\n", result.Imported, result.AlreadyPresent,
                 result.Refused.size());
    return Good;
  }
  if (!p.isSet("csv")) return UsageError("log export needs --csv FILE");
  RunFilter filter;
  if (p.isSet("since") && ParseDay(p.value("since"), false, filter.FromMs) != 0) return UsageError("--since: a date like 2026-12-07");
  if (p.isSet("until") && ParseDay(p.value("until"), true, filter.ToMs) != 0) return UsageError("--until: a date like 2026-12-07");
  filter.Type = p.value("type").toStdString();
  if (p.isSet("kind")) {
    const TestKind k = CliKind(p.value("kind").toStdString());
    if (k == NoTest) return UsageError("unknown kind " + p.value("kind"));
    filter.Kind = k;
  }
  if (p.isSet("verdict")) {
    const QString v = p.value("verdict").toLower();
    const VerdictResult r = v == "pass" ? VerdictResult::Pass : v == "fail" ? VerdictResult::Fail
                          : v == "incomplete" ? VerdictResult::Incomplete : v == "n/a" || v == "na" ? VerdictResult::NotApplicable
                          : v == "none" ? VerdictResult::None : static_cast<VerdictResult>(-1);
    if (r == static_cast<VerdictResult>(-1)) return UsageError("--verdict: pass, fail, incomplete, na or none");
    filter.Result = r;
  }
  std::int64_t rows = 0;
  if (ExportRunsCsv(db, filter, RunColumn::Time, false, p.value("csv"), rows, error) != 0)
    return Fail(error.toStdString(), NoInstrument);
  std::fprintf(stderr, "%lld runs exported\n", static_cast<long long>(rows));
  return Good;
}

int PortsCommand() {
  for (const PortEntry& port : SystemPorts(".")) std::printf("%s\n", PortLine(port).c_str());
  return Good;
}

}  // namespace
}  // namespace kt

int main(int argc, char* argv[]) {
  using namespace kt;
  // A report needs fonts and a painter, never a display.
  bool report = false;
  for (int i = 1; i < argc; ++i) report = report || std::strncmp(argv[i], "--report", 8) == 0;
  std::unique_ptr<QCoreApplication> app;
  if (report) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
    InstallFontSubstitutions();
  } else {
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  SetApplicationIdentity();
  QCoreApplication::setApplicationVersion(ProgramVersion());

  QCommandLineParser p;
  p.setApplicationDescription(
      "The KT6100 tester without a window.\n\n"
      "  run KIND      one test run (input output comp start phase envelope hf)\n"
      "  show FILE     a stored *.dat or *.bdt file\n"
      "  log export    the run log as CSV (--csv FILE); log import FOLDER\n"
      "  ports         the serial ports present\n\n"
      "Exit status: 0 pass, n/a or no limits; 1 fail or incomplete; 2 no answer, no port or a bad file;\n"
      "64 a usage error; 130/143 stopped by SIGINT/SIGTERM.");
  p.addHelpOption();
  p.addVersionOption();
  p.addPositionalArgument("command", "run, show, log or ports");
  p.addOptions({
      {"port", "The serial device (/dev/ttyUSB0) or COM1/COM2; default: the window's choice.", "DEVICE"},
      {"count", "This many runs.", "N"},
      {"continuous", "Runs until SIGINT or SIGTERM."},
      {"profile", "The limits: a profile's name or file; default: the window's choice. Wins over a profile of the --type.",
       "NAME|FILE"},
      {"rated-power", "The product's rated input power for the harmonic screening: it picks the screening's branch "
                      "(default: the profile's, else the measured power).", "W"},
      {"no", "The sample's number.", "NO"},
      {"type", "The product type (also: log export's filter).", "TYPE"},
      {"operator", "The operator's name.", "NAME"},
      {"store", "Stores the run as the window's File > Store does.", "FILE"},
      {"report", "Prints the run's report into this PDF.", "FILE.pdf"},
      {"english", "English reports and files (default: Chinese, as the window starts)."},
      {"json", "One JSON object a run on stdout."},
      {"csv", "CSV on stdout; for log export: the file to write.", "FILE"},
      {"no-log", "The run is not kept in the run log."},
      {"since", "log export: from this day.", "DATE"},
      {"until", "log export: to this day, inclusive.", "DATE"},
      {"kind", "log export: runs of this kind.", "KIND"},
      {"verdict", "log export: runs with this verdict.", "V"},
  });
  // "--csv" is a switch for run and show, and takes the file for log export.
  QStringList arguments = QCoreApplication::arguments();
  const bool exporting = arguments.size() > 2 && arguments[1] == "log" && arguments[2] == "export";
  for (int i = 1; i < arguments.size(); ++i)
    if (arguments[i] == "--csv" && !exporting) arguments[i] = "--csv=-";
  if (!p.parse(arguments)) return UsageError(p.errorText());
  if (p.isSet("help")) {
    std::printf("%s", p.helpText().toLocal8Bit().constData());
    return Good;
  }
  if (p.isSet("version")) {
    std::printf("kt6100-cli %s\n", ProgramVersion());
    return Good;
  }
  const QStringList args = p.positionalArguments();
  const QString command = args.value(0);
  if (p.isSet("json") && p.isSet("csv")) return UsageError("--json or --csv, not both");
  if (command == "run") return RunCommand(p, args);
  if (command == "show") return ShowCommand(p, args);
  if (command == "log") return LogCommand(p, args);
  if (command == "ports" && args.size() == 1) return PortsCommand();
  return UsageError(command.isEmpty() ? "a command is needed" : "unknown command " + command);
}
