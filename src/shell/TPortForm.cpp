#include "shell/TPortForm.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstring>

#include "link/PortConfig.h"
#include "shell/TKT5100Form.h"

namespace kt {

TPortForm::TPortForm(TKT5100Form& main)
    : QDialog(&main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint),
      main_(main) {
  setObjectName("PortForm");
  setWindowTitle(QString::fromUtf8("通讯口选择"));
  setFixedSize(229, 148);
  QFont sans(QStringLiteral("MS Sans Serif"));
  sans.setPixelSize(16);
  setFont(sans);

  auto* group = new QGroupBox(QString::fromUtf8("串口选择"), this);
  group->setObjectName("RadioGroup1");
  com1_ = new QRadioButton("COM1", group);
  com2_ = new QRadioButton("COM2", group);
  auto* radios = new QHBoxLayout(group);
  radios->addWidget(com1_);
  radios->addWidget(com2_);

  auto* ok = new QPushButton(QString::fromUtf8("确认"), this);
  ok->setObjectName("OkBtn");
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("取消"), this);
  cancel->setObjectName("CancelBtn");
  connect(ok, &QPushButton::clicked, this, &TPortForm::OkBtnClick);
  connect(cancel, &QPushButton::clicked, this, &TPortForm::CancelBtnClick);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
}

void TPortForm::showEvent(QShowEvent* e) {
  FormShow();
  QDialog::showEvent(e);
}

void TPortForm::FormShow() {
  const bool com1 = std::strcmp(main_.form().PortName, "COM1") == 0;
  com1_->setChecked(com1);
  com2_->setChecked(!com1);
}

void TPortForm::OkBtnClick() {
  main_.ChangePort(com1_->isChecked() ? "COM1" : "COM2");
  accept();
}

void TPortForm::CancelBtnClick() { reject(); }

}  // namespace kt
