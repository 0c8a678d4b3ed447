#include "shell/StationAccess.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QMenu>
#include <QSettings>
#include <QWidget>

#include "link/Form.h"
#include "shell/ShellDialogs.h"
#include "station/RunRecorder.h"
#include "station/Scan.h"
#include "station/StationSettings.h"
#include "station/UserStore.h"

namespace kt {

namespace {

// Kept in seconds; the operator sets minutes.
const QString IdleKey = QStringLiteral("users/idleSeconds");
const QString CacheKey = QStringLiteral("users/cache");
constexpr int DefaultIdleSeconds = 15 * 60;

int IdleMs() { return std::clamp(QSettings().value(IdleKey, DefaultIdleSeconds).toInt(), 1, 720 * 60) * 1000; }

// The commands a role needs, by object name. Those marked `run` are also
// disabled by the window while a run is under way: the window sets them
// first, the role may only take away.
struct Governed {
  const char* Name;
  Role Needs;
  bool Run;
};
constexpr Governed Items[] = {
    {"InputTestBtn", Role::Operator, false},
    {"OutputTestBtn", Role::Operator, false},
    {"CompTestBtn", Role::Operator, false},
    {"StartTestBtn", Role::Operator, false},
    {"CurrentBtn", Role::Operator, false},
    {"LockTestBtn", Role::Operator, false},
    {"InputTestLockBtn", Role::Operator, false},
    {"OutputTestLockBtn", Role::Operator, false},
    {"CompTestLockBtn", Role::Operator, false},
    {"PhaseTestLockBtn", Role::Operator, false},
    {"GaoPinBtn", Role::Operator, false},
    {"PrintBtn", Role::Operator, true},
    {"InputTest", Role::Operator, false},
    {"OutputTest", Role::Operator, false},
    {"CompTest", Role::Operator, false},
    {"StartTestComd", Role::Operator, false},
    {"LockTest", Role::Operator, false},
    {"Current", Role::Operator, false},
    {"BaoAna", Role::Operator, false},
    {"StoreFile", Role::Operator, true},
    {"Print", Role::Operator, true},
    {"ScanField", Role::Operator, false},
    {"SerialPort", Role::Engineer, false},
    {"Limits", Role::Engineer, false},
    {"LogSettings", Role::Engineer, false},
    {"ScanToTest", Role::Engineer, false},
    {"ScanSeparator", Role::Engineer, false},
    {"Instrument", Role::Engineer, false},
    {"Override", Role::Engineer, false},
    {"Users", Role::Admin, false},
    {"IdleSignOut", Role::Admin, false},
    {"RemoteControl", Role::Engineer, false},
};

bool IsEnabled(QObject* o) {
  if (auto* a = qobject_cast<QAction*>(o)) return a->isEnabled();
  if (auto* w = qobject_cast<QWidget*>(o)) return w->isEnabled();
  return false;
}

void SetEnabled(QObject* o, bool on) {
  if (auto* a = qobject_cast<QAction*>(o)) a->setEnabled(on);
  if (auto* w = qobject_cast<QWidget*>(o)) w->setEnabled(on);
}

}  // namespace

StationAccess::StationAccess(QWidget& window, Host& host, Form& form, ShellDialogs& dialogs, RunRecorder& recorder,
                             QMenu& menu)
    : QObject(nullptr), window_(window), host_(host), form_(form), dialogs_(dialogs), recorder_(recorder), menu_(menu) {
  idle_.setSingleShot(true);
  connect(&idle_, &QTimer::timeout, this, [this] { SignOut(true); });
  BuildMenu();
}

StationAccess::~StationAccess() {
  if (qApp) qApp->removeEventFilter(this);
}

QString StationAccess::T(const char* zh, const char* en) const { return QString::fromUtf8(chinese_ ? zh : en); }

void StationAccess::BuildMenu() {
  menu_.addSeparator();
  const auto item = [&](const char* name, void (StationAccess::*slot)()) {
    QAction* a = menu_.addAction(QString());
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, slot);
  };
  item("Instrument", &StationAccess::SetInstrument);
  item("Override", &StationAccess::Override);
  menu_.addSeparator();
  item("SignIn", &StationAccess::SignIn);
  QAction* out = menu_.addAction(QString());
  out->setObjectName("SignOut");
  connect(out, &QAction::triggered, this, [this] { SignOut(false); });
  item("Users", &StationAccess::ManageUsers);
  item("IdleSignOut", &StationAccess::SetIdleMinutes);
  UpdateTexts();
}

