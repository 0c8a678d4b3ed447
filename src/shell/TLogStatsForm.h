#pragma once
// "统计": the statistics of the runs the log window's filters select: count,
// first-pass yield, retests, the failing rules ranked, per figure n, mean,
// sample standard deviation, min, max (the measured values) and Cpk against
// the limits the runs were judged by; a run chart of a chosen figure and a
// histogram of it, each with its limits.
#include <QString>
#include <QWidget>

#include "runlog/RunLogQuery.h"
#include "runlog/RunLogStats.h"

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QTableWidget;

namespace kt {

class TLogStatsForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int RunChartPoints = 5000;
  static constexpr int HistogramBins = 20;

  // connectionName: an open log connection of the window thread.
  TLogStatsForm(const QString& connectionName, const RunFilter& filter, QWidget* parent = nullptr);


 public slots:
  void SetFilter(const RunFilter& filter);
  void SetChinese(bool chinese);
  void ChooseFigure(const QString& figure);
  void Recompute();

 private:
  void FillTables();
  void DrawCharts();

  QString Connection_;
  RunFilter Filter_;
  QString Figure_;
  bool Chinese_ = false;
  RunStats Stats_;
  FigureSeries Series_;
  FigureHistogram Histogram_;
  QString Error_;
  QLabel *Summary_ = nullptr, *FigureCaption_ = nullptr;
  QComboBox* Chooser_ = nullptr;
  QTableWidget *Figures_ = nullptr, *Pareto_ = nullptr;
  QChartView *RunChart_ = nullptr, *HistogramChart_ = nullptr;
};

}  // namespace kt
