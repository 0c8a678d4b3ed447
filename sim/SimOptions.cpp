#include "sim/SimOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kt::sim {

const char* SimUsage() {
  return "usage: kt6100-sim [options]\n"
         "\n"
         "A simulated KT6100 electronic-ballast tester on a pseudo-terminal. Prints\n"
         "'ready <slave path>' on stdout once the line is open, then answers the\n"
         "handshake and every command until SIGTERM or SIGINT.\n"
         "\n"
         "  --link PATH         also make PATH a symbolic link to the line (e.g. ./COM2);\n"
         "                      an existing link is replaced, any other file is left\n"
         "                      alone and the simulator refuses to start; removed at exit\n"
         "  --seed N            seed of the simulated ballast and its variation\n"
         "                      (default: from the clock); one seed, one session\n"
         "  --line-rate         deliver at the real line rate, 1920 bytes/s (19200 baud,\n"
         "                      8N1), in 16-byte pieces; default: each block at once\n"
         "  --echo              behave as a loopback: every received byte is sent back\n"
         "                      and nothing else is answered\n"
         "  --silent            never send anything\n"
         "  --no-blocks         answer the handshake, never send a block\n"
         "  --delay-block K     block K (1-based, of every sequence) is sent late ...\n"
         "  --delay-ms MS       ... MS milliseconds after the byte that asked for it\n"
         "  --split N           send every block in pieces of N bytes ...\n"
         "  --split-gap-ms G    ... G milliseconds apart (default 5)\n"
         "  --start-wait-ms MS  wait MS before the first block of the start test, as\n"
         "                      while the operator switches the lamp off and on\n"
         "  --handshake-delay-ms MS  answer the handshake MS milliseconds late\n"
         "  --garbage N         after each completed sequence send N random bytes\n"
         "                      unasked, 50 ms later\n"
         "  --vanish-at-block K in the next sequence that reaches block K, send its\n"
         "                      first half, then close the line and remove the link;\n"
         "                      stay idle until killed\n"
         "  --order-flag        set the channel-order flag of the start summary and the\n"
         "                      high-frequency header, and really exchange the\n"
         "                      filament and cathode-lead data on the wire\n"
         "  --mains-power W     the ballast draws W watts (1..2000) from the mains instead\n"
         "                      of its lamp power over its efficiency; the lamp is unchanged\n"
         "  --mains-current BEGIN,PEAK,END  the input current flows from BEGIN to END\n"
         "                      and peaks at PEAK, in degrees after the voltage's rising\n"
         "                      zero crossing (0 <= BEGIN <= PEAK < END <= 180); PEAK equal\n"
         "                      to BEGIN is a step; these angles do not wander\n"
         "  --reverse-current   the current channel is wired the wrong way round: every\n"
         "                      current sample negated, the active power negative\n"
         "  --exit-with-parent  end (as on SIGTERM) when the parent process ends\n"
         "  --log               one line per received byte and sent block on stderr\n"
         "  --version           print the version and exit\n"
         "  --help              this text\n"
         "\n"
         "A command byte ('0'..'4') starts its sequence and gets block 1; '!' asks for\n"
         "the next block; after command '4' the next byte, whatever its value, is the\n"
         "envelope position (0..255, past 149 means 149). '?' or a command abandons an\n"
         "unfinished sequence. Other bytes are ignored.\n";
}

namespace {

bool ParseNumber(const char* text, long long lo, long long hi, long long& out) {
  if (text == nullptr || *text == '\0') return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  out = v;
  return true;
}

// Numbers separated by commas, all of them, nothing else.
bool ParseReals(const char* text, double* out, int count) {
  if (text == nullptr) return false;
  for (int k = 0; k < count; ++k) {
    char* end = nullptr;
    errno = 0;
    out[k] = std::strtod(text, &end);
    if (end == text || errno != 0 || !std::isfinite(out[k]) || *end != (k + 1 < count ? ',' : '\0')) return false;
    text = end + 1;
  }
  return true;
}

}  // namespace

