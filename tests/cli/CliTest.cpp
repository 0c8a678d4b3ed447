// The command-line program as a script runs it: a real process against the
// simulator on a pseudo-terminal, its stdout, stderr and exit status.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include "cli/CliCommands.h"
#include "sim/SimProcess.h"
#include "support/Files.h"

namespace kt::test {
namespace {

struct Result {
  int status = -1;
  std::string out, err;
};

// A folder with the simulated instrument linked as COM2, settings and log
// of its own.
struct CliRig {
  TempDir folder{true};
  sim::SimProcess sim{KT6100_SIM_PATH};
  explicit CliRig(std::vector<std::string> simArgs = {}) {
    setenv("XDG_CONFIG_HOME", folder.File("config").c_str(), 1);
    setenv("XDG_DATA_HOME", folder.File("data").c_str(), 1);
    setenv("KT6100_PROFILES", folder.File("profiles").c_str(), 1);
    simArgs.insert(simArgs.begin(), {"--link", folder.File("COM2"), "--exit-with-parent", "--seed", "5"});
    if (sim.Start(simArgs) != 0) throw std::runtime_error(sim.Error());
  }
  // Runs kt6100-cli; `stopWith`: sent once `when` is on its stdout or stderr
  // (the run is under way once the handshake has been answered); a negative
  // `stopWith`: its stdout is a pipe nobody reads.
  Result Cli(const std::vector<std::string>& args, int stopWith = 0, const std::string& when = "0%") {
    // Not the last run's words: the wait below reads this run's.
    for (const char* file : {"out", "err"}) std::filesystem::remove(folder.File(file));
    const pid_t pid = fork();
    if (pid == 0) {
      int pipeEnds[2];
      if (stopWith < 0 && pipe(pipeEnds) == 0 && close(pipeEnds[0]) == 0)
        dup2(pipeEnds[1], STDOUT_FILENO);
      else
        freopen(folder.File("out").c_str(), "w", stdout);
      freopen(folder.File("err").c_str(), "w", stderr);
      std::vector<char*> argv{const_cast<char*>(KT6100_CLI_PATH)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(KT6100_CLI_PATH, argv.data());
      _exit(127);
    }
    for (int i = 0; stopWith > 0 && i < 1000 &&
                    (ReadText(folder.File("out")) + ReadText(folder.File("err"))).find(when) == std::string::npos;
         ++i)
      usleep(10000);
    if (stopWith > 0) kill(pid, stopWith);
    int raw = 0;
    waitpid(pid, &raw, 0);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), ReadText(folder.File("out")),
            ReadText(folder.File("err"))};
  }
};

TEST(Cli, EveryKindRunsAndItsStoredFileShowsTheSameFigures) {
  CliRig rig;
  const struct {
    const char* kind;
    const char* file;
    const char* figure;  // one the kind measures; the envelope is only curves
  } kinds[] = {{"input", "r.dat", "Urms"},  {"output", "r.dat", "Pout"}, {"comp", "r.dat", "PF"},
               {"start", "r.dat", "PeakU"}, {"phase", "r.dat", "Urms"},  {"envelope", "r.bdt", nullptr},
               {"hf", "r.bdt", "WaveRmsIl"}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.kind);
    const Result run = rig.Cli({"run", k.kind, "--json", "--no-log", "--store", "r", "--no", "A-17"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto live = nlohmann::json::parse(run.out);
    EXPECT_EQ(live["kind"], k.kind);
    EXPECT_EQ(live["test_info"]["no"], "A-17");
    EXPECT_TRUE(live["verdict"]["result"].is_null()) << "no limits chosen";
    if (k.figure) {
      EXPECT_TRUE(live["figures"][k.figure].is_number()) << k.figure;
    }
    if (std::string(k.kind) == "input") {
      EXPECT_EQ(live["arrays"]["CurrentHarmonicPct"].size(), 40u);
    }
    const Result shown = rig.Cli({"show", rig.folder.File(k.file), "--json"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const auto stored = nlohmann::json::parse(shown.out);
    EXPECT_EQ(stored["kind"], k.kind);
    EXPECT_EQ(stored["figures"], live["figures"]);
    EXPECT_EQ(stored["arrays"], live["arrays"]);
  }
}

// Every verdict and every way limits can fail to be read, against an
// instrument whose mains input is built by hand where a verdict needs it.
// Limits that cannot be read stop the run before the port is opened (its
// own message would follow otherwise): nothing reaches the instrument.
TEST(Cli, ExitStatusesTellEachVerdictAndEveryRefusal) {
  CliRig rig;
  const std::string profiles = rig.folder.File("profiles"), nowhere = rig.folder.File("no-such-tty");
  std::filesystem::create_directory(profiles);
  const auto write = [&](const std::string& name, const std::string& rules, const std::string& extra = "") {
    std::ofstream(profiles + "/" + name + ".json")
        << R"({"name": ")" + name + "\"" + extra + R"(, "rules": [)" + rules + "]}";
  };
  write("Mains", R"({"figure": "Urms", "min": 200})");
  write("Typed", R"({"figure": "PF", "max": 0.1})", R"(, "type": "EB-136")");
  write("twin-a", R"({"figure": "PF", "max": 1})", R"(, "type": "EB-2")");
  write("twin-b", R"({"figure": "PF", "min": 0})", R"(, "type": "eb-2 ")");
  std::ofstream(rig.folder.File("fail.json")) << R"({"name": "Strict", "rules": [{"figure": "PF", "max": 0.1}]})";
  std::ofstream(rig.folder.File("slip.json")) << R"({"name": "Slip", "rules": [{"figure": "CFi", "max": 1,7}]})";
  mkfifo(rig.folder.File("fifo.json").c_str(), 0600);
  std::filesystem::create_directory(rig.folder.File("old"));
  std::ofstream(rig.folder.File("old/x.dat")) << "not a record";
  const std::string none = rig.folder.File("none/r");
  const std::string classC = "iec-61000-3-2-class-c";
  // A 15 W lamp whose current jumps to its peak 63.3° after the zero crossing.
  const std::vector<std::string> step{"--mains-power", "15", "--mains-current", "63.3,63.3,150"};
  const struct {
    std::vector<std::string> sim, args;
    int status;
    std::vector<std::string> said;  // on stdout or stderr
    // clang-format off
  } cases[] = {
      {{}, {"run", "input", "--json"}, 0, {R"("verdict":{"result":null)"}},
      {{}, {"run", "input", "--profile", "Mains"}, 0, {"PASS  (Mains)"}},
      {{}, {"run", "input", "--profile", rig.folder.File("fail.json"), "--json"}, 1, {R"("outcome":"fail")"}},
      {{}, {"run", "input", "--profile", classC}, 1, {"FAIL", "screening, single capture", "P 36.", "3rd ≤ 30·λ %"}},
      {{}, {"run", "output", "--profile", classC}, 0, {"N/A", "does not measure the mains current's harmonics"}},
      {{}, {"run", "input", "--profile", classC, "--rated-power", "20"}, 0, {"PASS", "rated power 20.0 W ≤ 25 W, branch by rated power"}},
      {{}, {"run", "input", "--type", " eb-136\u3000"}, 1, {"FAIL  (Typed)"}},
      {{}, {"run", "input", "--type", "EB-136", "--profile", "Mains"}, 0, {"PASS  (Mains)"}},
      {{}, {"run", "input", "--type", "EB-9"}, 0, {"type \"EB-9\" matches no profile"}},
      {{}, {"run", "input", "--type", "EB-2", "--port", nowhere, "--english"}, 2, {"\"twin-a.json\" and \"twin-b.json\" both claim", "Nothing was sent"}},
      {{}, {"run", "input", "--profile", rig.folder.File("slip.json"), "--port", nowhere, "--english"}, 2, {"\"slip.json\": not valid JSON"}},
      {{}, {"run", "input", "--profile", rig.folder.File("fifo.json"), "--port", nowhere, "--english"}, 2, {"\"fifo.json\": is not a regular file"}},
      {{}, {"run", "input", "--profile", "nowhere.json", "--port", nowhere}, 2, {"nowhere.json"}},
      {{}, {"run", "input", "--port", nowhere}, 2, {"打开通讯口失败！", "cannot open the port " + nowhere + ": No such file or directory"}},
      {{}, {"run", "input", "--store", none}, 2, {"cannot store the run in " + none + ".dat: No such file or directory"}},
      {{}, {"run", "input", "--report", none + ".pdf"}, 2, {"cannot write the report " + none + ".pdf: No such file or directory"}},
      {{}, {"run", "envelope"}, 0, {"an envelope has no figures"}},
      {{}, {"log", "import", rig.folder.File("old")}, 1, {"x.dat: 数据文件格式错误!", "0 imported, 0 already in the log, 1 refused"}},
      {{}, {"--help-all"}, 0, {"  --csv  ", "--max-failures <N>", "log events"}},
      {{}, {"run", "lamp"}, 64, {"unknown kind lamp"}},
      {{}, {"run", "input", "--count", "0"}, 64, {"--count"}},
      {{}, {"run", "input", "--json", "--csv"}, 64, {"not both"}},
      {{}, {"show", rig.folder.File("fail.json")}, 2, {"数据文件格式错误!"}},
      {{}, {"ports"}, 0, {"./COM2\tCOM2 -> /dev/pts/", "\t\t\tchosen\n"}},
      {{"--delay-block", "2", "--delay-ms", "3000"}, {"run", "input"}, 2, {"block 2 of 3 did not come within 2000 ms on ./COM2"}},
      {{"--vanish-at-block", "2"}, {"run", "input"}, 2, {"the line ./COM2 went away during block 2 of 3"}},
      {step, {"run", "phase", "--profile", classC}, 1, {"FAIL", "Begin Phase 6", "° > 60 °", "none of options (a), (b), (c) met"}},
      {step, {"run", "input", "--profile", classC, "--json"}, 1, {R"("result":"INCOMPLETE")", R"("detail":"needs the phase-angle test)",
                                                                  R"("missing":["PhaseBegin","PhasePeak","PhaseEnd"])", R"("option":"c")"}},
      {{"--reverse-current"}, {"run", "input", "--profile", classC}, 1, {"INCOMPLETE", "is negative: is the current channel reversed?"}},
  };
  // clang-format on
  std::vector<std::string> simArgs;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1 % c.args.size()]);
    if (c.sim != simArgs) {
      simArgs = c.sim;
      rig.sim.Stop();
      std::vector<std::string> all{"--link", rig.folder.File("COM2"), "--exit-with-parent", "--seed", "5"};
      all.insert(all.end(), simArgs.begin(), simArgs.end());
      ASSERT_EQ(rig.sim.Start(all), 0);
    }
    std::vector<std::string> args = c.args;
    if (args[0] == "run") args.push_back("--no-log");
    const Result r = rig.Cli(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    for (const std::string& said : c.said)
      EXPECT_NE((r.out + r.err).find(said), std::string::npos) << said << "\n" << r.out << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists("Port.cfg")) << "the window's file, never the command line's";
  // Neither the log nor its outbox can be written: the run is named at the end.
  std::ofstream(rig.folder.File("full"));
  setenv("XDG_DATA_HOME", rig.folder.File("full").c_str(), 1);
  const Result held = rig.Cli({"run", "input", "--no", "SN-9"});
  setenv("XDG_DATA_HOME", rig.folder.File("data").c_str(), 1);
  EXPECT_EQ(held.status, 2);
  EXPECT_NE(held.err.find("1 run(s) are neither in the run log"), std::string::npos) << held.err;
  EXPECT_NE(held.err.find("lost as the program ends: SN-9 at 20"), std::string::npos) << held.err;

