#pragma once
// "统计": the statistics of the runs the log window's filters select: count,
// first-pass yield, retests, the failing rules ranked, per figure n, mean,
// standard deviation, min, max and Cpk against the profile's limits; a run
// chart of a chosen figure with its limits and a histogram of it.
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

  const RunStats& Stats() const { return Stats_; }
  const FigureSeries& Series() const { return Series_; }
  const FigureHistogram& Histogram() const { return Histogram_; }
  QTableWidget* FigureTable() const { return Figures_; }
  QTableWidget* ParetoTable() const { return Pareto_; }

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
