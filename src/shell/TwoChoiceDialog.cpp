#include "shell/TwoChoiceDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kt {

TwoChoiceDialog::TwoChoiceDialog(QWidget* owner, const Texts& texts, QSize size, const QFont& choiceFont,
                                 Qt::WindowFlags flags)
    : QDialog(owner, flags) {
  setWindowTitle(QString::fromUtf8(texts.Caption));
  setFixedSize(size);
  auto* group = new QGroupBox(QString::fromUtf8(texts.Group), this);
  group->setObjectName("RadioGroup1");
  group->setFont(choiceFont);
  first_ = new QRadioButton(QString::fromUtf8(texts.First), group);
  second_ = new QRadioButton(QString::fromUtf8(texts.Second), group);
  auto* radios = new QVBoxLayout(group);
  radios->addWidget(first_);
  radios->addWidget(second_);

  auto* ok = new QPushButton(QString::fromUtf8(texts.Ok), this);
  ok->setObjectName("OkBtn");
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("取消"), this);
  cancel->setObjectName("CancelBtn");
  connect(ok, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(cancel, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
}

void TwoChoiceDialog::showEvent(QShowEvent* e) {
  FormShow();
  QDialog::showEvent(e);
}

}  // namespace kt
