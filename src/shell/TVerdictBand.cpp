#include "shell/TVerdictBand.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "platform/QtCanvas.h"
#include "verdict/ClassC.h"
#include "verdict/VerdictReport.h"
#include "verdict/VerdictText.h"

namespace kt {

namespace {

const QString Face = QStringLiteral("MS Sans Serif");
// Cell heights in pixels at the base height, scaled with the band: the word
// readable from two metres; the first line at least as tall as the page's
// values (16 of the page's 385 design units of height), so that a failing
// figure reads as well as the page's own; the rest smaller.
constexpr int WordCell = 40;
constexpr int TagCell = 16;
constexpr int FirstCell = 22;
constexpr int LineCell = 16;
constexpr int Padding = 14;
constexpr int Spacing = 2;
// The window height the base height is made for.
constexpr double BaseWindowHeight = 600;

// The neutral field is no verdict: pale, with dark text, so that it is never
// taken for one of the four coloured fields.
const QColor Neutral(0xE0, 0xE0, 0xE0);
const QColor NeutralText(0x42, 0x42, 0x42);
// The warning about the limits: yellow on near-black, a chip that stands
// out on every field.
const QColor NoteField(0x21, 0x21, 0x21);
const QColor NoteText(0xFF, 0xD5, 0x4F);

// The text cut with "…" to `width`, or all of it where it fits (eliding
// measures differently and would cut a text that fits exactly).
QString Fit(const QFontMetrics& fm, const QString& text, int width) {
  return fm.horizontalAdvance(text) <= width ? text : fm.elidedText(text, Qt::ElideRight, width);
}

// A line that may be longer than its room: drawn cut with "…" at the
// label's width, while text() keeps all of it.
class ElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;
  QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
  QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(palette().color(foregroundRole()));
    const QRect r = contentsRect();
    p.drawText(r, static_cast<int>(alignment()), Fit(fontMetrics(), text(), r.width()));
  }
};

// The warning on its chip. It asks for all of its width, and the limits'
// name beside it asks for none: when the line is short of room, the name is
// cut first and the warning last.
class NoteLabel final : public ElidedLabel {
 public:
  using ElidedLabel::ElidedLabel;
  QSize sizeHint() const override {
    return {fontMetrics().horizontalAdvance(Shown()) + 2 * Inset(), QLabel::sizeHint().height()};
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(NoteField);
    p.drawRoundedRect(rect(), Inset(), Inset());
    p.setPen(NoteText);
    const QRect r = rect().adjusted(Inset(), 0, -Inset(), 0);
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, Fit(fontMetrics(), Shown(), r.width()));
  }

 private:
  QString Shown() const { return QStringLiteral("⚠ ") + text(); }
  int Inset() const { return std::max(2, fontMetrics().height() / 4); }
};

QFont CellFont(int cell, bool bold) {
  QFont f(Face);
  f.setPixelSize(CellPixelSize(Face, cell));
  f.setBold(bold);
  return f;
}

QString U(const std::string& utf8) { return QString::fromStdString(utf8); }

QColor Mix(const QColor& a, const QColor& b, double shareOfA) {
  const auto mix = [&](int x, int y) { return static_cast<int>(std::lround(x * shareOfA + y * (1 - shareOfA))); };
  return {mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue())};
}

}  // namespace

int TVerdictBand::HeightFor(int windowHeight) {
  return std::max(BaseHeight, static_cast<int>(std::lround(BaseHeight * windowHeight / BaseWindowHeight)));
}

