// Any bytes as lines from a remote client: every line gives commands or
// errors, never a crash or a hang; a refused unit carries a standard error
// number and no command, an accepted one its table entry's argument count.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "remote/Scpi.h"

static void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s\n%s\n", what, detail.c_str());
  std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kt::scpi;
  static const std::vector<Entry> table = {
      {1, "*IDN", true, false, 0, 0},
      {2, "INITiate[:IMMediate]:INPut", false, true, 0, 0},
      {3, "SYSTem:ERRor[:NEXT]", true, false, 0, 0},
      {4, "CONFigure:INFO:NO", false, true, 1, 1},
      {5, "FETCh:ARRay", true, false, 1, 2},
      {6, "CONFigure:LIMits", true, true, 0, 1},
  };
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    for (const Command& c : ParseLine(line, table)) {
      if (c.Error != 0) {
        if (c.Id != 0 || c.Error > -100 || c.Error < -400 || std::string(ErrorText(c.Error)).empty())
          Fail("a refused unit is not one", line);
        continue;
      }
      const Entry* entry = nullptr;
      for (const Entry& s : table)
        if (s.Id == c.Id) entry = &s;
      if (!entry || c.Args.size() < entry->MinArgs || c.Args.size() > entry->MaxArgs ||
          (c.Query ? !entry->Query : !entry->Set))
        Fail("an accepted unit does not fit its entry", line);
    }
    start = end + 1;
  }
  return 0;
}
