#include "verdict/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

#include "core/TestInfo.h"
#include "platform/GbkText.h"
#include "platform/SafeFile.h"
#include "verdict/ClassC.h"
#include "verdict/Figures.h"

namespace kt {

namespace {

using Json = nlohmann::json;

// The shortest text that reads back as the same double: "1.7", not
// "1.7000000000000002"; "2", not "2.0".
std::string Shortest(double v) {
  char buf[40];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc{} ? std::string(buf, end) : std::string("?");
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Builds the messages: where (the file, and the rule when there is one) and what.
class Refusal {
 public:
  Refusal(std::string_view source, ProfileMessage& out) : source_(source), out_(out) {}
  void At(int rule, std::string figure) {
    rule_ = rule;
    figure_ = std::move(figure);
  }
  int Rule() const { return rule_; }
  int operator()(const std::string& english, const std::string& chinese) {
    std::string en = "profile \"" + source_ + "\"";
    std::string zh = "限值文件“" + source_ + "”";
    if (rule_ > 0) {
      en += ", rule " + std::to_string(rule_);
      zh += "第 " + std::to_string(rule_) + " 条规则";
      if (!figure_.empty()) {
        en += " (" + figure_ + ")";
        zh += "（" + figure_ + "）";
      }
    }
    out_.English = en + ": " + english;
    out_.Chinese = zh + "：" + chinese;
    return 1;
  }

 private:
  std::string source_;
  ProfileMessage& out_;
  int rule_ = 0;
  std::string figure_;
};

// The library keeps the last of two equal keys without a word: a file with
// "max" twice in a rule would be judged by whichever came last. The parser's
// callback sees every key of every object; the first repeated one is kept,
// with the rule it is in (0: not in a rule).
class DuplicateKeys {
 public:
  bool operator()(int, Json::parse_event_t event, Json& parsed) {
    using E = Json::parse_event_t;
    if (event == E::object_end || event == E::array_end) {
      frames_.pop_back();
      return true;
    }
    if (event == E::key) {
      Frame& top = frames_.back();
      std::string key = parsed.get<std::string>();
      if (!top.keys.insert(key).second && !found_) {
        found_ = true;
        key_ = key;
        rule_ = frames_.size() >= 2 && frames_[0].key == "rules" && frames_[1].array ? frames_[1].elements : 0;
      }
      top.key = std::move(key);
      return true;
    }
    if (!frames_.empty() && frames_.back().array) ++frames_.back().elements;
    if (event != E::value) frames_.push_back({event == E::array_start, {}, {}, 0});
    return true;
  }
  bool Found() const { return found_; }
  const std::string& Key() const { return key_; }
  int Rule() const { return rule_; }

 private:
  struct Frame {
    bool array;
    std::set<std::string> keys;
    std::string key;  // an object's latest key
    int elements;     // an array's elements so far
  };
  std::vector<Frame> frames_;
  bool found_ = false;
  std::string key_;
  int rule_ = 0;
};

// Names, revisions, types and notes are shown on one line of a page and
// stored in the run log: no control characters.
bool OneLine(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7f) return false;
  return true;
}

int OptionalText(const Json& object, const char* key, std::string& out, Refusal& refuse) {
  const auto it = object.find(key);
  if (it == object.end()) return 0;
  if (!it->is_string())
    return refuse(std::string("\"") + key + "\" must be text", std::string("“") + key + "”必须是文本");
  out = it->get<std::string>();
  if (!OneLine(out))
    return refuse(std::string("\"") + key + "\" must be one line without control characters",
                  std::string("“") + key + "”必须是一行文本，不含控制字符");
  return 0;
}

int UnknownKeys(const Json& object, std::initializer_list<const char*> known, Refusal& refuse) {
  for (const auto& [key, value] : object.items()) {
    bool found = false;
    for (const char* k : known) found = found || key == k;
    if (!found) return refuse("unknown key \"" + key + "\"", "未知的键“" + key + "”");
  }
  return 0;
}

int Bound(const Json& rule, const char* key, const char* zhName, std::optional<double>& out, Refusal& refuse) {
  const auto it = rule.find(key);
  if (it == rule.end()) return 0;
  // Booleans are not numbers here, whatever JSON libraries may say.
  if (!it->is_number() || !std::isfinite(it->get<double>()))
    return refuse(std::string(key) + " must be a finite number", std::string(zhName) + "必须是有限的数");
  out = it->get<double>();
  return 0;
}

int ParseRule(const Json& j, ProfileRule& rule, Refusal& refuse) {
  if (!j.is_object()) return refuse("must be an object with \"figure\" and a bound", "必须是含“figure”和限值的对象");
  const auto figure = j.find("figure");
  if (figure == j.end()) return refuse("\"figure\" is missing", "缺少“figure”");
  if (!figure->is_string()) return refuse("\"figure\" must be text", "“figure”必须是文本");
  rule.Figure = figure->get<std::string>();
  refuse.At(refuse.Rule(), rule.Figure);
  if (UnknownKeys(j, {"figure", "min", "max", "note"}, refuse)) return 1;
  if (!IsFigureName(rule.Figure))
    return refuse("unknown figure \"" + rule.Figure + "\"", "未知的量“" + rule.Figure + "”");
  if (!AnyKindMeasures(rule.Figure))
    return refuse("no test measures \"" + rule.Figure + "\"", "没有测试测量“" + rule.Figure + "”");
  if (Bound(j, "min", "下限 min", rule.Min, refuse) || Bound(j, "max", "上限 max", rule.Max, refuse)) return 1;
  if (!rule.Min && !rule.Max) return refuse("has neither min nor max", "既无下限 min 也无上限 max");
  if (rule.Min && rule.Max && *rule.Min > *rule.Max)
    return refuse("min " + Shortest(*rule.Min) + " is above max " + Shortest(*rule.Max),
                  "下限 " + Shortest(*rule.Min) + " 大于上限 " + Shortest(*rule.Max));
  return OptionalText(j, "note", rule.Note, refuse);
}

// The rated power picks the branch of the built-in screening; nothing a
// profile judges draws 0 W, or more than the instrument can feed.
int RatedPower(const Json& j, std::optional<double>& out, Refusal& refuse) {
  const auto it = j.find("rated_power_w");
  if (it == j.end()) return 0;
  if (!it->is_number() || !std::isfinite(it->get<double>()))
    return refuse("\"rated_power_w\" must be a finite number", "“rated_power_w”必须是有限的数");
  const double w = it->get<double>();
  const std::string max = Shortest(ProfileMaxRatedPowerW);
  if (!(w > 0 && w <= ProfileMaxRatedPowerW))
    return refuse("\"rated_power_w\" must be above 0 and at most " + max + " W, not " + Shortest(w),
                  "“rated_power_w”必须大于 0 且不大于 " + max + " W，而非 " + Shortest(w));
  out = w;
  return 0;
}

// The kinds a scan of the product runs, by the command line's words.
int Sequence(const Json& j, std::vector<TestKind>& out, Refusal& refuse) {
  const auto it = j.find("sequence");
  if (it == j.end()) return 0;
  if (!it->is_array() || it->empty())
    return refuse("\"sequence\" must be a list of kinds (input output comp start phase envelope hf)",
                  "“sequence”必须是测试种类的列表（input output comp start phase envelope hf）");
  for (const Json& k : *it) {
    const std::string word = k.is_string() ? k.get<std::string>() : k.dump();
    TestKind kind = NoTest;
    for (TestKind c = InputTest; c < KindCount; ++c)
      if (word == KindTable[c].Cli) kind = c;
    if (kind == NoTest)
      return refuse("\"sequence\": unknown kind " + word + " (input output comp start phase envelope hf)",
                    "“sequence”：未知的测试种类 " + word + "（input output comp start phase envelope hf）");
    for (TestKind seen : out)
      if (seen == kind) return refuse("\"sequence\" has " + word + " twice", "“sequence”中 " + word + " 出现两次");
    out.push_back(kind);
  }
  return 0;
}

int Finite(const Json& j, const char* key, double& out) {
  const auto it = j.find(key);
  if (it == j.end() || !it->is_number() || !std::isfinite(it->get<double>())) return 1;
  out = it->get<double>();
  return 0;
}

int GoldenUnitOf(const Json& u, GoldenUnit& unit, Refusal& refuse) {
  if (!u.is_object()) return refuse("a golden unit must be an object", "标准样品必须是对象");
  if (UnknownKeys(u, {"serial", "figures"}, refuse) || OptionalText(u, "serial", unit.Serial, refuse)) return 1;
  const std::size_t serialBytes = TestInfoSizes::No - 1;
  if (unit.Serial.find_first_not_of(' ') == std::string::npos || GbkLength(unit.Serial) > serialBytes)
    return refuse("a golden unit needs a serial of 1 to " + std::to_string(serialBytes) + " bytes",
                  "标准样品需要 1 至 " + std::to_string(serialBytes) + " 字节的编号");
  const auto figures = u.find("figures");
  if (figures == u.end() || !figures->is_array() || figures->empty())
    return refuse("golden unit " + unit.Serial + ": \"figures\" must be a list that is not empty",
                  "标准样品 " + unit.Serial + "：“figures”必须是非空列表");
  for (const Json& f : *figures) {
    GoldenFigure g;
    const auto name = f.is_object() ? f.find("figure") : f.end();
    if (name != f.end() && name->is_string()) g.Figure = name->get<std::string>();
    const std::string where = "golden unit " + unit.Serial + ", figure " + g.Figure;
    const std::string zhWhere = "标准样品 " + unit.Serial + "，量 " + g.Figure;
    if (!f.is_object()) return refuse(where + ": must be an object", zhWhere + "：必须是对象");
    if (UnknownKeys(f, {"figure", "expected", "tolerance"}, refuse)) return 1;
    if (!IsFigureName(g.Figure) || !AnyKindMeasures(g.Figure))
      return refuse(where + ": not a figure a test measures", zhWhere + "：不是测试所测的量");
    if (Finite(f, "expected", g.Expected) || Finite(f, "tolerance", g.Tolerance) || g.Tolerance < 0)
      return refuse(where + ": \"expected\" and \"tolerance\" must be finite numbers, the tolerance >= 0",
                    zhWhere + "：“expected”和“tolerance”必须是有限的数，容差不小于 0");
    for (const GoldenFigure& seen : unit.Figures)
      if (seen.Figure == g.Figure) return refuse(where + ": listed twice", zhWhere + "：出现两次");
    unit.Figures.push_back(std::move(g));
  }
  return 0;
}

int Golden(const Json& j, Profile& p, Refusal& refuse) {
  const auto it = j.find("golden");
  if (it != j.end()) {
    if (!it->is_array() || it->size() > ProfileMaxGoldenUnits)
      return refuse("\"golden\" must be a list of at most " + std::to_string(ProfileMaxGoldenUnits) + " units",
                    "“golden”必须是至多 " + std::to_string(ProfileMaxGoldenUnits) + " 个样品的列表");
    for (const Json& u : *it) {
      GoldenUnit unit;
      if (GoldenUnitOf(u, unit, refuse)) return 1;
      for (const GoldenUnit& seen : p.Golden)
        if (seen.Serial == unit.Serial)
          return refuse("golden unit " + unit.Serial + " is listed twice", "标准样品 " + unit.Serial + " 出现两次");
      p.Golden.push_back(std::move(unit));
    }
  }
  const auto due = j.find("golden_due");
  if (due == j.end()) return 0;
  if (!due->is_object()) return refuse("\"golden_due\" must be an object", "“golden_due”必须是对象");
  if (UnknownKeys(*due, {"shift_starts", "every_hours"}, refuse)) return 1;
  const auto shifts = due->find("shift_starts");
  if (shifts != due->end()) {
    if (!shifts->is_array() || shifts->size() > 24)
      return refuse("\"shift_starts\" must be a list of times HH:MM", "“shift_starts”必须是 HH:MM 时刻的列表");
    for (const Json& t : *shifts) {
      const std::string text = t.is_string() ? t.get<std::string>() : t.dump();
      const bool shaped = text.size() == 5 && text[2] == ':' && std::isdigit(static_cast<unsigned char>(text[0])) &&
                          std::isdigit(static_cast<unsigned char>(text[1])) &&
                          std::isdigit(static_cast<unsigned char>(text[3])) &&
                          std::isdigit(static_cast<unsigned char>(text[4]));
      const int minutes =
          shaped ? ((text[0] - '0') * 10 + text[1] - '0') * 60 + (text[3] - '0') * 10 + text[4] - '0' : -1;
      if (!shaped || minutes >= 24 * 60 || (text[3] - '0') > 5)
        return refuse("shift start " + text + " is not a time HH:MM", "班次开始 " + text + " 不是 HH:MM 时刻");
      p.Due.ShiftStartMinutes.push_back(minutes);
    }
  }
  if (due->contains("every_hours")) {
    double hours = 0;
    if (Finite(*due, "every_hours", hours) || !(hours > 0 && hours <= 1000))
      return refuse("\"every_hours\" must be a number above 0 and at most 1000",
                    "“every_hours”必须是大于 0 且不大于 1000 的数");
    p.Due.EveryHours = hours;
  }
  if (p.Due.Any() && p.Golden.empty())
    return refuse("\"golden_due\" needs golden units in \"golden\"", "“golden_due”需要“golden”中列出标准样品");
  return 0;
}

int ParseDocument(const Json& j, Profile& p, Refusal& refuse) {
  if (!j.is_object()) return refuse("the file must hold one JSON object", "文件内容必须是一个 JSON 对象");
  if (UnknownKeys(j, {"name", "revision", "type", "rated_power_w", "rules", "sequence", "golden", "golden_due"},
                  refuse))
    return 1;
  if (!j.contains("name")) return refuse("\"name\" is missing", "缺少“name”");
  if (OptionalText(j, "name", p.Name, refuse)) return 1;
  if (p.Name.find_first_not_of(' ') == std::string::npos) return refuse("\"name\" is empty", "“name”为空");
  if (p.Name == ClassCName)
    return refuse("the name \"" + p.Name + "\" is the built-in screening's",
                  "名称“" + p.Name + "”已为内置谐波筛查所用");
  if (OptionalText(j, "revision", p.Revision, refuse) || OptionalText(j, "type", p.Type, refuse)) return 1;
  // The type selects the profile by the run's type, which a data file holds
  // in a fixed GBK field: a longer one could never match.
  const std::size_t typeBytes = TestInfoSizes::Type - 1, bytes = GbkLength(p.Type);
  if (bytes > typeBytes)
    return refuse("\"type\" is " + std::to_string(bytes) + " bytes in GBK, longer than the " +
                      std::to_string(typeBytes) + " a test's type holds",
                  "“type”按 GBK 为 " + std::to_string(bytes) + " 字节，超过测试信息型号的 " +
                      std::to_string(typeBytes) + " 字节");
  if (RatedPower(j, p.RatedPowerW, refuse)) return 1;
  const auto rules = j.find("rules");
  if (rules == j.end()) return refuse("\"rules\" is missing", "缺少“rules”");
  if (!rules->is_array()) return refuse("\"rules\" must be a list", "“rules”必须是列表");
  // A profile without rules could only ever say "not applicable".
  if (rules->empty()) return refuse("\"rules\" is empty", "“rules”为空");
  int index = 0;
  for (const Json& r : *rules) {
    refuse.At(++index, "");
    ProfileRule rule;
    if (ParseRule(r, rule, refuse)) return 1;
    // Two rules on one figure would both be judged and both reported; which
    // bound is meant is for the author to say, in one rule.
    for (std::size_t k = 0; k < p.Rules.size(); ++k)
      if (p.Rules[k].Figure == rule.Figure) {
        const std::string a = std::to_string(k + 1), b = std::to_string(index);
        refuse.At(0, "");
        return refuse("rules " + a + " and " + b + " both limit \"" + rule.Figure + "\": put both bounds into one rule",
                      "第 " + a + " 条和第 " + b + " 条规则都限制“" + rule.Figure + "”：请把上下限写进同一条规则");
      }
    p.Rules.push_back(std::move(rule));
  }
  refuse.At(0, "");
  return Sequence(j, p.Sequence, refuse) || Golden(j, p, refuse);
}

int FileError(ProfileMessage& error, const std::string& path, const char* en, const char* zh, int err) {
  const std::string reason = std::strerror(err);
  error.English = "profile \"" + BaseName(path) + "\": " + en + " (" + reason + ")";
  error.Chinese = "限值文件“" + BaseName(path) + "”：" + zh + "（" + reason + "）";
  return 1;
}

}  // namespace

bool SameContent(const Profile& a, const Profile& b) {
  return a.Name == b.Name && a.Revision == b.Revision && a.Type == b.Type && a.Rules == b.Rules &&
         a.RatedPowerW == b.RatedPowerW && a.Sequence == b.Sequence && a.Golden == b.Golden && a.Due == b.Due;
}

int ParseProfile(std::string_view text, std::string_view source, Profile& out, ProfileMessage& error) {
  Refusal refuse(source, error);
  if (text.size() > ProfileMaxBytes)
    return refuse("larger than " + std::to_string(ProfileMaxBytes) + " bytes",
                  "大于 " + std::to_string(ProfileMaxBytes) + " 字节");
  Json j;
  DuplicateKeys duplicates;
  // The library reports bad text by exception; it stops here.
  try {
    j = Json::parse(text.begin(), text.end(),
                    [&duplicates](int depth, Json::parse_event_t e, Json& v) { return duplicates(depth, e, v); });
  } catch (const Json::parse_error& e) {
    return refuse("not valid JSON (at byte " + std::to_string(e.byte) + ")",
                  "不是有效的 JSON（第 " + std::to_string(e.byte) + " 字节）");
  } catch (const Json::exception&) {
    return refuse("not valid JSON (a number out of range)", "不是有效的 JSON（数值超出范围）");
  } catch (const std::exception&) {
    return refuse("could not be read", "无法读取");
  }
  if (duplicates.Found()) {
    // The rule's figure is named unless it is the key repeated.
    const auto rules = j.is_object() ? j.find("rules") : j.end();
    const std::size_t n = static_cast<std::size_t>(duplicates.Rule());
    std::string figure;
    if (n > 0 && duplicates.Key() != "figure" && rules != j.end() && rules->is_array() && rules->size() >= n &&
        (*rules)[n - 1].is_object() && (*rules)[n - 1].value("figure", Json()).is_string())
      figure = (*rules)[n - 1]["figure"].get<std::string>();
    refuse.At(duplicates.Rule(), figure);
    return refuse("duplicate key \"" + duplicates.Key() + "\"", "键“" + duplicates.Key() + "”重复");
  }
  Profile p;
  if (ParseDocument(j, p, refuse)) return 1;
  p.Source = std::string(source);
  p.RawText = std::string(text);
  out = std::move(p);
  return 0;
}

std::string ProfileToJson(const Profile& p) {
  using Ordered = nlohmann::ordered_json;
  Ordered doc;
  doc["name"] = p.Name;
  doc["revision"] = p.Revision;
  if (!p.Type.empty()) doc["type"] = p.Type;
  if (p.RatedPowerW) doc["rated_power_w"] = *p.RatedPowerW;
  Ordered rules = Ordered::array();
  for (const ProfileRule& r : p.Rules) {
    Ordered rule;
    rule["figure"] = r.Figure;
    if (r.Min) rule["min"] = *r.Min;
    if (r.Max) rule["max"] = *r.Max;
    if (!r.Note.empty()) rule["note"] = r.Note;
    rules.push_back(std::move(rule));
  }
  doc["rules"] = std::move(rules);
  if (!p.Sequence.empty()) {
    Ordered sequence = Ordered::array();
    for (TestKind k : p.Sequence) sequence.push_back(k > NoTest && k < KindCount ? KindTable[k].Cli : "?");
    doc["sequence"] = std::move(sequence);
  }
  if (!p.Golden.empty()) {
    Ordered golden = Ordered::array();
    for (const GoldenUnit& u : p.Golden) {
      Ordered figures = Ordered::array();
      for (const GoldenFigure& f : u.Figures)
        figures.push_back({{"figure", f.Figure}, {"expected", f.Expected}, {"tolerance", f.Tolerance}});
      golden.push_back({{"serial", u.Serial}, {"figures", std::move(figures)}});
    }
    doc["golden"] = std::move(golden);
  }
  if (p.Due.Any()) {
    Ordered due;
    if (!p.Due.ShiftStartMinutes.empty()) {
      Ordered shifts = Ordered::array();
      for (int m : p.Due.ShiftStartMinutes) {
        char hhmm[8];
        std::snprintf(hhmm, sizeof hhmm, "%02d:%02d", m / 60 % 100, m % 60);
        shifts.push_back(hhmm);
      }
      due["shift_starts"] = std::move(shifts);
    }
    if (p.Due.EveryHours) due["every_hours"] = *p.Due.EveryHours;
    doc["golden_due"] = std::move(due);
  }
  // Text that is not UTF-8 cannot come from a parsed file; from elsewhere it
  // is replaced rather than thrown about.
  return doc.dump(2, ' ', false, Ordered::error_handler_t::replace) + "\n";
}

int LoadProfile(const std::string& path, Profile& out, ProfileMessage& error) {
  // Without O_NONBLOCK a FIFO with no writer would hang the open, and a tty
  // the read; only a regular file is read at all.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return FileError(error, path, "cannot be opened", "无法打开", errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error.English = "profile \"" + BaseName(path) + "\": is not a regular file";
    error.Chinese = "限值文件“" + BaseName(path) + "”：不是普通文件";
    return 1;
  }
  std::string text;
  char buf[4096];
  ssize_t n = 0;
  while (text.size() <= ProfileMaxBytes && ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)))
    if (n > 0) text.append(buf, static_cast<std::size_t>(n));
  const int err = errno;
  ::close(fd);
  if (n < 0) return FileError(error, path, "cannot be read", "无法读取", err);
  return ParseProfile(text, BaseName(path), out, error);
}

int SaveProfile(const std::string& path, const Profile& p, ProfileMessage& error) {
  const std::string text = ProfileToJson(p);
  Profile check;
  if (ParseProfile(text, BaseName(path), check, error)) return 1;

  WriteFailure why;
  if (WriteWholeFile(path, text.data(), text.size(), &why) != 0)
    return why.AtReplace ? FileError(error, path, "cannot be replaced", "无法替换", why.Errno)
                         : FileError(error, path, "cannot be written", "无法写入", why.Errno);
  return 0;
}

}  // namespace kt
