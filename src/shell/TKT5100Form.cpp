#include "shell/TKT5100Form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstring>

#include "analysis/AnalysisRun.h"
#include "link/Controller.h"
#include "link/InputThread.h"
#include "link/PortConfig.h"
#include "link/Resets.h"
#include "link/TestRun.h"
#include "measurements/DataFiles.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/start/StartPrompt.h"
#include "platform/GbkText.h"
#include "platform/PrintJob.h"
#include "platform/QtCanvas.h"
#include "platform/SafeFile.h"
#include "shell/Glyphs.h"
#include "shell/LineFeatures.h"
#include "shell/TAlarmForm.h"
#include "shell/TBaoLuoForm.h"
#include "shell/TInfoForm.h"
#include "shell/TPortForm.h"
#include "shell/TPrinterForm.h"
#include "station/PrintedReport.h"
#include "station/StationSettings.h"

namespace kt {

namespace {

constexpr int ToolBarHeight = 28;
constexpr int ToolButtonSize = 24;
constexpr int ProgressBarWidth = 173;
constexpr int StatusBarHeight = 19;
constexpr int Timer1Ms = 500;  // pause between the runs of a continuous test

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

TKT5100Form::TKT5100Form(Services services)
    : QMainWindow(nullptr), services_(services), form_(std::make_unique<Form>(*this, services.port, services.clock)) {
  setObjectName("KT5100Form");
  pagePainter_.setMaxThreadCount(1);
  setWindowTitle(U("KT6100电子镇流器综合性能测试仪"));
  setMinimumSize(640, 480);
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  Panel1 = new QWidget(central);
  Panel1->setObjectName("Panel1");
  Panel1->setFixedHeight(ToolBarHeight);
  column->addWidget(Panel1);
  BuildToolBar();

  ScrollBox1 = new QScrollArea(central);
  ScrollBox1->setObjectName("ScrollBox1");
  ScrollBox1->setFrameShape(QFrame::NoFrame);
  ScrollBox1->setWidgetResizable(true);
  ScrollBox1->setFocusPolicy(Qt::NoFocus);
  PaintBox1 = new TPaintBox(*this, ScrollBox1);
  PaintBox1->setObjectName("PaintBox1");
  ScrollBox1->setWidget(PaintBox1);
  column->addWidget(ScrollBox1, 1);
  setCentralWidget(central);

  StatusBar1 = new QLabel(this);
  StatusBar1->setObjectName("StatusBar1");
  statusBar()->setSizeGripEnabled(false);
  statusBar()->setFixedHeight(StatusBarHeight);
  statusBar()->addWidget(StatusBar1, 1);
  portLabel_ = new QLabel(this);
  portLabel_->setObjectName("PortLabel");
  portLabel_->hide();
  statusBar()->addPermanentWidget(portLabel_);

  BuildMenu();
  line_ = std::make_unique<LineFeatures>(
      *this, *this, [this](const QByteArray& record, int kind) { OpenLoggedRun(record, kind); }, *form_,
      services_.dialogs, column, menuBar());

  // Precise: a coarse timer may fire up to 5 % early, and both intervals are
  // promised to the operator.
  timer1_.setTimerType(Qt::PreciseTimer);
  timer2_.setTimerType(Qt::PreciseTimer);
  timer1_.setInterval(Timer1Ms);
  timer2_.setInterval(CloseTimeoutMs);
  connect(&timer1_, &QTimer::timeout, this, &TKT5100Form::Timer1Timer);
  connect(&timer2_, &QTimer::timeout, this, &TKT5100Form::Timer2Timer);
  // An adapter pulled out or plugged in is noticed while no test runs too.
  portWatch_.setInterval(PortWatchMs);
  connect(&portWatch_, &QTimer::timeout, this, &TKT5100Form::WatchPort);
  setFocusPolicy(Qt::StrongFocus);

  PrepareForm(*form_);
  FormCreate();

  // The other windows, created hidden after the main window.
  portForm_ = std::make_unique<TPortForm>(*this);
  infoForm_ = std::make_unique<TInfoForm>(this, form_->Info);
  baoLuoForm_ = std::make_unique<TBaoLuoForm>(this, *form_, services_.dialogs, *infoForm_);
  form_->Analysis = &baoLuoForm_->Data();
  // A file the analysis window opens is judged there and then, as one here.
  baoLuoForm_->SetJudge([this](int kind) { return line_->JudgeNow(kind); });
  baoLuoForm_->SetMayStart([this] { return !line_ || line_->MayStartRun(); });
  alarmForm_ = std::make_unique<TAlarmForm>(this);
  printerForm_ = std::make_unique<TPrinterForm>(this, form_->PrinterFamily);
  line_->Start();
}

TKT5100Form::~TKT5100Form() {
  pagePainter_.waitForDone();
  StopPoller();
  services_.port.Close();
}

void TKT5100Form::BuildToolBar() {
  auto* row = new QHBoxLayout(Panel1);
  row->setContentsMargins(2, 2, 2, 2);
  row->setSpacing(0);
  const auto button = [&](QToolButton*& field, const char* name, const char* hint, Glyph glyph,
                          void (TKT5100Form::*handler)(), bool toggle = false) {
    field = new QToolButton(Panel1);
    field->setObjectName(name);
    field->setToolTip(U(hint));
    field->setIcon(GlyphIcon(glyph));
    field->setIconSize(QSize(20, 20));
    field->setFixedSize(ToolButtonSize, ToolButtonSize);
    field->setAutoRaise(true);
    field->setCheckable(toggle);
    field->setFocusPolicy(Qt::NoFocus);
    connect(field, &QToolButton::clicked, this, handler);
    row->addWidget(field);
  };
  const auto bevel = [&] {
    auto* line = new QFrame(Panel1);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedWidth(6);  // all buttons, bevels and the bar fit 640 pixels
    row->addWidget(line);
  };
  button(InputTestBtn, "InputTestBtn", "输入性能测试", Glyph::InputRun, &TKT5100Form::InputTestClick);
  button(OutputTestBtn, "OutputTestBtn", "输出性能测试", Glyph::OutputRun, &TKT5100Form::OutputTestClick);
  button(CompTestBtn, "CompTestBtn", "综合性能测试", Glyph::CompRun, &TKT5100Form::CompTestClick);
  button(StartTestBtn, "StartTestBtn", "启动性能测试", Glyph::StartRun, &TKT5100Form::StartTestComdClick);
  button(CurrentBtn, "CurrentBtn", "相位角测试", Glyph::Phase, &TKT5100Form::CurrentClick);
  bevel();
  button(LockTestBtn, "LockTestBtn", "测试锁定", Glyph::Lock, &TKT5100Form::LockTestClick, true);
  bevel();
  button(InputTestLockBtn, "InputTestLockBtn", "输入性能单次测试", Glyph::InputSingle,
         &TKT5100Form::InputTestLockBtnClick);
  button(OutputTestLockBtn, "OutputTestLockBtn", "输出性能单次测试", Glyph::OutputSingle,
         &TKT5100Form::OutputTestLockBtnClick);
  button(CompTestLockBtn, "CompTestLockBtn", "综合性能单次测试", Glyph::CompSingle, &TKT5100Form::CompTestLockBtnClick);
  button(PhaseTestLockBtn, "PhaseTestLockBtn", "相位角单次测试", Glyph::PhaseSingle,
         &TKT5100Form::PhaseTestLockBtnClick);
  bevel();
  button(BackBtn, "BackBtn", "前一项", Glyph::Back, &TKT5100Form::BackClick);
  button(NextBtn, "NextBtn", "后一项", Glyph::Next, &TKT5100Form::NextClick);
  bevel();
  button(HanZiBtn, "HanZiBtn", "中英文切换", Glyph::Language, &TKT5100Form::HanZiClick, true);
  button(WideFreqBtn, "WideFreqBtn", "窄、宽频选择", Glyph::WideBand, &TKT5100Form::WideFreqClick);
  bevel();
  button(GaoPinBtn, "GaoPinBtn", "高频波动态分析", Glyph::Analysis, &TKT5100Form::BaoAnaClick);
  bevel();
  button(PrintBtn, "PrintBtn", "打印", Glyph::Print, &TKT5100Form::PrintClick);
  bevel();
  button(ExitBtn, "ExitBtn", "退出", Glyph::Exit, &TKT5100Form::ExitClick);
  row->addStretch(1);

  ProgressBar1 = new QProgressBar(Panel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setFixedSize(ProgressBarWidth, 18);
  row->addWidget(ProgressBar1);
}

void TKT5100Form::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  const auto item = [&](QMenu* menu, const char* name, const char* caption, void (TKT5100Form::*handler)(),
                        Glyph glyph) {
    QAction* a = menu->addAction(GlyphIcon(glyph), U(caption));
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, handler);
    if (handler == &TKT5100Form::OpenFileClick || handler == &TKT5100Form::StoreFileClick ||
        handler == &TKT5100Form::PrintClick || handler == &TKT5100Form::BackClick || handler == &TKT5100Form::NextClick)
      waitForRun_.push_back(a);
  };
  QMenu* file = bar->addMenu(U("文件&F"));
  file->setObjectName("File");
  item(file, "OpenFile", "打开文件&O", &TKT5100Form::OpenFileClick, Glyph::Open);
  item(file, "StoreFile", "存盘&S", &TKT5100Form::StoreFileClick, Glyph::Store);
  file->addSeparator();
  item(file, "Print", "打印&P", &TKT5100Form::PrintClick, Glyph::Print);
  file->addSeparator();
  item(file, "Exit", "退出&X", &TKT5100Form::ExitClick, Glyph::Exit);

