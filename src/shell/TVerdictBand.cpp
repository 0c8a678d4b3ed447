#include "shell/TVerdictBand.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/QtCanvas.h"
#include "verdict/ClassC.h"
#include "verdict/VerdictReport.h"
#include "verdict/VerdictText.h"

namespace kt {

namespace {

const QString Face = QStringLiteral("MS Sans Serif");
// Cell heights in pixels: the word readable from two metres, the lines
// beside it as large as two of them leave room for.
constexpr int WordCell = 40;
constexpr int ProblemCell = 20;
constexpr int LimitsCell = 16;
constexpr int Padding = 14;

// The neutral field is no verdict: pale, with dark text, so that it is never
// taken for one of the four coloured fields.
const QColor NeutralText(0x42, 0x42, 0x42);

// A line that may be longer than its room: drawn cut with "…" at the
// label's width, while text() keeps all of it.
class ElidedLabel final : public QLabel {
 public:
  using QLabel::QLabel;
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
  QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(palette().color(foregroundRole()));
    const QRect r = contentsRect();
    p.drawText(r, static_cast<int>(alignment()), fontMetrics().elidedText(text(), Qt::ElideRight, r.width()));
  }
};

QFont CellFont(int cell, bool bold) {
  QFont f(Face);
  f.setPixelSize(CellPixelSize(Face, cell));
  f.setBold(bold);
  return f;
}

QString U(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

TVerdictBand::TVerdictBand(QWidget* parent) : QWidget(parent) {
  setObjectName("VerdictBand");
  setFixedHeight(BandHeight);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setAutoFillBackground(true);

  word_ = new QLabel(this);
  word_->setObjectName("VerdictWord");
  word_->setFont(CellFont(WordCell, true));
  word_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  problems_ = new ElidedLabel(this);
  problems_->setObjectName("VerdictProblems");
  problems_->setFont(CellFont(ProblemCell, true));
  limits_ = new ElidedLabel(this);
  limits_->setObjectName("VerdictLimits");
  limits_->setFont(CellFont(LimitsCell, true));
  for (QLabel* l : {problems_, limits_}) l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  auto* lines = new QVBoxLayout;
  lines->setContentsMargins(0, 0, 0, 0);
  lines->setSpacing(2);
  lines->addStretch(1);
  lines->addWidget(problems_);
  lines->addWidget(limits_);
  lines->addStretch(1);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(Padding, 0, Padding, 0);
  row->setSpacing(Padding + 6);
  row->addWidget(word_);
  row->addLayout(lines, 1);

  SetChinese(false);
}

QColor TVerdictBand::FieldColour(VerdictResult result) {
  // White bold text stays legible on each (contrast at least 3.4 : 1).
  switch (result) {
    case VerdictResult::Pass: return {0x2E, 0x7D, 0x32};
    case VerdictResult::Fail: return {0xC6, 0x28, 0x28};
    case VerdictResult::Incomplete: return {0xC7, 0x77, 0x00};
    case VerdictResult::NotApplicable: return {0x75, 0x75, 0x75};
    case VerdictResult::None: break;
  }
  return {0xE0, 0xE0, 0xE0};
}

void TVerdictBand::Beep() { QApplication::beep(); }

void TVerdictBand::SetChinese(bool chinese) {
  chinese_ = chinese;
  // The word's column is as wide as the widest word of the language, so
  // the lines beside it stay put from one verdict to the next.
  int widest = 0;
  const QFontMetrics fm(word_->font());
  for (VerdictResult r : {VerdictResult::Pass, VerdictResult::Fail, VerdictResult::Incomplete, VerdictResult::NotApplicable})
    widest = std::max(widest, fm.horizontalAdvance(QString::fromUtf8(VerdictResultText(r, chinese))));
  word_->setFixedWidth(widest + 4);
  Render();
}

void TVerdictBand::SetProfileName(const QString& name) {
  profileName_ = name;
  Render();
}

void TVerdictBand::ShowVerdict(const Verdict& verdict) {
  shown_ = verdict;
  Render();
  if (soundOnFail_ && verdict.Result == VerdictResult::Fail) Beep();
}

void TVerdictBand::Clear() {
  shown_.reset();
  Render();
}

void TVerdictBand::Render() {
  const VerdictResult result = Result();
  QString word = QStringLiteral("—"), problems, limits, tip;
  if (result != VerdictResult::None) {
    const VerdictSummary s = SummarizeVerdict(*shown_, chinese_);
    word = U(s.Word);
    QStringList lines;
    for (const std::string& line : s.Problems) lines << U(line);
    problems = lines.isEmpty() ? U(s.Remark) : lines.join(chinese_ ? QStringLiteral("；") : QStringLiteral("; "));
    limits = U(s.Limits);
    // Everything, for when the lines are cut short.
    const std::string& detail = chinese_ ? shown_->DetailChinese : shown_->Detail;
    if (!detail.empty()) lines << U(detail);
    tip = lines.join('\n');
  } else if (!profileName_.isEmpty()) {
    limits = (chinese_ ? QStringLiteral("限值：") : QStringLiteral("Limits: ")) + profileName_;
    if (profileName_ == QLatin1String(ClassCName))
      limits += chinese_ ? QStringLiteral(" %1（%2）").arg(ClassCRevision, U(ScreeningText(true)))
                         : QStringLiteral(" %1 (%2)").arg(ClassCRevision, U(ScreeningText(false)));
  }

  const QColor text = result == VerdictResult::None ? NeutralText : QColor(Qt::white);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, FieldColour(result));
  pal.setColor(QPalette::WindowText, text);
  setPalette(pal);
  for (QLabel* l : {word_, problems_, limits_}) l->setPalette(pal);
  word_->setText(word);
  problems_->setText(problems);
  limits_->setText(limits);
  // An empty line would hold the other off the band's middle.
  problems_->setHidden(problems.isEmpty());
  limits_->setHidden(limits.isEmpty());
  setToolTip(tip);
}

}  // namespace kt
