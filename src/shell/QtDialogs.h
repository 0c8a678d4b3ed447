#pragma once
#include <QWidget>

#include "shell/ShellDialogs.h"

namespace kt {

class QtDialogs final : public ShellDialogs {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }
  void MessageBox(const std::string& text, const std::string& caption) override;
  bool ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter, QString& path) override;
  bool ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter, QString& path) override;
  bool SetUpPrinter(QWidget* parent, QPrinter& printer) override;
  bool Confirm(QWidget* parent, const QString& title, const QString& text) override;
  bool AskText(QWidget* parent, const QString& title, const QString& label, const QString& initial, QString& text,
               bool secret) override;
  int ExecModal(QDialog& dialog) override;

 private:
  QWidget* parent_ = nullptr;
};

}  // namespace kt