  QMenu* test = bar->addMenu(U("测试&T"));
  test->setObjectName("Test");
  item(test, "InputTest", "输入性能测试&I", &TKT5100Form::InputTestClick, Glyph::InputRun);
  item(test, "OutputTest", "输出性能测试&O", &TKT5100Form::OutputTestClick, Glyph::OutputRun);
  test->addSeparator();
  item(test, "CompTest", "综合性能测试&W", &TKT5100Form::CompTestClick, Glyph::CompRun);
  test->addSeparator();
  item(test, "StartTestComd", "启动性能测试&S", &TKT5100Form::StartTestComdClick, Glyph::StartRun);
  test->addSeparator();
  item(test, "LockTest", "锁定&L", &TKT5100Form::LockTestClick, Glyph::Lock);
  test->addSeparator();
  item(test, "Current", "相位角测试&C", &TKT5100Form::CurrentClick, Glyph::Phase);
  test->addSeparator();
  item(test, "BaoAna", "高频波分析&A", &TKT5100Form::BaoAnaClick, Glyph::Analysis);

  QMenu* choose = bar->addMenu(U("选择&C"));
  choose->setObjectName("C1");
  item(choose, "WideFreq", "宽频选择&W", &TKT5100Form::WideFreqClick, Glyph::WideBand);
  item(choose, "HanZi", "中、英文选择&H", &TKT5100Form::HanZiClick, Glyph::Language);
  choose->addSeparator();
  item(choose, "SerialPort", "串口选择&P", &TKT5100Form::SerialPortClick, Glyph::Port);
  choose->addSeparator();
  item(choose, "Back", "前一项&B", &TKT5100Form::BackClick, Glyph::Back);
  item(choose, "Next", "后一项&N", &TKT5100Form::NextClick, Glyph::Next);

