#include "runlog/RunLogConfig.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

namespace kt {

std::string OutboxFolderFor(const std::string& root, const LogTarget& target) {
  QString engine = "postgresql", name = QString::fromStdString(target.Database), identity;
  if (target.Kind == LogTarget::Driver::Sqlite) {
    const QFileInfo file(QString::fromStdString(target.Path));
    engine = "sqlite";
    name = file.fileName();
    identity = QDir::cleanPath(file.absoluteFilePath());
  } else {
    identity =
        QString("%1\n%2\n%3").arg(QString::fromStdString(target.Host)).arg(target.Port ? target.Port : 5432).arg(name);
  }
  // Only letters, digits, '.', '_' and '-' in the name: any file system takes it.
  for (QChar& c : name)
    if (c.unicode() > 127 || !(c.isLetterOrNumber() || c == '.' || c == '_' || c == '-')) c = '_';
  const QByteArray hash = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(12);
  return QDir(QString::fromStdString(root)).filePath(engine + '-' + name.left(40) + '-' + hash).toStdString();
}

int ResolveRunLogConfig(const RunLogConfig& config, ResolvedLog& out, QString& error) {
  out = ResolvedLog{};
  std::string target = config.Target, station = config.Station;
  if (config.UseEnvironment) {
    if (qEnvironmentVariableIsSet("KT6100_LOG")) target = qEnvironmentVariable("KT6100_LOG").toStdString();
    if (qEnvironmentVariableIsSet("KT6100_STATION")) station = qEnvironmentVariable("KT6100_STATION").toStdString();
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
  out.OutboxRoot = config.OutboxDir.empty() ? QDir(data).filePath("runlog-outbox").toStdString() : config.OutboxDir;
  if (out.Target.Kind != LogTarget::Driver::None) out.OutboxDir = OutboxFolderFor(out.OutboxRoot, out.Target);
  out.Station = station.empty() ? QSysInfo::machineHostName().toStdString() : station;
  if (out.Station.empty()) out.Station = "station";
  out.RetryMs = config.RetryMs > 0 ? config.RetryMs : 30000;
  return 0;
}

}  // namespace kt
