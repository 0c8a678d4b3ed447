#include "core/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kt {

namespace {

// A magnitude as decimal digits: 0.Digits × 10^Exp.
struct Decimal {
  std::string Digits;
  int Exp = 0;
};

// The decimal digits of a positive magnitude, enough of them that rounding
// at any place this program writes is decided by the value itself: a binary
// number a hair off a half stays off it within these digits.
Decimal Expand(double a) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.60e", a);  // "d.ddd…e+XX"
  Decimal d;
  const char* e = std::strchr(buf, 'e');
  d.Digits.assign(1, buf[0]);
  d.Digits.append(static_cast<const char*>(buf + 2), e);
  d.Exp = std::atoi(e + 1) + 1;
  return d;
}

// Keeps the first `keep` digits, rounding half away from zero: a value that
// lies exactly on a half (230.25, 22.5, 0.0625 are exact binary numbers)
// goes up in magnitude, as on paper.
Decimal Round(Decimal x, int keep) {
  if (keep < 0) return {"", x.Exp};
  bool up = keep < static_cast<int>(x.Digits.size()) && x.Digits[static_cast<std::size_t>(keep)] >= '5';
  x.Digits.resize(static_cast<std::size_t>(keep));
  for (int i = keep - 1; up && i >= 0; --i) {
    char& c = x.Digits[static_cast<std::size_t>(i)];
    if (c == '9') {
      c = '0';
    } else {
      ++c;
      up = false;
    }
  }
  if (up) {
    x.Digits.insert(0, 1, '1');
    x.Digits.pop_back();
    if (keep == 0) x.Digits = "1";
    ++x.Exp;
  }
  return x;
}

bool IsZero(const Decimal& d) { return d.Digits.find_first_not_of('0') == std::string::npos; }

char DigitAt(const Decimal& d, int i) {
  return i >= 0 && i < static_cast<int>(d.Digits.size()) ? d.Digits[static_cast<std::size_t>(i)] : '0';
}

std::string Fixed(const Decimal& d, int decimals) {
  std::string s;
  for (int i = 0; i < d.Exp; ++i) s += DigitAt(d, i);
  if (s.empty()) s = "0";
  if (decimals > 0) {
    s += '.';
    for (int i = d.Exp; i < d.Exp + decimals; ++i) s += DigitAt(d, i);
  }
  return s;
}

// "1.235E+4": the significant digits, the exponent without leading zeros.
std::string ExponentForm(const Decimal& d, int significant) {
  std::string s(1, DigitAt(d, 0));
  if (significant > 1) {
    s += '.';
    for (int i = 1; i < significant; ++i) s += DigitAt(d, i);
  }
  const int exp = d.Exp - 1;
  return s + "E" + (exp < 0 ? "-" : "+") + std::to_string(std::abs(exp));
}

}  // namespace

std::string NumberText(double value, int decimals, int significant) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  decimals = std::clamp(decimals, 0, 18);
  significant = std::clamp(significant, 1, 15);
  if (value == 0.0) return Fixed({"", 1}, decimals);

  const std::string sign = value < 0 ? "-" : "";
  const Decimal all = Expand(std::fabs(value));
  // Integer digits once rounded to the significant digits.
  const Decimal sig = Round(all, significant);
  if (sig.Exp > significant) return sign + ExponentForm(sig, significant);
  const int shown = std::min(decimals, significant - sig.Exp);
  const Decimal r = Round(all, all.Exp + shown);
  // A negative value that rounds to zero reads as zero.
  std::string s = (IsZero(r) ? "" : sign) + Fixed(r, shown);
  if (decimals > shown) {
    if (shown == 0) s += '.';
    s.append(static_cast<std::size_t>(decimals - shown), '0');
  }
  return s;
}

}  // namespace kt