  QMenu* info = bar->addMenu(U("信息&I"));
  info->setObjectName("Information");
  item(info, "InputInfo", "输入信息&I", &TKT5100Form::InputInfoClick, Glyph::Info);
}

void TKT5100Form::FormCreate() {
  Form& f = *form_;
  f.ChineseMode = 1;
  SyncLanguage();
  ReadPortConfig(f);
  f.PortDevice = settings::PortDevice();
  OpenPort(f);  // a failure has told the operator; the port watch finds it when it comes
  StartPoller();
  ShowPortDevice();
  portWatch_.start();
  // What this machine lacks is said once, at the start, rather than found
  // out later as '?' in every Chinese text or slow stops.
  std::string missing;
  if (!GbkAvailable()) missing += "本机缺少GBK字符转换：数据文件中的中文将无法读写。\n";
  if (!services_.port.CanWake()) missing += "本机无法建立串口等待的唤醒管道：程序将以短间隔轮询串口。\n";
  if (!missing.empty()) MessageBox(missing, "警告！");
}

void TKT5100Form::SyncLanguage() {
  // Qt's own dialogs (files, printing, questions) speak the page's language.
  const bool chinese = form_->ChineseMode != 0;
  if (line_) line_->SetChinese(chinese);
  if (portLabel_) ShowPortDevice();
  if (chinese == qtChineseInstalled_) return;
  if (chinese) {
    if (qtChinese_.isEmpty())
      static_cast<void>(
          qtChinese_.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    if (!qtChinese_.isEmpty()) QCoreApplication::installTranslator(&qtChinese_);
  } else {
    QCoreApplication::removeTranslator(&qtChinese_);
  }
  qtChineseInstalled_ = chinese;
}

void TKT5100Form::StartPoller() {
  poller_ = std::make_unique<InputThread>(
      services_.port, [this] { return PollerCheck(*form_); },
      [this](std::function<void()> fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); });
}

void TKT5100Form::StopPoller() {
  if (poller_) {
    poller_->Stop();
    poller_.reset();
  }
}

void TKT5100Form::ChangePort(const char* portName) {
  Form& f = *form_;
  if (line_) line_->Audit("port", f.PortDevice.empty() ? f.PortName : f.PortDevice, portName);
  std::memset(f.PortName, 0, sizeof f.PortName);
  std::strncpy(f.PortName, portName, sizeof f.PortName - 1);
  WritePortConfig(f);
  f.PortDevice.clear();
  settings::SetPortDevice("");
  ReopenPort();
}

void TKT5100Form::ChangeDevice(const std::string& device) {
  if (line_) line_->Audit("port", form_->PortDevice.empty() ? form_->PortName : form_->PortDevice, device);
  form_->PortDevice = device;
  settings::SetPortDevice(device);
  ReopenPort();
}

void TKT5100Form::ReopenPort() {
  // The poller waits on the port, so it goes first; then the port is closed
  // and reopened under the new name, and a new poller watches it.
  StopPoller();
  services_.port.Close();
  OpenPort(*form_);
  StartPoller();
  ShowPortDevice();
}

void TKT5100Form::ShowPortDevice() {
  // Only a device chosen from the system's list is named here; COM1 and
  // COM2 are the program's own names.
  const std::string& device = form_->PortDevice;
  portLabel_->setVisible(!device.empty());
  const bool zh = form_->ChineseMode != 0;
  const bool present = services_.port.IsOpen() && !services_.port.HungUp();
  const QString text = QString::fromUtf8(zh ? "串口 " : "Port ") + QString::fromStdString(device) +
                       (present ? QString() : QString::fromUtf8(zh ? "（未连接）" : " (missing)"));
  if (portLabel_->text() != text) portLabel_->setText(text);
}

void TKT5100Form::WatchPort() {
  // A port that could not be opened, or whose device went away, is opened
  // again as soon as its device is back (an attempt is one failed open()
  // while it is not); during a run the link check does this itself.
  SerialPort& port = services_.port;
  if ((!port.IsOpen() || port.HungUp()) && form_->RunKind == NoTest) port.Reopen();
  ShowPortDevice();
}

// ---- test commands ----

void TKT5100Form::TestCommand(TestKind kind, StartMode mode) {
  if (!line_ || line_->MayStartRun()) StartTestCommand(*form_, kind, mode);
}

void TKT5100Form::InputTestClick() { TestCommand(InputTest, StartMode::Continuous); }
void TKT5100Form::OutputTestClick() { TestCommand(OutputTest, StartMode::Continuous); }
void TKT5100Form::CompTestClick() { TestCommand(CompTest, StartMode::Continuous); }
void TKT5100Form::CurrentClick() { TestCommand(PhaseTest, StartMode::Continuous); }
void TKT5100Form::InputTestLockBtnClick() { TestCommand(InputTest, StartMode::Single); }
void TKT5100Form::OutputTestLockBtnClick() { TestCommand(OutputTest, StartMode::Single); }
void TKT5100Form::CompTestLockBtnClick() { TestCommand(CompTest, StartMode::Single); }
void TKT5100Form::PhaseTestLockBtnClick() { TestCommand(PhaseTest, StartMode::Single); }
void TKT5100Form::StartTestComdClick() { TestCommand(StartTest, StartMode::StartUp); }

void TKT5100Form::LockTestClick() {
  // Only the flag: the tool button keeps its own pressed state, and the menu
  // item does not touch the button.
  ToggleLock(*form_);
}

void TKT5100Form::HanZiClick() {
  form_->ChineseMode = form_->ChineseMode ? 0 : 1;
  SyncLanguage();
  Repaint();
}

void TKT5100Form::WideFreqClick() {
  form_->WideFreqMode = form_->WideFreqMode ? 0 : 1;
  Repaint();
}

void TKT5100Form::BackClick() {
  if (RefuseDuringRun(*form_)) return;
  BrowseBack(*form_);
  line_->ShownChanged(false);
}
void TKT5100Form::NextClick() {
  if (RefuseDuringRun(*form_)) return;
  BrowseNext(*form_);
  line_->ShownChanged(false);
}

void TKT5100Form::SerialPortClick() { services_.dialogs.ExecModal(*portForm_); }

void TKT5100Form::InputInfoClick() { services_.dialogs.ExecModal(*infoForm_); }
void TKT5100Form::BaoAnaClick() { services_.dialogs.ExecModal(*baoLuoForm_); }

// ---- files and printing ----

namespace {

const char* const DataFileFilter = "数据文件 (*.dat);;所有文件 (*.*)";

}  // namespace

void TKT5100Form::OpenFileClick() {
  if (RefuseDuringRun(*form_)) return;
  LockForFileCommand(*form_);
  QString chosen;
  if (!services_.dialogs.ChooseOpenFile(this, U("打开数据文件"), U(DataFileFilter), chosen)) return;
  if (OpenDataFile(*form_, DataFileName(chosen.toStdString())) == 0) line_->ShownChanged(true);
}

void TKT5100Form::StoreFileClick() {
  if (RefuseDuringRun(*form_)) return;
  LockForFileCommand(*form_);
  services_.dialogs.ExecModal(*infoForm_);
  std::string path;
  if (!ChooseFileToStore(services_.dialogs, this, U("保存测试数据"), U(DataFileFilter), DataFileName, path)) return;
  StoreDataFile(*form_, path);
}

void TKT5100Form::PrintClick() {
  if (RefuseDuringRun(*form_)) return;
  LockForFileCommand(*form_);
  services_.dialogs.ExecModal(*infoForm_);
  Form& f = *form_;
  const auto choose = [this](QPrinter& printer) { return services_.dialogs.SetUpPrinter(this, printer); };
  const auto draw = [&](Canvas& canvas) {
    const std::int32_t kind = f.ShownKind;
    // Nothing shown prints an empty page.
    if (kind < InputTest || kind > PhaseTest || !f.Kinds[static_cast<std::size_t>(kind)].Report) return;
    // Only the English comprehensive report prints rotated text, whose
    // direction depends on the printer family.
    if (kind == CompTest && !f.ChineseMode) services_.dialogs.ExecModal(*printerForm_);
    PrintKindReport(f, kind, f.Analysis, f.ChineseMode ? 0 : 1, line_->PrintedVerdict(kind), canvas);
  };
  if (PrintReportPage(choose, draw) == PrintResult::Failed) MessageBox("打印失败!", "警告");
}

void TKT5100Form::Timer1Timer() { Timer1Tick(*form_); }

// ---- closing ----

void TKT5100Form::ExitClick() {
  if (RequestClose(*form_))
    close();
  else
    StartCloseTimer();
}

void TKT5100Form::StartCloseTimer() {
  // Counted from the first request: asking again does not put it off.
  if (!timer2_.isActive()) timer2_.start();
}

void TKT5100Form::Timer2Timer() {
  timer2_.stop();
  CloseTimedOut(*form_);
}

bool TKT5100Form::FormCloseQuery() {
  if (!RequestClose(*form_)) {
    StartCloseTimer();
    return false;
  }
  // Runs that are nowhere but in memory are not lost without a question.
  return !line_ || line_->MayClose();
}

void TKT5100Form::FormClose() {
  closed_ = true;
  timer1_.stop();
  timer2_.stop();
  portWatch_.stop();
  if (alarmForm_) alarmForm_->hide();
  StopPoller();
  services_.port.Close();
}

void TKT5100Form::closeEvent(QCloseEvent* e) {
  if (closed_) {
    e->accept();
    return;
  }
  if (!FormCloseQuery()) {
    e->ignore();
    return;
  }
  FormClose();
  e->accept();
}

// ---- messages, painting, input ----

bool TKT5100Form::event(QEvent* e) {
  if (e->type() == WM_COMMDATA) {
    if (!closed_) StepDispatch(*form_);
    return true;
  }
  return QMainWindow::event(e);
}

void TKT5100Form::PaintBox1Paint(QWidget& box, const QRect& exposed) {
  // Recorded again at every paint, so that the page always shows the state
  // it is drawn from; rasterised only when that drawing changed.
  RecordPage(false);
  if (pageOps_.Empty()) return;  // nothing to show: the plain background
  QPainter out(&box);
  out.drawImage(exposed, pageImage_, exposed);
}

// The page's drawing as it stands now, into the image when it differs from
// the one there (or the box changed size). During a run the page stays the
// same until the results change: the steps' repaints then cost a recording
// and a comparison, not a full-window paint. In the background: the image
// is made on another thread and shown when it is ready; false then.
bool TKT5100Form::RecordPage(bool inBackground) {
  pageCheckPosted_ = false;
  const int w = PaintBox1->width(), h = PaintBox1->height();
  DrawingList now;
  Form& f = *form_;
  const std::int32_t kind = f.ShownKind;
  const bool prompt = promptPending_ || (kind == StartTest && !f.M.Start.Valid);
  const auto paint = f.MainKind(kind) ? f.MainKind(kind)->Paint : nullptr;
  if (w > 0 && h > 0 && prompt)
    PaintStartPrompt(now, w, h);
  else if (w > 0 && h > 0 && paint)
    paint(f, now, w, h);
  const bool sameSize = pageImage_.width() == w && pageImage_.height() == h;
  if (now == pageOps_ && sameSize) {
    ++pageJob_;  // what a job on its way would show is out of date
    return false;
  }
  if (inBackground) {
    if (now == pageJobOps_ && pageJobSize_ == QSize(w, h)) return false;  // on its way
    pageJobOps_ = now;
    pageJobSize_ = QSize(w, h);
    // The image the page showed before the last one is painted over: a
    // fresh one would cost its allocation each time.
    QImage spare = pageSpare_.size() == QSize(w, h) ? std::move(pageSpare_) : QImage(w, h, QImage::Format_RGB32);
    pageSpare_ = QImage();
    pagePainter_.start([this, ops = std::move(now), image = std::move(spare), job = ++pageJob_]() mutable {
      if (!ops.Empty()) {
        QPainter p(&image);
        QtCanvas canvas(p);
        ops.PlayOnto(canvas);
      }
      QMetaObject::invokeMethod(
          this,
          [this, ops = std::move(ops), image = std::move(image), job]() mutable {
            if (job != pageJob_) return;
            pageOps_ = std::move(ops);
            pageSpare_ = std::move(pageImage_);
            pageImage_ = std::move(image);
            pageJobOps_.Clear();
            PaintBox1->update();
          },
          Qt::QueuedConnection);
    });
    return false;
  }
  ++pageJob_;
  pageJobOps_.Clear();
  pageOps_ = std::move(now);
  if (pageImage_.width() != w || pageImage_.height() != h) pageImage_ = QImage(w, h, QImage::Format_RGB32);
  if (pageOps_.Empty()) return true;
  // Drawn off-screen and copied in one go, so no half-drawn page is seen.
  QPainter p(&pageImage_);
  QtCanvas canvas(p);
  pageOps_.PlayOnto(canvas);
  return true;
}

// The page is looked at once the step that asked has ended: its blocks are
// acknowledged first, and several requests of one step cost one look.
void TKT5100Form::SchedulePageCheck() {
  if (pageCheckPosted_) return;
  pageCheckPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (pageCheckPosted_) RecordPage(true);  // (unless a paint has looked already)
      },
      Qt::QueuedConnection);
}

