#pragma once
// The verdict field above the main window's page while limits are active: a
// coloured band an operator reads from across the bench (PASS green, FAIL
// red, INCOMPLETE amber, N/A grey, white bold text), the verdict word large
// and beside it what failed or was missing, and the limits it was judged by.
// It sits in the window's layout above the page, never over it.
#include <QColor>
#include <QString>
#include <QWidget>
#include <optional>

#include "verdict/Verdict.h"

class QLabel;

namespace kt {

class TVerdictBand : public QWidget {
  Q_OBJECT

 public:
  static constexpr int BandHeight = 72;  // px; the band's fixed height

  explicit TVerdictBand(QWidget* parent = nullptr);

  // The field's colour for a result; None is the neutral field of a run
  // under way or of no run yet.
  static QColor FieldColour(VerdictResult result);
  // The system's beep, for the optional sound on a failed run.
  static void Beep();

  // The result shown, None while cleared.
  VerdictResult Result() const { return shown_ ? shown_->Result : VerdictResult::None; }

 public slots:
  void SetChinese(bool chinese);
  // The limits in force, shown on the neutral field ("iec-61000-3-2-class-c"
  // for the built-in screening).
  void SetProfileName(const QString& name);
  // Kept until the next Clear: the verdict stays up until the next run starts.
  void ShowVerdict(const kt::Verdict& verdict);
  // The neutral field with "—" and the profile's name: a run is under way.
  void Clear();
  // With it on, ShowVerdict beeps for a FAIL.
  void SetSoundOnFail(bool on) { soundOnFail_ = on; }

 private:
  void Render();

  bool chinese_ = false;
  bool soundOnFail_ = false;
  QString profileName_;
  std::optional<Verdict> shown_;
  QLabel* word_ = nullptr;      // "VerdictWord"
  QLabel* problems_ = nullptr;  // "VerdictProblems": the failing figures, or a remark
  QLabel* limits_ = nullptr;    // "VerdictLimits": the profile and the screening note
};

}  // namespace kt
