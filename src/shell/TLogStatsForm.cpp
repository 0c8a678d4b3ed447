#include "shell/TLogStatsForm.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QSqlDatabase>
#include <QTableWidget>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace kt {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
QString Pick(bool chinese, const char* english, const char* chinese_text) {
  return U(chinese ? chinese_text : english);
}
QString Number(double v) { return QString::number(v, 'g', 6); }
QString Number(const std::optional<double>& v) { return v ? Number(*v) : QString(); }
QString Percent(double share) { return QString::number(share * 100, 'f', 1) + " %"; }

QTableWidget* MakeTable(QWidget* parent) {
  auto* t = new QTableWidget(parent);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->verticalHeader()->hide();
  t->horizontalHeader()->setStretchLastSection(true);
  return t;
}

void Put(QTableWidget* t, int row, int column, const QString& text) {
  auto* item = new QTableWidgetItem(text);
  if (column > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  t->setItem(row, column, item);
}

// A limit as a dashed horizontal line across the run chart.
void AddLimit(QChart* chart, QAbstractAxis* x, QAbstractAxis* y, double from, double to, double value,
              const QString& name) {
  auto* line = new QLineSeries;
  line->setName(name);
  line->append(from, value);
  line->append(to, value);
  QPen pen(QColor(0xC0, 0x00, 0x00));
  pen.setStyle(Qt::DashLine);
  pen.setWidth(2);
  line->setPen(pen);
  chart->addSeries(line);
  line->attachAxis(x);
  line->attachAxis(y);
}

}  // namespace

TLogStatsForm::TLogStatsForm(const QString& connectionName, const RunFilter& filter, QWidget* parent)
    : QWidget(parent, Qt::Window), Connection_(connectionName), Filter_(filter) {
  setObjectName("LogStatsForm");
  resize(1100, 750);
  auto* layout = new QGridLayout(this);
  Summary_ = new QLabel(this);
  Summary_->setWordWrap(true);
  FigureCaption_ = new QLabel(this);
  Chooser_ = new QComboBox(this);
  Chooser_->setEditable(true);
  Chooser_->setMinimumContentsLength(24);
  Figures_ = MakeTable(this);
  Pareto_ = MakeTable(this);
  RunChart_ = new QChartView(this);
  HistogramChart_ = new QChartView(this);
  for (QChartView* v : {RunChart_, HistogramChart_}) {
    v->setRenderHint(QPainter::Antialiasing);
    v->setMinimumHeight(260);
  }
  auto* chooser = new QHBoxLayout;
  chooser->addWidget(FigureCaption_);
  chooser->addWidget(Chooser_, 1);
  layout->addWidget(Summary_, 0, 0, 1, 2);
  layout->addLayout(chooser, 1, 0, 1, 2);
  layout->addWidget(Figures_, 2, 0);
  layout->addWidget(Pareto_, 2, 1);
  layout->addWidget(RunChart_, 3, 0);
  layout->addWidget(HistogramChart_, 3, 1);
  layout->setColumnStretch(0, 3);
  layout->setColumnStretch(1, 2);
  connect(Chooser_, &QComboBox::textActivated, this, &TLogStatsForm::ChooseFigure);
  SetChinese(false);
  Recompute();
}

void TLogStatsForm::SetFilter(const RunFilter& filter) {
  Filter_ = filter;
  Recompute();
}

void TLogStatsForm::ChooseFigure(const QString& figure) {
  Figure_ = figure.trimmed();
  Recompute();
}

void TLogStatsForm::Recompute() {
  QSqlDatabase db = QSqlDatabase::database(Connection_, false);
  Error_.clear();
  std::vector<std::string> names;
  if (ListFigureNames(db, Filter_, names, Error_) == 0) {
    const QSignalBlocker block(Chooser_);
    Chooser_->clear();
    for (const std::string& n : names) Chooser_->addItem(QString::fromStdString(n));
  }
  if (ComputeRunStats(db, Filter_, Figure_.toStdString(), Stats_, Error_) == 0 && Figure_.isEmpty()) {
    // Nothing chosen yet: the figure that fails most, else the first one.
    if (!Stats_.Pareto.empty())
      Figure_ = QString::fromStdString(Stats_.Pareto.front().Figure);
    else if (!Stats_.Figures.empty())
      Figure_ = QString::fromStdString(Stats_.Figures.front().Figure);
    else if (!names.empty())
      Figure_ = QString::fromStdString(names.front());
    if (!Figure_.isEmpty()) ComputeRunStats(db, Filter_, Figure_.toStdString(), Stats_, Error_);
  }
  {
    const QSignalBlocker block(Chooser_);
    Chooser_->setCurrentText(Figure_);
  }
  const std::string figure = Figure_.toStdString();
  if (!figure.empty()) {
    ComputeFigureSeries(db, Filter_, figure, RunChartPoints, Series_, Error_);
    ComputeFigureHistogram(db, Filter_, figure, HistogramBins, Histogram_, Error_);
  } else {
    Series_ = FigureSeries{};
    Histogram_ = FigureHistogram{};
  }
  FillTables();
  DrawCharts();
}

