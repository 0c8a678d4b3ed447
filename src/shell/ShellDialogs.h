#pragma once
#include <QString>

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
  // Shows one of the program's dialogs modally; returns its result.
  virtual int ExecModal(QDialog& dialog) = 0;
};

}  // namespace kt
