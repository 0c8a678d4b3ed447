#pragma once
#include <QDialog>

class QRadioButton;

namespace kt {

// A small modal dialog with a group of two choices and an OK and a cancel
// button, the shape of the port and printer-family dialogs. Subclasses load
// the choice when shown and store it on OK.
class TwoChoiceDialog : public QDialog {
  Q_OBJECT
 public:
  struct Texts {
    const char* Caption;
    const char* Group;
    const char* First;
    const char* Second;
    const char* Ok;
  };
  QRadioButton* First() const { return first_; }
  QRadioButton* Second() const { return second_; }

  virtual void FormShow() = 0;
  virtual void OkBtnClick() = 0;
  void CancelBtnClick() { reject(); }

 protected:
  TwoChoiceDialog(QWidget* owner, const Texts& texts, QSize size, const QFont& choiceFont,
                  Qt::WindowFlags flags = Qt::Dialog);
  void showEvent(QShowEvent* e) override;

 private:
  QRadioButton* first_;
  QRadioButton* second_;
};

}  // namespace kt
