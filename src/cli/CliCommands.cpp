#include "cli/CliCommands.h"
#include "cli/CliServe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QSaveFile>

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include "analysis/AnalysisFile.h"
#include "cli/CliRun.h"
#include "measurements/DataFiles.h"
#include "measurements/RecordFile.h"
#include "platform/GbkText.h"
#include "platform/PrintJob.h"
#include "platform/SystemPorts.h"
#include "runlog/LogTarget.h"
#include "runlog/RunLogConnection.h"
#include "runlog/RunLogExport.h"
#include "runlog/RunLogImport.h"
#include "runlog/RunLogNames.h"
#include "runlog/RunLogQuery.h"
#include "runlog/RunLogWriter.h"
#include "station/PrintedReport.h"
#include "station/RunRecorder.h"
#include "station/RunText.h"
#include "station/Scan.h"
#include "station/StationSettings.h"

namespace kt {
namespace {

// Exit statuses a script can tell apart.
// Refused: the station may not test now (a golden check due, the
// calibration overdue).
enum Status { Good = 0, Failed = 1, NoInstrument = 2, Refused = 3, Usage = 64 };

int UsageError(const QString& text) {
  std::fprintf(stderr, "kt6100-cli: %s\n(kt6100-cli --help for the usage)\n", text.toLocal8Bit().constData());
  return Usage;
}

int Fail(const std::string& text, int status) {
  std::fprintf(stderr, "%s\n", text.c_str());
  return status;
}

// The limits as the window would choose them, or as --profile names them.
// Limits that were asked for (by --profile, by the window's choice or by a
// product type) but cannot be used stop everything before the instrument
// hears a byte: a script must never take "no verdict" for a pass.
int ChooseLimits(RunRecorder& recorder, const QCommandLineParser& p, const std::string& productType, bool chinese) {
  std::vector<std::string> problems;
  recorder.LoadProfiles(ProfileFolder(), problems, chinese);
  for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
  const RunRecorder::Choice choice = p.isSet("profile")
                                         ? RunRecorder::Choice{p.value("profile").toStdString(), {}, false, true}
                                         : settings::RememberedLimits();
  std::string error;
  if (recorder.Choose(choice, error, chinese) != 0 && !choice.KeepUnavailable)
    return Fail(error + (chinese ? "\n未向测试仪发送任何命令。" : "\nNothing was sent to the instrument."),
                NoInstrument);
  if (p.isSet("rated-power")) {
    bool ok = false;
    const double watts = p.value("rated-power").toDouble(&ok);
    if (!ok || !(watts > 0.0 && watts <= 10000.0))
      return UsageError("--rated-power takes watts above 0 (at most 10000)");
    recorder.SetRatedPower(watts);
  }
  const ActiveLimits limits = recorder.LimitsFor(productType);
  if (limits.Source == LimitSource::Unavailable)
    return Fail(limits.Problem.Text(chinese) +
                    (chinese ? "\n未向测试仪发送任何命令。" : "\nNothing was sent to the instrument."),
                NoInstrument);
  if (!limits.Note.English.empty()) std::fprintf(stderr, "%s\n", limits.Note.Text(chinese).c_str());
  if (recorder.TypeMatchesNone(productType))
    std::fprintf(stderr, "type \"%s\" matches no profile: judged by the chosen limits\n", productType.c_str());
  const bool screening = limits.Source == LimitSource::ClassC || (limits.File && limits.File->RatedPowerW);
  if (p.isSet("rated-power") && !screening)
    std::fprintf(stderr, "--rated-power: the limits in force do not screen the mains harmonics; it is not used\n");
  return Good;
}

// How long a run waits for the log (or its outbox) before it is printed.
constexpr int LogWaitMs = 30000;

std::string Iso(std::int64_t utcMs) {
  return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(Qt::ISODateWithMs).toStdString();
}

class Printer {
 public:
  explicit Printer(OutputForm form) : form_(form) {}
  // False when stdout does not take the line (a closed pipe, a full disk).
  bool Print(const LoggedRun& run) {
    std::string text;
    if (form_ == OutputForm::Json) {
      text = RunJson(run) + "\n";
    } else if (form_ == OutputForm::Csv) {
      // The export's layout, so that a shift's runs and the log's export
      // read alike: byte-order mark, CRLF, ISO 8601 UTC times.
      if (!headerDone_) text = RunCsvHeader(run).toStdString();
      headerDone_ = true;
      text += RunCsvRow(run).toStdString();
    } else {
      text = RunTable(run);
    }
    return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
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
  const auto toFile = [&path](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(path));
    return true;
  };
  // The run's one verdict, as printed on stdout and kept in the log.
  const auto draw = [&](Canvas& canvas) { PrintKindReport(form, kind, form.Analysis, language, &verdict, canvas); };
  if (PrintReportPage(toFile, draw) == PrintResult::Printed) return Good;
  // The printer tells only that it failed: the file itself says why.
  QFile probe(QString::fromStdString(path));
  const std::string why =
      probe.open(QIODevice::Append) ? "the PDF could not be written" : probe.errorString().toStdString();
  return Fail("kt6100-cli: 打印失败! cannot write the report " + path + ": " + why, NoInstrument);
}

int StoreRun(Form& form, TestKind kind, int language, const std::string& path) {
  errno = 0;
  const bool stored = (kind == GaoTest || kind == BaoTest)
                          ? SaveAnalysisFile(form, *form.Analysis, language, path) == 0
                          : SaveRecord(form, *form.Kinds[static_cast<std::size_t>(kind)].Record, path) == 0;
  if (stored) return Good;
  return Fail("kt6100-cli: cannot store the run in " + path + ": " +
                  (errno ? std::strerror(errno) : "the file could not be written"),
              NoInstrument);
}

// The file --store or --report names for a run. In a series each run gets
// its own, stamped with the run's time as the log keeps it (local time, to
// the millisecond): NAME-20261207-153012-345.dat; a single run takes the
// name as given.
std::string FileFor(const std::string& chosen, const char* extension, bool series, std::int64_t timeMs) {
  if (!series) return chosen;
  QString stem = QString::fromStdString(chosen);
  if (stem.endsWith(extension, Qt::CaseInsensitive)) stem.chop(static_cast<int>(std::strlen(extension)));
  const QString stamp = QDateTime::fromMSecsSinceEpoch(timeMs).toString("yyyyMMdd-HHmmss-zzz");
  return (stem + "-" + stamp + extension).toStdString();
}

// The runs neither the log nor its outbox could take are lost when the
// program ends: they are named, and the command fails.
int HeldRunsAtExit(RunLogWriter* writer) {
  if (!writer) return Good;
  writer->WaitIdle(LogWaitMs);
  const std::vector<RunLogWriter::HeldRun> held = writer->HeldRuns();
  if (held.empty()) return Good;
  std::string list;
  for (const RunLogWriter::HeldRun& run : held)
    list += (list.empty() ? "" : ", ") + (run.Serial.empty() ? std::string("(no number)") : run.Serial) + " at " +
            Iso(run.TimeUtcMs);
  return Fail("kt6100-cli: " + std::to_string(held.size()) + " run(s) are neither in the run log (" +
                  writer->Log().Target.Describe() + ") nor in its outbox (" + writer->Log().OutboxDir +
                  ") and are lost as the program ends: " + list,
              NoInstrument);
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
      return UsageError(
          QString("--%1 holds at most %2 bytes (a Chinese character takes two)").arg(f.option).arg(f.size - 1));
    form.Info.*f.field = text;
  }
  return Good;
}

// What `run` was asked for.
struct RunOptions {
  TestKind kind = NoTest;
  bool continuous = false;
  int count = 1;
  int maxFailures = 0;  // link failures in a row that end a continuous test (0: none do)
  int language = 0;     // 0 Chinese, 1 English (--english)
  bool scan = false;    // --scan: the label's type and serial, the type's sequence
  bool serve = false;   // serve: a run the calibration refuses is refused when asked for
  ScanCode code;
  std::vector<TestKind> steps;  // a scan's kinds, filled once its limits are known
  // More than one run: a stop signal ends the series after the run under
  // way; a second one leaves that run too.
  bool Series() const { return continuous || count > 1; }
};

int ReadRunOptions(const QCommandLineParser& p, const QStringList& args, RunOptions& o) {
  o.language = p.isSet("english") ? 1 : 0;
  if (p.isSet("scan")) {
    // What a scan at the window does: the sequence comes from the label.
    if (args.size() != 1 || p.isSet("continuous") || p.isSet("count") || p.isSet("no") || p.isSet("type"))
      return UsageError("run --scan TEXT takes no KIND, --continuous, --count, --no or --type: the label gives them");
    ProfileMessage error;
    if (ParseScan(p.value("scan").toStdString(), settings::ScanSeparator(), o.code, error) != 0)
      return UsageError(QString::fromStdString(error.Text(o.language == 0)));
    o.scan = true;
    return Good;
  }
  if (args.size() != 2) return UsageError("run needs one KIND: input output comp start phase envelope hf");
  o.kind = CliKind(args[1].toStdString());
  if (o.kind == NoTest) return UsageError("unknown kind " + args[1]);
  o.continuous = p.isSet("continuous");
  if (p.isSet("count")) {
    bool ok = false;
    o.count = p.value("count").toInt(&ok);
    if (!ok || o.count < 1 || o.continuous)
      return UsageError("--count takes a number of runs from 1 (and not with --continuous)");
  }
  if (p.isSet("max-failures")) {
    bool ok = false;
    o.maxFailures = p.value("max-failures").toInt(&ok);
    if (!ok || o.maxFailures < 1 || !o.continuous)
      return UsageError("--max-failures takes a number from 1, with --continuous");
  }
  return Good;
}

// The test information, the limits, the log and the port, in this order:
// whatever cannot be used stops the command before the instrument hears a byte.
int PrepareStation(const QCommandLineParser& p, RunOptions& o, HeadlessTester& tester, RunRecorder& recorder) {
  const bool english = o.language == 1;
  Form& form = tester.form();
  form.ChineseMode = english ? 0 : 1;
  if (int s = FillInfo(form, p)) return s;
  if (o.scan) {
    form.Info.No = o.code.Serial;
    if (!o.code.Type.empty()) form.Info.Type = o.code.Type;
  }
  if (int s = ChooseLimits(recorder, p, form.Info.Type, !english)) return s;
  // An instrument past its calibration measures nothing for production.
  if (const ProfileMessage blocked = CalibrationBlock(recorder.Gate(0)); !blocked.English.empty() && !o.serve)
    return Fail("kt6100-cli: " + blocked.Text(!english) +
                    (english ? "\nNothing was sent to the instrument." : "\n未向测试仪发送任何命令。"),
                Refused);
  if (o.scan) {
    const ActiveLimits limits = recorder.LimitsFor(form.Info.Type);
    o.steps = ScanSteps(limits.File ? limits.File->Sequence : std::vector<TestKind>{}, InputTest);
  }
  if (!p.isSet("no-log")) {
    QString error;
    if (recorder.StartLog(settings::LogConfig(), error) != 0) return UsageError(error);
    if (RunLogWriter* w = recorder.Writer()) {
      QObject::connect(w, &RunLogWriter::Failed, [english](const QString& en, const QString& zh) {
        std::fprintf(stderr, "%s\n", (english ? en : zh).toLocal8Bit().constData());
      });
      // The writer started before this connect: what it found then is said again.
      w->RetryNow(true);
    }
  }
  std::string error;
  if (tester.Open(p.value("port").toStdString(), error) != 0) return Fail("kt6100-cli: " + error, NoInstrument);
  return Good;
}

// The window's pause between the runs of a continuous test, and before it
// tries a failed link again.
void PauseBetweenRuns() {
  const auto end = QDateTime::currentMSecsSinceEpoch() + 500;
  while (StopCount == 0 && QDateTime::currentMSecsSinceEpoch() < end) usleep(20000);
}

// The runs of one command, and what each leaves: its line on stdout, its
// place in the log, its stored file and its printed report.
class RunSeries {
 public:
  RunSeries(const QCommandLineParser& p, const RunOptions& o, HeadlessTester& tester, RunRecorder& recorder)
      : p_(p), o_(o), tester_(tester), recorder_(recorder), out_(FormOf(p)) {}