void StationAccess::UpdateTexts() {
  const auto text = [&](const char* name, const char* zh, const char* en) {
    if (auto* a = menu_.findChild<QAction*>(name)) a->setText(T(zh, en));
  };
  text("Instrument", "仪器与校准&I…", "&Instrument and calibration…");
  text("Override", "工程师放行&O…", "Engineer's &override…");
  text("SignIn", "登录&L…", "Sign &in…");
  text("SignOut", user_.Name.empty() ? "注销&T" : ("注销 " + user_.Name + "&T").c_str(),
       user_.Name.empty() ? "Sign &out" : ("Sign &out " + user_.Name).c_str());
  text("Users", "用户管理&U…", "&Users…");
  text("IdleSignOut", "自动注销时间&A…", "&Automatic sign-out…");
}

void StationAccess::SetChinese(bool chinese) {
  chinese_ = chinese;
  UpdateTexts();
}

int StationAccess::Reload(std::string& error) {
  std::vector<User> users;
  if (UserStore(settings::LogConfig()).Load(users, error) == 0) {
    users_ = std::move(users);
    usersUnreadable_ = false;
    // A copy, so that a log server that is down does not lock the line out.
    QSettings().setValue(CacheKey, QString::fromStdString(UsersToJson(users_)));
    return 0;
  }
  // The last list read from the store, if there is one; else the station
  // is locked: users may exist that it cannot check.
  const std::string cached = QSettings().value(CacheKey).toString().toStdString();
  ProfileMessage ignored;
  usersUnreadable_ = cached.empty() || ParseUsers(cached, users_, ignored) != 0;
  return 1;
}

void StationAccess::Start() {
  std::string error;
  if (Reload(error) != 0)
    dialogs_.MessageBox(
        (chinese_ ? "无法读取用户：" : "The users cannot be read: ") + error +
            (usersUnreadable_
                 ? (chinese_ ? "\n在能读取之前，工位锁定。" : "\nThe station stays locked until they can be.")
                 : (chinese_ ? "\n使用上次读取的用户。" : "\nThe users read last time are used.")),
        chinese_ ? "警告" : "Warning");
  qApp->installEventFilter(this);
  host_.RunStateChanged();  // the window's own states, then the role's
  WarnCalibration();
}

Role StationAccess::Current() const {
  if (usersUnreadable_) return Role::None;
  if (users_.empty()) return Role::Admin;
  return user_.Name.empty() ? Role::None : user_.Level;
}

void StationAccess::Apply() {
  const Role role = Current();
  std::vector<QPointer<QObject>> disabled;
  for (const Governed& g : Items)
    for (QObject* o : window_.findChildren<QObject*>(QString::fromUtf8(g.Name))) {
      // The main window's own; another window's control of the same name
      // (the analysis window's) keeps its own rules. A menu (a window of
      // its own) is reached through its entry in the menu bar.
      if (auto* menu = qobject_cast<QMenu*>(o))
        o = menu->menuAction();
      else if (auto* w = qobject_cast<QWidget*>(o); w && w->window() != &window_)
        continue;
      const bool mine = std::find(disabledByRole_.begin(), disabledByRole_.end(), o) != disabledByRole_.end();
      // The operator's commands that start a run, not the ones that keep or
      // print what was measured.
      const bool remote = remoteLock_ && g.Needs == Role::Operator && !g.Run;
      if (role < g.Needs || remote) {
        if (IsEnabled(o) || mine) disabled.push_back(o);
        SetEnabled(o, false);
      } else if (mine && !g.Run) {
        // Given back only what the role took: the window has just set the
        // run-state ones itself.
        SetEnabled(o, true);
      }
    }
  disabledByRole_ = std::move(disabled);
  const bool anyUsers = !users_.empty() || usersUnreadable_;
  menu_.findChild<QAction*>("SignIn")->setEnabled(anyUsers);
  menu_.findChild<QAction*>("SignOut")->setEnabled(!user_.Name.empty());
}

void StationAccess::Audit(const std::string& what, const std::string& before, const std::string& after) {
  recorder_.Audit(user_.Name, what, before, after);
}

void StationAccess::FillOperator() {
  if (!user_.Name.empty()) form_.Info.Operator = user_.Name;
}

void StationAccess::Said(const std::string& text) { host_.SetStatusText(text); }

