#include "remote/Scpi.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "core/Utf8.h"

namespace kt::scpi {

namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// A node of a Entry's header: its short and long forms, and whether it may be left out.
struct Node {
  std::string Short, Long;
  bool Optional = false;
};

std::vector<Node> Nodes(std::string_view header) {
  std::vector<Node> nodes;
  std::size_t i = 0;
  while (i < header.size()) {
    bool optional = false;
    if (header[i] == '[') optional = true, ++i;
    if (i < header.size() && header[i] == ':') ++i;
    Node n;
    n.Optional = optional;
    while (i < header.size() && header[i] != ':' && header[i] != '[' && header[i] != ']') {
      const char c = header[i++];
      if (std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '*')
        n.Short += c;
      n.Long += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (i < header.size() && header[i] == ']') ++i;
    nodes.push_back(std::move(n));
  }
  return nodes;
}

bool Matches(const std::vector<Node>& pattern, const std::vector<std::string>& sent, std::size_t at, std::size_t from) {
  if (from == pattern.size()) return at == sent.size();
  const Node& n = pattern[from];
  if (at < sent.size() && (sent[at] == n.Short || sent[at] == n.Long) && Matches(pattern, sent, at + 1, from + 1))
    return true;
  return n.Optional && Matches(pattern, sent, at, from + 1);
}

// Splits the line at ';' outside quoted strings.
std::vector<std::string_view> Units(std::string_view line, bool& unterminated) {
  std::vector<std::string_view> units;
  std::size_t start = 0;
  char quote = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quote) {
      if (c == quote) quote = 0;  // a doubled quote reopens at once
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      units.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  unterminated = quote != 0;
  units.push_back(line.substr(start));
  return units;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The program data after a header: strings, numbers and words, ','-separated.
int Args(std::string_view text, std::vector<Arg>& args) {
  text = Trim(text);
  if (text.empty()) return NoError;
  std::size_t i = 0;
  while (true) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) return SyntaxError;  // a ',' with nothing after it
    Arg a;
    if (text[i] == '"' || text[i] == '\'') {
      const char q = text[i++];
      a.Type = Arg::Kind::Text;
      while (true) {
        if (i >= text.size()) return StringDataError;
        if (text[i] == q) {
          if (i + 1 < text.size() && text[i + 1] == q) {
            a.Value += q, i += 2;
            continue;
          }
          ++i;
          break;
        }
        a.Value += text[i++];
      }
    } else {
      const std::size_t start = i;
      while (i < text.size() && text[i] != ',' && text[i] != ' ' && text[i] != '\t') ++i;
      a.Value = std::string(text.substr(start, i - start));
      const char* b = a.Value.data();
      const auto [end, ec] = std::from_chars(b, b + a.Value.size(), a.Number);
      if (ec == std::errc() && end == b + a.Value.size() && std::isfinite(a.Number)) {
        a.Type = Arg::Kind::Number;
      } else {
        a.Number = 0;
        for (char c : a.Value)
          if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.' && c != '+')
            return SyntaxError;
      }
    }
    args.push_back(std::move(a));
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i == text.size()) return NoError;
    if (text[i] != ',') return SyntaxError;
    ++i;
  }
}

Command Refused(int error, std::string_view detail) {
  Command c;
  c.Error = error;
  c.Detail = std::string(detail.substr(0, 64));
  return c;
}

}  // namespace

const char* ErrorText(int code) {
  switch (code) {
    case NoError:
      return "No error";
    case CommandError:
      return "Command error";
    case InvalidCharacter:
      return "Invalid character";
    case SyntaxError:
      return "Syntax error";
    case ParameterNotAllowed:
      return "Parameter not allowed";
    case MissingParameter:
      return "Missing parameter";
    case UndefinedHeader:
      return "Undefined header";
    case StringDataError:
      return "String data error";
    case ExecutionError:
      return "Execution error";
    case SettingsConflict:
      return "Settings conflict";
    case DataOutOfRange:
      return "Data out of range";
    case QueueOverflow:
      return "Queue overflow";
    case InputBufferOverrun:
      return "Input buffer overrun";
  }
  return "Error";
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::vector<Command> ParseLine(std::string_view line, const std::vector<Entry>& table) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.size() > MaxLineBytes) return {Refused(InputBufferOverrun, "")};
  if (!IsUtf8(line)) return {Refused(InvalidCharacter, "")};
  for (unsigned char c : line)
    if (c < 0x20 && c != '\t') return {Refused(InvalidCharacter, "")};
  bool unterminated = false;
  const std::vector<std::string_view> units = Units(line, unterminated);
  if (unterminated) return {Refused(StringDataError, line)};
  std::vector<Command> commands;
  std::vector<std::string> base;  // the compound header's path so far
  for (std::string_view unit : units) {
    unit = Trim(unit);
    if (unit.empty()) {
      if (units.size() > 1) commands.push_back(Refused(SyntaxError, ""));
      continue;
    }
    std::size_t end = 0;
    while (end < unit.size() && unit[end] != ' ' && unit[end] != '\t') ++end;
    std::string_view header = unit.substr(0, end);
    const std::string_view data = unit.substr(end);
    Command c;
    c.Detail = std::string(header.substr(0, 64));
    if (!header.empty() && header.back() == '?') c.Query = true, header.remove_suffix(1);
    const bool common = !header.empty() && header.front() == '*';
    const bool absolute = !header.empty() && header.front() == ':';
    if (absolute) header.remove_prefix(1);
    std::vector<std::string> sent = common || absolute ? std::vector<std::string>{} : base;
    bool wellFormed = !header.empty();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= header.size() && wellFormed; ++i) {
      if (i < header.size() && header[i] != ':') continue;
      const std::string_view node = header.substr(start, i - start);
      wellFormed = !node.empty() && node.size() <= 24;
      for (std::size_t k = 0; k < node.size() && wellFormed; ++k) {
        const auto ch = static_cast<unsigned char>(node[k]);
        wellFormed = std::isalpha(ch) || (k > 0 && (std::isdigit(ch) || ch == '_')) || (k == 0 && common && ch == '*');
      }
      sent.push_back(Upper(node));
      start = i + 1;
    }
    if (!wellFormed) {
      commands.push_back(Refused(SyntaxError, c.Detail));
      continue;
    }
    const auto find = [&](const std::vector<std::string>& path) -> const Entry* {
      for (const Entry& s : table)
        if (Matches(Nodes(s.Header), path, 0, 0) && (c.Query ? s.Query : s.Set)) return &s;
      return nullptr;
    };
    const Entry* found = find(sent);
    // A header that means nothing below the one before is read from the
    // root, as controllers that write "FETC:VERD?;FETC:SCAL?" expect.
    if (!found && !common && !absolute && !base.empty()) {
      sent.erase(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(base.size()));
      found = find(sent);
    }
    if (!found) {
      commands.push_back(Refused(UndefinedHeader, c.Detail));
      continue;
    }
    if (!common) base.assign(sent.begin(), sent.end() - 1);
    c.Id = found->Id;
    if (const int e = Args(data, c.Args)) {
      commands.push_back(Refused(e, c.Detail));
      continue;
    }
    if (c.Args.size() < found->MinArgs) c.Error = MissingParameter;
    if (c.Args.size() > found->MaxArgs) c.Error = ParameterNotAllowed;
    if (c.Error) c.Id = 0;
    commands.push_back(std::move(c));
  }
  return commands;
}

}  // namespace kt::scpi