  // The command's status: the worst of its runs'.
  int Run() {
    if (o_.scan) return RunScan();
    for (int n = 0; o_.continuous || n < o_.count; ++n) {
      if (StopCount > 0) break;
      TestKind leg = o_.kind;
      LoggedRun run;
      const RunOutcome outcome = Measure(leg, run);
      if (outcome != RunOutcome::Completed) {
        if (!GoesOnAfter(leg, outcome)) break;
        continue;
      }
      failures_ = 0;
      if (!Keep(run)) break;
      if (o_.Series()) PauseBetweenRuns();
    }
    return status_;
  }

 private:
  // A scan's sequence: each kind once, in order, until one does not
  // complete; the status is the worst of its verdicts'.
  int RunScan() {
    std::vector<Verdict> verdicts;
    for (TestKind kind : o_.steps) {
      if (StopCount > 0) break;
      LoggedRun run;
      const RunOutcome outcome = tester_.Run(kind, true);
      if (outcome != RunOutcome::Completed) {
        GoesOnAfter(kind, outcome);
        // A sequence cut short is not a pass, whatever its runs so far said.
        status_ = std::max(status_, static_cast<int>(Failed));
        return status_;
      }
      if (!Keep(run, kind)) return status_;
      verdicts.push_back(run.Result);
    }
    // A golden unit's check passes only when its runs measured every figure
    // it lists; it then frees production until the next check is due.
    if (const GoldenUnit* golden = recorder_.GoldenUnitOfRun(); golden && verdicts.size() == o_.steps.size()) {
      const Verdict v = GoldenSequenceVerdict(*golden, verdicts);
      status_ = std::max(status_, StatusOf(v));
      if (!v.Reason.empty()) std::fprintf(stderr, "kt6100-cli: %s\n", v.Reason.c_str());
      if (v.Result == VerdictResult::Pass)
        recorder_.Audit(tester_.form().Info.Operator, GoldenPassedWhat, "", v.ProfileName);
    }
    return status_;
  }

