#include "shell/ScriptedDialogs.h"

#include <QDialog>
#include <QPrinter>

#include <cstdio>

namespace kt {

void ScriptedDialogs::MessageBox(const std::string& text, const std::string& caption) {
  messages.emplace_back(text, caption);
  if (echoMessages) std::fprintf(stderr, "message box [%s] %s\n", caption.c_str(), text.c_str());
}

bool ScriptedDialogs::ChooseOpenFile(QWidget*, const QString& title, const QString& filter, QString& path) {
  lastOpenTitle = title;
  lastFilter = filter;
  if (openAnswers.empty()) return false;
  path = openAnswers.front();
  openAnswers.pop_front();
  return true;
}

bool ScriptedDialogs::ChooseSaveFile(QWidget*, const QString& title, const QString& filter, QString& path) {
  lastSaveTitle = title;
  lastFilter = filter;
  if (saveAnswers.empty()) return false;
  path = saveAnswers.front();
  saveAnswers.pop_front();
  return true;
}

bool ScriptedDialogs::SetUpPrinter(QWidget*, QPrinter& printer) {
  if (pdfPath.isEmpty()) return false;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdfPath);
  return true;
}

bool ScriptedDialogs::Confirm(QWidget*, const QString&, const QString& text) {
  questions.push_back(text);
  return confirmAnswer;
}

bool ScriptedDialogs::AskText(QWidget*, const QString&, const QString& label, const QString&, QString& text, bool) {
  textLabels.push_back(label);
  if (textAnswers.empty()) return false;
  text = textAnswers.front();
  textAnswers.pop_front();
  return true;
}

int ScriptedDialogs::ExecModal(QDialog& dialog) {
  ++modalCount;
  if (onModal) return onModal(dialog);
  dialog.show();
  dialog.accept();
  return QDialog::Accepted;
}

}  // namespace kt