void TKT5100Form::PaintBox1MouseDown(int x, int y) {
  Form& f = *form_;
  if (f.ShownKind != StartTest) return;
  if (auto handler = f.Kinds[StartTest].MouseDown) handler(f, x, y, PaintBox1->width());
}

void TKT5100Form::FormKeyDown(int key) {
  Form& f = *form_;
  if (f.ShownKind != StartTest) return;
  if (auto handler = f.Kinds[StartTest].KeyDown) handler(f, key);
}

void TKT5100Form::keyPressEvent(QKeyEvent* e) {
  // The page's cursor keys use the native key numbers (37 left, 39 right).
  if (e->key() == Qt::Key_Left)
    FormKeyDown(37);
  else if (e->key() == Qt::Key_Right)
    FormKeyDown(39);
  QMainWindow::keyPressEvent(e);
}

QString TKT5100Form::StatusText() const { return StatusBar1->text(); }
// ---- Host ----

void TKT5100Form::Repaint() {
  SyncLanguage();  // a loaded record may have changed the language
  promptPending_ = false;
  SchedulePageCheck();
}

void TKT5100Form::RepaintAnalysis() {
  if (baoLuoForm_) baoLuoForm_->Repaint();
}

void TKT5100Form::SetStatusText(const std::string& utf8) { StatusBar1->setText(QString::fromStdString(utf8)); }

