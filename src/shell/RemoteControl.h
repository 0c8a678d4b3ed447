#pragma once
// The window as an instrument on the network: a line controller sends SCPI
// lines over TCP and the window runs them with its own runs, scan, limits,
// log and files. Off unless the station is set up for it. While a
// connection controls the station the status bar says so, the operator's
// test commands are locked, and "本地 / Local" gives control back, as an
// instrument's LOCAL key does.
#include <QObject>

#include <functional>
#include <memory>
#include <string>

#include "platform/Host.h"
#include "remote/StationRemote.h"

class QLabel;
class QStatusBar;
class QToolButton;

namespace kt {

class RemoteServer;
class TScanBar;

// The window's station: its runs start as its own single-run commands, a
// scan goes through its scan field, limits through its Limits menu.
class WindowStation final : public StationRemote {
 public:
  using Choose = std::function<int(const std::string& name, std::string& error)>;
  WindowStation(Form& form, RunRecorder& recorder, TScanBar& scan, Choose choose, std::string folder);
  int StartScan(const std::string& text, std::string& error) override;
  int SetLimits(const std::string& name, std::string& error) override;
  void Abort() override;
  // The scan field's scan ended (`worst`), or was refused after the log was
  // asked.
  void ScanFinished(const kt::Verdict* worst, const std::string& refusal);

 protected:
  bool RunUnderWay() const override;
  void StartLeg(TestKind kind) override;

 private:
  TScanBar& scan_;
  Choose choose_;
};

class RemoteControl : public QObject {
  Q_OBJECT
 public:
  // `changed`: control passed between the operator and a controller (the
  // window sets its commands again).
  RemoteControl(QStatusBar& bar, Host& host, Form& form, RunRecorder& recorder, TScanBar& scan,
                WindowStation::Choose choose, std::function<void()> changed);
  ~RemoteControl() override;

  // Starts or stops listening where the settings say. 0, or 1 with why.
  int SetOn(bool on, std::string& error);
  bool On() const { return server_ != nullptr; }
  // A connection controls the station.
  bool Remote() const;
  // The "本地 / Local" button.
  void ReturnToLocal();
  void SetChinese(bool chinese);
  // After the window has judged and logged the run.
  void RunEnded(int kind, RunOutcome outcome);
  RemoteServer* Server() { return server_.get(); }

 private:
  void ShowState();

  Host& host_;
  RunRecorder& recorder_;
  WindowStation station_;
  std::function<void()> changed_;
  std::unique_ptr<RemoteServer> server_;
  QLabel* label_ = nullptr;
  QToolButton* local_ = nullptr;
  std::string where_;  // ADDR:PORT listened on
  bool chinese_ = true;
};

}  // namespace kt
