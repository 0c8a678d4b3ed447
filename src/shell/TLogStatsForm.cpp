#include "shell/TLogStatsForm.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QSqlDatabase>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <memory>

#include "runlog/RunLogReader.h"

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

// A limit as a dashed red line from (x0, y0) to (x1, y1).
void AddLimit(QChart* chart, QAbstractAxis* x, QAbstractAxis* y, QPointF from, QPointF to, const QString& name) {
  auto* line = new QLineSeries;
  line->setName(name);
  line->append(from);
  line->append(to);
  QPen pen(QColor(0xC0, 0x00, 0x00));
  pen.setStyle(Qt::DashLine);
  pen.setWidth(2);
  line->setPen(pen);
  chart->addSeries(line);
  line->attachAxis(x);
  line->attachAxis(y);
}

// The smallest of 1, 2, 5, 10, 20, ... that cuts [0, top] into at most
// `ticks` steps: whole numbers for a count axis, each label once.
double CountStep(double top, int ticks) {
  double step = 1;
  for (int k = 0; top / step > ticks; ++k) step *= (k % 3 == 1) ? 2.5 : 2;
  return step;
}

// A date-time axis over [from, to] that names every tick differently: the
// seconds when ticks are under a minute apart, the day only when the range
// spans several; the date the labels leave out goes into the axis's title.
void SetTimeRange(QDateTimeAxis* axis, qint64 from, qint64 to, bool chinese) {
  constexpr qint64 Minute = 60000, Day = 86400000;
  constexpr int Ticks = 5;
  if (to - from < Minute) {  // one point, or a few within a minute: in the middle
    from = (from + to) / 2 - Minute / 2;
    to = from + Minute;
  }
  const QDateTime first = QDateTime::fromMSecsSinceEpoch(from), last = QDateTime::fromMSecsSinceEpoch(to);
  const qint64 step = (to - from) / (Ticks - 1);
  const bool oneDay = first.date() == last.date();
  axis->setTickCount(Ticks);
  axis->setFormat(step < Minute ? "HH:mm:ss" : step >= Day ? "yyyy-MM-dd" : oneDay ? "HH:mm" : "MM-dd HH:mm");
  QString title;
  if (step < Day)
    title = oneDay ? first.toString("yyyy-MM-dd") : first.toString("yyyy-MM-dd") + " – " + last.toString("yyyy-MM-dd");
  axis->setTitleText((chinese ? U("%1（本地时间）") : QString("%1 (local time)")).arg(title).trimmed());
  axis->setRange(first, last);
}

QChart* NewChart(const QString& title) {
  auto* chart = new QChart;
  chart->setTitle(title);
  chart->setMargins(QMargins(4, 4, 4, 4));
  return chart;
}

void Replace(QChartView* view, QChart* chart) {
  QChart* old = view->chart();
  view->setChart(chart);
  delete old;
}

}  // namespace

TLogStatsForm::TLogStatsForm(const LogTarget& log, const RunFilter& filter, QWidget* parent)
    : QWidget(parent, Qt::Window), Reader_(new RunLogReader(log, this)), Filter_(filter) {
  setObjectName("LogStatsForm");
  resize(1100, 750);
  auto* layout = new QGridLayout(this);
  Summary_ = new QLabel(this);
  Summary_->setObjectName("StatsSummary");
  Summary_->setWordWrap(true);
  FigureCaption_ = new QLabel(this);
  Chooser_ = new QComboBox(this);
  Chooser_->setEditable(true);
  Chooser_->setMinimumContentsLength(24);
  Figures_ = MakeTable(this);
  Pareto_ = MakeTable(this);
  Figures_->setObjectName("FigureStats");
  Pareto_->setObjectName("Pareto");
  RunChart_ = new QChartView(this);
  RunChart_->setObjectName("RunChart");
  HistogramChart_ = new QChartView(this);
  HistogramChart_->setObjectName("HistogramChart");
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
  layout->setRowStretch(2, 2);
  layout->setRowStretch(3, 3);
  connect(Chooser_, &QComboBox::textActivated, this, &TLogStatsForm::ChooseFigure);
  Pause_ = new QTimer(this);
  Pause_->setSingleShot(true);
  connect(Pause_, &QTimer::timeout, this, [this] {
    if (Stale_) Recompute();
  });
  connect(Reader_, &RunLogReader::BusyChanged, this, [this](bool busy) {
    if (busy)
      setCursor(Qt::WaitCursor);
    else
      unsetCursor();
    ShowSummary();
  });
  SetChinese(false);
  Recompute();
}

