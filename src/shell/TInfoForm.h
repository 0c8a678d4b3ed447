#pragma once
#include <QDialog>
#include <array>

class QLineEdit;

namespace kt {

struct TestInfo;

// "输入打印参数": the operator's information about the unit under test, copied
// in from the main window when shown and out on "确认". Each box holds at most
// its field's size minus one bytes of GBK text.
class TInfoForm : public QDialog {
  Q_OBJECT
 public:
  TInfoForm(QWidget* owner, TestInfo& info);

  enum Field {
    Name,
    No,
    Type,
    Standard,
    Temperature,
    Humidity,
    Manufacturer,
    Operator,
    LuminousFlux,
    ColourTemperature
  };
  static constexpr int FieldCount = 10;
  QLineEdit* Box(Field f) const { return boxes_[f]; }

  void FormShow();
  void OkBtnClick();
  void CancelBtnClick();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  TestInfo& info_;
  std::array<QLineEdit*, FieldCount> boxes_{};
};

}  // namespace kt
