#include "shell/TPortForm.h"

#include <filesystem>

#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstring>

#include "platform/SystemPorts.h"
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
  // Below the two port names: the serial ports the system has, so that an
  // adapter is found in a list rather than by making a link by hand.
  auto* group = new QGroupBox(QString::fromUtf8("系统串口"), this);
  group->setObjectName("SystemPortsGroup");
  ports_ = new QListWidget(group);
  ports_->setObjectName("SystemPorts");
  QFont small = DialogFont();
  small.setPixelSize(13);
  ports_->setFont(small);
  auto* refresh = new QPushButton(QString::fromUtf8("刷新"), group);
  refresh->setObjectName("RefreshBtn");
  connect(refresh, &QPushButton::clicked, this, [this] { RefreshClick(); });
  auto* column = new QVBoxLayout(group);
  column->addWidget(ports_);
  column->addWidget(refresh);
  static_cast<QVBoxLayout*>(layout())->insertWidget(1, group);
  // A choice in one list undoes the other.
  connect(ports_, &QListWidget::itemSelectionChanged, this, [this] {
    if (!ports_->selectedItems().isEmpty()) {
      Com1()->setAutoExclusive(false);
      Com1()->setChecked(false);
      Com2()->setChecked(false);
      Com1()->setAutoExclusive(true);
    }
  });
  for (QRadioButton* r : {Com1(), Com2()})
    connect(r, &QRadioButton::toggled, this, [this](bool on) {
      if (on) ports_->clearSelection();
    });
  setFixedSize(420, 330);
}

void TPortForm::RefreshClick() {
  ports_->clear();
  const std::string chosen = main_.form().PortDevice;
  bool chosenListed = false;
  const auto add = [this, &chosen, &chosenListed](const PortEntry& port) {
    auto* item = new QListWidgetItem(QString::fromStdString(PortLine(port)), ports_);
    item->setData(Qt::UserRole, QString::fromStdString(port.Device));
    if (port.Device == chosen) {
      item->setSelected(true);
      chosenListed = true;
    }
  };
  for (const PortEntry& port : kt::SystemPorts()) add(port);
  if (chosen.empty() || chosenListed) return;
  // A device Qt does not list (a pseudo-terminal) is offered while it is
  // there; one that is gone (an unplugged adapter) stays listed, greyed.
  std::error_code ec;
  if (std::filesystem::exists(chosen, ec)) {
    add({chosen, "", "", ""});
    return;
  }
  auto* item = new QListWidgetItem(QString::fromStdString(chosen) + QString::fromUtf8("  （未连接）"), ports_);
  item->setData(Qt::UserRole, QString::fromStdString(chosen));
  item->setFlags(item->flags() & ~Qt::ItemIsEnabled & ~Qt::ItemIsSelectable);
}

void TPortForm::FormShow() {
  RefreshClick();
  const bool device = !main_.form().PortDevice.empty();
  const bool com1 = std::strcmp(main_.form().PortName, "COM1") == 0;
  Com1()->setChecked(!device && com1);
  Com2()->setChecked(!device && !com1);
}

void TPortForm::OkBtnClick() {
  const auto selected = ports_->selectedItems();
  if (!selected.isEmpty())
    main_.ChangeDevice(selected.front()->data(Qt::UserRole).toString().toStdString());
  else
    main_.ChangePort(Com1()->isChecked() ? "COM1" : "COM2");
  accept();
}

}  // namespace kt