TVerdictBand::TVerdictBand(QWidget* parent) : QWidget(parent) {
  setObjectName("VerdictBand");
  setFixedHeight(BaseHeight);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setAutoFillBackground(true);

  const auto label = [this](QLabel* l, const char* name) {
    l->setObjectName(name);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return l;
  };
  tag_ = label(new QLabel(this), "VerdictTag");
  word_ = label(new QLabel(this), "VerdictWord");
  first_ = label(new ElidedLabel(this), "VerdictFirst");
  second_ = label(new ElidedLabel(this), "VerdictSecond");
  note_ = label(new NoteLabel(this), "VerdictNote");
  limits_ = label(new ElidedLabel(this), "VerdictLimits");

  auto* wordColumn = new QVBoxLayout;
  wordColumn->setSpacing(0);
  wordColumn->addStretch(1);
  wordColumn->addWidget(tag_);
  wordColumn->addWidget(word_);
  wordColumn->addStretch(1);
  auto* limitsRow = new QHBoxLayout;
  limitsRow->addWidget(note_);
  limitsRow->addWidget(limits_, 1);
  lines_ = new QVBoxLayout;
  lines_->addStretch(1);
  lines_->addWidget(first_);
  lines_->addWidget(second_);
  lines_->addLayout(limitsRow);
  lines_->addStretch(1);
  row_ = new QHBoxLayout(this);
  row_->addLayout(wordColumn);
  row_->addLayout(lines_, 1);

  Restyle();
  WatchWindow();
}

QColor TVerdictBand::FieldColour(VerdictResult result) {
  // White bold text stays legible on each (contrast at least 3.4 : 1).
  switch (result) {
    case VerdictResult::Pass:
      return {0x2E, 0x7D, 0x32};
    case VerdictResult::Fail:
      return {0xC6, 0x28, 0x28};
    case VerdictResult::Incomplete:
      return {0xC7, 0x77, 0x00};
    case VerdictResult::NotApplicable:
      return {0x75, 0x75, 0x75};
    case VerdictResult::None:
      break;
  }
  return Neutral;
}

QColor TVerdictBand::PreviousColour(VerdictResult result) {
  // A tint: still the verdict's colour, but pale with dark text, never one
  // of the vivid fields of the unit now under test.
  return Mix(FieldColour(result), Neutral, 0.35);
}

void TVerdictBand::Beep() { QApplication::beep(); }

bool TVerdictBand::event(QEvent* e) {
  // Moved into a layout: the window may be another.
  if (e->type() == QEvent::ParentChange) WatchWindow();
  return QWidget::event(e);
}

bool TVerdictBand::eventFilter(QObject* watched, QEvent* e) {
  if (watched == window_ && e->type() == QEvent::Resize) setFixedHeight(HeightFor(window_->height()));
  return QWidget::eventFilter(watched, e);
}

void TVerdictBand::WatchWindow() {
  QWidget* w = window() == this ? nullptr : window();
  if (w == window_) return;
  if (window_) window_->removeEventFilter(this);
  window_ = w;
  if (!w) return;
  w->installEventFilter(this);
  setFixedHeight(HeightFor(w->height()));
}

void TVerdictBand::resizeEvent(QResizeEvent* e) {
  if (e->size().height() != e->oldSize().height()) Restyle();
  // The first line holds as many failing figures as its width allows.
  Render();
}

void TVerdictBand::Restyle() {
  const double scale = static_cast<double>(height()) / BaseHeight;
  const auto px = [scale](int base) { return static_cast<int>(std::lround(base * scale)); };
  tag_->setFont(CellFont(px(TagCell), true));
  word_->setFont(CellFont(px(WordCell), true));
  first_->setFont(CellFont(px(FirstCell), true));
  for (QLabel* l : {second_, note_, limits_}) l->setFont(CellFont(px(LineCell), true));
  row_->setContentsMargins(px(Padding), 0, px(Padding), 0);
  row_->setSpacing(px(Padding + 6));
  lines_->setSpacing(px(Spacing));
  SetChinese(chinese_);
}

int TVerdictBand::LinesWidth() const {
  const QMargins m = row_->contentsMargins();
  return width() - m.left() - m.right() - row_->spacing() - word_->width();
}

