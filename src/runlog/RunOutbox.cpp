#include "runlog/RunOutbox.h"

#include <QDataStream>
#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/SafeFile.h"

namespace kt {
namespace {

constexpr quint32 Magic = 0x4B54524CU;  // "KTRL"
constexpr quint16 FormatVersion = 1;
constexpr quint8 RunEntry = 1, EventEntry = 2;
constexpr const char* RunSuffix = ".run";
constexpr const char* EventSuffix = ".event";

void Put(QDataStream& s, const std::string& t) { s << QByteArray::fromStdString(t); }
void Get(QDataStream& s, std::string& t) {
  QByteArray b;
  s >> b;
  t = b.toStdString();
}
void Put(QDataStream& s, const std::optional<double>& v) {
  s << static_cast<quint8>(v ? 1 : 0) << (v ? *v : 0.0);
}
void Get(QDataStream& s, std::optional<double>& v) {
  quint8 has = 0;
  double d = 0;
  s >> has >> d;
  v = has ? std::optional<double>(d) : std::nullopt;
}

QDataStream& Begin(QDataStream& s, quint8 entry) {
  s.setVersion(QDataStream::Qt_6_0);
  s.setFloatingPointPrecision(QDataStream::DoublePrecision);
  s << Magic << FormatVersion << entry;
  return s;
}

std::string EntryName(std::int64_t timeMs, const std::string& id, const char* suffix) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%015lld-", static_cast<long long>(timeMs));
  return stamp + id + suffix;
}

bool SafeId(const std::string& id) {
  return !id.empty() && id.size() <= 64 &&
         std::all_of(id.begin(), id.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; });
}

}  // namespace

QByteArray SerializeRun(const LoggedRun& r) {
  QByteArray out;
  QDataStream s(&out, QIODevice::WriteOnly);
  Begin(s, RunEntry);
  Put(s, r.Id);
  s << static_cast<qint64>(r.TimeUtcMs);
  Put(s, r.Station);
  s << static_cast<qint32>(r.Kind);
  const TestInfo& i = r.Info;
  for (const std::string* t : {&i.Name, &i.No, &i.Type, &i.Standard, &i.Temperature, &i.Humidity,
                               &i.Manufacturer, &i.Operator, &i.LuminousFlux, &i.ColourTemperature, &r.TestDate})
    Put(s, *t);
  s << static_cast<quint32>(r.Figures.size());
  for (const NamedFigure& f : r.Figures) {
    Put(s, f.Name);
    s << f.Value << static_cast<quint8>(f.Measured);
  }
  const Verdict& v = r.Result;
  s << static_cast<qint32>(v.Result) << static_cast<qint32>(v.Kind) << static_cast<quint8>(v.Screening);
  Put(s, v.ProfileName);
  Put(s, v.ProfileRevision);
  Put(s, v.Detail);
  s << static_cast<quint32>(v.Rules.size());
  for (const RuleResult& rr : v.Rules) {
    Put(s, rr.Figure);
    Put(s, rr.Value);
    Put(s, rr.Min);
    Put(s, rr.Max);
    Put(s, rr.Margin);
    s << static_cast<qint32>(rr.Outcome);
    Put(s, rr.Note);
  }
  s << static_cast<quint32>(v.Missing.size());
  for (const std::string& m : v.Missing) Put(s, m);
  Put(s, r.ProfileText);
  Put(s, r.ProfileHash);
  Put(s, r.ProgramVersion);
  s << QByteArray(reinterpret_cast<const char*>(r.Record.data()), static_cast<qsizetype>(r.Record.size()));
  return out;
}

QByteArray SerializeEvent(const LoggedEvent& e) {
  QByteArray out;
  QDataStream s(&out, QIODevice::WriteOnly);
  Begin(s, EventEntry);
  Put(s, e.Id);
  s << static_cast<qint64>(e.TimeUtcMs);
  Put(s, e.Station);
  s << static_cast<qint32>(e.Kind);
  Put(s, e.What);
  return out;
}