TLogStatsForm::~TLogStatsForm() {
  delete Reader_;  // waits for a computation under way; its answer would come to this window
  Reader_ = nullptr;
}

bool TLogStatsForm::Busy() const { return Reader_ && Reader_->Busy(); }

void TLogStatsForm::SetFilter(const RunFilter& filter) {
  Filter_ = filter;
  Recompute();
}

void TLogStatsForm::ChooseFigure(const QString& figure) {
  Figure_ = figure.trimmed();
  // A figure without a bound is not among the statistics yet.
  const bool known = std::any_of(Stats_.Figures.begin(), Stats_.Figures.end(),
                                 [&](const FigureStats& f) { return f.Figure == Figure_.toStdString(); });
  Ask(false, !known);
}

void TLogStatsForm::Recompute() {
  Stale_ = false;
  Pause_->stop();
  Ask(true, true);
}

void TLogStatsForm::RunsAdded() {
  Stale_ = true;
  if (!Busy() && !Pause_->isActive()) Recompute();
}

void TLogStatsForm::Ask(bool names, bool stats) {
  struct Answer {
    std::vector<std::string> Names;
    RunStats Stats;
    std::string Figure;
    FigureSeries Series;
    FigureHistogram Histogram;
  };
  auto a = std::make_shared<Answer>();
  a->Figure = Figure_.toStdString();
  if (!stats) a->Stats = Stats_;
  RunLogReader::Job job = [a, names, stats, filter = Filter_](QSqlDatabase& db, QString& error) {
    // Stopped at the first failure: the reader stops a computation
    // superseded, and the next step would only take as long again.
    if (names && ListFigureNames(db, filter, a->Names, error)) return 1;
    if (stats && ComputeRunStats(db, filter, a->Figure, a->Stats, error) == 0 && a->Figure.empty()) {
      // Nothing chosen yet: the figure that fails most, else the first one.
      // Either is among the statistics already; only a figure without a
      // bound needs them once more, with it as the extra figure.
      const RunStats& s = a->Stats;
      a->Figure = !s.Pareto.empty()    ? s.Pareto.front().Figure
                  : !s.Figures.empty() ? s.Figures.front().Figure
                  : !a->Names.empty()  ? a->Names.front()
                                       : std::string();
      if (s.Figures.empty() && !a->Figure.empty() && ComputeRunStats(db, filter, a->Figure, a->Stats, error)) return 1;
    }
    if (!error.isEmpty()) return 1;
    const bool chart = !a->Figure.empty();
    return chart && (ComputeFigureSeries(db, filter, a->Figure, RunChartPoints, a->Series, error) ||
                     ComputeFigureHistogram(db, filter, a->Figure, HistogramBins, a->Histogram, error))
               ? 1
               : 0;
  };
  QElapsedTimer took;
  took.start();
  Reader_->Ask(0, std::move(job), [this, a, names, took](int, const QString& error) {
    Error_ = error;
    Computed_ = true;
    if (names) {
      const QSignalBlocker block(Chooser_);
      Chooser_->clear();
      for (const std::string& n : a->Names) Chooser_->addItem(QString::fromStdString(n));
    }
    Stats_ = std::move(a->Stats);
    Figure_ = QString::fromStdString(a->Figure);
    {
      const QSignalBlocker block(Chooser_);
      Chooser_->setCurrentText(Figure_);
    }
    Series_ = std::move(a->Series);
    Histogram_ = std::move(a->Histogram);
    FillTables();
    DrawCharts();
    // Runs came meanwhile: computed again after a pause as long as this
    // took, so that a long log's statistics keep at most half a core busy
    // beside a continuous test.
    if (Stale_) Pause_->start(static_cast<int>(std::max<qint64>(3000, took.elapsed())));
  });
}

void TLogStatsForm::SetChinese(bool chinese) {
  Chinese_ = chinese;
  setWindowTitle(Pick(chinese, "Run log statistics", "测试记录统计"));
  FigureCaption_->setText(Pick(chinese, "Figure for the charts:", "图表参数："));
  FillTables();
  DrawCharts();
}

void TLogStatsForm::ShowSummary() {
  // What was computed last stays in view meanwhile.
  Summary_->setText(Busy() ? (Pick(Chinese_, "Computing…", "统计中…") + "\n" + SummaryText_).trimmed() : SummaryText_);
}

