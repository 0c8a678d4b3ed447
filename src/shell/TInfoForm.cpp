#include "shell/TInfoForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include "core/TestInfo.h"
#include "platform/GbkText.h"

namespace kt {

namespace {

// Limits a box by the bytes its text takes in the data files, where a
// Chinese character counts two.
class GbkLengthValidator final : public QValidator {
 public:
  GbkLengthValidator(int maxBytes, QObject* parent) : QValidator(parent), max_(maxBytes) {}
  State validate(QString& input, int&) const override {
    return GbkLength(input.toStdString()) <= static_cast<std::size_t>(max_) ? Acceptable : Invalid;
  }

 private:
  int max_;
};

struct Layout {
  const char* label;
  const char* unit;  // after the box, or nullptr
  int x, y, width, limit;
};

// Two columns of label and box; rows as the information belongs together.
const Layout kLayout[TInfoForm::FieldCount] = {
    {"名称", nullptr, 16, 16, 121, TestInfoSizes::Name - 1},
    {"编号", nullptr, 224, 16, 121, TestInfoSizes::No - 1},
    {"型号", nullptr, 16, 48, 121, TestInfoSizes::Type - 1},
    {"规格", nullptr, 224, 48, 121, TestInfoSizes::Standard - 1},
    {"温度", "℃", 16, 88, 65, TestInfoSizes::Temperature - 1},
    {"湿度", "%", 224, 88, 65, TestInfoSizes::Humidity - 1},
    {"制造商", nullptr, 16, 128, 121, TestInfoSizes::Manufacturer - 1},
    {"测试员", nullptr, 224, 128, 121, TestInfoSizes::Operator - 1},
    {"光通量", nullptr, 16, 168, 121, TestInfoSizes::LuminousFlux - 1},
    {"色温", nullptr, 224, 168, 121, TestInfoSizes::ColourTemperature - 1},
};

std::string* FieldOf(TestInfo& t, int f) {
  std::string* fields[TInfoForm::FieldCount] = {
      &t.Name,     &t.No,           &t.Type,     &t.Standard,     &t.Temperature,
      &t.Humidity, &t.Manufacturer, &t.Operator, &t.LuminousFlux, &t.ColourTemperature};
  return fields[f];
}

}  // namespace

TInfoForm::TInfoForm(QWidget* owner, TestInfo& info) : QDialog(owner), info_(info) {
  setObjectName("InfoForm");
  setWindowTitle(QString::fromUtf8("输入打印参数"));
  setFixedSize(427, 286);
  QFont song(QStringLiteral("宋体"));
  song.setPixelSize(16);
  QFont sans(QStringLiteral("MS Sans Serif"));
  sans.setPixelSize(16);

  QWidget* previous = nullptr;
  for (int f = 0; f < FieldCount; ++f) {
    const Layout& l = kLayout[f];
    auto* label = new QLabel(QString::fromUtf8(l.label), this);
    label->setFont(song);
    label->setGeometry(l.x, l.y + 2, 56, 20);
    auto* box = new QLineEdit(this);
    box->setGeometry(l.x + 56, l.y, l.width, 21);
    box->setValidator(new GbkLengthValidator(l.limit, box));
    boxes_[f] = box;
    if (l.unit) {
      auto* unit = new QLabel(QString::fromUtf8(l.unit), this);
      unit->setFont(song);
      unit->setGeometry(l.x + 56 + l.width + 4, l.y + 2, 24, 20);
    }
    if (previous) setTabOrder(previous, box);
    previous = box;
  }
  auto* ok = new QPushButton(QString::fromUtf8("确认"), this);
  ok->setObjectName("OkBtn");
  ok->setFont(sans);
  ok->setGeometry(120, 216, 75, 25);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("取消"), this);
  cancel->setObjectName("CancelBtn");
  cancel->setFont(sans);
  cancel->setGeometry(248, 216, 75, 25);
  setTabOrder(previous, ok);
  setTabOrder(ok, cancel);
  connect(ok, &QPushButton::clicked, this, &TInfoForm::OkBtnClick);
  connect(cancel, &QPushButton::clicked, this, &TInfoForm::CancelBtnClick);
}

void TInfoForm::showEvent(QShowEvent* e) {
  FormShow();
  QDialog::showEvent(e);
}

void TInfoForm::FormShow() {
  for (int f = 0; f < FieldCount; ++f) boxes_[f]->setText(QString::fromStdString(*FieldOf(info_, f)));
}

void TInfoForm::OkBtnClick() {
  for (int f = 0; f < FieldCount; ++f)
    *FieldOf(info_, f) =
        TruncateToGbkBytes(boxes_[f]->text().toStdString(), static_cast<std::size_t>(kLayout[f].limit));
  accept();
}

void TInfoForm::CancelBtnClick() {
  for (QLineEdit* box : boxes_) box->clear();
  reject();
}

}  // namespace kt