  // A profile damaged since the last session, chosen in the settings or
  // claiming the run's type: refused, never "no limits".
  std::filesystem::remove(profiles + "/Typed.json");
  std::ofstream(profiles + "/t8.json")
      << R"({"name": "T8", "type": "EB-136", "rules": [{"figure": "CFi", "max": 1,7}]})";
  const Result typed = rig.Cli({"run", "input", "--no-log", "--type", "EB-136", "--port", nowhere, "--english"});
  EXPECT_EQ(typed.status, 2);
  EXPECT_NE(typed.err.find("\"t8.json\": not valid JSON"), std::string::npos) << typed.err;
  std::filesystem::create_directories(rig.folder.File("config/KT6100"));
  std::ofstream(rig.folder.File("config/KT6100/kt6100.conf")) << "[limits]\nactive=T8\nactiveFile=t8.json\n";
  const Result chosen = rig.Cli({"run", "input", "--no-log", "--port", nowhere, "--english"});
  EXPECT_EQ(chosen.status, 2);
  EXPECT_NE(chosen.err.find("\"t8.json\": not valid JSON"), std::string::npos) << chosen.err;
  // An instrument that never answers: the window's message, then status 2.
  rig.sim.Stop();
  ASSERT_EQ(rig.sim.Start({"--link", rig.folder.File("COM2"), "--exit-with-parent", "--silent"}), 0);
  const Result silent = rig.Cli({"run", "output", "--no-log", "--profile", "Mains"});
  EXPECT_EQ(silent.status, 2);
  EXPECT_NE(silent.err.find("通讯联络失败！"), std::string::npos) << silent.err;
}

