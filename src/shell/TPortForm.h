#pragma once
#include "shell/TwoChoiceDialog.h"

class QListWidget;

namespace kt {

class TKT5100Form;

// Chooses COM1 or COM2 (stored in the configuration file), or one of the
// serial ports the system has (kept in the settings), and reopens the port.
class TPortForm : public TwoChoiceDialog {
  Q_OBJECT
 public:
  explicit TPortForm(TKT5100Form& main);

  void FormShow() override;
  void OkBtnClick() override;
  QRadioButton* Com1() const { return First(); }
  QRadioButton* Com2() const { return Second(); }
  QListWidget* SystemPorts() const { return ports_; }
  // Lists the system's ports again (an adapter plugged in or pulled). The
  // chosen device stays listed when it is missing, greyed out.
  void RefreshClick();

 private:
  TKT5100Form& main_;
  QListWidget* ports_;
};

}  // namespace kt
