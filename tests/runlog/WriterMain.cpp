// A station for the run log's multi-process tests: submits runs as a
// continuous test would and prints "C <id>" once each run's commit has
// returned, so that a test killing it knows which runs must be there.
//
//   runlog_test_writer --target T --outbox DIR --station S [--count N]
//                      [--interval-ms M] [--retry-ms R] [--drain-ms D]
// --count 0: runs until killed. Exit 0 when every run is in the log.
#include <QCoreApplication>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

#include "runlog/RunLogWriter.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  auto option = [&](const QString& name, const QString& fallback) {
    const auto i = args.indexOf(name);
    return i >= 0 && i + 1 < args.size() ? args[i + 1] : fallback;
  };
  kt::RunLogConfig config;
  config.Target = option("--target", "").toStdString();
  config.OutboxDir = option("--outbox", "").toStdString();
  config.Station = option("--station", "writer").toStdString();
  config.RetryMs = option("--retry-ms", "300").toInt();
  config.UseEnvironment = false;
  const int count = option("--count", "100").toInt();
  const int intervalMs = option("--interval-ms", "0").toInt();
  const int drainMs = option("--drain-ms", "240000").toInt();

  kt::RunLogWriter writer(config);
  std::mutex out;
  QObject::connect(
      &writer, &kt::RunLogWriter::Committed, &writer,
      [&](const QString& id) {
        std::lock_guard lock(out);
        std::printf("C %s\n", id.toUtf8().constData());
        std::fflush(stdout);
      },
      Qt::DirectConnection);
  QObject::connect(
      &writer, &kt::RunLogWriter::Failed, &writer,
      [&](const QString& message, const QString&) {
        std::lock_guard lock(out);
        std::fprintf(stderr, "F %s\n", message.toUtf8().constData());
      },
      Qt::DirectConnection);
  QString error;
  if (writer.Start(error)) {
    std::fprintf(stderr, "%s\n", error.toUtf8().constData());
    return 2;
  }
  std::mt19937 random(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::normal_distribution<double> noise(0, 1);
  for (int i = 0; count == 0 || i < count; ++i) {
    kt::LoggedRun run;
    run.Kind = kt::InputTest;
    run.Info.No = config.Station + "-" + std::to_string(i);
    run.Info.Type = "T8-36W";
    run.Result.Result = kt::VerdictResult::Pass;
    for (const char* name : {"Urms", "Irms", "P", "PF", "THDI"})
      run.Figures.push_back({name, 100 + noise(random), true});
    run.Result.Rules.push_back({"P", run.Figures[2].Value, 95.0, 105.0, 1.0, kt::RuleOutcome::Pass, "", ""});
    run.Record.assign(2048, static_cast<std::uint8_t>(i));
    writer.Submit(std::move(run));
    if (intervalMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
  }
  return writer.WaitDrained(drainMs) == 0 ? 0 : 3;
}
