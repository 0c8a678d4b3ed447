#pragma once
#include <string>

namespace kt {

// The modal questions the program puts to the operator. The windows use the
// real ones; tests answer them without a person.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A warning with one OK button; returns when it has been dismissed.
  virtual void MessageBox(const std::string& text, const std::string& caption) = 0;
};

}  // namespace kt