// QProgressBar::setValue repaints the window at once, in the middle of the
// step: the bar moves once the step has ended and its block is acknowledged.
void TKT5100Form::SetProgress(int percent) {
  QMetaObject::invokeMethod(
      ProgressBar1, [bar = ProgressBar1, percent] { bar->setValue(percent); }, Qt::QueuedConnection);
}

void TKT5100Form::SetAnalysisProgress(int percent) {
  if (baoLuoForm_) baoLuoForm_->SetProgress(percent);
}

void TKT5100Form::EnableTimer1(bool on) {
  if (!on)
    timer1_.stop();
  else if (!timer1_.isActive() && !closed_)
    timer1_.start();
}

void TKT5100Form::ShowAlarm(bool visible) {
  if (!alarmForm_) return;
  if (visible && !closed_) {
    if (!alarmForm_->isVisible()) {
      // Over the middle of the main window: without a window manager a new
      // window would stand at (0, 0), over the menu and the tool bar.
      QRect r = alarmForm_->frameGeometry();
      r.moveCenter(frameGeometry().center());
      alarmForm_->move(r.topLeft());
    }
    alarmForm_->show();
  } else {
    alarmForm_->hide();
  }
}

void TKT5100Form::RunEnded(int kind, RunOutcome outcome) {
  if (!line_) return;
  line_->RunEnded(kind, outcome, baoLuoForm_ ? baoLuoForm_->Language() : 0);
  if ((kind == GaoTest || kind == BaoTest) && outcome == RunOutcome::Completed && baoLuoForm_)
    baoLuoForm_->ShowVerdict(line_->VerdictOf(kind), form_->ChineseMode != 0);
}