void StationAccess::SignIn() {
  std::string error;
  Reload(error);  // a user added at another station signs in here at once
  QString name, secret;
  if (!dialogs_.AskText(&window_, T("登录", "Sign in"), T("用户名：", "User name:"), QString(), name)) return;
  if (!dialogs_.AskText(&window_, T("登录", "Sign in"), T("PIN 或密码：", "PIN or password:"), QString(), secret, true))
    return;
  const std::string who = name.trimmed().toStdString();
  for (const User& u : users_)
    if (u.Name == who && SecretMatches(u.Hash, secret.toStdString())) {
      if (!user_.Name.empty() && user_.Name != u.Name) Audit("sign-out");
      user_ = u;
      Audit("sign-in", "", RoleWord(u.Level));
      FillOperator();
      idle_.start(IdleMs());
      UpdateTexts();
      host_.RunStateChanged();
      Said((chinese_ ? "已登录：" : "Signed in: ") + u.Name + " (" + RoleName(u.Level, chinese_) + ")");
      return;
    }
  // Whether the name exists is not told.
  recorder_.Audit(who, "sign-in refused");
  dialogs_.MessageBox(chinese_ ? "用户名或 PIN/密码不正确。" : "The user name or the PIN/password is wrong.",
                      chinese_ ? "登录" : "Sign in");
}

void StationAccess::SignOut(bool automatic) {
  idle_.stop();
  if (user_.Name.empty()) return;
  Audit(automatic ? "automatic sign-out" : "sign-out");
  const std::string who = user_.Name;
  user_ = User{};
  // A run under way ends under the name it began with.
  if (form_.Info.Operator == who && form_.RunKind == NoTest) form_.Info.Operator.clear();
  UpdateTexts();
  host_.RunStateChanged();
  Said(
      (chinese_ ? (automatic ? "闲置超时，已注销：" : "已注销：") : (automatic ? "Idle: signed out " : "Signed out ")) +
      who);
}

bool StationAccess::eventFilter(QObject* watched, QEvent* event) {
  // Any key or click restarts the idle time; a scanner's keys are keys too.
  const QEvent::Type t = event->type();
  if (!user_.Name.empty() && (t == QEvent::KeyPress || t == QEvent::MouseButtonPress || t == QEvent::Wheel))
    idle_.start();
  return QObject::eventFilter(watched, event);
}

void StationAccess::ManageUsers() {
  if (Current() < Role::Admin) return;
  std::string error;
  if (Reload(error) != 0 && usersUnreadable_) {
    dialogs_.MessageBox(error, chinese_ ? "警告" : "Warning");
    return;
  }
  QString list;
  for (const User& u : users_) list += QString::fromStdString("\n  " + u.Name + " (" + RoleWord(u.Level) + ")");
  QString name, roleWord;
  const QString title = T("用户管理", "Users");
  if (!dialogs_.AskText(&window_, title, T("用户名（新用户或已有用户）：", "User name (new or listed):") + list,
                        QString(), name))
    return;
  const std::string who = name.trimmed().toStdString();
  ProfileMessage why;
  if (CheckUserName(who, why)) return dialogs_.MessageBox(why.Text(chinese_), title.toStdString());
  if (!dialogs_.AskText(&window_, title,
                        T("角色：operator、engineer、admin，或 remove 删除该用户：",
                          "Role: operator, engineer, admin, or remove to delete the user:"),
                        QString(), roleWord))
    return;
  const UserStore store(settings::LogConfig());
  const bool admins = std::count_if(users_.begin(), users_.end(),
                                    [&](const User& u) { return u.Level == Role::Admin && u.Name != who; }) > 0;
  const std::string word = roleWord.trimmed().toStdString();
  if (word == "remove") {
    // The last administrator stays: without one nobody could keep the users.
    if (!admins && !users_.empty() && users_.size() > 1)
      return dialogs_.MessageBox(chinese_ ? "不能删除最后一个管理员。" : "The last administrator cannot be removed.",
                                 title.toStdString());
    if (store.Remove(who, error)) return dialogs_.MessageBox(error, title.toStdString());
    Audit("user removed", who, "");
  } else {
    const Role role = RoleFromWord(word);
    if (role == Role::None)
      return dialogs_.MessageBox(
          chinese_ ? "角色须为 operator、engineer 或 admin。" : "The role is operator, engineer or admin.",
          title.toStdString());
    if (role != Role::Admin && !admins)
      return dialogs_.MessageBox(chinese_ ? "必须保留一个管理员：第一个用户须为 admin。"
                                          : "One administrator must remain: the first user is an admin.",
                                 title.toStdString());
    QString secret, again;
    if (!dialogs_.AskText(&window_, title, T("PIN 或密码：", "PIN or password:"), QString(), secret, true) ||
        !dialogs_.AskText(&window_, title, T("再输入一次：", "Once more:"), QString(), again, true))
      return;
    if (secret != again)
      return dialogs_.MessageBox(chinese_ ? "两次输入不一致。" : "The two entries differ.", title.toStdString());
    if (CheckSecret(secret.toStdString(), why)) return dialogs_.MessageBox(why.Text(chinese_), title.toStdString());
    User u{who, role, {}};
    if (HashSecret(secret.toStdString(), u.Hash) || store.Put(u, error))
      return dialogs_.MessageBox(error.empty() ? "the PIN cannot be hashed" : error, title.toStdString());
    const auto old = std::find_if(users_.begin(), users_.end(), [&](const User& x) { return x.Name == who; });
    Audit(old == users_.end() ? "user added" : "user changed",
          old == users_.end() ? "" : who + " " + RoleWord(old->Level), who + " " + RoleWord(role));
  }
  Reload(error);
  // The first user defined: from now on everybody signs in, this one first.
  if (user_.Name.empty() || std::none_of(users_.begin(), users_.end(), [&](const User& u) { return u == user_; }))
    user_ = User{};
  UpdateTexts();
  host_.RunStateChanged();
  Said((chinese_ ? "用户已保存于 " : "Users kept in ") + store.Where());
}