  // One run of the kind asked for; `leg` is the part that ran last.
  RunOutcome Measure(TestKind& leg, LoggedRun& run) {
    RunOutcome outcome = RunOutcome::Completed;
    if (o_.kind == GaoTest) {
      // The analysis is of an envelope: it is taken first, as an operator
      // would in the analysis window.
      leg = BaoTest;
      outcome = tester_.Run(BaoTest, !o_.Series());
      if (outcome == RunOutcome::Completed)
        recorder_.LogRunAndWait(BaoTest, recorder_.Judging() ? recorder_.Judge(BaoTest) : Verdict{}, o_.language,
                                LogWaitMs, run);
    }
    if (outcome == RunOutcome::Completed) outcome = tester_.Run(leg = o_.kind, !o_.Series());
    return outcome;
  }

  // A run that did not complete is logged as an event and told; whether the
  // series goes on after it.
  bool GoesOnAfter(TestKind leg, RunOutcome outcome) {
    recorder_.LogEvent(leg, outcome);
    if (outcome == RunOutcome::Abandoned) return false;
    status_ = NoInstrument;
    std::fprintf(stderr, "kt6100-cli: %s\n", tester_.FailureText(leg, outcome).c_str());
    // A continuous test outlasts a switched-off instrument, as the window's
    // does; --max-failures in a row end it.
    if (!o_.continuous || ++failures_ == o_.maxFailures) return false;
    PauseBetweenRuns();
    return true;
  }

