#pragma once
#include <QDialog>
#include <QLabel>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/AnalysisData.h"
#include "verdict/Verdict.h"

class QAction;
class QFrame;
class QMenuBar;
class QProgressBar;
class QToolButton;

namespace kt {

struct Form;
struct Verdict;
class ShellDialogs;
class TVerdictBand;
class TBaoLuoForm;

// A paint box of the analysis window: an envelope panel or a wave panel of
// one channel. Painting and clicks go to the window's handlers.
class TBaoPaintBox : public QWidget {
  Q_OBJECT
 public:
  enum class Kind { Envelope, Wave };
  TBaoPaintBox(TBaoLuoForm& owner, Kind kind, int channel, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  TBaoLuoForm& owner_;
  Kind kind_;
  int channel_;
};

// A value of a value cell, in a bevel that is lowered outside and raised
// inside.
class TBevelLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

// "高频波动态分析": the envelope test, the high-frequency analysis at a clicked
// envelope position, their pages, the *.bdt files and the report. Shown
// modally by the main window; its runs go through the main window's step
// framework and port. Holds the analysis results and its own language
// setting (1 English, 0 Chinese).
class TBaoLuoForm : public QDialog {
  Q_OBJECT
 public:
  // `infoForm` is the main window's test information dialog, shown before
  // storing and printing.
  TBaoLuoForm(QWidget* owner, Form& form, ShellDialogs& dialogs, QDialog& infoForm);

  AnalysisData& Data() { return data_; }
  const AnalysisData& Data() const { return data_; }
  std::int32_t Language() const { return language_; }

  // Command handlers (tool buttons and menu items share them).
  void BaoTestClick();
  void GaoTestClick();
  void OpenClick();
  void SaveClick();
  void PrintClick();
  void ExitClick();
  void HanYingClick();
  // A mouse button pressed on an envelope panel chooses the position.
  void vPaintMouseDown(int x);
  void ilPaintMouseDown(int x);
  void ifPaintMouseDown(int x);
  void ikPaintMouseDown(int x);
  void FormPaint();
  void FormShow();
  void FormResize();
  void FormClose();
  // Every way the dialog ends (Exit, the close box, Escape) passes here.
  void done(int result) override;

  // What the main window forwards from the test runs.
  void Repaint();
  void SetProgress(int percent);
  void SetGaoTestEnabled(bool enabled);
  // While a run is under way the window's tests, files and printing wait
  // for its end: their commands are disabled.
  void UpdateCommands();
  // The verdict of the last run below the rows, and on its report; nullptr:
  // it was not judged.
  void ShowVerdict(const Verdict* verdict, bool chinese);
  // Judges what an opened file holds, by kind: the main window's limits.
  void SetJudge(std::function<const Verdict*(int kind)> judge) { judge_ = std::move(judge); }
  // Whether the station may test now (it tells the operator when not).
  void SetMayStart(std::function<bool()> mayStart) { mayStart_ = std::move(mayStart); }
  // A record to show when the window is next shown (a run of the log).
  void OpenOnShow(std::vector<std::uint8_t> record);

  // Draws one panel into the paint box.
  void PaintBoxPaint(QWidget& box, TBaoPaintBox::Kind kind, int channel);

  // Controls, named as the rest of the program refers to them.
  QMenuBar* MainMenu1 = nullptr;
  QAction* Open = nullptr;
  QAction* Save = nullptr;
  QAction* Print = nullptr;
  QAction* Exit = nullptr;
  QAction* BaoTest = nullptr;
  QAction* GaoTest = nullptr;
  QAction* HanYing = nullptr;
  QFrame* Panel1 = nullptr;
  QToolButton* BaoBtn = nullptr;
  QToolButton* GaoPinBtn = nullptr;
  QToolButton* HanBtn = nullptr;
  QToolButton* PrintBtn = nullptr;
  QToolButton* ExitBtn = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  TVerdictBand* VerdictBand = nullptr;
  // Envelope cells and their paint boxes.
  QFrame *vPanel = nullptr, *ilPanel = nullptr, *ifPanel = nullptr, *ikPanel = nullptr;
  TBaoPaintBox *vPaint = nullptr, *ilPaint = nullptr, *ifPaint = nullptr, *ikPaint = nullptr;
  // Wave cells and their paint boxes.
  QFrame *GaoPanel = nullptr, *Panel3 = nullptr, *Panel5 = nullptr, *Panel6 = nullptr;
  TBaoPaintBox *GaoPaint = nullptr, *GaoPaintIl = nullptr, *GaoPaintIf = nullptr, *GaoPaintIk = nullptr;
  // Value cells.
  QFrame *Panel2 = nullptr, *Panel4 = nullptr, *Panel7 = nullptr, *Panel11 = nullptr;
  QLabel *rmsHeadPanel = nullptr, *IlrmsHead = nullptr, *IfrmsHead = nullptr, *IkrmsHead = nullptr;
  QLabel *vrmsPanel = nullptr, *ilrmsPanel = nullptr, *ifrmsPanel = nullptr, *ikrmsPanel = nullptr;
  QLabel *vUnit = nullptr, *ailUnit = nullptr, *Panel9 = nullptr, *Panel13 = nullptr;
  QLabel *cfHeadPanel = nullptr, *IlcfHead = nullptr, *IfcfHead = nullptr, *IkcfHead = nullptr;
  QLabel *vcfPanel = nullptr, *ilcfPanel = nullptr, *ifcfPanel = nullptr, *ikcfPanel = nullptr;

  // Client size: the 640 x 480 window of the layout less its frame: 632
  // wide, the menu above the tool bar and the four rows.
  QSize ClientSize() const;

 protected:
  void showEvent(QShowEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void BuildMenu();
  void BuildToolBar(QWidget* body);
  void BuildRows(QWidget* body);
  void RefreshValueCells();
  void ChoosePosition(int x);
  void StartTest(std::int32_t kind);
  void JudgeOpened();

  Form& form_;
  ShellDialogs& dialogs_;
  QDialog& infoForm_;
  AnalysisData data_;
  std::int32_t language_ = 0;
  bool gaoAllowed_ = false;
  bool stopped_ = false;                     // the last run was left with its button
  std::vector<std::uint8_t> pendingRecord_;  // a logged run to show
  std::function<const Verdict*(int kind)> judge_;
  std::function<bool()> mayStart_;
  std::optional<Verdict> verdict_;  // the one shown, and printed
  std::array<TBaoPaintBox*, 4> envelopeBoxes_{};
  std::array<TBaoPaintBox*, 4> waveBoxes_{};
  std::array<QLabel*, 4> rmsHeads_{}, rmsValues_{}, cfHeads_{}, cfValues_{};
};

}  // namespace kt
