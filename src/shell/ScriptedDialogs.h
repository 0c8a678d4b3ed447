#pragma once
#include <QString>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "shell/ShellDialogs.h"

namespace kt {

// Dialogs answered from a script instead of by an operator: for running the
// main window unattended (the demo driver, benchmarks, tests). Messages are
// kept; file choosers take the next queued name (none: cancelled); the print
// dialog prints to `pdfPath` (empty: cancelled); the program's own dialogs
// are shown and closed with OK unless `onModal` decides otherwise.
class ScriptedDialogs final : public ShellDialogs {
 public:
  std::vector<std::pair<std::string, std::string>> messages;
  bool echoMessages = false;  // also write them to stderr
  std::deque<QString> openAnswers, saveAnswers;
  QString pdfPath;
  std::function<int(QDialog&)> onModal;
  int modalCount = 0;

  void MessageBox(const std::string& text, const std::string& caption) override;
  bool ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter, QString& path) override;
  bool ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter, QString& path) override;
  bool SetUpPrinter(QWidget* parent, QPrinter& printer) override;
  // Questions are kept and answered with `confirmAnswer`.
  bool Confirm(QWidget* parent, const QString& title, const QString& text) override;
  std::vector<QString> questions;
  bool confirmAnswer = true;
  // Answered from `textAnswers` (none left: cancelled); the labels are kept.
  bool AskText(QWidget* parent, const QString& title, const QString& label, const QString& initial, QString& text,
               bool secret) override;
  std::deque<QString> textAnswers;
  std::vector<QString> textLabels;
  int ExecModal(QDialog& dialog) override;

  QString lastOpenTitle, lastSaveTitle, lastFilter;
};

}  // namespace kt