void TLogStatsForm::SetChinese(bool chinese) {
  Chinese_ = chinese;
  setWindowTitle(Pick(chinese, "Run log statistics", "测试记录统计"));
  FigureCaption_->setText(Pick(chinese, "Figure for the charts:", "图表参数："));
  FillTables();
  DrawCharts();
}

void TLogStatsForm::FillTables() {
  const bool c = Chinese_;
  const RunStats& s = Stats_;
  QString summary =
      QString(c ? U("测试次数 %1（合格 %2，不合格 %3，不完整 %4，未判定 %5）。") : "%1 run(s): %2 passed, %3 failed, "
                                                                  "%4 incomplete, %5 not judged. ")
          .arg(s.Runs)
          .arg(s.Passed)
          .arg(s.Failed)
          .arg(s.Incomplete)
          .arg(s.Unjudged);
  summary += s.FirstPassYield
                 ? QString(c ? U("首次合格率 %1（%2 / %3 台），复测 %4 次。") : "First-pass yield %1 (%2 of %3 units), %4 retest(s). ")
                       .arg(Percent(*s.FirstPassYield))
                       .arg(s.FirstPassUnits)
                       .arg(s.Units)
                       .arg(s.Retests)
                 : Pick(c, "No judged runs with a serial number: no first-pass yield. ", "无带序列号的判定记录，无首次合格率。");
  if (s.RunsWithoutSerial > 0)
    summary += QString(c ? U("%1 次判定记录无序列号，未计入合格率。") : "%1 judged run(s) without a serial number are "
                                                                 "not in the yield.")
                   .arg(s.RunsWithoutSerial);
  if (!Error_.isEmpty()) summary += "\n" + Error_;
  Summary_->setText(summary);

  const QStringList figureHeads =
      c ? QStringList{U("参数"), "n", U("平均值"), U("标准差"), U("最小值"), U("最大值"), U("下限"), U("上限"), "Cpk", U("备注")}
        : QStringList{"Figure", "n", "Mean", "Std dev", "Min", "Max", "LSL", "USL", "Cpk", "Note"};
  Figures_->clear();
  Figures_->setColumnCount(static_cast<int>(figureHeads.size()));
  Figures_->setHorizontalHeaderLabels(figureHeads);
  Figures_->setRowCount(static_cast<int>(s.Figures.size()));
  for (int row = 0; row < static_cast<int>(s.Figures.size()); ++row) {
    const FigureStats& f = s.Figures[static_cast<std::size_t>(row)];
    QStringList notes;
    if (f.Unreliable) notes << Pick(c, "n < 30: unreliable", "n < 30：不可靠");
    if (f.LimitsDiffer) notes << Pick(c, "limits differ between runs", "各次限值不同");
    const QString cells[] = {QString::fromStdString(f.Figure), QString::number(f.N), Number(f.Mean), Number(f.StdDev),
                             Number(f.Min), Number(f.Max), Number(f.Lsl), Number(f.Usl),
                             f.Cpk ? QString::number(*f.Cpk, 'f', 2) : QString(), notes.join("; ")};
    for (int col = 0; col < static_cast<int>(std::size(cells)); ++col) Put(Figures_, row, col, cells[col]);
  }
  Figures_->resizeColumnsToContents();

  const QStringList paretoHeads = c ? QStringList{U("不合格项"), U("次数"), U("占比"), U("累计")}
                                    : QStringList{"Failing rule", "Count", "Share", "Cumulative"};
  Pareto_->clear();
  Pareto_->setColumnCount(static_cast<int>(paretoHeads.size()));
  Pareto_->setHorizontalHeaderLabels(paretoHeads);
  Pareto_->setRowCount(static_cast<int>(s.Pareto.size()));
  for (int row = 0; row < static_cast<int>(s.Pareto.size()); ++row) {
    const ParetoRow& p = s.Pareto[static_cast<std::size_t>(row)];
    Put(Pareto_, row, 0, QString::fromStdString(p.Figure));
    Put(Pareto_, row, 1, QString::number(p.Count));
    Put(Pareto_, row, 2, Percent(p.Share));
    Put(Pareto_, row, 3, Percent(p.Cumulative));
  }
  Pareto_->resizeColumnsToContents();
}

