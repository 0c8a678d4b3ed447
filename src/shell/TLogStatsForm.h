#pragma once
// "统计": the statistics of the runs the log window's filters select: count,
// first-pass yield, retests, the failing rules ranked, per figure n, mean,
// sample standard deviation, min, max (the measured values) and Cpk against
// the limits the runs were judged by; a run chart of a chosen figure and a
// histogram of it, each with its limits. Computed on a reader thread of its
// own: the window shows that it is computing and stays responsive.
#include <QString>
#include <QWidget>

#include "runlog/LogTarget.h"
#include "runlog/RunLogQuery.h"
#include "runlog/RunLogStats.h"

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QTableWidget;
class QTimer;

namespace kt {

class TLogStatsForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int RunChartPoints = 5000;
  static constexpr int HistogramBins = 20;

  TLogStatsForm(const LogTarget& log, const RunFilter& filter, QWidget* parent = nullptr);
  ~TLogStatsForm() override;
  bool Busy() const;

 public slots:
  void SetFilter(const RunFilter& filter);
  void SetChinese(bool chinese);
  void ChooseFigure(const QString& figure);
  void Recompute();
  // Runs were logged: computed again, not before the computation under
  // way has ended (a new one would only supersede it, and a slow log never
  // show any), and not at once after it.
  void RunsAdded();

 private:
  // names: the chooser's list again; stats: the statistics again (else only
  // the charts of Figure_).
  void Ask(bool names, bool stats);
  void FillTables();
  void ShowSummary();
  void DrawCharts();

  class RunLogReader* Reader_ = nullptr;
  bool Stale_ = false, Computed_ = false;
  QTimer* Pause_ = nullptr;  // after a computation, before the next one for new runs
  RunFilter Filter_;
  QString Figure_;
  bool Chinese_ = false;
  RunStats Stats_;
  FigureSeries Series_;
  FigureHistogram Histogram_;
  QString Error_, SummaryText_;
  QLabel *Summary_ = nullptr, *FigureCaption_ = nullptr;
  QComboBox* Chooser_ = nullptr;
  QTableWidget *Figures_ = nullptr, *Pareto_ = nullptr;
  QChartView *RunChart_ = nullptr, *HistogramChart_ = nullptr;
};

}  // namespace kt
