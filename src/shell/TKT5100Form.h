#pragma once
#include <QEvent>
#include <QImage>
#include <QMainWindow>
#include <QThreadPool>
#include <QTimer>
#include <QTranslator>
#include <memory>
#include <string>
#include <vector>

#include "link/Controller.h"
#include "link/Form.h"
#include "platform/DrawingList.h"
#include "platform/Host.h"
#include "shell/ShellDialogs.h"

class QAction;
class QLabel;
class QProgressBar;
class QScrollArea;
class QToolButton;

namespace kt {

class InputThread;
class LineFeatures;
class TAlarmForm;
class TBaoLuoForm;
class TInfoForm;
class TPaintBox;
class TPortForm;
class TPrinterForm;

// The message the receive poller posts when a block is complete or late.
inline const QEvent::Type WM_COMMDATA = static_cast<QEvent::Type>(QEvent::User + 1);

// What the main window is built on: the operator's dialogs, the instrument
// line and the clock.
struct Services {
  ShellDialogs& dialogs;
  SerialPort& port;
  Clock& clock;
};

// The main window: tool bar, menu, one paint box, status and progress. It
// owns all program state (the Form) and runs every command, timer and step.
class TKT5100Form : public QMainWindow, public Host {
  Q_OBJECT
 public:
  explicit TKT5100Form(Services services);
  ~TKT5100Form() override;

  Form& form() { return *form_; }
  TPortForm& PortForm() { return *portForm_; }
  TInfoForm& InfoForm() { return *infoForm_; }
  TBaoLuoForm& BaoLuoForm() { return *baoLuoForm_; }
  TAlarmForm& AlarmForm() { return *alarmForm_; }
  TPrinterForm& PrinterForm() { return *printerForm_; }
  QTimer& Timer1() { return timer1_; }
  QTimer& Timer2() { return timer2_; }
  QString StatusText() const;

  // Command handlers.
  void InputTestClick();
  void OutputTestClick();
  void CompTestClick();
  void StartTestComdClick();
  void CurrentClick();
  void LockTestClick();
  void InputTestLockBtnClick();
  void OutputTestLockBtnClick();
  void CompTestLockBtnClick();
  void PhaseTestLockBtnClick();
  void BackClick();
  void NextClick();
  void HanZiClick();
  void WideFreqClick();
  void SerialPortClick();
  void InputInfoClick();
  void BaoAnaClick();
  void OpenFileClick();
  void StoreFileClick();
  void PrintClick();
  void ExitClick();
  void Timer1Timer();
  void Timer2Timer();
  void PaintBox1Paint(QWidget& box, const QRect& exposed);
  void PaintBox1MouseDown(int x, int y);
  void FormKeyDown(int key);

  // A run from the run log, opened on the pages as if from its file.
  void OpenLoggedRun(const QByteArray& record, int kind);
  LineFeatures& Line() { return *line_; }

  // The port dialog's "确认": store the choice, reopen the port and restart
  // the poller on it.
  void ChangePort(const char* portName);
  // The same for one of the system's serial devices (kept in the settings).
  void ChangeDevice(const std::string& device);

  // Host
  void Repaint() override;
  void RepaintAnalysis() override;
  void SetStatusText(const std::string& utf8) override;
  void SetProgress(int percent) override;
  void SetAnalysisProgress(int percent) override;
  void EnableTimer1(bool on) override;
  void ShowAlarm(bool visible) override;
  void MessageBox(const std::string& text, const std::string& caption) override;
  void CloseMainWindow() override;
  void SetLockTestBtnDown(bool down) override;
  void SetHanZiBtnDown(bool down) override;
  void SetGaoTestEnabled(bool enabled) override;
  void DrawStartPrompt() override;
  void PostCommData() override;
  void RunStateChanged() override;
  void RunEnded(int kind, RunOutcome outcome) override;

  // Controls, named as the rest of the program refers to them.
  QWidget* Panel1 = nullptr;
  QToolButton* InputTestBtn = nullptr;
  QToolButton* OutputTestBtn = nullptr;
  QToolButton* CompTestBtn = nullptr;
  QToolButton* StartTestBtn = nullptr;
  QToolButton* CurrentBtn = nullptr;
  QToolButton* LockTestBtn = nullptr;
  QToolButton* InputTestLockBtn = nullptr;
  QToolButton* OutputTestLockBtn = nullptr;
  QToolButton* CompTestLockBtn = nullptr;
  QToolButton* PhaseTestLockBtn = nullptr;
  QToolButton* BackBtn = nullptr;
  QToolButton* NextBtn = nullptr;
  QToolButton* HanZiBtn = nullptr;
  QToolButton* WideFreqBtn = nullptr;
  QToolButton* GaoPinBtn = nullptr;
  QToolButton* PrintBtn = nullptr;
  QToolButton* ExitBtn = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* StatusBar1 = nullptr;
  QScrollArea* ScrollBox1 = nullptr;
  TPaintBox* PaintBox1 = nullptr;

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  // A test command, unless the station may not test now.
  void TestCommand(TestKind kind, StartMode mode);
  void BuildToolBar();
  void BuildMenu();
  void FormCreate();
  bool FormCloseQuery();
  void FormClose();
  void StartPoller();
  void StopPoller();
  void StartCloseTimer();
  void SyncLanguage();
  void SchedulePageCheck();
  bool RecordPage(bool inBackground);
  void ReopenPort();
  void ShowPortDevice();
  void WatchPort();

  Services services_;
  std::unique_ptr<Form> form_;
  std::unique_ptr<InputThread> poller_;
  std::unique_ptr<TPortForm> portForm_;
  std::unique_ptr<TInfoForm> infoForm_;
  std::unique_ptr<TBaoLuoForm> baoLuoForm_;
  std::unique_ptr<TAlarmForm> alarmForm_;
  std::unique_ptr<TPrinterForm> printerForm_;
  std::unique_ptr<LineFeatures> line_;
  QTimer timer1_;
  QTimer timer2_;
  QTimer portWatch_;
  static constexpr int PortWatchMs = 1000;
  bool promptPending_ = false;  // the start prompt stays until the run repaints
  // The page as last drawn, and the drawing it came from: a repaint that
  // would draw the same list only copies the image.
  DrawingList pageOps_;
  QImage pageImage_;
  bool pageCheckPosted_ = false;
  // A page whose drawing changed after a step is rasterised on pagePainter_
  // while the window goes on; pageJob_ numbers the requests, so that only
  // the newest is shown.
  DrawingList pageJobOps_;
  QSize pageJobSize_;
  QImage pageSpare_;
  int pageJob_ = 0;
  bool closed_ = false;
  QLabel* portLabel_ = nullptr;
  QTranslator qtChinese_;
  bool qtChineseInstalled_ = false;
  std::string shownMessage_;          // the warning on screen, while one is
  std::vector<QAction*> waitForRun_;  // menu items that wait for a run's end
  QThreadPool pagePainter_;           // last: it waits for its work before the rest goes
};

// PaintBox1: the whole working surface; painting and clicks go to the main
// window's handlers.
class TPaintBox : public QWidget {
  Q_OBJECT
 public:
  TPaintBox(TKT5100Form& owner, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  TKT5100Form& owner_;
};

}  // namespace kt
