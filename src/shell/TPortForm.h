#pragma once
#include "shell/TwoChoiceDialog.h"

namespace kt {

class TKT5100Form;

// Chooses COM1 or COM2, stores the choice in the configuration file and
// reopens the port.
class TPortForm : public TwoChoiceDialog {
  Q_OBJECT
 public:
  explicit TPortForm(TKT5100Form& main);

  void FormShow() override;
  void OkBtnClick() override;
  QRadioButton* Com1() const { return First(); }
  QRadioButton* Com2() const { return Second(); }

 private:
  TKT5100Form& main_;
};

}  // namespace kt