// An option's value is never taken for the command: "--csv" names the log's
// file wherever the other options stand, and stays a switch for run.
TEST(Cli, CsvNamesTheLogsFileWhereverTheOptionsStand) {
  struct Case {
    QStringList args;
    QString command, file;
    bool csv;
  };
  for (const Case& c : std::vector<Case>{{{"--kind", "comp", "log", "export", "--csv", "f"}, "log", "f", false},
                                         {{"log", "export", "--csv=g.csv"}, "log", "g.csv", false},
                                         {{"--port", "log", "run", "input", "--csv"}, "run", "", true}}) {
    QCommandLineParser p;
    QString error;
    ASSERT_EQ(ParseCommandLine(p, QStringList{"kt6100-cli"} + c.args, error), 0) << error.toStdString();
    EXPECT_TRUE(p.positionalArguments().value(0) == c.command && p.value("csv-file") == c.file &&
                p.isSet("csv") == c.csv)
        << c.args.join(' ').toStdString();
  }
}

TEST(Cli, SignalsLeaveARunOrEndASeriesAndRunsAreLogged) {
  CliRig rig({"--no-blocks"});
  // A start test waits for its block without a deadline: SIGTERM leaves it.
  EXPECT_EQ(rig.Cli({"run", "start"}, SIGTERM).status, 143);
  rig.sim.Stop();
  ASSERT_EQ(rig.sim.Start({"--link", rig.folder.File("COM2"), "--exit-with-parent"}), 0);
  // A series stops after the run under way on the first SIGINT, its lines
  // whole, each run stored in a file of its own.
  const Result series = rig.Cli({"run", "input", "--continuous", "--csv", "--store", "s.dat"}, SIGINT);
  EXPECT_EQ(series.status, 130);
  std::istringstream lines(series.out);
  std::string header, line;
  std::getline(lines, header);
  EXPECT_EQ(header.substr(0, 34), "\xEF\xBB\xBFid,time_utc,station,kind,serial");
  std::vector<std::string> ids;
  while (std::getline(lines, line)) {
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), std::count(header.begin(), header.end(), ','));
    // The export's layout: the logged id, then its time to the millisecond.
    EXPECT_TRUE(line[36] == ',' && line[60] == 'Z' && line[61] == ',' && line.back() == '\r') << line;
    ids.push_back(line.substr(0, 36));
  }
  EXPECT_GE(ids.size(), 1u);
  std::size_t stored = 0;
  for (const auto& file : std::filesystem::directory_iterator(rig.folder.path))
    stored += file.path().filename().string().starts_with("s-");
  EXPECT_EQ(stored, ids.size());
  // A reader gone: the run is logged, then the command ends.
  const Result closed = rig.Cli({"run", "output", "--count", "3", "--json"}, -1);
  EXPECT_EQ(closed.status, 2);
  const std::string logged = "stdout cannot be written (Broken pipe): the last run is logged as ";
  ASSERT_NE(closed.err.find(logged), std::string::npos) << closed.err;
  ids.push_back(closed.err.substr(closed.err.find(logged) + logged.size(), 36));
  // Killed as soon as a run is printed: that run is in the log already.
  const Result killed = rig.Cli({"run", "comp", "--continuous", "--json"}, SIGKILL, "}}\n");
  ids.push_back(nlohmann::json::parse(killed.out.substr(0, killed.out.find('\n')))["id"]);
  // The day given to --until is taken in.
  char day[11];
  const std::time_t now = std::time(nullptr);
  std::strftime(day, sizeof day, "%F", std::localtime(&now));
  const std::string csv = rig.folder.File("log.csv");
  const Result exported = rig.Cli({"log", "export", "--since", day, "--until", day, "--csv", csv});
  EXPECT_NE(exported.err.find(" runs exported to " + csv), std::string::npos) << exported.err;
  for (const std::string& id : ids) EXPECT_NE(ReadText(csv).find(id), std::string::npos) << id;
  // A link that fails is tried again, each failure told and kept as an event.
  rig.sim.Stop();
  ASSERT_EQ(rig.sim.Start({"--link", rig.folder.File("COM2"), "--exit-with-parent", "--silent"}), 0);
  const Result failing = rig.Cli({"run", "input", "--continuous", "--max-failures", "2"});
  EXPECT_EQ(failing.status, 2);
  const Result events = rig.Cli({"log", "events"});
  const auto times = [](const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(times(failing.err, "input: no answer to the handshake on ./COM2"), 2) << failing.err;
  EXPECT_EQ(times(events.out, "\tinput\t"), 2) << events.out;
  EXPECT_EQ(times(events.out, "\tstart\t"), 1) << "the start test left: " << events.out;
  EXPECT_EQ(events.err, "3 events\n");
}

