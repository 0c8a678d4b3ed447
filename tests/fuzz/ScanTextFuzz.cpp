// Any byte string as a scanner's line: refused with a message in both
// languages and nothing filled, or read as a type and a serial that fit the
// test information's fields and that a data file keeps as they are.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/TestInfo.h"
#include "platform/GbkText.h"
#include "station/Scan.h"

static void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s\n%s\n", what, detail.c_str());
  std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte picks the separator, so that longer ones are fuzzed too.
  static const char* const separators[] = {"*", "||", "#", "*/*"};
  const char* separator = size > 0 ? separators[data[0] % 4] : "*";
  const std::string text(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), size > 0 ? size - 1 : 0);
  kt::ScanCode code{"-", "-"};
  kt::ProfileMessage m;
  if (kt::ParseScan(text, separator, code, m) != 0) {
    if (m.English.empty() || m.Chinese.empty()) Fail("refused without a message", text);
    if (code.Type != "-" || code.Serial != "-") Fail("a refused scan filled something", text);
    return 0;
  }
  if (code.Serial.empty() || code.Serial.find(separator) != std::string::npos) Fail("serial not one part", text);
  if (kt::GbkLength(code.Serial) > kt::TestInfoSizes::No - 1 || kt::GbkLength(code.Type) > kt::TestInfoSizes::Type - 1)
    Fail("longer than its field", text);
  for (const std::string* part : {&code.Type, &code.Serial}) {
    const std::string gbk = kt::Utf8ToGbk(*part);
    if (kt::GbkToUtf8(gbk.data(), gbk.size()) != *part) Fail("does not survive a data file", *part);
  }
  return 0;
}