  // A completed run: judged, logged, printed, stored and reported. False
  // when stdout does not take it: no further run.
  bool Keep(LoggedRun& run) { return Keep(run, o_.kind); }
  bool Keep(LoggedRun& run, TestKind kind) {
    const bool several = o_.Series() || o_.steps.size() > 1;
    const Verdict verdict = recorder_.Judging() ? recorder_.Judge(kind) : Verdict{};
    // Printed only once it is in the log (or the outbox): a line a script
    // has read is never a run the log lacks.
    recorder_.LogRunAndWait(kind, verdict, o_.language, LogWaitMs, run);
    if (!out_.Print(run)) {
      status_ = Fail(std::string("kt6100-cli: stdout cannot be written (") + std::strerror(errno) + "): " +
                         (run.Id.empty() ? "the last run is not logged" : "the last run is logged as " + run.Id) +
                         "; no further run",
                     NoInstrument);
      return false;
    }
    status_ = std::max(status_, StatusOf(verdict));
    Form& form = tester_.form();
    if (p_.isSet("store")) {
      const char* extension = kind == GaoTest || kind == BaoTest ? ".bdt" : ".dat";
      const std::string path =
          WithExtension(FileFor(p_.value("store").toStdString(), extension, several, run.TimeUtcMs), extension);
      if (StoreRun(form, kind, o_.language, path) != Good) status_ = NoInstrument;
    }
    if (p_.isSet("report") &&
        PrintReport(form, kind, verdict, o_.language,
                    FileFor(p_.value("report").toStdString(), ".pdf", several, run.TimeUtcMs)) != Good)
      status_ = NoInstrument;
    return true;
  }

