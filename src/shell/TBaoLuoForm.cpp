#include "shell/TBaoLuoForm.h"

#include <qdrawutil.h>
#include <QAction>
#include <QFrame>
#include <QImage>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QToolButton>

#include "analysis/AnalysisFile.h"
#include "analysis/AnalysisPanels.h"
#include "analysis/AnalysisRun.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "platform/PrintJob.h"
#include "platform/QtCanvas.h"
#include "shell/Glyphs.h"
#include "shell/ShellDialogs.h"
#include "shell/TVerdictBand.h"
#include "station/PrintedReport.h"

namespace kt {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Layout in pixels of the client area below the menu.
constexpr int ClientWidth = 632;
constexpr int ToolBarHeight = 26;
constexpr int ToolButtonSize = 24;
constexpr int ProgressBarWidth = 183;
constexpr int RowHeight = 102;
constexpr int RowTop[4] = {26, 128, 230, 332};
constexpr int BodyHeight = 26 + 4 * RowHeight;
constexpr int EnvelopeCellX = 0, EnvelopeCellWidth = 302;
constexpr int WaveCellX = 302, WaveCellWidth = 230;
constexpr int ValueCellX = 532, ValueCellWidth = 100;
constexpr int PaintBoxHeight = 100;

// Rows top to bottom: lamp voltage, lamp current, filament current,
// cathode-lead current. Values and units of the voltage and the filament
// current are blue, those of the lamp and cathode-lead currents red.
constexpr int RowChannel[4] = {ChU, ChIl, ChIf, ChIk};
const QColor ValueColour[4] = {Qt::blue, Qt::red, Qt::blue, Qt::red};
// The crest-factor value of the lower two cells sits a pixel lower.
constexpr int CrestValueY[4] = {74, 74, 75, 75};

const char* const FileFilter = "*.bdt (*.bdt);;*.* (*.*)";

QFont SongFont() {
  QFont f(QStringLiteral("宋体"));
  f.setPixelSize(13);
  return f;
}

QFrame* RaisedPanel(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Raised);
  panel->setLineWidth(1);
  panel->setGeometry(x, y, w, h);
  return panel;
}

QLabel* CellLabel(QLabel* label, const char* name, int x, int y, int w, int h, const QColor& colour) {
  label->setObjectName(name);
  label->setGeometry(x, y, w, h);
  label->setFont(SongFont());
  label->setAlignment(Qt::AlignCenter);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, colour);
  label->setPalette(pal);
  return label;
}

}  // namespace

// ---- paint boxes and bevels ----

TBaoPaintBox::TBaoPaintBox(TBaoLuoForm& owner, Kind kind, int channel, QWidget* parent)
    : QWidget(parent), owner_(owner), kind_(kind), channel_(channel) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TBaoPaintBox::paintEvent(QPaintEvent*) { owner_.PaintBoxPaint(*this, kind_, channel_); }

void TBaoPaintBox::mousePressEvent(QMouseEvent* e) {
  if (kind_ != Kind::Envelope) return;
  const int x = static_cast<int>(e->position().x());
  switch (channel_) {
    case ChU:
      owner_.vPaintMouseDown(x);
      break;
    case ChIl:
      owner_.ilPaintMouseDown(x);
      break;
    case ChIf:
      owner_.ifPaintMouseDown(x);
      break;
    default:
      owner_.ikPaintMouseDown(x);
      break;
  }
}

void TBevelLabel::paintEvent(QPaintEvent* e) {
  {
    QPainter p(this);
    qDrawShadePanel(&p, rect(), palette(), true, 1);
    qDrawShadePanel(&p, rect().adjusted(1, 1, -1, -1), palette(), false, 1);
  }
  QLabel::paintEvent(e);
}

// ---- the window ----

TBaoLuoForm::TBaoLuoForm(QWidget* owner, Form& form, ShellDialogs& dialogs, QDialog& infoForm)
    : QDialog(owner), form_(form), dialogs_(dialogs), infoForm_(infoForm) {
  setObjectName("BaoLuoForm");
  setWindowTitle(U("高频波动态分析"));
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);

  BuildMenu();
  auto* body = new QWidget(this);
  body->setObjectName("Body");
  const int menuHeight = MainMenu1->sizeHint().height();
  MainMenu1->setGeometry(0, 0, ClientWidth, menuHeight);
  body->setGeometry(0, menuHeight, ClientWidth, BodyHeight);
  BuildToolBar(body);
  BuildRows(body);
  VerdictBand = new TVerdictBand(this);
  VerdictBand->setObjectName("VerdictBand");
  // Below the rows while limits apply, as tall as the band makes itself here.
  VerdictBand->setGeometry(0, menuHeight + BodyHeight, ClientWidth, VerdictBand->height());
  VerdictBand->hide();
  setFixedSize(ClientSize());
}

