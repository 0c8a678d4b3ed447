#pragma once
#include <QDialog>

class QRadioButton;

namespace kt {

class TKT5100Form;

// Chooses COM1 or COM2, stores the choice in the configuration file and
// reopens the port.
class TPortForm : public QDialog {
  Q_OBJECT
 public:
  explicit TPortForm(TKT5100Form& main);

  void FormShow();
  void OkBtnClick();
  void CancelBtnClick();
  QRadioButton* Com1() const { return com1_; }
  QRadioButton* Com2() const { return com2_; }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  TKT5100Form& main_;
  QRadioButton* com1_;
  QRadioButton* com2_;
};

}  // namespace kt
