#include "shell/QtDialogs.h"

#include <QMessageBox>

namespace kt {

void QtDialogs::MessageBox(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, parent_);
  box.exec();
}

}  // namespace kt
