#include "core/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kt {

namespace {

std::string ExponentForm(double value, int significant) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", significant - 1, value);
  // buf is like "-1.235e+04": rewrite the exponent without leading zeros.
  std::string s(buf);
  const auto e = s.find('e');
  if (e == std::string::npos) return s;
  const int exp = std::atoi(s.c_str() + e + 1);
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%c%d", exp < 0 ? '-' : '+', std::abs(exp));
  return s.substr(0, e) + tail;
}

}  // namespace

std::string NumberText(double value, int decimals, int significant) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  decimals = std::clamp(decimals, 0, 18);
  significant = std::clamp(significant, 1, 15);

  if (value == 0.0) value = 0.0;  // no "-0.0"
  // Integer digits after rounding to the significant digits: the exponent of
  // the value in scientific notation, plus one.
  char probe[64];
  std::snprintf(probe, sizeof probe, "%.*e", significant - 1, value);
  const char* e = std::strchr(probe, 'e');
  const int intDigits = (value == 0.0 || !e) ? 1 : std::atoi(e + 1) + 1;
  if (intDigits > significant) return ExponentForm(value, significant);

  const int shown = std::min(decimals, significant - intDigits);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", std::max(shown, 0), value);
  std::string s(buf);
  // Rounding can carry into a new integer digit (9999.7 -> 10000).
  const auto digitsBeforePoint = [](const std::string& t) {
    int n = 0;
    for (char c : t) {
      if (c == '.') break;
      if (c >= '0' && c <= '9') ++n;
    }
    return n;
  };
  if (digitsBeforePoint(s) > significant) return ExponentForm(value, significant);
  if (s == "-0" || s.rfind("-0.", 0) == 0) {
    // A negative value that rounds to zero reads as zero.
    if (s.find_first_of("123456789") == std::string::npos) s.erase(0, 1);
  }
  if (decimals > 0) {
    if (shown <= 0) s += '.';
    s.append(static_cast<std::size_t>(decimals - std::max(shown, 0)), '0');
  }
  return s;
}

}  // namespace kt