int DeserializeEntry(const QByteArray& bytes, bool& isRun, LoggedRun& r, LoggedEvent& e) {
  QDataStream s(bytes);
  s.setVersion(QDataStream::Qt_6_0);
  s.setFloatingPointPrecision(QDataStream::DoublePrecision);
  quint32 magic = 0;
  quint16 version = 0;
  quint8 entry = 0;
  s >> magic >> version >> entry;
  if (magic != Magic || version != FormatVersion || (entry != RunEntry && entry != EventEntry)) return 1;
  qint64 time = 0;
  qint32 kind = 0;
  isRun = entry == RunEntry;
  if (!isRun) {
    e = LoggedEvent{};
    Get(s, e.Id);
    s >> time;
    Get(s, e.Station);
    s >> kind;
    Get(s, e.What);
    e.TimeUtcMs = time;
    e.Kind = kind;
    return s.status() == QDataStream::Ok && s.atEnd() ? 0 : 1;
  }
  r = LoggedRun{};
  Get(s, r.Id);
  s >> time;
  Get(s, r.Station);
  s >> kind;
  r.TimeUtcMs = time;
  r.Kind = kind;
  TestInfo& i = r.Info;
  for (std::string* t : {&i.Name, &i.No, &i.Type, &i.Standard, &i.Temperature, &i.Humidity, &i.Manufacturer,
                         &i.Operator, &i.LuminousFlux, &i.ColourTemperature, &r.TestDate})
    Get(s, *t);
  // Counts are checked against what is left, so a damaged file cannot ask
  // for a huge allocation.
  auto count = [&](quint32& n) {
    s >> n;
    return s.status() == QDataStream::Ok && n <= static_cast<quint32>(bytes.size());
  };
  quint32 n = 0;
  if (!count(n)) return 1;
  r.Figures.resize(n);
  for (NamedFigure& f : r.Figures) {
    quint8 measured = 0;
    Get(s, f.Name);
    s >> f.Value >> measured;
    f.Measured = measured != 0;
  }
  Verdict& v = r.Result;
  qint32 result = 0, vkind = 0;
  quint8 screening = 0;
  s >> result >> vkind >> screening;
  v.Result = static_cast<VerdictResult>(result);
  v.Kind = vkind;
  v.Screening = screening != 0;
  Get(s, v.ProfileName);
  Get(s, v.ProfileRevision);
  Get(s, v.Detail);
  if (!count(n)) return 1;
  v.Rules.resize(n);
  for (RuleResult& rr : v.Rules) {
    qint32 outcome = 0;
    Get(s, rr.Figure);
    Get(s, rr.Value);
    Get(s, rr.Min);
    Get(s, rr.Max);
    Get(s, rr.Margin);
    s >> outcome;
    rr.Outcome = static_cast<RuleOutcome>(outcome);
    Get(s, rr.Note);
  }
  if (!count(n)) return 1;
  v.Missing.resize(n);
  for (std::string& m : v.Missing) Get(s, m);
  Get(s, r.ProfileText);
  Get(s, r.ProfileHash);
  Get(s, r.ProgramVersion);
  QByteArray record;
  s >> record;
  r.Record.assign(record.begin(), record.end());
  return s.status() == QDataStream::Ok && s.atEnd() ? 0 : 1;
}

RunOutbox::RunOutbox(std::string folder) : Folder_(std::move(folder)) {}

int RunOutbox::WriteEntry(const std::string& name, const QByteArray& bytes, QString& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::create_directories(Folder_, ec) && ec) {
    error = QString("cannot create the folder (%1)").arg(QString::fromLocal8Bit(ec.message().c_str()));
    return 1;
  }
  WriteFailure why;
  if (WriteWholeFile((fs::path(Folder_) / name).string(), bytes.constData(), static_cast<std::size_t>(bytes.size()),
                     &why) == 0)
    return 0;
  error = QString("%1 (%2)").arg(why.AtReplace ? "cannot rename" : "cannot write",
                                 QString::fromLocal8Bit(std::strerror(why.Errno)));
  return 1;
}

int RunOutbox::Put(const LoggedRun& run, QString& error) {
  if (!SafeId(run.Id)) {
    error = "a run without a valid id";
    return 1;
  }
  return WriteEntry(EntryName(run.TimeUtcMs, run.Id, RunSuffix), SerializeRun(run), error);
}

int RunOutbox::Put(const LoggedEvent& event, QString& error) {
  if (!SafeId(event.Id)) {
    error = "an event without a valid id";
    return 1;
  }
  return WriteEntry(EntryName(event.TimeUtcMs, event.Id, EventSuffix), SerializeEvent(event), error);
}

std::vector<std::string> RunOutbox::Pending() const {
  namespace fs = std::filesystem;
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::directory_iterator it(Folder_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.' || !it->is_regular_file(ec)) continue;
    const std::string ext = it->path().extension().string();
    if (ext == RunSuffix || ext == EventSuffix) out.push_back(it->path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

int RunOutbox::Load(const std::string& path, bool& isRun, LoggedRun& run, LoggedEvent& event,
                    QString& error) const {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) {
    error = f.errorString();
    return 2;
  }
  const QByteArray bytes = f.readAll();
  f.close();
  if (DeserializeEntry(bytes, isRun, run, event)) {
    std::error_code ec;
    std::filesystem::rename(path, path + ".bad", ec);
    error = ec ? QString::fromLocal8Bit(ec.message().c_str()) : QString();
    return 1;
  }
  return 0;
}

void RunOutbox::Remove(const std::string& path) const {
  std::error_code ec;
  std::filesystem::remove(path, ec);  // another program may have sent it already
}

}  // namespace kt
