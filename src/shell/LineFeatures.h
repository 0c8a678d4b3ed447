#pragma once
#include <QObject>
#include <QString>

#include <memory>

#include "platform/Host.h"
#include "verdict/Verdict.h"

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QVBoxLayout;

namespace kt {

class Canvas;
struct Form;
class RunRecorder;
class ShellDialogs;
class TKT5100Form;
class TLogForm;
class TVerdictBand;

// What the main window gains for a production line, beside the program's own
// controls: limit profiles and the verdict of every run, the run log and its
// window. With no limits chosen nothing of it shows on a page, a report or
// in a file.
class LineFeatures : public QObject {
  Q_OBJECT
 public:
  // The verdict band goes into `column` above the page; the menus "限值" and
  // "记录" onto `bar`.
  LineFeatures(TKT5100Form& window, Form& form, ShellDialogs& dialogs, QVBoxLayout* column, QMenuBar* bar);
  ~LineFeatures() override;

  // After the window's own start-up: the profiles and the log. What cannot
  // be used is told once.
  void Start();
  void SetChinese(bool chinese);

  // A run began: its verdict is still to come.
  void RunStarted();
  // A run ended: judged, shown and logged when it completed, an event
  // otherwise. `analysisLanguage` is the analysis window's (its file keeps it).
  void RunEnded(int kind, RunOutcome outcome, int analysisLanguage);
  // The page shows other results (a file opened, Back/Next): judged again.
  void ShownChanged();
  // The verdict block of a report, when limits apply.
  void PrintVerdict(Canvas& report, int kind);
  // The verdict of `kind`'s results when limits apply (for the analysis
  // window's own field); nullptr when no limits apply.
  std::unique_ptr<Verdict> JudgeForDisplay(int kind);

  RunRecorder& Recorder() { return *recorder_; }
  TVerdictBand& Band() { return *band_; }
  QMenu* LimitsMenu() const { return limits_; }
  // The log window (made on first use).
  TLogForm& LogWindow();

 private:
  void BuildMenus();
  void UpdateMenus();
  void Choose(const std::string& choice);
  void EditProfile();
  void ReloadProfiles();
  void Show(const Verdict& v);
  void LogFailed(const QString& message);

  TKT5100Form& window_;
  Form& form_;
  ShellDialogs& dialogs_;
  std::unique_ptr<RunRecorder> recorder_;
  TVerdictBand* band_ = nullptr;
  QMenuBar* bar_;
  QMenu* limits_ = nullptr;
  QMenu* log_ = nullptr;
  QActionGroup* choices_ = nullptr;
  QAction* sound_ = nullptr;
  QAction* edit_ = nullptr;
  QAction* reload_ = nullptr;
  QAction* showLog_ = nullptr;
  std::unique_ptr<TLogForm> logForm_;
  bool chinese_ = true;
  bool logDown_ = false;
};

}  // namespace kt