void TKT5100Form::OpenLoggedRun(const QByteArray& record, int kind) {
  if (RefuseDuringRun(*form_)) return;
  const std::vector<std::uint8_t> bytes(record.begin(), record.end());
  if (kind == GaoTest || kind == BaoTest) {
    // The analysis window shows it, as after opening its file, from the
    // bytes themselves: no file in a shared folder that another user could
    // have placed a link at.
    baoLuoForm_->OpenOnShow(bytes);
    BaoAnaClick();
    return;
  }
  if (OpenRecordBytes(*form_, kind, bytes) != 0) return;
  line_->ShownChanged(true);
  Repaint();
}

void TKT5100Form::MessageBox(const std::string& text, const std::string& caption) {
  // One box at a time of the same warning: while it waits for the operator,
  // the event loop runs on and the same failure may be reported again.
  if (text == shownMessage_) return;
  const std::string outer = shownMessage_;
  shownMessage_ = text;
  services_.dialogs.MessageBox(text, caption);
  shownMessage_ = outer;
}

void TKT5100Form::RunStateChanged() {
  const bool idle = form_->RunKind == NoTest;
  if (!idle && line_) line_->RunStarted();
  for (QAction* a : waitForRun_) a->setEnabled(idle);
  for (QToolButton* b : {BackBtn, NextBtn, PrintBtn}) b->setEnabled(idle);
  if (baoLuoForm_) baoLuoForm_->UpdateCommands();
  if (line_) line_->ApplyRole();
}

void TKT5100Form::CloseMainWindow() { close(); }

void TKT5100Form::SetLockTestBtnDown(bool down) { LockTestBtn->setChecked(down); }

void TKT5100Form::SetHanZiBtnDown(bool down) { HanZiBtn->setChecked(down); }

void TKT5100Form::SetGaoTestEnabled(bool enabled) {
  if (baoLuoForm_) baoLuoForm_->SetGaoTestEnabled(enabled);
}

void TKT5100Form::DrawStartPrompt() {
  promptPending_ = true;
  SchedulePageCheck();
}

void TKT5100Form::PostCommData() { QCoreApplication::postEvent(this, new QEvent(WM_COMMDATA)); }

// ---- PaintBox1 ----

TPaintBox::TPaintBox(TKT5100Form& owner, QWidget* parent) : QWidget(parent), owner_(owner) {
  setFocusPolicy(Qt::NoFocus);
}

void TPaintBox::paintEvent(QPaintEvent* e) { owner_.PaintBox1Paint(*this, e->rect()); }

void TPaintBox::mousePressEvent(QMouseEvent* e) {
  owner_.PaintBox1MouseDown(static_cast<int>(e->position().x()), static_cast<int>(e->position().y()));
}

}  // namespace kt
