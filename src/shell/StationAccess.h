#pragma once
// Who is at the station and what they may do: sign-in with a name and a PIN
// or password, sign-out (by hand or after a set idle time), the users kept
// by an administrator, the commands a role may not use disabled (not
// hidden), the instrument's calibration and an engineer's overrides, and
// every such change in the audit trail. With no user defined nobody signs
// in and every command stays as it always was.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <string>
#include <vector>

#include "platform/Host.h"
#include "station/Users.h"

class QAction;
class QMenu;
class QWidget;

namespace kt {

struct Form;
class RunRecorder;
class ShellDialogs;

class StationAccess : public QObject {
  Q_OBJECT
 public:
  StationAccess(QWidget& window, Host& host, Form& form, ShellDialogs& dialogs, RunRecorder& recorder, QMenu& menu);
  ~StationAccess() override;

  // Reads the users (told once when they cannot be read) and applies the role.
  void Start();
  void SetChinese(bool chinese);
  // The role in force: Admin while no user is defined (nothing is locked),
  // None while users are defined and nobody is signed in.
  Role Current() const;
  const std::string& UserName() const { return user_.Name; }
  // Disables what the role may not use. Called by the window right after it
  // has set its own commands for the run state, so that both rules hold.
  void Apply();
  // While a remote controller has the station, the operator's test commands
  // are locked as a role would lock them (Apply makes it so).
  void SetRemoteLock(bool on) { remoteLock_ = on; }
  // An audit entry by whoever is signed in.
  void Audit(const std::string& what, const std::string& before = "", const std::string& after = "");
  // The test information's Operator is the signed-in user's name.
  void FillOperator();

  void SignIn();
  void SignOut(bool automatic);
  void ManageUsers();
  void SetIdleMinutes();
  void SetInstrument();
  void Override();
  // The calibration's warning, told once a session when due within 14 days.
  void WarnCalibration();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenu();
  void UpdateTexts();
  int Reload(std::string& error);
  void Said(const std::string& text);
  QString T(const char* zh, const char* en) const;

  QWidget& window_;
  Host& host_;
  Form& form_;
  ShellDialogs& dialogs_;
  RunRecorder& recorder_;
  QMenu& menu_;
  std::vector<User> users_;
  bool usersUnreadable_ = false;
  User user_;  // Name empty: nobody signed in
  std::vector<QPointer<QObject>> disabledByRole_;
  bool remoteLock_ = false;
  QTimer idle_;
  bool chinese_ = true;
  bool calibrationWarned_ = false;
};

}  // namespace kt
