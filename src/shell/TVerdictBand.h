#pragma once
// The verdict field above the main window's page while limits are active: a
// coloured band an operator reads from across the bench (PASS green, FAIL
// red, INCOMPLETE amber, N/A grey, white bold text), the verdict word large
// and beside it, as large as the page's values, why the run was not decided
// or what failed; below that the rest, and the limits it was judged by with
// any warning about them. It sits in the window's layout above the page,
// never over it, and grows with the window's height.
#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>

#include "verdict/Verdict.h"

class QBoxLayout;
class QLabel;

namespace kt {

class TVerdictBand : public QWidget {
  Q_OBJECT

 public:
  // px: the band's height in a window up to 600 px high, as the fixed-size
  // analysis window is.
  static constexpr int BaseHeight = 72;
  // The band's height in a window `windowHeight` px high: in proportion
  // above 600 px, so that its lines keep pace with the page's text.
  static int HeightFor(int windowHeight);

  explicit TVerdictBand(QWidget* parent = nullptr);

  // The field's colour for a result; None is the neutral field of a run
  // under way or of no run yet.
  static QColor FieldColour(VerdictResult result);
  // The field of a previous run's verdict: its colour muted towards the
  // neutral field.
  static QColor PreviousColour(VerdictResult result);
  // The system's beep, for the optional sound on a failed run.
  static void Beep();

  // The verdict of the results now shown: None while the band shows no
  // verdict or only the previous run's.
  VerdictResult Result() const { return shown_ && !previous_ ? shown_->Result : VerdictResult::None; }
  bool ShowsPrevious() const { return shown_ && previous_; }

 public slots:
  void SetChinese(bool chinese);
  // The limits in force, shown on the neutral field ("iec-61000-3-2-class-c"
  // for the built-in screening).
  void SetProfileName(const QString& name);
  // Shown until the next run's own verdict replaces it.
  void ShowVerdict(const kt::Verdict& verdict);
  // A run has started: the verdict shown stays up, muted and tagged as the
  // previous run's, so that in continuous testing the last verdict is always
  // in view; without one, the neutral field with "—" and the limits.
  void MarkPrevious();
  // The results shown were not judged (a file opened with no limits, a kind
  // with no run yet): the neutral field with "—" and the limits in force.
  void Clear();
  // With it on, ShowVerdict beeps for a FAIL.
  void SetSoundOnFail(bool on) { soundOnFail_ = on; }

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void WatchWindow();
  void Restyle();
  int LinesWidth() const;
  void Render();

  bool chinese_ = false;
  bool soundOnFail_ = false;
  bool previous_ = false;
  QString profileName_;
  std::optional<Verdict> shown_;
  QPointer<QWidget> window_;   // whose height the band's follows
  QBoxLayout* row_ = nullptr;  // the word's column beside the lines
  QBoxLayout* lines_ = nullptr;
  QLabel* tag_ = nullptr;     // "VerdictTag": "previous run" over the word
  QLabel* word_ = nullptr;    // "VerdictWord"
  QLabel* first_ = nullptr;   // "VerdictFirst": the reason, or the failing figures that fit, or a remark
  QLabel* second_ = nullptr;  // "VerdictSecond": what the first line leaves
  QLabel* note_ = nullptr;    // "VerdictNote": the warning about the limits
  QLabel* limits_ = nullptr;  // "VerdictLimits": the profile and the screening note
};

}  // namespace kt
