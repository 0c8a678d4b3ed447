#include "runlog/RunLogConfig.h"

#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>

namespace kt {

int ResolveRunLogConfig(const RunLogConfig& config, ResolvedLog& out, QString& error) {
  out = ResolvedLog{};
  std::string target = config.Target, station = config.Station;
  if (config.UseEnvironment) {
    if (qEnvironmentVariableIsSet("KT6100_LOG")) target = qEnvironmentVariable("KT6100_LOG").toStdString();
    if (qEnvironmentVariableIsSet("KT6100_STATION"))
      station = qEnvironmentVariable("KT6100_STATION").toStdString();
  }
  std::string message;
  if (ParseLogTarget(target, out.Target, message)) {
    error = QString::fromStdString(message);
    return 1;
  }
  QString data = QString::fromStdString(config.DataDir);
  if (data.isEmpty()) data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  if (data.isEmpty()) data = QDir::homePath() + "/.kt6100";
  if (out.Target.Kind == LogTarget::Driver::Default) {
    out.Target.Kind = LogTarget::Driver::Sqlite;
    out.Target.Path = QDir(data).filePath("runlog.db").toStdString();
  }
  out.OutboxDir = config.OutboxDir.empty() ? QDir(data).filePath("runlog-outbox").toStdString()
                                           : config.OutboxDir;
  out.Station = station.empty() ? QSysInfo::machineHostName().toStdString() : station;
  if (out.Station.empty()) out.Station = "station";
  out.RetryMs = config.RetryMs > 0 ? config.RetryMs : 30000;
  return 0;
}

}  // namespace kt