QSize TBaoLuoForm::ClientSize() const {
  const int band = VerdictBand && !VerdictBand->isHidden() ? VerdictBand->height() : 0;
  return {ClientWidth, MainMenu1->sizeHint().height() + BodyHeight + band};
}

void TBaoLuoForm::BuildMenu() {
  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName("MainMenu1");
  MainMenu1->setNativeMenuBar(false);
  const auto item = [&](QMenu* menu, const char* name, const char* caption, void (TBaoLuoForm::*handler)(),
                        Glyph glyph) {
    QAction* a = menu->addAction(GlyphIcon(glyph), U(caption));
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, handler);
    return a;
  };
  QMenu* file = MainMenu1->addMenu(U("文件&F"));
  Open = item(file, "Open", "打开文件&O", &TBaoLuoForm::OpenClick, Glyph::Open);
  Save = item(file, "Save", "存储数据&S", &TBaoLuoForm::SaveClick, Glyph::Store);
  file->addSeparator();
  Print = item(file, "Print", "打印&P", &TBaoLuoForm::PrintClick, Glyph::Print);
  file->addSeparator();
  Exit = item(file, "Exit", "关闭&C", &TBaoLuoForm::ExitClick, Glyph::Exit);
  QMenu* test = MainMenu1->addMenu(U("分析测试&A"));
  BaoTest = item(test, "BaoTest", "包络波测试&B", &TBaoLuoForm::BaoTestClick, Glyph::OutputRun);
  test->addSeparator();
  GaoTest = item(test, "GaoTest", "高频波分析&G", &TBaoLuoForm::GaoTestClick, Glyph::Analysis);
  QMenu* choose = MainMenu1->addMenu(U("选择&C"));
  HanYing = item(choose, "HanYing", "中英文选择&H", &TBaoLuoForm::HanYingClick, Glyph::Language);
}

void TBaoLuoForm::BuildToolBar(QWidget* body) {
  Panel1 = RaisedPanel(body, "Panel1", 0, 0, ClientWidth, ToolBarHeight);
  const auto button = [&](QToolButton*& field, const char* name, const char* hint, int x, Glyph glyph,
                          void (TBaoLuoForm::*handler)(), bool toggle = false) {
    field = new QToolButton(Panel1);
    field->setObjectName(name);
    field->setToolTip(U(hint));
    field->setIcon(GlyphIcon(glyph));
    field->setIconSize(QSize(20, 20));
    field->setGeometry(x, 1, ToolButtonSize, ToolButtonSize);
    field->setAutoRaise(true);
    field->setCheckable(toggle);
    field->setFocusPolicy(Qt::NoFocus);
    connect(field, &QToolButton::clicked, this, handler);
  };
  const auto bevel = [&](int x) {
    auto* line = new QFrame(Panel1);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, 1, 4, ToolButtonSize);
  };
  // Pressed while their run is under way: a second click leaves it.
  button(BaoBtn, "BaoBtn", "包络波测试", 13, Glyph::OutputRun, &TBaoLuoForm::BaoTestClick, true);
  button(GaoPinBtn, "GaoPinBtn", "高频波分析", 38, Glyph::Analysis, &TBaoLuoForm::GaoTestClick, true);
  bevel(65);
  button(HanBtn, "HanBtn", "中、英文切换", 72, Glyph::Language, &TBaoLuoForm::HanYingClick, true);
  bevel(99);
  button(PrintBtn, "PrintBtn", "打印", 106, Glyph::Print, &TBaoLuoForm::PrintClick);
  bevel(133);
  button(ExitBtn, "ExitBtn", "关闭", 140, Glyph::Exit, &TBaoLuoForm::ExitClick);
  ProgressBar1 = new QProgressBar(Panel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setGeometry(ClientWidth - 1 - ProgressBarWidth, 1, ProgressBarWidth, ToolBarHeight - 2);
}