// Python's csv and sqlite3 modules read what the program wrote: the CSV
// as a spreadsheet would, the log as any SQLite client.
std::string Python(const std::string& script, const std::string& arg) {
  char file[] = "/tmp/kt-python-XXXXXX";
  const int fd = mkstemp(file);
  if (fd < 0) return "no file for the script";
  const bool written = write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
  close(fd);
  std::string out = written ? "" : "the script could not be written";
  if (FILE* pipe = written ? popen(("python3 " + std::string(file) + " '" + arg + "'").c_str(), "r") : nullptr) {
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    if (pclose(pipe) != 0) out = "python3 failed: " + out;
  }
  unlink(file);
  return out;
}
const char* const CsvRows =
    "import csv, json, sys\n"
    "print(json.dumps(list(csv.DictReader(open(sys.argv[1], encoding='utf-8-sig', newline='')))))\n";

// Other limits for the logged runs: every changed verdict is listed beside
// the logged one, a record that cannot be read is listed as unjudged, and
// the log itself stays as it was.
TEST(Cli, RejudgeListsTheVerdictsOtherLimitsWouldHaveGivenAndLeavesTheLog) {
  CliRig rig;
  const std::string profiles = rig.folder.File("profiles");
  std::filesystem::create_directory(profiles);
  std::ofstream(profiles + "/Mains.json") << R"({"name": "Mains", "rules": [{"figure": "Urms", "min": 200}]})";
  std::ofstream(profiles + "/Tight.json") << R"({"name": "Tight", "rules": [{"figure": "Urms", "max": 1}]})";
  for (const char* kind : {"input", "input", "envelope", "input"})
    ASSERT_EQ(rig.Cli({"run", kind, "--profile", "Mains", "--no", std::string("SN-") + kind}).status, 0) << kind;
  std::string log;
  for (const auto& f : std::filesystem::recursive_directory_iterator(rig.folder.File("data")))
    if (f.path().extension() == ".db") log = f.path();
  ASSERT_FALSE(log.empty());
  const std::string runs =
      "import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute("
      "\"SELECT group_concat(uuid || verdict || profile_name) FROM runs\").fetchone()[0])";
  const std::string before = Python(runs, log);
  // The newest run's record is damaged.
  ASSERT_EQ(Python("import sqlite3, sys; c = sqlite3.connect(sys.argv[1]); c.execute(\"UPDATE run_records SET record ="
                   " x'4b54' WHERE run_seq = (SELECT MAX(seq) FROM runs)\"); c.commit()",
                   log),
            "");

  const std::string csv = rig.folder.File("again.csv");
  const Result again = rig.Cli({"log", "rejudge", "--profile", "Tight", "--csv", csv});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.err.find("4 runs judged again, 2 changed, 1 could not be judged; written to " + csv),
            std::string::npos)
      << again.err;
  const auto rows = nlohmann::json::parse(Python(CsvRows, csv));
  ASSERT_EQ(rows.size(), 4u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& r = rows[i];
    SCOPED_TRACE(r.dump());
    EXPECT_EQ(r["profile"], "Mains");
    EXPECT_EQ(r["serial"], std::string("SN-") + std::string(r["kind"]));
    if (i == 3) {  // the damaged one: there, unjudged, with its reason
      EXPECT_TRUE(r["changed"] == "unjudged" && r["new_verdict"] == "" && r["note"] != "");
    } else if (r["kind"] == "input") {
      EXPECT_TRUE(r["verdict"] == "PASS" && r["new_verdict"] == "FAIL" && r["changed"] == "yes" &&
                  r["new_failures"] == "Urms" && r["new_profile"] == "Tight");
    } else {  // the envelope measures no mains voltage: the same either way
      EXPECT_TRUE(r["kind"] == "envelope" && r["changed"] == "no" && r["new_verdict"] == r["verdict"] &&
                  r["new_profile"] == "Tight");
    }
  }
  EXPECT_EQ(Python(runs, log), before) << "the log is only read";

  // The export's filters, and what the command needs.
  EXPECT_EQ(rig.Cli({"log", "rejudge", "--profile", "Tight", "--kind", "envelope", "--csv", csv}).status, 0);
  EXPECT_EQ(nlohmann::json::parse(Python(CsvRows, csv)).size(), 1u);
  for (const auto& args : std::vector<std::vector<std::string>>{{"log", "rejudge", "--csv", csv},
                                                                {"log", "rejudge", "--profile", "Tight"}})
    EXPECT_EQ(rig.Cli(args).status, 64);
  EXPECT_EQ(rig.Cli({"log", "rejudge", "--profile", "Nowhere", "--csv", csv}).status, 2);
}

