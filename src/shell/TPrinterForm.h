#pragma once
#include <cstdint>

#include "shell/TwoChoiceDialog.h"

namespace kt {

// "打印机选择": which family the printer belongs to, for the one report that
// prints rotated text.
class TPrinterForm : public TwoChoiceDialog {
  Q_OBJECT
 public:
  TPrinterForm(QWidget* owner, std::int32_t& printerFamily);

  void FormShow() override;
  void OkBtnClick() override;
  QRadioButton* Family0() const { return First(); }
  QRadioButton* Family1() const { return Second(); }

 private:
  std::int32_t& family_;
};

}  // namespace kt
