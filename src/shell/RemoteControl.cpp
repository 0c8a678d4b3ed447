#include "shell/RemoteControl.h"

#include <QDir>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include "link/Controller.h"
#include "link/Form.h"
#include "remote/RemoteServer.h"
#include "shell/TScanBar.h"
#include "station/RunRecorder.h"
#include "station/StationSettings.h"

namespace kt {

namespace {

QString U(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

WindowStation::WindowStation(Form& form, RunRecorder& recorder, TScanBar& scan, Choose choose, std::string folder)
    : StationRemote(form, recorder, std::move(folder)), scan_(scan), choose_(std::move(choose)) {}

bool WindowStation::RunUnderWay() const { return StationRemote::RunUnderWay() || scan_.Busy(); }

void WindowStation::StartLeg(TestKind kind) {
  // After the end of the run before has been handled everywhere, unless
  // ABORt or *RST came first.
  QTimer::singleShot(0, &scan_, [this, kind] {
    if (Active()) StationRemote::StartLeg(kind);
  });
}

int WindowStation::StartScan(const std::string& text, std::string& error) {
  if (Busy()) return error = "a run is under way", 1;
  // Begun first: a scan that the station refuses at once ends it again.
  BeginOperation();
  if (scan_.ScanRemote(text, error) != 0) {
    EndOperation();
    return 1;
  }
  return 0;
}

void WindowStation::ScanFinished(const kt::Verdict* worst, const std::string& refusal) {
  if (worst) {
    SetOverall(*worst);
  } else {
    // Refused after the log was asked (a golden check due): nothing was
    // measured, and that is never a pass.
    kt::Verdict v;
    v.Result = VerdictResult::Incomplete;
    v.Reason = refusal;
    SetOverall(v);
  }
  EndOperation();
}

void WindowStation::Abort() {
  StationRemote::Abort();
  scan_.Cancel();
}

int WindowStation::SetLimits(const std::string& name, std::string& error) {
  if (Busy()) return error = "a run is under way", 1;
  if (name.find('/') != std::string::npos) return error = "a profile is chosen by its name", 1;
  const bool none = name.size() == 4 && QString::fromStdString(name).compare("NONE", Qt::CaseInsensitive) == 0;
  return choose_(none ? "" : name, error);
}

RemoteControl::RemoteControl(QStatusBar& bar, Host& host, Form& form, RunRecorder& recorder, TScanBar& scan,
                             WindowStation::Choose choose, std::function<void()> changed)
    : host_(host),
      recorder_(recorder),
      station_(form, recorder, scan, std::move(choose), settings::RemoteFolder()),
      changed_(std::move(changed)) {
  label_ = new QLabel(&bar);
  label_->setObjectName("RemoteLabel");
  label_->hide();
  local_ = new QToolButton(&bar);
  local_->setObjectName("LocalBtn");
  local_->setAutoRaise(true);
  local_->hide();
  connect(local_, &QToolButton::clicked, this, [this] { ReturnToLocal(); });
  bar.addPermanentWidget(label_);
  bar.addPermanentWidget(local_);
  scan.SetFinished([this](const Verdict* worst, const std::string& refusal) {
    station_.ScanFinished(worst, refusal);
    if (server_)
      QTimer::singleShot(0, this, [this] {
        if (server_) server_->RunEnded();
      });
  });
  SetChinese(true);
}

RemoteControl::~RemoteControl() = default;

bool RemoteControl::Remote() const { return server_ && server_->Remote(); }

int RemoteControl::SetOn(bool on, std::string& error) {
  if (!on) {
    const bool was = Remote();
    server_.reset();
    ShowState();
    if (was && changed_) changed_();
    return 0;
  }
  if (server_) return 0;
  QHostAddress address;
  quint16 port = 0;
  where_ = settings::RemoteListen(!settings::RemoteAllowed().empty());
  if (ParseListen(where_, address, port) != 0) return error = "not an address and port: " + where_, 1;
  std::vector<QHostAddress> allowed;
  for (const std::string& a : settings::RemoteAllowed()) {
    QHostAddress peer;
    if (!peer.setAddress(U(a))) return error = "not an address in the allow-list: " + a, 1;
    allowed.push_back(peer);
  }
  QDir().mkpath(U(settings::RemoteFolder()));
  auto server = std::make_unique<RemoteServer>(
      station_, [this](const std::string& peer, const std::string& what) { recorder_.Audit(peer, "remote: " + what); });
  QString why;
  if (server->Listen(address, port, std::move(allowed), why) != 0) return error = why.toStdString(), 1;
  where_ = address.toString().toStdString() + ":" + std::to_string(server->Port());
  connect(server.get(), &RemoteServer::ControlChanged, this, [this](bool) {
    ShowState();
    if (changed_) changed_();
  });
  server_ = std::move(server);
  ShowState();
  return 0;
}

void RemoteControl::ReturnToLocal() {
  if (!server_ || !server_->Remote()) return;
  recorder_.Audit(server_->ControllerPeer(), "remote: returned to local");
  server_->ReturnToLocal();
}

void RemoteControl::SetChinese(bool chinese) {
  chinese_ = chinese;
  local_->setText(chinese ? QString::fromUtf8("本地") : QStringLiteral("Local"));
  ShowState();
}

void RemoteControl::ShowState() {
  label_->setVisible(server_ != nullptr);
  local_->setVisible(Remote());
  if (!server_) return;
  if (Remote())
    label_->setText(U((chinese_ ? "远程控制中：" : "Remote control: ") + server_->ControllerPeer()));
  else
    label_->setText(U((chinese_ ? "远程控制 " : "Remote ") + where_));
}

void RemoteControl::RunEnded(int kind, RunOutcome outcome) {
  station_.RunEnded(kind, outcome);
  // Sessions waiting on the run look again once the window is done with it.
  if (server_)
    QTimer::singleShot(0, this, [this] {
      if (server_) server_->RunEnded();
    });
}

}  // namespace kt