void TBaoLuoForm::BuildRows(QWidget* body) {
  struct RowNames {
    QFrame** EnvelopePanel;
    const char* EnvelopePanelName;
    TBaoPaintBox** EnvelopeBox;
    const char* EnvelopeBoxName;
    QFrame** WavePanel;
    const char* WavePanelName;
    TBaoPaintBox** WaveBox;
    const char* WaveBoxName;
    QFrame** ValuePanel;
    const char* ValuePanelName;
    QLabel** RmsHead;
    const char* RmsHeadName;
    QLabel** RmsValue;
    const char* RmsValueName;
    QLabel** Unit;
    const char* UnitName;
    QLabel** CfHead;
    const char* CfHeadName;
    QLabel** CfValue;
    const char* CfValueName;
  };
  const RowNames rows[4] = {
      {&vPanel,    "vPanel", &vPaint,      "vPaint",      &GaoPanel,      "GaoPanel", &GaoPaint,
       "GaoPaint", &Panel2,  "Panel2",     &rmsHeadPanel, "rmsHeadPanel", &vrmsPanel, "vrmsPanel",
       &vUnit,     "vUnit",  &cfHeadPanel, "cfHeadPanel", &vcfPanel,      "vcfPanel"},
      {&ilPanel,     "ilPanel", &ilPaint,  "ilPaint",  &Panel3,     "Panel3",    &GaoPaintIl,
       "GaoPaintIl", &Panel4,   "Panel4",  &IlrmsHead, "IlrmsHead", &ilrmsPanel, "ilrmsPanel",
       &ailUnit,     "ailUnit", &IlcfHead, "IlcfHead", &ilcfPanel,  "ilcfPanel"},
      {&ifPanel,     "ifPanel", &ifPaint,  "ifPaint",  &Panel5,     "Panel5",    &GaoPaintIf,
       "GaoPaintIf", &Panel7,   "Panel7",  &IfrmsHead, "IfrmsHead", &ifrmsPanel, "ifrmsPanel",
       &Panel9,      "Panel9",  &IfcfHead, "IfcfHead", &ifcfPanel,  "ifcfPanel"},
      {&ikPanel,     "ikPanel", &ikPaint,  "ikPaint",  &Panel6,     "Panel6",    &GaoPaintIk,
       "GaoPaintIk", &Panel11,  "Panel11", &IkrmsHead, "IkrmsHead", &ikrmsPanel, "ikrmsPanel",
       &Panel13,     "Panel13", &IkcfHead, "IkcfHead", &ikcfPanel,  "ikcfPanel"},
  };
  for (int r = 0; r < 4; ++r) {
    const RowNames& n = rows[r];
    const int c = RowChannel[r], y = RowTop[r];
    *n.EnvelopePanel = RaisedPanel(body, n.EnvelopePanelName, EnvelopeCellX, y, EnvelopeCellWidth, RowHeight);
    *n.EnvelopeBox = new TBaoPaintBox(*this, TBaoPaintBox::Kind::Envelope, c, *n.EnvelopePanel);
    (*n.EnvelopeBox)->setObjectName(n.EnvelopeBoxName);
    (*n.EnvelopeBox)->setGeometry(1, 1, EnvelopeCellWidth - 2, PaintBoxHeight);
    envelopeBoxes_[static_cast<std::size_t>(c)] = *n.EnvelopeBox;

    *n.WavePanel = RaisedPanel(body, n.WavePanelName, WaveCellX, y, WaveCellWidth, RowHeight);
    *n.WaveBox = new TBaoPaintBox(*this, TBaoPaintBox::Kind::Wave, c, *n.WavePanel);
    (*n.WaveBox)->setObjectName(n.WaveBoxName);
    (*n.WaveBox)->setGeometry(1, 1, WaveCellWidth - 2, PaintBoxHeight);
    waveBoxes_[static_cast<std::size_t>(c)] = *n.WaveBox;

    QFrame* cell = RaisedPanel(body, n.ValuePanelName, ValueCellX, y, ValueCellWidth, RowHeight);
    *n.ValuePanel = cell;
    *n.RmsHead = CellLabel(new QLabel(cell), n.RmsHeadName, 6, 7, 88, 20, Qt::black);
    *n.RmsValue = CellLabel(new TBevelLabel(cell), n.RmsValueName, 5, 27, 55, 20, ValueColour[r]);
    *n.Unit = CellLabel(new QLabel(U(AnalysisUnit[c]), cell), n.UnitName, 69, 27, 25, 20, ValueColour[r]);
    *n.CfHead = CellLabel(new QLabel(cell), n.CfHeadName, 5, 55, 87, 20, Qt::black);
    *n.CfValue = CellLabel(new TBevelLabel(cell), n.CfValueName, 5, CrestValueY[r], 87, 20, ValueColour[r]);
    rmsHeads_[static_cast<std::size_t>(c)] = *n.RmsHead;
    rmsValues_[static_cast<std::size_t>(c)] = *n.RmsValue;
    cfHeads_[static_cast<std::size_t>(c)] = *n.CfHead;
    cfValues_[static_cast<std::size_t>(c)] = *n.CfValue;
  }
  RefreshValueCells();
}