void TLogStatsForm::DrawCharts() {
  const bool c = Chinese_;
  const QString figure = QString::fromStdString(Series_.Figure);

  auto* run = new QChart;
  run->setTitle(QString(c ? U("运行图：%1") : "Run chart: %1").arg(figure) +
                (Series_.Truncated ? QString(c ? U("（最近 %1 次）") : " (newest %1)").arg(RunChartPoints) : QString()));
  auto* points = new QLineSeries;
  points->setName(figure);
  for (const SeriesPoint& p : Series_.Points) points->append(static_cast<double>(p.TimeMs), p.Value);
  run->addSeries(points);
  auto* time = new QDateTimeAxis;
  time->setFormat("MM-dd HH:mm");
  auto* value = new QValueAxis;
  run->addAxis(time, Qt::AlignBottom);
  run->addAxis(value, Qt::AlignLeft);
  points->attachAxis(time);
  points->attachAxis(value);
  if (!Series_.Points.empty()) {
    const double from = static_cast<double>(Series_.Points.front().TimeMs);
    const double to = static_cast<double>(std::max(Series_.Points.back().TimeMs, Series_.Points.front().TimeMs + 1000));
    double low = Series_.Points.front().Value, high = low;
    for (const SeriesPoint& p : Series_.Points) {
      low = std::min(low, p.Value);
      high = std::max(high, p.Value);
    }
    if (Series_.Lsl) {
      AddLimit(run, time, value, from, to, *Series_.Lsl, Pick(c, "LSL", "下限"));
      low = std::min(low, *Series_.Lsl);
    }
    if (Series_.Usl) {
      AddLimit(run, time, value, from, to, *Series_.Usl, Pick(c, "USL", "上限"));
      high = std::max(high, *Series_.Usl);
    }
    const double pad = high > low ? (high - low) * 0.05 : std::max(1.0, std::fabs(high) * 0.05);
    value->setRange(low - pad, high + pad);
    time->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(from)),
                   QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(to)));
  }
  QChart* old = RunChart_->chart();
  RunChart_->setChart(run);
  delete old;

  auto* histogram = new QChart;
  QString title = QString(c ? U("直方图：%1") : "Histogram: %1").arg(figure);
  if (Histogram_.Lsl || Histogram_.Usl)
    title += QString(c ? U("（下限 %1，上限 %2）") : " (LSL %1, USL %2)")
                 .arg(Histogram_.Lsl ? Number(*Histogram_.Lsl) : "-", Histogram_.Usl ? Number(*Histogram_.Usl) : "-");
  histogram->setTitle(title);
  auto* set = new QBarSet(figure);
  QStringList bins;
  std::int64_t most = 0;
  for (std::size_t k = 0; k < Histogram_.Counts.size(); ++k) {
    *set << static_cast<double>(Histogram_.Counts[k]);
    most = std::max(most, Histogram_.Counts[k]);
    bins << QString::number(Histogram_.Low + (static_cast<double>(k) + 0.5) * Histogram_.BinWidth, 'g', 4);
  }
  auto* bars = new QBarSeries;
  bars->append(set);
  bars->setBarWidth(1.0);
  histogram->addSeries(bars);
  auto* binAxis = new QBarCategoryAxis;
  binAxis->append(bins);
  binAxis->setLabelsAngle(-90);
  auto* countAxis = new QValueAxis;
  countAxis->setRange(0, static_cast<double>(std::max<std::int64_t>(1, most)));
  countAxis->setLabelFormat("%d");
  histogram->addAxis(binAxis, Qt::AlignBottom);
  histogram->addAxis(countAxis, Qt::AlignLeft);
  bars->attachAxis(binAxis);
  bars->attachAxis(countAxis);
  histogram->legend()->hide();
  old = HistogramChart_->chart();
  HistogramChart_->setChart(histogram);
  delete old;
}

}  // namespace kt
