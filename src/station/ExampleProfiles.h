#pragma once

namespace kt {

struct ExampleProfile {
  const char* FileName;
  const char* Text;
};
extern const ExampleProfile ExampleProfiles[];
extern const int ExampleProfileCount;

}  // namespace kt