// ---- commands ----

void TBaoLuoForm::StartTest(std::int32_t kind) {
  // The test's own button, pressed again while its run waits for the
  // instrument, leaves that run: the window is modal, so the main window's
  // commands cannot. The envelope measured before stays.
  if (form_.RunKind == kind) {
    AbandonRun(form_, "");
    stopped_ = true;
    UpdateCommands();
    return;
  }
  // One run at a time: a click while a run is under way would take over its
  // exchange. The other commands are disabled meanwhile; this holds for the
  // menu keys too.
  if (form_.RunKind != NoTest) return;
  if (mayStart_ && !mayStart_()) return;
  form_.SelectedKind = kind;
  // A continuous test of the main window stops here, as for any other test
  // command.
  form_.host.EnableTimer1(false);
  form_.StartRequested = 1;
  form_.host.PostCommData();
}

void TBaoLuoForm::BaoTestClick() { StartTest(kt::BaoTest); }

void TBaoLuoForm::GaoTestClick() { StartTest(kt::GaoTest); }

void TBaoLuoForm::OpenClick() {
  if (form_.RunKind != NoTest) return;
  QString chosen;
  if (!dialogs_.ChooseOpenFile(this, U("打开数据文件"), U(FileFilter), chosen)) return;
  if (OpenAnalysisFile(form_, data_, language_, AnalysisFileName(chosen.toStdString())) == 0) JudgeOpened();
  // Also after a refused file: the window shows what it holds.
  Repaint();
}

void TBaoLuoForm::SaveClick() {
  if (form_.RunKind != NoTest) return;
  dialogs_.ExecModal(infoForm_);
  std::string path;
  if (!ChooseFileToStore(dialogs_, this, U("保存数据"), U(FileFilter), AnalysisFileName, path)) return;
  SaveAnalysisFile(form_, data_, language_, path);
}

void TBaoLuoForm::PrintClick() {
  if (form_.RunKind != NoTest) return;
  dialogs_.ExecModal(infoForm_);
  const auto choose = [this](QPrinter& printer) { return dialogs_.SetUpPrinter(this, printer); };
  // With the verdict the band shows, judged when the run ended or the file opened.
  const auto draw = [this](Canvas& canvas) {
    PrintKindReport(form_, kt::GaoTest, &data_, language_, verdict_ ? &*verdict_ : nullptr, canvas);
  };
  if (PrintReportPage(choose, draw) == PrintResult::Failed) form_.host.MessageBox("打印失败!", "警告");
}

void TBaoLuoForm::ExitClick() { close(); }

void TBaoLuoForm::HanYingClick() {
  language_ = language_ == 1 ? 0 : 1;
  HanBtn->setChecked(language_ == 1);
  Repaint();
}

void TBaoLuoForm::ChoosePosition(int x) {
  data_.SelectX = x;
  Repaint();
}

void TBaoLuoForm::vPaintMouseDown(int x) { ChoosePosition(x); }
void TBaoLuoForm::ilPaintMouseDown(int x) { ChoosePosition(x); }
void TBaoLuoForm::ifPaintMouseDown(int x) { ChoosePosition(x); }
void TBaoLuoForm::ikPaintMouseDown(int x) { ChoosePosition(x); }

// ---- window events ----

void TBaoLuoForm::FormShow() {
  AnalysisData& a = data_;
  a.EnvelopeValid = 0;
  // A new showing needs its own envelope test before an analysis.
  SetGaoTestEnabled(false);
  for (int c = 0; c < 4; ++c) {
    a.Period[c] = 0;
    a.EnvelopeMax[c] = 0;
    a.WavePeak[c] = 0;
    a.WaveRms[c] = 0;
    a.CrestFactor[c] = 0;
  }
  ShowVerdict(nullptr, false);
  if (!pendingRecord_.empty()) {
    // A run of the log, opened as its file would be.
    if (ParseAnalysisRecord(form_, data_, language_, pendingRecord_) == 0) JudgeOpened();
    pendingRecord_.clear();
  }
  if (const QScreen* s = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
  }
  Repaint();
}

void TBaoLuoForm::OpenOnShow(std::vector<std::uint8_t> record) { pendingRecord_ = std::move(record); }

void TBaoLuoForm::JudgeOpened() {
  // A file does not say which of the two tests it holds: an analysed wave
  // makes it the analysis.
  if (judge_) ShowVerdict(judge_(data_.Period[ChIl] > 0 ? kt::GaoTest : kt::BaoTest), form_.ChineseMode != 0);
}

