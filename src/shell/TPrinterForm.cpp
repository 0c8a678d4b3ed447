#include "shell/TPrinterForm.h"

#include <QRadioButton>

namespace kt {

namespace {

QFont SongFont() {
  QFont song(QStringLiteral("宋体"));
  song.setPixelSize(16);
  return song;
}

}  // namespace

TPrinterForm::TPrinterForm(QWidget* owner, std::int32_t& printerFamily)
    : TwoChoiceDialog(owner, {"打印机选择", "选择打印机", "Epson、Canon等打印机", "HP及兼容打印机", "确定"},
                      QSize(245, 186), SongFont()),
      family_(printerFamily) {
  setObjectName("PrinterForm");
}

void TPrinterForm::FormShow() {
  Family1()->setChecked(family_ != 0);
  Family0()->setChecked(family_ == 0);
}

void TPrinterForm::OkBtnClick() {
  family_ = Family1()->isChecked() ? 1 : 0;
  accept();
}

}  // namespace kt
