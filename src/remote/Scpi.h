#pragma once
// The remote-control language: SCPI program messages as a line controller
// sends them over TCP, read into commands against the station's command
// table. Plain functions, no Qt, no sockets: the server, the tests and the
// fuzz target feed it lines.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kt::scpi {

// The standard's error numbers this program reports.
enum Error {
  NoError = 0,
  CommandError = -100,
  InvalidCharacter = -101,
  SyntaxError = -102,
  ParameterNotAllowed = -108,
  MissingParameter = -109,
  UndefinedHeader = -113,
  StringDataError = -150,
  ExecutionError = -200,
  SettingsConflict = -221,
  DataOutOfRange = -222,
  QueueOverflow = -350,
  InputBufferOverrun = -363,
};
const char* ErrorText(int code);

// A longer line is refused whole (its error, nothing run).
inline constexpr std::size_t MaxLineBytes = 4096;

// One entry of the command table: its header in the standard's notation,
// the short form in upper case and the rest of the long form in lower case,
// an optional node in brackets ("SYSTem:ERRor[:NEXT]"); `Query` the query
// form, `Set` the command form.
struct Entry {
  int Id;
  const char* Header;
  bool Query, Set;
  std::size_t MinArgs, MaxArgs;
};

struct Arg {
  enum class Kind { Text, Number, Word } Type = Kind::Word;
  std::string Value;  // a string's text unquoted, a number's or a word's as sent
  double Number = 0;  // for Number
};

// One command of a line, matched to the table.
struct Command {
  int Id = 0;  // the Entry's
  bool Query = false;
  std::vector<Arg> Args;
  int Error = NoError;  // not 0: this unit is refused (Id 0), and why
  std::string Detail;   // the header as sent, for the error's text
};

// Splits a line (its ending "\n" or "\r\n" removed) into its commands,
// ';'-separated, each header relative to the one before as the standard
// says, and matches each to `table`. A line that is too long or not UTF-8
// gives one refused command. Never throws; any bytes give an answer.
std::vector<Command> ParseLine(std::string_view line, const std::vector<Entry>& table);

// Writes a string argument back quoted ("a ""b""").
std::string Quote(std::string_view text);

}  // namespace kt::scpi