void TVerdictBand::SetChinese(bool chinese) {
  chinese_ = chinese;
  // The word's column is as wide as the widest word of the language, so
  // the lines beside it stay put from one verdict to the next.
  tag_->setText(chinese ? QStringLiteral("上次测试") : QStringLiteral("previous run"));
  int widest = QFontMetrics(tag_->font()).horizontalAdvance(tag_->text());
  const QFontMetrics fm(word_->font());
  for (VerdictResult r :
       {VerdictResult::Pass, VerdictResult::Fail, VerdictResult::Incomplete, VerdictResult::NotApplicable})
    widest = std::max(widest, fm.horizontalAdvance(QString::fromUtf8(VerdictResultText(r, chinese))));
  word_->setFixedWidth(widest + 4);
  tag_->setFixedWidth(widest + 4);
  Render();
}

void TVerdictBand::SetProfileName(const QString& name) {
  profileName_ = name;
  Render();
}

void TVerdictBand::ShowVerdict(const Verdict& verdict) {
  shown_ = verdict;
  previous_ = false;
  Render();
  if (soundOnFail_ && verdict.Result == VerdictResult::Fail) Beep();
}

void TVerdictBand::MarkPrevious() {
  previous_ = true;
  Render();
}

void TVerdictBand::Clear() {
  shown_.reset();
  previous_ = false;
  Render();
}

void TVerdictBand::Render() {
  QString word = QStringLiteral("—"), first, second, note, limits;
  QStringList tip;
  if (shown_) {
    const VerdictSummary s = SummarizeVerdict(*shown_, chinese_);
    word = U(s.Word);
    QStringList problems;
    for (const std::string& line : s.Problems) problems << U(line);
    const QString separator = chinese_ ? QStringLiteral("；") : QStringLiteral("; ");
    if (!s.Headline.empty()) {
      // Why the run was not decided comes before anything else.
      first = U(s.Headline);
      second = problems.isEmpty() ? U(s.Remark) : problems.join(separator);
    } else if (!problems.isEmpty()) {
      // Whole figures on the large line while they fit, the rest below it.
      const QFontMetrics fm(first_->font());
      qsizetype fit = 1;
      while (fit < problems.size() && fm.horizontalAdvance(problems.mid(0, fit + 1).join(separator)) <= LinesWidth())
        ++fit;
      first = problems.mid(0, fit).join(separator);
      second = problems.mid(fit).join(separator);
    } else {
      first = U(s.Remark);
    }
    note = U(s.LimitsNote);
    limits = U(s.Limits);
    // Everything, for when the lines are cut short.
    if (!s.Headline.empty()) tip << U(s.Headline);
    tip << problems;
    const std::string& detail = chinese_ ? shown_->DetailChinese : shown_->Detail;
    if (!detail.empty()) tip << U(detail);
    if (!note.isEmpty()) tip << note;
  } else if (!profileName_.isEmpty()) {
    limits = (chinese_ ? QStringLiteral("限值：") : QStringLiteral("Limits: ")) + profileName_;
    if (profileName_ == QLatin1String(ClassCName))
      limits += chinese_ ? QStringLiteral(" %1（%2）").arg(ClassCRevision, U(ScreeningText(true)))
                         : QStringLiteral(" %1 (%2)").arg(ClassCRevision, U(ScreeningText(false)));
  }

  const VerdictResult shown = shown_ ? shown_->Result : VerdictResult::None;
  const bool live = Result() != VerdictResult::None;
  QPalette pal = palette();
  pal.setColor(QPalette::Window, previous_ ? PreviousColour(shown) : FieldColour(shown));
  pal.setColor(QPalette::WindowText, live ? QColor(Qt::white) : NeutralText);
  setPalette(pal);
  for (QLabel* l : {tag_, word_, first_, second_, note_, limits_}) l->setPalette(pal);
  word_->setText(word);
  first_->setText(first);
  second_->setText(second);
  note_->setText(note);
  limits_->setText(limits);
  // An empty line would hold the others off the band's middle.
  tag_->setHidden(!ShowsPrevious());
  for (QLabel* l : {first_, second_, note_, limits_}) l->setHidden(l->text().isEmpty());
  setToolTip(tip.join('\n'));
}

}  // namespace kt
