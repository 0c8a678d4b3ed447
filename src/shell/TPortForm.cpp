#include "shell/TPortForm.h"

#include <QRadioButton>

#include <cstring>

#include "shell/TKT5100Form.h"

namespace kt {

namespace {

QFont DialogFont() {
  QFont sans(QStringLiteral("MS Sans Serif"));
  sans.setPixelSize(16);
  return sans;
}

}  // namespace

TPortForm::TPortForm(TKT5100Form& main)
    : TwoChoiceDialog(&main, {"通讯口选择", "串口选择", "COM1", "COM2", "确认"}, QSize(229, 148), DialogFont(),
                      Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint),
      main_(main) {
  setObjectName("PortForm");
  setFont(DialogFont());
}

void TPortForm::FormShow() {
  const bool com1 = std::strcmp(main_.form().PortName, "COM1") == 0;
  Com1()->setChecked(com1);
  Com2()->setChecked(!com1);
}

void TPortForm::OkBtnClick() {
  main_.ChangePort(Com1()->isChecked() ? "COM1" : "COM2");
  accept();
}

}  // namespace kt
