#include "shell/QtDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace kt {

void QtDialogs::MessageBox(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, parent_);
  box.exec();
}

bool QtDialogs::ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter, QString& path) {
  path = QFileDialog::getOpenFileName(parent, title, QString(), filter);
  return !path.isEmpty();
}

bool QtDialogs::ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter, QString& path) {
  // Asks before replacing a file; no read-only box; resizable.
  path = QFileDialog::getSaveFileName(parent, title, QString(), filter, nullptr, QFileDialog::Options());
  return !path.isEmpty();
}

bool QtDialogs::SetUpPrinter(QWidget* parent, QPrinter& printer) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

int QtDialogs::ExecModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace kt
