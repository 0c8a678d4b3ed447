#include "shell/QtDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace kt {

void QtDialogs::MessageBox(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                  parent_);
  box.exec();
}

bool QtDialogs::ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter, QString& path) {
  // Any name may be typed: "run1" opens run1.dat, by the same rule as
  // storing, so the dialog must not insist on a file of exactly that name.
  QFileDialog dialog(parent, title, QString(), filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  path = dialog.selectedFiles().front();
  return !path.isEmpty();
}

bool QtDialogs::Confirm(QWidget* parent, const QString& title, const QString& text) {
  return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
         QMessageBox::Yes;
}

bool QtDialogs::AskText(QWidget* parent, const QString& title, const QString& label, const QString& initial,
                        QString& text, bool secret) {
  bool ok = false;
  text = QInputDialog::getText(parent, title, label, secret ? QLineEdit::Password : QLineEdit::Normal, initial, &ok);
  return ok;
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

bool ChooseFileToStore(ShellDialogs& dialogs, QWidget* parent, const QString& title, const QString& filter,
                       std::string (*nameRule)(const std::string&), std::string& path) {
  QString chosen;
  if (!dialogs.ChooseSaveFile(parent, title, filter, chosen)) return false;
  path = nameRule(chosen.toStdString());
  const QString final = QString::fromStdString(path);
  if (final != chosen && QFileInfo::exists(final) &&
      !dialogs.Confirm(parent, title, QString::fromUtf8("“%1”已存在。\n要替换它吗？").arg(QFileInfo(final).fileName())))
    return false;
  return true;
}

}  // namespace kt