void TBaoLuoForm::ShowVerdict(const Verdict* v, bool chinese) {
  verdict_.reset();
  if (v) verdict_ = *v;
  // The window grows by the band while limits apply, and is its own size
  // otherwise.
  if (v) {
    VerdictBand->SetChinese(chinese);
    VerdictBand->ShowVerdict(*v);
  }
  VerdictBand->setVisible(v != nullptr);
  setFixedSize(ClientSize());
}

void TBaoLuoForm::FormResize() {
  if (size() != ClientSize()) resize(ClientSize());
}

void TBaoLuoForm::FormClose() {
  EndAnalysisRuns(form_);
  // The main window shows the output page again, unless a run of its own
  // went on under this window: its page stays.
  if (form_.RunKind == NoTest) form_.ShownKind = OutputTest;
  form_.host.Repaint();
}

void TBaoLuoForm::FormPaint() {
  if (HanBtn->isChecked() != (language_ == 1)) HanBtn->setChecked(language_ == 1);
  RefreshValueCells();
}

void TBaoLuoForm::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!e->spontaneous()) FormShow();
}

void TBaoLuoForm::paintEvent(QPaintEvent* e) {
  FormPaint();
  QDialog::paintEvent(e);
}

void TBaoLuoForm::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  FormResize();
}

void TBaoLuoForm::done(int result) {
  if (isVisible()) FormClose();
  QDialog::done(result);
}

// ---- what the runs ask for ----

void TBaoLuoForm::Repaint() {
  FormPaint();
  update();
  for (TBaoPaintBox* box : envelopeBoxes_) box->update();
  for (TBaoPaintBox* box : waveBoxes_) box->update();
}

void TBaoLuoForm::SetProgress(int percent) { ProgressBar1->setValue(percent); }

void TBaoLuoForm::SetGaoTestEnabled(bool enabled) {
  gaoAllowed_ = enabled;
  UpdateCommands();
}

void TBaoLuoForm::UpdateCommands() {
  const bool idle = form_.RunKind == NoTest;
  for (QAction* a : {Open, Save, Print, BaoTest}) a->setEnabled(idle);
  PrintBtn->setEnabled(idle);
  GaoTest->setEnabled(idle && gaoAllowed_);
  // A run of this window keeps its own button, pressed, to leave it by.
  BaoBtn->setEnabled(idle || form_.RunKind == kt::BaoTest);
  GaoPinBtn->setEnabled((idle && gaoAllowed_) || form_.RunKind == kt::GaoTest);
  BaoBtn->setChecked(form_.RunKind == kt::BaoTest);
  GaoPinBtn->setChecked(form_.RunKind == kt::GaoTest);
  // The bar says how to leave a run, and that one was left, until the next.
  const bool mine = form_.RunKind == kt::BaoTest || form_.RunKind == kt::GaoTest;
  if (mine) stopped_ = false;
  const bool english = language_ == 1;
  ProgressBar1->setFormat(mine       ? U(english ? "%p%  click the test to stop" : "%p%  再按测试按钮停止")
                          : stopped_ ? U(english ? "Stopped" : "已中止")
                                     : QStringLiteral("%p%"));
  ProgressBar1->setTextVisible(mine || stopped_);
}

void TBaoLuoForm::RefreshValueCells() {
  const AnalysisTexts& texts = AnalysisLanguage(language_);
  const auto set = [](QLabel* label, const std::string& text) {
    const QString q = QString::fromStdString(text);
    if (label->text() != q) label->setText(q);
  };
  for (int c = 0; c < 4; ++c) {
    const auto i = static_cast<std::size_t>(c);
    set(rmsHeads_[i], texts.RmsHead[c]);
    set(cfHeads_[i], texts.CfHead);
    set(rmsValues_[i], RmsValueText(data_, c));
    set(cfValues_[i], CrestValueText(data_, c));
  }
}

void TBaoLuoForm::PaintBoxPaint(QWidget& box, TBaoPaintBox::Kind kind, int channel) {
  const int w = box.width(), h = box.height();
  if (w <= 0 || h <= 0) return;
  // Drawn off-screen and copied in one go.
  QImage image(w, h, QImage::Format_RGB32);
  {
    QPainter p(&image);
    QtCanvas canvas(p);
    if (kind == TBaoPaintBox::Kind::Envelope)
      PaintEnvelopePanel(canvas, data_, channel, w, h);
    else
      PaintWavePanel(canvas, data_, channel, w, h);
  }
  QPainter out(&box);
  out.drawImage(0, 0, image);
}

}  // namespace kt
