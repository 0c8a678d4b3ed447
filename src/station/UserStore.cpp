#include "station/UserStore.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>

#include "platform/SafeFile.h"
#include "runlog/RunLogConnection.h"

namespace kt {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

int FromFile(const std::string& path, std::vector<User>& users, std::string& error) {
  users.clear();
  QFile f(Q(path));
  if (!f.exists()) return 0;  // no file: no users yet
  if (!f.open(QIODevice::ReadOnly) || f.size() > static_cast<qint64>(UsersMaxBytes)) {
    error = "the user file " + path + " cannot be read";
    return 1;
  }
  const QByteArray text = f.readAll();
  ProfileMessage why;
  if (ParseUsers(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), users, why)) {
    error = path + ": " + why.English;
    return 1;
  }
  return 0;
}

int ToFile(const std::string& path, const std::vector<User>& users, std::string& error) {
  const std::string text = UsersToJson(users);
  WriteFailure why;
  if (WriteWholeFile(path, text.data(), text.size(), &why) != 0) {
    error = "the user file " + path + " cannot be written";
    return 1;
  }
  return 0;
}

}  // namespace

std::string LocalUsersFile() { return QFileInfo(QSettings().fileName()).absolutePath().toStdString() + "/users.json"; }

UserStore::UserStore(const RunLogConfig& log) : file_(LocalUsersFile()) {
  QString error;
  if (ResolveRunLogConfig(log, log_, error) != 0)
    problem_ = error.toStdString();
  else
    inLog_ = log_.Target.Kind != LogTarget::Driver::None;
}

std::string UserStore::Where() const { return inLog_ ? "the run log (" + log_.Target.Describe() + ")" : file_; }

int UserStore::Load(std::vector<User>& users, std::string& error) const {
  if (!problem_.empty()) return error = problem_, 1;
  if (!inLog_) return FromFile(file_, users, error);
  users.clear();
  RunLogConnection c;
  QString e;
  if (c.Open(log_.Target, e) != 0) return error = e.toStdString(), 1;
  QSqlQuery q(c.Db());
  if (!q.exec("SELECT name, role, hash FROM users ORDER BY name")) return error = q.lastError().text().toStdString(), 1;
  while (q.next()) {
    User u{q.value(0).toString().toStdString(), static_cast<Role>(q.value(1).toInt()),
           q.value(2).toString().toStdString()};
    ProfileMessage why;
    // A row written by hand that no sign-in could use is left out, not trusted.
    if (CheckUserName(u.Name, why) == 0 && u.Level >= Role::Operator && u.Level <= Role::Admin) users.push_back(u);
  }
  return 0;
}

int UserStore::Put(const User& user, std::string& error) const {
  if (!problem_.empty()) return error = problem_, 1;
  if (!inLog_) {
    std::vector<User> users;
    if (FromFile(file_, users, error)) return 1;
    bool replaced = false;
    for (User& u : users)
      if (u.Name == user.Name) u = user, replaced = true;
    if (!replaced) users.push_back(user);
    return ToFile(file_, users, error);
  }
  RunLogConnection c;
  QString e;
  if (c.Open(log_.Target, e) != 0) return error = e.toStdString(), 1;
  QSqlQuery q(c.Db());
  q.prepare(
      "INSERT INTO users (name, role, hash, changed_ms) VALUES (?, ?, ?, ?) ON CONFLICT (name) DO UPDATE SET"
      " role = excluded.role, hash = excluded.hash, changed_ms = excluded.changed_ms");
  q.addBindValue(Q(user.Name));
  q.addBindValue(static_cast<int>(user.Level));
  q.addBindValue(Q(user.Hash));
  q.addBindValue(QDateTime::currentMSecsSinceEpoch());
  if (!q.exec()) return error = q.lastError().text().toStdString(), 1;
  return 0;
}

int UserStore::Remove(const std::string& name, std::string& error) const {
  if (!problem_.empty()) return error = problem_, 1;
  if (!inLog_) {
    std::vector<User> users;
    if (FromFile(file_, users, error)) return 1;
    std::erase_if(users, [&](const User& u) { return u.Name == name; });
    return ToFile(file_, users, error);
  }
  RunLogConnection c;
  QString e;
  if (c.Open(log_.Target, e) != 0) return error = e.toStdString(), 1;
  QSqlQuery q(c.Db());
  q.prepare("DELETE FROM users WHERE name = ?");
  q.addBindValue(Q(name));
  if (!q.exec()) return error = q.lastError().text().toStdString(), 1;
  return 0;
}

}  // namespace kt
