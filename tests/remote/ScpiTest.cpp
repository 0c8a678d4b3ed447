#include "remote/Scpi.h"

#include <gtest/gtest.h>

namespace kt::scpi {
namespace {

const std::vector<Entry> Table = {
    {1, "*IDN", true, false, 0, 0},
    {2, "*RST", false, true, 0, 0},
    {3, "INITiate:INPut", false, true, 0, 0},
    {4, "SYSTem:ERRor[:NEXT]", true, false, 0, 0},
    {5, "CONFigure:INFO:NO", false, true, 1, 1},
    {6, "CONFigure:INFO:TYPE", false, true, 1, 1},
    {7, "FETCh:SCALar", true, false, 1, 1},
    {8, "CONFigure:INFO:NO", true, false, 0, 0},
};

// "id?:args" for each command, or its error number.
std::string Shown(std::string_view line) {
  std::string out;
  for (const Command& c : ParseLine(line, Table)) {
    if (!out.empty()) out += " | ";
    if (c.Error) {
      out += std::to_string(c.Error);
      continue;
    }
    out += std::to_string(c.Id) + (c.Query ? "?" : "");
    for (const Arg& a : c.Args)
      out += std::string(a.Type == Arg::Kind::Text ? " s:" : a.Type == Arg::Kind::Number ? " n:" : " w:") + a.Value;
  }
  return out;
}

TEST(Scpi, HeadersInTheirShortAndLongFormsAndRelativeToTheOneBefore) {
  const std::pair<const char*, const char*> cases[] = {
      {"*idn?\r\n", "1?"},
      {"init:inp", "3"},
      {":INITIATE:INPUT", "3"},
      {"Init:Input", "3"},
      {"syst:err?", "4?"},
      {"SYSTEM:ERROR:NEXT?", "4?"},
      {"conf:info:no?", "8?"},
      // ';' inside a string is text; the next header goes on from CONF:INFO.
      {R"(CONF:INFO:NO "SN 1;2";TYPE 'EB-''36')", "5 s:SN 1;2 | 6 s:EB-'36"},
      {R"(conf:info:no "a""b"; :fetc:scal? "Urms"; *IDN?)", "5 s:a\"b | 7? s:Urms | 1?"},
      {"FETC:SCAL? 2.5e3", "7? n:2.5e3"},
      {"FETC:SCAL? NONE", "7? w:NONE"},
      // What means nothing below the header before is read from the root.
      {"FETC:SCAL? 1;FETC:SCAL? 2;SCAL? 3", "7? n:1 | 7? n:2 | 7? n:3"},
      // What is refused, with the standard's numbers.
      {"INITI:INP", "-113"},
      {"*RST?", "-113"},
      {"TYPE \"x\"", "-113"},
      {"CONF:INFO:NO", "-109"},
      {"*IDN? 3", "-108"},
      {"FETC:SCAL? \"a\" \"b\"", "-102"},
      {"FETC:SCAL? a,", "-102"},
      {"INIT:INP;;*IDN?", "3 | -102 | 1?"},
      {"CONF:INFO:NO \"a", "-150"},
      {"IN IT", "-113"},
      {"1NIT:INP", "-102"},
      {"INIT::INP", "-102"},
      {"\xff\xfe", "-101"},
      {"*IDN?\x01", "-101"},
  };
  for (const auto& [line, shown] : cases) EXPECT_EQ(Shown(line), shown) << line;
  EXPECT_EQ(Shown(""), "");
  EXPECT_EQ(Shown(std::string(MaxLineBytes, ' ') + "x"), "-363");
  EXPECT_EQ(Shown("*IDN?" + std::string(MaxLineBytes - 5, ' ')), "1?");
  EXPECT_EQ(Quote("a \"b\""), "\"a \"\"b\"\"\"");
  EXPECT_STREQ(ErrorText(UndefinedHeader), "Undefined header");
}

}  // namespace
}  // namespace kt::scpi