// A scanned label from a script: the type's profile judges, its sequence
// runs, every run is logged under the serial, the status is the worst
// verdict's, and a serial that passed today is told as a retest.
TEST(Cli, ScanRunsTheTypesSequenceUnderItsSerial) {
  CliRig rig;
  const std::string profiles = rig.folder.File("profiles");
  std::filesystem::create_directory(profiles);
  std::ofstream(profiles + "/eb.json") << R"({"name": "EB line", "type": "EB-236", "sequence": ["input", "comp"],
    "rules": [{"figure": "Urms", "min": 200}, {"figure": "Pout", "max": 1}]})";
  std::ofstream(profiles + "/lamp.json")
      << R"({"name": "Lamp", "type": "L-25", "rules": [{"figure": "Urms", "min": 200}]})";
  const Result lamp = rig.Cli({"run", "--scan", "L-25*SN-1\r\n", "--json"});
  ASSERT_EQ(lamp.status, 0) << lamp.err;
  EXPECT_EQ(lamp.err.find("retest"), std::string::npos);
  const Result again = rig.Cli({"run", "--scan", "L-25*SN-1", "--json", "--english"});
  EXPECT_NE(again.err.find("serial SN-1 passed today at "), std::string::npos) << again.err;
  // The comprehensive run's lamp power is far above 1 W: input PASS, comp FAIL.
  const Result eb = rig.Cli({"run", "--scan", "EB-236*SN-2", "--csv"});
  EXPECT_EQ(eb.status, 1) << eb.err;
  std::string log;
  for (const auto& f : std::filesystem::recursive_directory_iterator(rig.folder.File("data")))
    if (f.path().extension() == ".db") log = f.path();
  EXPECT_EQ(Python("import sqlite3, sys; print('|'.join(' '.join(map(str, r)) for r in sqlite3.connect(sys.argv[1])"
                   ".execute('SELECT kind, serial, type, profile_name, verdict FROM runs ORDER BY seq')))",
                   log),
            "1 SN-1 L-25 Lamp 1|1 SN-1 L-25 Lamp 1|1 SN-2 EB-236 EB line 1|3 SN-2 EB-236 EB line 2\n");
  // Refused before the instrument hears a byte.
  for (const char* bad : {"EB*SN*3", "", "EB-236*"}) {
    const Result r = rig.Cli({"run", "--scan", bad, "--english"});
    EXPECT_EQ(r.status, 64) << bad;
    EXPECT_NE(r.err.find("scan refused"), std::string::npos) << r.err;
  }
  EXPECT_EQ(rig.Cli({"run", "input", "--scan", "SN-4"}).status, 64);

  // A golden check due refuses production (status 3) until its golden unit
  // passes; the pass is in the audit trail, which Python's csv module reads.
  std::ofstream(profiles + "/gold.json")
      << R"({"name": "Gold", "type": "GD-1", "rules": [{"figure": "Urms", "min": 200}],
    "golden": [{"serial": "G-1", "figures": [{"figure": "Urms", "expected": 230, "tolerance": 30}]}],
    "golden_due": {"every_hours": 8}})";
  const Result refused = rig.Cli({"run", "--scan", "GD-1*SN-5", "--english"});
  EXPECT_EQ(refused.status, 3);
  EXPECT_NE(refused.err.find("golden sample check due"), std::string::npos) << refused.err;
  EXPECT_EQ(rig.Cli({"run", "--scan", "GD-1*G-1"}).status, 0);
  EXPECT_EQ(rig.Cli({"run", "--scan", "GD-1*SN-5"}).status, 0);
  const std::string audit = rig.folder.File("audit.csv");
  ASSERT_EQ(rig.Cli({"log", "audit", "--csv", audit}).status, 0);
  const auto rows = nlohmann::json::parse(Python(CsvRows, audit));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0]["what"] == "golden check passed" && rows[0]["new_value"] == "Gold") << rows.dump();
  // An instrument past its calibration runs nothing, scanned or not.
  std::filesystem::create_directories(rig.folder.File("config/KT6100"));
  std::ofstream(rig.folder.File("config/KT6100/kt6100.conf"), std::ios::app)
      << "[instrument]\ncalibrationDue=2020-01-01\n";
  EXPECT_EQ(rig.Cli({"run", "input"}).status, 3);
}

}  // namespace
}  // namespace kt::test
