#pragma once
// 记录 → 记录设置 (Records → Log settings): where the run log is and this
// station's name, kept in the program's settings (log/target, log/station).
// They are read when the program starts: the writer keeps the log it opened,
// with the runs waiting in its outbox, until then. The address is checked
// when OK is pressed; a malformed one is refused with the parser's reason.
#include <QDialog>

class QLabel;
class QLineEdit;

namespace kt {

class TLogSettingsForm : public QDialog {
  Q_OBJECT

 public:
  explicit TLogSettingsForm(bool chinese, QWidget* parent = nullptr);

  QLineEdit* Target() const { return Target_; }
  QLineEdit* Station() const { return Station_; }
  QLabel* Problem() const { return Problem_; }

  void accept() override;

 private:
  bool Chinese_;
  QLineEdit *Target_ = nullptr, *Station_ = nullptr;
  QLabel* Problem_ = nullptr;
};

}  // namespace kt