void StationAccess::SetIdleMinutes() {
  if (Current() < Role::Admin) return;
  QString text;
  const QString now = QString::number(IdleMs() / 60000);
  if (!dialogs_.AskText(&window_, T("自动注销", "Automatic sign-out"),
                        T("闲置多少分钟后自动注销（1–720）：", "Sign out after this many idle minutes (1–720):"), now,
                        text))
    return;
  bool ok = false;
  const int minutes = text.trimmed().toInt(&ok);
  if (!ok || minutes < 1 || minutes > 720)
    return dialogs_.MessageBox(chinese_ ? "请输入 1 至 720 之间的分钟数。" : "Give a number of minutes from 1 to 720.",
                               chinese_ ? "自动注销" : "Automatic sign-out");
  QSettings().setValue(IdleKey, minutes * 60);
  Audit("automatic sign-out minutes", now.toStdString(), std::to_string(minutes));
  if (idle_.isActive()) idle_.start(IdleMs());
}

void StationAccess::SetInstrument() {
  if (Current() < Role::Engineer) return;
  const QString title = T("仪器与校准", "Instrument and calibration");
  QString serial, due;
  const std::string oldSerial = settings::InstrumentSerial(), oldDue = settings::CalibrationDue();
  if (!dialogs_.AskText(&window_, title, T("测试仪编号：", "Instrument serial:"), QString::fromStdString(oldSerial),
                        serial) ||
      !dialogs_.AskText(&window_, title,
                        T("校准到期日（YYYY-MM-DD，空为不设）：", "Calibration due (YYYY-MM-DD, empty: none):"),
                        QString::fromStdString(oldDue), due))
    return;
  std::int64_t day = 0;
  const std::string dueText = due.trimmed().toStdString(), serialText = serial.trimmed().toStdString();
  if (!dueText.empty() && !ParseDay(dueText, day))
    return dialogs_.MessageBox(chinese_ ? "日期须为 YYYY-MM-DD。" : "The date is YYYY-MM-DD.", title.toStdString());
  settings::SetInstrument(serialText, dueText);
  Audit("instrument and calibration", oldSerial + " " + oldDue, serialText + " " + dueText);
  calibrationWarned_ = false;
  WarnCalibration();
}

void StationAccess::Override() {
  if (Current() < Role::Engineer) return;
  QString which;
  if (!dialogs_.AskText(&window_, T("工程师放行", "Engineer's override"),
                        T("本次运行期间放行：golden（标准样品核查到期）或 calibration（校准过期）：",
                          "For this session, let production run despite: golden (check due) or calibration (overdue):"),
                        QString(), which))
    return;
  const std::string word = which.trimmed().toStdString();
  if (word == "golden")
    recorder_.OverrideGolden(true);
  else if (word == "calibration")
    recorder_.OverrideCalibration(true);
  else
    return dialogs_.MessageBox(chinese_ ? "请输入 golden 或 calibration。" : "Give golden or calibration.",
                               chinese_ ? "工程师放行" : "Engineer's override");
  Audit("override", "", word);
  Said((chinese_ ? "已放行：" : "Overridden: ") + word);
}

void StationAccess::WarnCalibration() {
  const ProductionGate gate = recorder_.Gate(0);
  if (calibrationWarned_ || gate.Instrument != Calibration::DueSoon) return;
  calibrationWarned_ = true;
  dialogs_.MessageBox(
      (chinese_ ? "仪器校准即将到期：" : "The instrument's calibration is due on ") + gate.CalibrationDue,
      chinese_ ? "提醒" : "Reminder");
}

}  // namespace kt
