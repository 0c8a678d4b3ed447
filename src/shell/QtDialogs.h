#pragma once
#include <QWidget>

#include "platform/Dialogs.h"

namespace kt {

class QtDialogs final : public Dialogs {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }
  void MessageBox(const std::string& text, const std::string& caption) override;

 private:
  QWidget* parent_ = nullptr;
};

}  // namespace kt