  const QCommandLineParser& p_;
  const RunOptions& o_;
  HeadlessTester& tester_;
  RunRecorder& recorder_;
  Printer out_;
  int status_ = Good;
  int failures_ = 0;  // link failures in a row
};

// What a scan must pass before the instrument hears a byte: the golden
// check and the calibration, as the window's scan field does (status 3 when
// refused). The window asks before it retests a serial that passed today; a
// script cannot be asked, so it is told, and the statistics count the run as
// a retest either way.
int ScanGate(RunRecorder& recorder, const std::string& serial, bool chinese) {
  std::int64_t lastPass = 0, goldenPass = 0;
  LoggedPasses(recorder, serial, lastPass, goldenPass);
  const ProfileMessage blocked = BlockedBecause(recorder.Gate(goldenPass));
  if (!blocked.English.empty())
    return Fail("kt6100-cli: " + blocked.Text(chinese) +
                    (chinese ? "\n未向测试仪发送任何命令。" : "\nNothing was sent to the instrument."),
                Refused);
  if (lastPass > 0 && !recorder.GoldenUnitOfRun()) {
    const std::string at = QDateTime::fromMSecsSinceEpoch(lastPass).toString("HH:mm:ss").toStdString();
    std::fprintf(stderr, "%s\n",
                 (chinese ? "编号 " + serial + " 今天 " + at + " 已测试合格：本次为重测"
                          : "serial " + serial + " passed today at " + at + ": this run is a retest")
                     .c_str());
  }
  return Good;
}

int RunCommand(const QCommandLineParser& p, const QStringList& args) {
  RunOptions o;
  if (int s = ReadRunOptions(p, args, o)) return s;
  HeadlessTester tester(isatty(STDERR_FILENO) != 0);
  RunRecorder recorder(tester.form());
  if (int s = PrepareStation(p, o, tester, recorder)) return s;
  if (o.scan)
    if (int s = ScanGate(recorder, o.code.Serial, o.language == 0)) return s;
  CatchStopSignals();
  const int status = RunSeries(p, o, tester, recorder).Run();
  tester.Close();
  if (HeldRunsAtExit(recorder.Writer()) != Good) return NoInstrument;
  if (StopSignal != 0) return 128 + StopSignal;
  return status;
}

// The station as a SCPI instrument on TCP, until SIGINT or SIGTERM.
int ServeCommand(const QCommandLineParser& p, const QStringList& args) {
  if (args.size() != 1 || p.isSet("scan") || p.isSet("count") || p.isSet("continuous"))
    return UsageError("serve takes no KIND: serve [--port DEVICE] [--listen ADDR:PORT] [--allow ADDR,...]");
  ServeOptions serve;
  QStringList allowed;
  for (const std::string& a : settings::RemoteAllowed()) allowed += QString::fromStdString(a);
  for (const QString& a : p.values("allow")) allowed += a.split(',', Qt::SkipEmptyParts);
  for (const QString& a : allowed) {
    QHostAddress address;
    if (!address.setAddress(a.trimmed())) return UsageError("--allow: not an address: " + a);
    serve.Allowed.push_back(address);
  }
  // Peers allowed from elsewhere must be able to reach it.
  const std::string listen =
      p.isSet("listen") ? p.value("listen").toStdString() : settings::RemoteListen(!serve.Allowed.empty());
  if (ParseListen(listen, serve.Address, serve.Port) != 0)
    return UsageError("--listen: ADDR:PORT, e.g. 127.0.0.1:5025 or [::1]:5025");
  serve.Folder = p.isSet("files") ? p.value("files").toStdString() : settings::RemoteFolder();
  if (!QDir().mkpath(QString::fromStdString(serve.Folder)))
    return Fail("kt6100-cli: cannot make the folder " + serve.Folder, NoInstrument);
  RunOptions o;
  o.language = p.isSet("english") ? 1 : 0;
  o.serve = true;
  HeadlessTester tester(false);
  RunRecorder recorder(tester.form());
  if (int s = PrepareStation(p, o, tester, recorder)) return s;
  CatchStopSignals();
  const int status = Serve(tester, recorder, serve);
  tester.Close();
  if (HeldRunsAtExit(recorder.Writer()) != Good) return NoInstrument;
  return status;
}

int ShowCommand(const QCommandLineParser& p, const QStringList& args) {
  if (args.size() != 2) return UsageError("show needs one FILE");
  const std::string path = args[1].toStdString();
  QFile file(args[1]);
  if (!file.open(QIODevice::ReadOnly))
    return Fail("打开数据文件失败! " + path + ": " + file.errorString().toStdString(), NoInstrument);
  // A larger one is not read into memory.
  if (file.size() > static_cast<qint64>(LargestDataFile))
    return Fail("打开数据文件失败! " + path + ": " + std::to_string(file.size()) + " bytes, larger than any data file",
                NoInstrument);
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

// A day as the operator means it: a bare date is the whole of that day
// (--until takes it in); a date with a time is that moment.
int ParseDay(const QString& text, bool endOfDay, std::optional<std::int64_t>& ms) {
  const QDate day = QDate::fromString(text, "yyyy-MM-dd");
  const QDateTime t = day.isValid() ? QDateTime(endOfDay ? day.addDays(1) : day, QTime(0, 0))
                                    : QDateTime::fromString(text, Qt::ISODate);
  if (!t.isValid()) return 1;
  ms = t.toMSecsSinceEpoch();
  return 0;
}

// The events (link failures, abandoned runs) as a table on stdout, or as CSV
// in the form of the runs' export (the log window's events file).
int EventsCommand(QSqlDatabase& db, const RunFilter& filter, const QString& csv) {
  QString error;
  if (!csv.isEmpty()) {
    std::int64_t exported = 0;
    if (ExportEventsCsv(db, filter, csv, exported, error) != 0)
      return Fail("kt6100-cli: cannot write " + csv.toStdString() + ": " + error.toStdString(), NoInstrument);
    std::fprintf(stderr, "%lld events exported to %s\n", static_cast<long long>(exported),
                 csv.toLocal8Bit().constData());
    return Good;
  }
  std::vector<EventRow> rows;
  if (QueryEvents(db, filter, rows, error) != 0)
    return Fail("kt6100-cli: the run log's events: " + error.toStdString(), NoInstrument);
  QByteArray text;
  for (const EventRow& e : rows)
    text += QStringList{QString::fromStdString(Iso(e.TimeUtcMs)), QString::fromStdString(KindName(e.Kind, false)),
                        QString::fromStdString(e.Station), QString::fromStdString(e.What), QString::fromStdString(e.Id)}
                .join('\t')
                .toUtf8() +
            "\n";
  if (std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout) !=
          static_cast<std::size_t>(text.size()) ||
      std::fflush(stdout) != 0)
    return Fail(std::string("kt6100-cli: stdout cannot be written: ") + std::strerror(errno), NoInstrument);
  std::fprintf(stderr, "%zu events\n", rows.size());
  return Good;
}

// The audit trail as CSV, into --csv FILE (replaced only when whole) or
// onto stdout.
int AuditCommand(QSqlDatabase& db, const RunFilter& filter, const QString& csv) {
  QString error;
  std::int64_t rows = 0;
  QSaveFile file(csv);
  QFile out;
  QIODevice* target = &file;
  if (csv.isEmpty()) {
    if (!out.open(stdout, QIODevice::WriteOnly)) return Fail("kt6100-cli: stdout cannot be written", NoInstrument);
    target = &out;
  } else if (!file.open(QIODevice::WriteOnly)) {
    return Fail("kt6100-cli: cannot write " + csv.toStdString() + ": " + file.errorString().toStdString(),
                NoInstrument);
  }
  if (ExportAuditCsv(db, filter, *target, rows, error) != 0 || (!csv.isEmpty() && !file.commit()) ||
      (csv.isEmpty() && !out.flush()))
    return Fail("kt6100-cli: the audit trail: " + (error.isEmpty() ? target->errorString() : error).toStdString(),
                NoInstrument);
  std::fprintf(stderr, "%lld audit entries\n", static_cast<long long>(rows));
  return Good;
}

// The logged runs judged again by --profile from their records; the log is
// only read. Each record is decoded as the window opens a file.
int RejudgeCommand(const QCommandLineParser& p, QSqlDatabase& db, const RunFilter& filter, const QString& csv) {
  HeadlessTester tester(false);
  RunRecorder recorder(tester.form());
  if (int s = ChooseLimits(recorder, p, "", false)) return s;
  const ActiveLimits limits = recorder.LimitsFor("");
  const RejudgeRun judge = [&](const LoggedRun& logged, const std::vector<std::uint8_t>& record) {
    return RejudgeRecord(limits, logged.Kind, record);
  };
  RejudgeCounts counts;
  QString error;
  if (RejudgeRunsCsv(db, filter, judge, csv, counts, error) != 0)
    return Fail("kt6100-cli: " + error.toStdString(), NoInstrument);
  std::fprintf(stderr, "%lld runs judged again, %lld changed, %lld could not be judged; written to %s\n",
               static_cast<long long>(counts.Runs), static_cast<long long>(counts.Changed),
               static_cast<long long>(counts.Unjudged), csv.toLocal8Bit().constData());
  return Good;
}

int LogCommand(const QCommandLineParser& p, const QStringList& args) {
  const QString what = args.value(1);
  if (!(((what == "export" || what == "events" || what == "rejudge" || what == "audit") && args.size() == 2) ||
        (what == "import" && args.size() == 3)))
    return UsageError(
        "log export --csv FILE, log events [--csv FILE], log audit [--csv FILE], log rejudge --profile P --csv FILE, "
        "or log import FOLDER");
  const QString csv = p.value("csv-file");
  if (what == "export" && csv.isEmpty()) return UsageError("log export needs --csv FILE");
  if (what == "rejudge" && (csv.isEmpty() || !p.isSet("profile")))
    return UsageError("log rejudge needs --profile P and --csv FILE");
  if (what == "events" && (p.isSet("type") || p.isSet("verdict")))
    return UsageError("log events takes --since, --until and --kind");
  if (what == "audit" && (p.isSet("type") || p.isSet("verdict") || p.isSet("kind")))
    return UsageError("log audit takes --since and --until");
  RunFilter filter;
  if (p.isSet("since") && ParseDay(p.value("since"), false, filter.FromMs) != 0)
    return UsageError("--since: a date like 2026-12-07");
  if (p.isSet("until") && ParseDay(p.value("until"), true, filter.ToMs) != 0)
    return UsageError("--until: a date like 2026-12-07");
  filter.Type = p.value("type").toStdString();
  if (p.isSet("kind")) {
    const TestKind k = CliKind(p.value("kind").toStdString());
    if (k == NoTest) return UsageError("unknown kind " + p.value("kind"));
    filter.Kind = k;
  }
  if (p.isSet("verdict")) {
    const QString v = p.value("verdict").toLower();
    const VerdictResult r = v == "pass"               ? VerdictResult::Pass
                            : v == "fail"             ? VerdictResult::Fail
                            : v == "incomplete"       ? VerdictResult::Incomplete
                            : v == "n/a" || v == "na" ? VerdictResult::NotApplicable
                            : v == "none"             ? VerdictResult::None
                                                      : static_cast<VerdictResult>(-1);
    if (r == static_cast<VerdictResult>(-1)) return UsageError("--verdict: pass, fail, incomplete, na or none");
    filter.Result = r;
  }
  ResolvedLog resolved;
  QString error;
  if (ResolveRunLogConfig(settings::LogConfig(), resolved, error) != 0) return UsageError(error);
  if (resolved.Target.Kind == LogTarget::Driver::None) return Fail("kt6100-cli: the run log is off", NoInstrument);
  RunLogConnection log;
  if (log.Open(resolved.Target, error) != 0) return Fail("kt6100-cli: " + error.toStdString(), NoInstrument);
  QSqlDatabase db = log.Db();
  if (what == "import") {
    ImportResult result;
    if (ImportFolder(db, args[2].toStdString(), DecodeStoredRun, resolved.Station, result, error) != 0)
      return Fail("kt6100-cli: " + error.toStdString(), NoInstrument);
    for (const auto& [file, reason] : result.Refused) std::fprintf(stderr, "%s: %s\n", file.c_str(), reason.c_str());
    std::fprintf(stderr, "%d imported, %d already in the log, %zu refused\n", result.Imported, result.AlreadyPresent,
                 result.Refused.size());
    return result.Refused.empty() ? Good : Failed;
  }
  if (what == "events") return EventsCommand(db, filter, csv);
  if (what == "audit") return AuditCommand(db, filter, csv);
  if (what == "rejudge") return RejudgeCommand(p, db, filter, csv);
  std::int64_t rows = 0;
  if (ExportRunsCsv(db, filter, RunColumn::Time, false, csv, rows, error) != 0)
    return Fail("kt6100-cli: " + error.toStdString(), NoInstrument);
  std::fprintf(stderr, "%lld runs exported to %s\n", static_cast<long long>(rows), csv.toLocal8Bit().constData());
  return Good;
}

// One port a line, its fields tab-separated and kept when empty: device,
// description, manufacturer, serial number, and "chosen" on the device a run
// opens without --port (listed even when it is not present).
int PortsCommand() {
  const std::string chosen = WindowDevice();
  bool listed = false;
  for (const PortEntry& port : SystemPorts(".")) {
    listed = listed || port.Device == chosen;
    std::printf("%s\t%s\t%s\t%s\t%s\n", port.Device.c_str(), port.Description.c_str(), port.Manufacturer.c_str(),
                port.Serial.c_str(), port.Device == chosen ? "chosen" : "");
  }
  if (!listed) std::printf("%s\t\t\t\tchosen, not present\n", chosen.c_str());
  return std::fflush(stdout) == 0 ? Good : NoInstrument;
}

const char* const Description =
    "The KT6100 tester without a window.\n\n"
    "  run KIND      one test run (input output comp start phase envelope hf)\n"
    "  run --scan T  a scanned label's test sequence\n"
    "  show FILE     a stored *.dat or *.bdt file\n"
    "  log export    the run log as CSV (--csv FILE); log import FOLDER\n"
    "  log rejudge   the logged runs judged again by --profile P, old and new verdict (--csv FILE)\n"
    "  log events    the link failures and abandoned runs (a table, or --csv FILE)\n"
    "  log audit     the audit trail: sign-ins, changes of limits, port, log, users, overrides (CSV)\n"
    "  ports         the serial ports present, tab-separated; \"chosen\" marks the one run uses\n"
    "  serve         the station as a SCPI instrument on TCP (--listen, default 127.0.0.1:5025) until SIGINT\n\n"
    "Exit status: 0 pass, n/a or no limits; 1 fail or incomplete, or files refused by log import;\n"
    "2 no answer, no port, a bad file, stdout closed or runs in no log at the end;\n"
    "64 a usage error; 130/143 stopped by SIGINT/SIGTERM.";

QList<QCommandLineOption> Options() {
  QCommandLineOption csvFile("csv-file", "", "FILE");
  csvFile.setFlags(QCommandLineOption::HiddenFromHelp);
  return {
      csvFile,
      {"port", "The serial device (/dev/ttyUSB0) or COM1/COM2; default: the window's choice.", "DEVICE"},
      {"count", "This many runs.", "N"},
      {"continuous", "Runs until SIGINT or SIGTERM; a link failure is told, logged and tried again after 500 ms."},
      {"max-failures", "With --continuous: ends it after N link failures in a row (status 2).", "N"},
      {"profile",
       "The limits: a profile's name or file; default: the window's choice. Wins over a profile of the --type.",
       "NAME|FILE"},
      {"rated-power",
       "The product's rated input power for the harmonic screening: it picks the screening's branch "
       "(default: the profile's, else the measured power).",
       "W"},
      {"no", "The sample's number.", "NO"},
      {"type", "The product type (also: log export's filter).", "TYPE"},
      {"operator", "The operator's name.", "NAME"},
      {"store", "Stores the run as the window's File > Store does; in a series each run as FILE-<its time>.dat.",
       "FILE"},
      {"report", "Prints the run's report into this PDF; in a series each run's as FILE-<its time>.pdf.", "FILE.pdf"},
      {"english", "English reports and files (default: Chinese, as the window starts)."},
      {"json", "One JSON object a run on stdout."},
      {"csv", "CSV on stdout. With log export and log events: --csv FILE, the file to write."},
      {"no-log", "The run is not kept in the run log."},
      {"scan",
       "run: what a scan at the window does: TYPE*SERIAL or SERIAL fills the number (and type), the type's profile "
       "judges, its sequence runs (else input); the status is the worst verdict's.",
       "TEXT"},
      {"since", "log export, log events, log rejudge: from this day (or moment).", "DATE"},
      {"until", "log export, log events, log rejudge: to this day, inclusive (or to this moment).", "DATE"},
      {"kind", "log export, log events, log rejudge: of this kind.", "KIND"},
      {"verdict", "log export, log rejudge: runs with this verdict.", "V"},
      {"listen",
       "serve: the address and port to listen on (default 127.0.0.1:5025, with --allow 0.0.0.0:5025; port 0: any "
       "free one).",
       "ADDR:PORT"},
      {"allow", "serve: peers let in besides the loopback (addresses, comma-separated; may repeat).", "ADDR"},
      {"files", "serve: the folder MMEMory:STORe and HCOPy:FILE write into (default: the program's data folder).",
       "DIR"},
  };
}

// The command: the first argument that is neither an option nor the value
// of an option that takes one.
QString CommandOf(const QStringList& arguments, const QList<QCommandLineOption>& options) {
  QStringList valued;
  for (const QCommandLineOption& o : options)
    if (!o.valueName().isEmpty()) valued += o.names();
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == "--") return arguments.value(i + 1);
    if (!a.startsWith('-')) return a;
    if (!a.contains('=') && valued.contains(a.mid(a.startsWith("--") ? 2 : 1))) ++i;
  }
  return {};
}

}  // namespace

