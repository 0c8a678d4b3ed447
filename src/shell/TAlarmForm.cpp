#include "shell/TAlarmForm.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kt {

TAlarmForm::TAlarmForm(QWidget* owner) : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("AlarmForm");
  setWindowTitle(QString::fromUtf8("通讯提示"));
  setFixedSize(272, 132);
  QFont song(QStringLiteral("宋体"));
  song.setPixelSize(16);

  auto* first = new QLabel(QString::fromUtf8("通讯联络失败，请检查！"), this);
  first->setObjectName("Label1");
  first->setFont(song);
  QPalette red = first->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  first->setPalette(red);

  auto* second = new QLabel(QString::fromUtf8("程序将自动侦测串行通讯口！"), this);
  second->setObjectName("Label2");
  second->setFont(song);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 20, 16, 24);
  layout->addWidget(first);
  layout->addWidget(second);
}

}  // namespace kt
