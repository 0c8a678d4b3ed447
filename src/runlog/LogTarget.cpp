#include "runlog/LogTarget.h"

#include <cctype>
#include <utility>

namespace kt {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int PercentDecode(const std::string& in, std::string& out, std::string& error) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      out += in[i];
      continue;
    }
    const int hi = i + 2 < in.size() ? HexDigit(in[i + 1]) : -1;
    const int lo = i + 2 < in.size() ? HexDigit(in[i + 2]) : -1;
    if (hi < 0 || lo < 0) {
      error = "bad percent escape in \"" + in + "\"";
      return 1;
    }
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return 0;
}

int ParsePort(const std::string& text, int& port, std::string& error) {
  if (text.empty() || text.size() > 5) {
    error = "bad port \"" + text + "\"";
    return 1;
  }
  int value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      error = "bad port \"" + text + "\"";
      return 1;
    }
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) {
    error = "port out of range: " + text;
    return 1;
  }
  port = value;
  return 0;
}

// "user:password" before the host's '@'.
int ParseUserInfo(const std::string& userInfo, LogTarget& t, std::string& error) {
  const auto colon = userInfo.find(':');
  if (PercentDecode(userInfo.substr(0, colon), t.User, error)) return 1;
  return colon != std::string::npos && PercentDecode(userInfo.substr(colon + 1), t.Password, error) ? 1 : 0;
}

// "host", "host:port", "[::1]" or "[::1]:port".
int ParseHostPort(const std::string& authority, LogTarget& t, std::string& error) {
  std::string host = authority;
  if (!authority.empty() && authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string::npos) {
      error = "unclosed '[' in the host";
      return 1;
    }
    host = authority.substr(1, close - 1);
    const std::string after = authority.substr(close + 1);
    if (!after.empty() && (after[0] != ':' || ParsePort(after.substr(1), t.Port, error))) {
      if (error.empty()) error = "bad text after the host: " + after;
      return 1;
    }
  } else if (const auto colon = authority.find(':'); colon != std::string::npos) {
    host = authority.substr(0, colon);
    if (ParsePort(authority.substr(colon + 1), t.Port, error)) return 1;
  }
  return PercentDecode(host, t.Host, error);
}

// One "key=value" of the query: the address's own parts, else a driver
// option passed on.
int ParseOption(const std::string& pair, LogTarget& t, std::string& error) {
  const auto eq = pair.find('=');
  if (eq == std::string::npos || eq == 0) {
    error = "bad option \"" + pair + "\" (key=value)";
    return 1;
  }
  std::string key, value;
  if (PercentDecode(pair.substr(0, eq), key, error) || PercentDecode(pair.substr(eq + 1), value, error)) return 1;
  if (key == "port") return ParsePort(value, t.Port, error);
  for (const auto& [name, field] : {std::pair{"host", &t.Host}, std::pair{"user", &t.User},
                                    std::pair{"password", &t.Password}, std::pair{"dbname", &t.Database}})
    if (key == name) {
      *field = value;
      return 0;
    }
  if (value.find(';') != std::string::npos) {
    error = "option " + key + " may not hold ';'";
    return 1;
  }
  if (!t.Options.empty()) t.Options += ';';
  t.Options += key + '=' + value;
  return 0;
}

int ParsePostgres(const std::string& rest, LogTarget& t, std::string& error) {
  std::string main = rest, query;
  if (const auto q = rest.find('?'); q != std::string::npos) {
    main = rest.substr(0, q);
    query = rest.substr(q + 1);
  }
  const auto slash = main.find('/');
  std::string authority = main.substr(0, slash);
  if (slash != std::string::npos && PercentDecode(main.substr(slash + 1), t.Database, error)) return 1;
  // The last '@' ends the user part: a password may hold an '@' only escaped,
  // but be lenient about it.
  if (const auto at = authority.rfind('@'); at != std::string::npos) {
    if (ParseUserInfo(authority.substr(0, at), t, error)) return 1;
    authority = authority.substr(at + 1);
  }
  if (ParseHostPort(authority, t, error)) return 1;
  for (std::size_t pos = 0; pos < query.size();) {
    auto amp = query.find('&', pos);
    if (amp == std::string::npos) amp = query.size();
    const std::string pair = query.substr(pos, amp - pos);
    pos = amp + 1;
    if (!pair.empty() && ParseOption(pair, t, error)) return 1;
  }
  if (t.Database.empty()) {
    error = "no database name (postgresql://user@host:port/dbname)";
    return 1;
  }
  return 0;
}

}  // namespace

std::string LogTarget::Describe() const {
  switch (Kind) {
    case Driver::Default:
      return "SQLite (default file)";
    case Driver::None:
      return "off";
    case Driver::Sqlite:
      return "SQLite " + Path;
    case Driver::Postgres:
      break;
  }
  std::string s = "PostgreSQL ";
  if (!User.empty()) s += User + '@';
  s += Host.empty() ? std::string("localhost") : Host;
  if (Port) s += ':' + std::to_string(Port);
  return s + '/' + Database;
}

int ParseLogTarget(const std::string& text, LogTarget& target, std::string& error) {
  target = LogTarget{};
  error.clear();
  if (text.empty()) return 0;
  if (text == "off" || text == "none") {
    target.Kind = LogTarget::Driver::None;
    return 0;
  }
  if (text.rfind("sqlite:", 0) == 0) {
    target.Kind = LogTarget::Driver::Sqlite;
    target.Path = text.substr(7);
    // sqlite:///abs/path as a URL writes it is accepted too.
    if (target.Path.rfind("//", 0) == 0) target.Path = target.Path.substr(2);
    if (target.Path.empty()) {
      target = LogTarget{};
      error = "no file after sqlite: (sqlite:/path/log.db)";
      return 1;
    }
    return 0;
  }
  for (const char* scheme : {"postgresql://", "postgres://"}) {
    const std::string s = scheme;
    if (text.rfind(s, 0) == 0) {
      target.Kind = LogTarget::Driver::Postgres;
      if (ParsePostgres(text.substr(s.size()), target, error)) {
        error = "run log \"" + text + "\": " + error;
        target = LogTarget{};
        return 1;
      }
      return 0;
    }
  }
  error = "run log \"" + text + "\": expected sqlite:PATH, postgresql://user@host:port/dbname or off";
  return 1;
}

}  // namespace kt