int ParseCommandLine(QCommandLineParser& p, QStringList arguments, QString& error) {
  p.setApplicationDescription(Description);
  p.addHelpOption();
  p.addVersionOption();
  p.addPositionalArgument("command", "run, show, log, ports or serve");
  const QList<QCommandLineOption> options = Options();
  p.addOptions(options);
  // "--csv" is a switch for run and show, and takes the file for the log's
  // commands, wherever the other options stand.
  if (CommandOf(arguments, options) == "log")
    for (QString& a : arguments)
      if (a == "--csv" || a.startsWith("--csv=")) a.replace(0, 5, "--csv-file");
  if (p.parse(arguments)) return 0;
  error = p.errorText().replace("--csv-file", "--csv");
  return 1;
}

int RunCommandLine(const QStringList& arguments) {
  QCommandLineParser p;
  QString error;
  if (ParseCommandLine(p, arguments, error) != 0) return UsageError(error);
  if (p.isSet("help") || p.isSet("help-all")) {
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
  if (command == "serve") return ServeCommand(p, args);
  if (command == "log") return LogCommand(p, args);
  if (command == "ports" && args.size() == 1) return PortsCommand();
  return UsageError(command.isEmpty() ? "a command is needed" : "unknown command " + command);
}

}  // namespace kt
