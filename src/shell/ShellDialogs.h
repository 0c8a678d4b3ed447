#pragma once
#include <QString>
#include <string>

#include "platform/Dialogs.h"

class QDialog;
class QPrinter;
class QWidget;

namespace kt {

// The window system's modal dialogs as the main window uses them: messages,
// the file choosers, the print dialog and the program's own modal windows.
class ShellDialogs : public Dialogs {
 public:
  // Each returns false when the operator cancels.
  virtual bool ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter, QString& path) = 0;
  virtual bool ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter, QString& path) = 0;
  virtual bool SetUpPrinter(QWidget* parent, QPrinter& printer) = 0;
  // A yes/no question; true for yes.
  virtual bool Confirm(QWidget* parent, const QString& title, const QString& text) = 0;
  // One line of text (`secret`: shown as dots), starting from `text`; false
  // when cancelled.
  virtual bool AskText(QWidget* parent, const QString& title, const QString& label, const QString& initial,
                       QString& text, bool secret = false) = 0;
  // Shows one of the program's dialogs modally; returns its result.
  virtual int ExecModal(QDialog& dialog) = 0;
};

// The save dialog asks before replacing the file the operator chose; the
// name rule may then add an extension and name another file, which may
// exist too: that one is asked about as well. `path` is the name to write.
// False when the operator cancels or does not want the file replaced.
bool ChooseFileToStore(ShellDialogs& dialogs, QWidget* parent, const QString& title, const QString& filter,
                       std::string (*nameRule)(const std::string&), std::string& path);

}  // namespace kt