void TLogStatsForm::FillTables() {
  const bool c = Chinese_;
  const RunStats& s = Stats_;
  QString summary = QString(c ? U("测试次数 %1（合格 %2，不合格 %3，不完整 %4，未判定 %5）。")
                              : "%1 run(s): %2 passed, %3 failed, "
                                "%4 incomplete, %5 not judged. ")
                        .arg(s.Runs)
                        .arg(s.Passed)
                        .arg(s.Failed)
                        .arg(s.Incomplete)
                        .arg(s.Unjudged);
  summary += s.FirstPassYield ? QString(c ? U("首次合格率 %1（%2 / %3 台），复测 %4 次。")
                                          : "First-pass yield %1 (%2 of %3 units), %4 retest(s). ")
                                    .arg(Percent(*s.FirstPassYield))
                                    .arg(s.FirstPassUnits)
                                    .arg(s.Units)
                                    .arg(s.Retests)
                              : Pick(c, "No judged runs with a serial number: no first-pass yield. ",
                                     "无带序列号的判定记录，无首次合格率。");
  if (s.RunsWithoutSerial > 0)
    summary += QString(c ? U("%1 次判定记录无序列号，未计入合格率。")
                         : "%1 judged run(s) without a serial number are "
                           "not in the yield.")
                   .arg(s.RunsWithoutSerial);
  summary += Pick(c,
                  "\nn, mean, standard deviation (the sample one, n − 1), min and max: the runs' measured values; "
                  "LSL, USL and Cpk: the limits most runs were judged against.",
                  "\nn、平均值、标准差（样本标准差，n − 1）、最小值、最大值：各次的测量值；下限、上限及 "
                  "Cpk：多数记录判定所用的限值。");
  if (!Error_.isEmpty()) summary += "\n" + Error_;
  SummaryText_ = Computed_ ? summary : QString();  // no zeros before the first answer
  ShowSummary();

  const QStringList figureHeads =
      c ? QStringList{U("参数"),   "n",       U("平均值"), U("样本标准差"), U("最小值"),
                      U("最大值"), U("下限"), U("上限"),   "Cpk",           U("备注")}
        : QStringList{"Figure", "n", "Mean", "Sample std dev", "Min", "Max", "LSL", "USL", "Cpk", "Note"};
  Figures_->clear();
  Figures_->setColumnCount(static_cast<int>(figureHeads.size()));
  Figures_->setHorizontalHeaderLabels(figureHeads);
  Figures_->setRowCount(static_cast<int>(s.Figures.size()));
  for (int row = 0; row < static_cast<int>(s.Figures.size()); ++row) {
    const FigureStats& f = s.Figures[static_cast<std::size_t>(row)];
    QStringList notes;
    if (f.N == 0)
      notes << Pick(c, "not measured", "无测量值");
    else if (f.Unreliable)
      notes << Pick(c, "n < 30: unreliable", "n < 30：不可靠");
    if (f.LimitsDiffer) notes << Pick(c, "limits differ between runs", "各次限值不同");
    const QString cells[] = {QString::fromStdString(f.Figure),
                             QString::number(f.N),
                             Number(f.Mean),
                             Number(f.StdDev),
                             Number(f.Min),
                             Number(f.Max),
                             Number(f.Lsl),
                             Number(f.Usl),
                             f.Cpk ? QString::number(*f.Cpk, 'f', 2) : QString(),
                             notes.join("; ")};
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
  const QString none = Pick(c, " — no measured values", "——无测量值");
  const QString lslName = Pick(c, "LSL", "下限"), uslName = Pick(c, "USL", "上限");

  QChart* run = NewChart(QString(c ? U("运行图：%1") : "Run chart: %1").arg(figure) +
                         (Series_.Points.empty() ? none
                          : Series_.Truncated ? QString(c ? U("（最近 %1 次）") : " (newest %1)").arg(RunChartPoints)
                                              : QString()));
  auto* points = new QLineSeries;
  points->setName(figure);
  points->setPointsVisible(Series_.Points.size() < 200);
  QList<QPointF> xy;  // all at once: point by point, 5000 points hold the window
  xy.reserve(static_cast<qsizetype>(Series_.Points.size()));
  for (const SeriesPoint& p : Series_.Points) xy.append({static_cast<double>(p.TimeMs), p.Value});
  points->replace(xy);
  run->addSeries(points);
  auto* time = new QDateTimeAxis;
  auto* value = new QValueAxis;
  run->addAxis(time, Qt::AlignBottom);
  run->addAxis(value, Qt::AlignLeft);
  points->attachAxis(time);
  points->attachAxis(value);
  if (Series_.Points.empty()) {
    // Nothing to place in time: no axis of 1970.
    time->setVisible(false);
    value->setVisible(false);
    run->legend()->hide();
  } else {
    const qint64 from = Series_.Points.front().TimeMs, to = Series_.Points.back().TimeMs;
    SetTimeRange(time, from, to, c);
    const double x0 = static_cast<double>(time->min().toMSecsSinceEpoch()),
                 x1 = static_cast<double>(time->max().toMSecsSinceEpoch());
    // The value axis takes in the data and both limits, wherever they lie.
    double low = Series_.Points.front().Value, high = low;
    for (const SeriesPoint& p : Series_.Points) low = std::min(low, p.Value), high = std::max(high, p.Value);
    for (const auto& [limit, name] : {std::pair{Series_.Lsl, lslName}, std::pair{Series_.Usl, uslName}}) {
      if (!limit) continue;
      AddLimit(run, time, value, {x0, *limit}, {x1, *limit}, name);
      low = std::min(low, *limit), high = std::max(high, *limit);
    }
    const double pad = high > low ? (high - low) * 0.05 : std::max(1.0, std::fabs(high) * 0.05);
    value->setRange(low - pad, high + pad);
    value->applyNiceNumbers();
  }
  Replace(RunChart_, run);

  QString title = QString(c ? U("直方图：%1") : "Histogram: %1").arg(figure);
  std::int64_t most = 0;
  for (std::int64_t n : Histogram_.Counts) most = std::max(most, n);
  if (most == 0) title += none;
  QChart* histogram = NewChart(title);
  // Steps over a value axis: its labels are a few round numbers that fit
  // at any width, where a label per bin is elided.
  auto* top = new QLineSeries;
  const double width = Histogram_.BinWidth;
  top->append(Histogram_.Low, 0);
  for (std::size_t k = 0; k < Histogram_.Counts.size(); ++k) {
    const double x = Histogram_.Low + static_cast<double>(k) * width, n = static_cast<double>(Histogram_.Counts[k]);
    top->append(x, n);
    top->append(x + width, n);
  }
  const double high = Histogram_.Low + static_cast<double>(Histogram_.Counts.size()) * width;
  top->append(high, 0);
  auto* bars = new QAreaSeries(top);
  top->setParent(bars);  // an area series does not own its outline
  bars->setName(figure);
  bars->setBrush(QColor(0x40, 0x70, 0xB0, 0xA0));
  bars->setPen(QPen(QColor(0x20, 0x40, 0x80), 1));
  histogram->addSeries(bars);
  auto* values = new QValueAxis;
  auto* counts = new QValueAxis;
  histogram->addAxis(values, Qt::AlignBottom);
  histogram->addAxis(counts, Qt::AlignLeft);
  bars->attachAxis(values);
  bars->attachAxis(counts);
  const double step = CountStep(static_cast<double>(std::max<std::int64_t>(1, most)), 5);
  const double countTop = std::ceil(static_cast<double>(std::max<std::int64_t>(1, most)) / step) * step;
  counts->setRange(0, countTop);
  counts->setTickType(QValueAxis::TicksDynamic);
  counts->setTickAnchor(0);
  counts->setTickInterval(step);
  counts->setLabelFormat("%d");
  counts->setTitleText(Pick(c, "runs", "次数"));
  if (most == 0) {
    values->setVisible(false);
    counts->setVisible(false);
  } else {
    double low = Histogram_.Low, right = high;
    for (const auto& [limit, name] : {std::pair{Histogram_.Lsl, lslName}, std::pair{Histogram_.Usl, uslName}}) {
      if (!limit) continue;
      AddLimit(histogram, values, counts, {*limit, 0}, {*limit, countTop}, name);
      low = std::min(low, *limit), right = std::max(right, *limit);
    }
    const double pad = (right - low) * 0.03;
    values->setRange(low - pad, right + pad);
    values->applyNiceNumbers();
  }
  histogram->legend()->setVisible(Histogram_.Lsl || Histogram_.Usl);
  for (QLegendMarker* m : histogram->legend()->markers(bars)) m->setVisible(false);
  Replace(HistogramChart_, histogram);
}

}  // namespace kt
