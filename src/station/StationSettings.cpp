#include "station/StationSettings.h"

#include <QSettings>
#include <QStandardPaths>

#include "station/Scan.h"

namespace kt::settings {
namespace {

const QString PortDeviceKey = QStringLiteral("port/device");
const QString LogTargetKey = QStringLiteral("log/target");
const QString LogStationKey = QStringLiteral("log/station");
const QString ActiveLimitsKey = QStringLiteral("limits/active");
const QString ActiveLimitsFileKey = QStringLiteral("limits/activeFile");
const QString LastGoodLimitsKey = QStringLiteral("limits/lastGood");
const QString SoundOnFailKey = QStringLiteral("limits/sound");
const QString ScanToTestKey = QStringLiteral("scan/on");
const QString ScanSeparatorKey = QStringLiteral("scan/separator");
const QString InstrumentSerialKey = QStringLiteral("instrument/serial");
const QString CalibrationDueKey = QStringLiteral("instrument/calibrationDue");
const QString RemoteOnKey = QStringLiteral("remote/on");
const QString RemoteListenKey = QStringLiteral("remote/listen");
const QString RemoteAllowKey = QStringLiteral("remote/allow");
const QString RemoteFolderKey = QStringLiteral("remote/folder");

std::string Text(const QString& key) { return QSettings().value(key).toString().toStdString(); }
void SetText(const QString& key, const std::string& text) { QSettings().setValue(key, QString::fromStdString(text)); }

}  // namespace

std::string PortDevice() { return Text(PortDeviceKey); }

void SetPortDevice(const std::string& device) {
  if (device.empty())
    QSettings().remove(PortDeviceKey);
  else
    SetText(PortDeviceKey, device);
}

RunLogConfig LogConfig() {
  RunLogConfig config;
  config.Target = Text(LogTargetKey);
  config.Station = Text(LogStationKey);
  return config;
}

void SetLogConfig(const QString& target, const QString& station) {
  QSettings settings;
  settings.setValue(LogTargetKey, target);
  settings.setValue(LogStationKey, station);
}

RunRecorder::Choice RememberedLimits() {
  return RunRecorder::Choice{Text(ActiveLimitsKey), Text(ActiveLimitsFileKey), true, false};
}

void RememberLimits(const std::string& chosen, const std::string& file) {
  SetText(ActiveLimitsKey, chosen);
  SetText(ActiveLimitsFileKey, file);
}

std::string LastGoodLimits() { return Text(LastGoodLimitsKey); }
void SetLastGoodLimits(const std::string& text) { SetText(LastGoodLimitsKey, text); }

bool SoundOnFail() { return QSettings().value(SoundOnFailKey, false).toBool(); }
void SetSoundOnFail(bool on) { QSettings().setValue(SoundOnFailKey, on); }

bool ScanToTest() { return QSettings().value(ScanToTestKey, false).toBool(); }
void SetScanToTest(bool on) { QSettings().setValue(ScanToTestKey, on); }

std::string ScanSeparator() {
  const std::string s = QSettings().value(ScanSeparatorKey, DefaultScanSeparator).toString().toStdString();
  ProfileMessage bad;
  return CheckScanSeparator(s, bad) == 0 ? s : std::string(DefaultScanSeparator);
}
void SetScanSeparator(const std::string& separator) { SetText(ScanSeparatorKey, separator); }

std::string InstrumentSerial() { return Text(InstrumentSerialKey); }
std::string CalibrationDue() { return Text(CalibrationDueKey); }
void SetInstrument(const std::string& serial, const std::string& calibrationDue) {
  SetText(InstrumentSerialKey, serial);
  SetText(CalibrationDueKey, calibrationDue);
}

bool RemoteOn() { return QSettings().value(RemoteOnKey, false).toBool(); }
void SetRemoteOn(bool on) { QSettings().setValue(RemoteOnKey, on); }
std::string RemoteListen(bool othersAllowed) {
  return QSettings().value(RemoteListenKey, othersAllowed ? "0.0.0.0:5025" : "127.0.0.1:5025").toString().toStdString();
}

std::vector<std::string> RemoteAllowed() {
  std::vector<std::string> out;
  for (const QString& a : QSettings().value(RemoteAllowKey).toString().split(',', Qt::SkipEmptyParts))
    out.push_back(a.trimmed().toStdString());
  return out;
}

std::string RemoteFolder() {
  const std::string set = Text(RemoteFolderKey);
  return set.empty() ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString() + "/remote"
                     : set;
}

QString FileName() { return QSettings().fileName(); }

}  // namespace kt::settings
