#pragma once
// The words of a printed report, read back from its PDF with `pdftotext
// -bbox`, and checks of their positions against the report's 0.01 mm layout.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace kt::test {

struct Word {
  double xMin, yMin, xMax, yMax;
  std::string text;
};

// The words of the PDF's first page with their boxes, in points.
inline std::vector<Word> PdfWords(const std::string& pdf) {
  std::vector<Word> words;
  const std::string cmd = "pdftotext -bbox -f 1 -l 1 '" + pdf + "' - 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return words;
  std::string out;
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  pclose(p);
  const std::regex re(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  for (std::sregex_iterator it(out.begin(), out.end(), re), end; it != end; ++it)
    words.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4]), (*it)[5]});
  return words;
}

// The nth word with exactly this text, in reading order.
inline const Word* Find(const std::vector<Word>& words, const std::string& text, int nth = 0) {
  for (const auto& w : words)
    if (w.text == text && nth-- == 0) return &w;
  return nullptr;
}

// 0.01 mm in report units to points on the page.
inline double Pt(double units) { return units / 100.0 / 25.4 * 72.0; }
inline constexpr double HalfMillimetre = 0.5 / 25.4 * 72.0;

// Positions are report units: x to the right, y upwards (negative down the
// page), as the report routines draw them.
inline void ExpectTopLeft(const std::vector<Word>& w, const std::string& text, int x, int y) {
  const Word* word = Find(w, text);
  ASSERT_NE(word, nullptr) << text;
  EXPECT_NEAR(word->xMin, Pt(x), HalfMillimetre) << text;
  EXPECT_NEAR(word->yMin, Pt(-y), HalfMillimetre) << text;
}

// A centred text of one or more words, given its first and last word.
inline void ExpectTopCentre(const std::vector<Word>& w, const std::string& first, const std::string& last, int x,
                            int y) {
  const Word *a = Find(w, first), *b = Find(w, last);
  ASSERT_NE(a, nullptr) << first;
  ASSERT_NE(b, nullptr) << last;
  EXPECT_NEAR((a->xMin + b->xMax) / 2, Pt(x), HalfMillimetre) << first;
  EXPECT_NEAR(a->yMin, Pt(-y), HalfMillimetre) << first;
}

inline void ExpectTopRight(const std::vector<Word>& w, const std::string& text, int nth, int x, int y) {
  const Word* word = Find(w, text, nth);
  ASSERT_NE(word, nullptr) << text;
  EXPECT_NEAR(word->xMax, Pt(x), HalfMillimetre) << text;
  EXPECT_NEAR(word->yMin, Pt(-y), HalfMillimetre) << text;
}

enum class Anchor { Left, Centre, Right };

// Whether a text of one or more words stands on the page with its top at
// report y and its left edge, centre or right edge at report x (0.01 mm, y
// upwards), within half a millimetre. Numbers repeat on a report, so any
// occurrence may match.
inline testing::AssertionResult Placed(const std::vector<Word>& words, const std::string& text, Anchor anchor, int x,
                                       int y) {
  std::vector<std::string> tokens;
  std::istringstream in(text);
  for (std::string t; in >> t;) tokens.push_back(t);
  std::ostringstream seen;
  for (std::size_t i = 0; i + tokens.size() <= words.size(); ++i) {
    bool same = true;
    for (std::size_t k = 0; k < tokens.size() && same; ++k) same = words[i + k].text == tokens[k];
    if (!same) continue;
    const Word &a = words[i], &b = words[i + tokens.size() - 1];
    const double at = anchor == Anchor::Left ? a.xMin : anchor == Anchor::Right ? b.xMax : (a.xMin + b.xMax) / 2;
    if (std::abs(at - Pt(x)) <= HalfMillimetre && std::abs(a.yMin - Pt(-y)) <= HalfMillimetre)
      return testing::AssertionSuccess();
    seen << " (" << at << ", " << a.yMin << ")";
  }
  return testing::AssertionFailure() << "\"" << text << "\" expected at (" << Pt(x) << ", " << Pt(-y)
                                     << ") pt, found at" << (seen.str().empty() ? " nowhere" : seen.str());
}

}  // namespace kt::test
