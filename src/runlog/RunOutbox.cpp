#include "runlog/RunOutbox.h"

#include <QDataStream>
#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <type_traits>

#include "platform/SafeFile.h"

namespace kt {
namespace {

constexpr quint32 Magic = 0x4B54524CU;  // "KTRL"
// 2 adds a run's purpose, instrument and calibration, and the audit trail's
// entries; entries of 1, written before, are still read.
constexpr quint16 FormatVersion = 2;
constexpr quint8 RunEntry = 1, EventEntry = 2;
constexpr const char* RunSuffix = ".run";
constexpr const char* EventSuffix = ".event";

// An entry's fields are listed once (Fields below) and run both ways: the
// writer puts each field on the stream, the reader takes it back into the
// same place, so the two directions cannot drift apart.
class Writer {
 public:
  explicit Writer(QDataStream& s) : s_(s) {}
  void operator()(const std::string& t) { s_ << QByteArray::fromStdString(t); }
  void operator()(const std::vector<std::uint8_t>& b) {
    s_ << QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
  }
  void operator()(const std::optional<double>& v) { s_ << static_cast<quint8>(v ? 1 : 0) << (v ? *v : 0.0); }
  void operator()(double v) { s_ << v; }
  void operator()(bool b) { s_ << static_cast<quint8>(b); }
  void operator()(std::int64_t v) { s_ << static_cast<qint64>(v); }
  void operator()(std::int32_t v) { s_ << static_cast<qint32>(v); }
  template <class E>
  requires std::is_enum_v<E>
  void operator()(E v) { s_ << static_cast<qint32>(v); }
  template <class T, class F>
  bool List(const std::vector<T>& items, F each) {
    s_ << static_cast<quint32>(items.size());
    for (const T& item : items) each(item);
    return true;
  }

 private:
  QDataStream& s_;
};

class Reader {
 public:
  // `limit`: the entry's size. A count is checked against it, so a damaged
  // file cannot ask for a huge allocation.
  Reader(QDataStream& s, qsizetype limit) : s_(s), limit_(static_cast<quint32>(limit)) {}
  void operator()(std::string& t) {
    QByteArray b;
    s_ >> b;
    t = b.toStdString();
  }
  void operator()(std::vector<std::uint8_t>& v) {
    QByteArray b;
    s_ >> b;
    v.assign(b.begin(), b.end());
  }
  void operator()(std::optional<double>& v) {
    quint8 has = 0;
    double d = 0;
    s_ >> has >> d;
    v = has ? std::optional<double>(d) : std::nullopt;
  }
  void operator()(double& v) { s_ >> v; }
  void operator()(bool& b) {
    quint8 u = 0;
    s_ >> u;
    b = u != 0;
  }
  void operator()(std::int64_t& v) {
    qint64 q = 0;
    s_ >> q;
    v = q;
  }
  void operator()(std::int32_t& v) {
    qint32 q = 0;
    s_ >> q;
    v = q;
  }
  template <class E>
  requires std::is_enum_v<E>
  void operator()(E& v) {
    qint32 q = 0;
    s_ >> q;
    v = static_cast<E>(q);
  }
  template <class T, class F>
  bool List(std::vector<T>& items, F each) {
    quint32 n = 0;
    s_ >> n;
    if (s_.status() != QDataStream::Ok || n > limit_) return false;
    items.resize(n);
    for (T& item : items) each(item);
    return true;
  }

 private:
  QDataStream& s_;
  quint32 limit_;
};

// R is LoggedRun or const LoggedRun. False when a count was refused.
template <class Io, class R>
bool Fields(Io& io, R& r, quint16 version) {
  io(r.Id);
  io(r.TimeUtcMs);
  io(r.Station);
  io(r.Kind);
  auto& i = r.Info;
  for (auto* t : {&i.Name, &i.No, &i.Type, &i.Standard, &i.Temperature, &i.Humidity, &i.Manufacturer, &i.Operator,
                  &i.LuminousFlux, &i.ColourTemperature, &r.TestDate})
    io(*t);
  if (!io.List(r.Figures, [&](auto& f) {
        io(f.Name);
        io(f.Value);
        io(f.Measured);
      }))
    return false;
  auto& v = r.Result;
  io(v.Result);
  io(v.Kind);
  io(v.Screening);
  io(v.ProfileName);
  io(v.ProfileRevision);
  io(v.Detail);
  if (!io.List(v.Rules, [&](auto& rule) {
        io(rule.Figure);
        io(rule.Value);
        io(rule.Min);
        io(rule.Max);
        io(rule.Margin);
        io(rule.Outcome);
        io(rule.Note);
      }))
    return false;
  if (!io.List(v.Missing, [&](auto& m) { io(m); })) return false;
  io(r.ProfileText);
  io(r.ProfileHash);
  io(r.ProgramVersion);
  io(r.Record);
  if (version >= 2) {
    io(r.Purpose);
    io(r.InstrumentSerial);
    io(r.CalibrationDue);
    // A damaged purpose would count a check as a unit, or a unit nowhere.
    if (r.Purpose != RunPurpose::Production && r.Purpose != RunPurpose::GoldenCheck) return false;
  }
  return true;
}

template <class Io, class E>
bool Fields(Io& io, E& e, quint16 version) requires std::is_same_v<std::remove_const_t<E>, LoggedEvent> {
  io(e.Id);
  io(e.TimeUtcMs);
  io(e.Station);
  io(e.Kind);
  io(e.What);
  if (version >= 2) {
    io(e.Audit);
    io(e.Who);
    io(e.OldValue);
    io(e.NewValue);
  }
  return true;
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
  return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
  });
}

}  // namespace

QByteArray SerializeRun(const LoggedRun& r) {
  QByteArray out;
  QDataStream s(&out, QIODevice::WriteOnly);
  Writer w(Begin(s, RunEntry));
  Fields(w, r, FormatVersion);
  return out;
}

QByteArray SerializeEvent(const LoggedEvent& e) {
  QByteArray out;
  QDataStream s(&out, QIODevice::WriteOnly);
  Writer w(Begin(s, EventEntry));
  Fields(w, e, FormatVersion);
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
  if (magic != Magic || version < 1 || version > FormatVersion || (entry != RunEntry && entry != EventEntry)) return 1;
  isRun = entry == RunEntry;
  Reader in(s, bytes.size());
  r = LoggedRun{};
  e = LoggedEvent{};
  const bool counted = isRun ? Fields(in, r, version) : Fields(in, e, version);
  return counted && s.status() == QDataStream::Ok && s.atEnd() ? 0 : 1;
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

int RunOutbox::Load(const std::string& path, bool& isRun, LoggedRun& run, LoggedEvent& event, QString& error) const {
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