namespace {

struct Numeric {
  const char* name;
  int SimOptions::*field;
  long long lo, hi;
};
constexpr Numeric Numerics[] = {
    {"--delay-block", &SimOptions::DelayBlock, 1, 1000},
    {"--delay-ms", &SimOptions::DelayMs, 0, 600000},
    {"--split", &SimOptions::Split, 1, 65536},
    {"--split-gap-ms", &SimOptions::SplitGapMs, 0, 60000},
    {"--start-wait-ms", &SimOptions::StartWaitMs, 0, 600000},
    {"--garbage", &SimOptions::Garbage, 0, 65536},
    {"--vanish-at-block", &SimOptions::VanishAtBlock, 1, 1000},
    {"--handshake-delay-ms", &SimOptions::HandshakeDelayMs, 0, 600000},
};

// The switches; false when `arg` is none of them.
bool SetFlag(const std::string& arg, SimOptions& o) {
  const struct {
    const char* name;
    bool* field;
  } flags[] = {{"--line-rate", &o.LineRate},
               {"--echo", &o.Echo},
               {"--silent", &o.Silent},
               {"--no-blocks", &o.NoBlocks},
               {"--order-flag", &o.OrderFlag},
               {"--exit-with-parent", &o.ExitWithParent},
               {"--log", &o.Log},
               {"--reverse-current", &o.Mains.Reverse}};
  for (const auto& f : flags)
    if (arg == f.name) return *f.field = true;
  return false;
}

bool TakesValue(const std::string& arg) {
  for (const char* name : {"--link", "--seed", "--mains-power", "--mains-current"})
    if (arg == name) return true;
  for (const Numeric& n : Numerics)
    if (arg == n.name) return true;
  return false;
}

// One option that takes a value (TakesValue). 0, or 1 with the reason.
int SetValue(const std::string& arg, const char* v, SimOptions& o, std::string& error) {
  if (arg == "--link") {
    if (v == nullptr || *v == '\0') return error = "--link needs a path", 1;
    o.Link = v;
    return 0;
  }
  if (arg == "--seed") {
    errno = 0;
    char* end = nullptr;
    const unsigned long long s = v ? std::strtoull(v, &end, 10) : 0;
    if (v == nullptr || *v == '\0' || *v == '-' || errno != 0 || *end != '\0')
      return error = "--seed needs a non-negative integer", 1;
    o.Seed = s;
    o.SeedGiven = true;
    return 0;
  }
  if (arg == "--mains-power") {
    if (!ParseReals(v, &o.Mains.PowerW, 1) || !(o.Mains.PowerW >= 1 && o.Mains.PowerW <= 2000))
      return error = "--mains-power needs watts from 1 to 2000", 1;
    return 0;
  }
  if (arg == "--mains-current") {
    MainsSetting& m = o.Mains;
    double a[3] = {};
    if (!ParseReals(v, a, 3) || !(0 <= a[0] && a[0] <= a[1] && a[1] < a[2] && a[2] <= 180))
      return error = "--mains-current needs BEGIN,PEAK,END in degrees, 0 <= BEGIN <= PEAK < END <= 180", 1;
    m.Begin = a[0], m.Peak = a[1], m.End = a[2], m.AnglesGiven = true;
    return 0;
  }
  for (const Numeric& n : Numerics) {
    long long value = 0;
    if (arg != n.name) continue;
    if (!ParseNumber(v, n.lo, n.hi, value))
      return error =
                 std::string(n.name) + " needs an integer from " + std::to_string(n.lo) + " to " + std::to_string(n.hi),
             1;
    o.*n.field = static_cast<int>(value);
  }
  return 0;
}

// What the options say together.
int CheckTogether(const SimOptions& o, bool delayMsGiven, std::string& error) {
  if ((o.DelayBlock != 0) != delayMsGiven) return error = "--delay-block and --delay-ms go together", 1;
  if (int(o.Echo) + int(o.Silent) + int(o.NoBlocks) > 1)
    return error = "--echo, --silent and --no-blocks exclude each other", 1;
  return 0;
}

}  // namespace

ParseResult ParseSimOptions(int argc, const char* const* argv, SimOptions& o, std::string& error) {
  bool delayMsGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    const char* value = nullptr;
    const auto eq = arg.find('=');
    const bool inlineValue = arg.rfind("--", 0) == 0 && eq != std::string::npos;
    if (inlineValue) {
      value = argv[i] + eq + 1;
      arg.resize(eq);
    }
    if (arg == "--help" || arg == "-h") return ParseResult::Help;
    if (arg == "--version") return ParseResult::Version;
    if (!inlineValue && SetFlag(arg, o)) continue;
    if (!TakesValue(arg)) {
      error = "unknown option " + std::string(argv[i]) + " (try --help)";
      return ParseResult::Error;
    }
    if (!inlineValue) value = i + 1 < argc ? argv[++i] : nullptr;
    if (SetValue(arg, value, o, error) != 0) return ParseResult::Error;
    delayMsGiven = delayMsGiven || arg == "--delay-ms";
  }
  return CheckTogether(o, delayMsGiven, error) != 0 ? ParseResult::Error : ParseResult::Run;
}

}  // namespace kt::sim
