#include "station/Scan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/TestInfo.h"
#include "core/Utf8.h"
#include "platform/GbkText.h"

namespace kt {

namespace {

int Refuse(ProfileMessage& error, std::string english, std::string chinese) {
  error.English = "scan refused: " + std::move(english);
  error.Chinese = "扫码被拒绝：" + std::move(chinese);
  return 1;
}

// A part of the label as the test information will hold it: within its
// field, and the same text once it has been through the file's GBK.
int Field(const std::string& text, int size, const char* en, const char* zh, ProfileMessage& error) {
  if (text.empty()) return Refuse(error, std::string("the ") + en + " is empty", std::string(zh) + "为空");
  const std::size_t max = static_cast<std::size_t>(size - 1), bytes = GbkLength(text);
  if (bytes > max)
    return Refuse(
        error,
        std::string("the ") + en + " \"" + text + "\" is " + std::to_string(bytes) + " bytes, at most " +
            std::to_string(max) + " fit",
        std::string(zh) + "“" + text + "”为 " + std::to_string(bytes) + " 字节，最多 " + std::to_string(max) + " 字节");
  if (!GbkKeeps(text))
    return Refuse(error, std::string("the ") + en + " \"" + text + "\" has characters a data file cannot keep",
                  std::string(zh) + "“" + text + "”含有数据文件无法保存的字符");
  return 0;
}

}  // namespace

int CheckScanSeparator(std::string_view separator, ProfileMessage& error) {
  bool printable = !separator.empty() && separator.size() <= 4;
  for (char c : separator) printable = printable && c > 0x20 && c < 0x7f;
  if (printable) return 0;
  error.English = "the scan separator must be 1 to 4 printable characters without spaces";
  error.Chinese = "扫码分隔符必须是 1 至 4 个可打印字符，不含空格";
  return 1;
}

int ParseScan(std::string_view text, std::string_view separator, ScanCode& out, ProfileMessage& error) {
  if (text.size() > ScanMaxBytes)
    return Refuse(error, "longer than " + std::to_string(ScanMaxBytes) + " bytes",
                  "长于 " + std::to_string(ScanMaxBytes) + " 字节");
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty()) return Refuse(error, "the scan is empty", "扫码内容为空");
  if (!IsUtf8(text)) return Refuse(error, "the scan is not UTF-8 text", "扫码内容不是 UTF-8 文本");
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return Refuse(error, "the scan has control characters", "扫码内容含有控制字符");
  ProfileMessage bad;
  if (CheckScanSeparator(separator, bad)) return Refuse(error, bad.English, bad.Chinese);
  ScanCode code;
  const std::size_t at = text.find(separator);
  if (at == std::string_view::npos) {
    code.Serial = std::string(text);
  } else {
    if (text.find(separator, at + separator.size()) != std::string_view::npos)
      return Refuse(error, "the separator \"" + std::string(separator) + "\" is there more than once",
                    "分隔符“" + std::string(separator) + "”出现了不止一次");
    code.Type = std::string(text.substr(0, at));
    code.Serial = std::string(text.substr(at + separator.size()));
    if (Field(code.Type, TestInfoSizes::Type, "type", "型号", error)) return 1;
  }
  if (Field(code.Serial, TestInfoSizes::No, "serial", "编号", error)) return 1;
  out = std::move(code);
  return 0;
}

std::vector<TestKind> ScanSteps(const std::vector<TestKind>& sequence, TestKind lastChosen) {
  std::vector<TestKind> kinds = sequence;
  if (kinds.empty()) kinds.push_back(lastChosen > NoTest && lastChosen < KindCount ? lastChosen : InputTest);
  std::vector<TestKind> steps;
  for (TestKind k : kinds) {
    if (k == GaoTest && (steps.empty() || steps.back() != BaoTest)) steps.push_back(BaoTest);
    steps.push_back(k);
  }
  return steps;
}

int VerdictRank(VerdictResult r) {
  switch (r) {
    case VerdictResult::None:
      return 0;
    case VerdictResult::Pass:
      return 1;
    case VerdictResult::NotApplicable:
      return 2;
    case VerdictResult::Incomplete:
      return 3;
    case VerdictResult::Fail:
      return 4;
  }
  return 4;
}

const GoldenUnit* FindGolden(const Profile& profile, const std::string& serial) {
  for (const GoldenUnit& u : profile.Golden)
    if (u.Serial == serial) return &u;
  return nullptr;
}

Verdict GoldenVerdict(const GoldenUnit& unit, TestKind kind, const std::vector<NamedFigure>& figures,
                      const std::string& profileName, const std::string& profileRevision) {
  Verdict v;
  v.Kind = kind;
  v.ProfileName = profileName;
  v.ProfileRevision = profileRevision;
  v.Detail = "golden sample check of " + unit.Serial;
  v.DetailChinese = "标准样品 " + unit.Serial + " 核查";
  bool failed = false, missing = false;
  for (const GoldenFigure& g : unit.Figures) {
    RuleResult r;
    r.Figure = g.Figure;
    r.Min = g.Expected - g.Tolerance;
    r.Max = g.Expected + g.Tolerance;
    r.Note = "golden";
    const auto it =
        std::find_if(figures.begin(), figures.end(), [&](const NamedFigure& f) { return f.Name == g.Figure; });
    if (it == figures.end()) {
      // Measured by another kind of run: this run neither passes nor fails it.
      r.Outcome = RuleOutcome::NotApplicable;
    } else if (!it->Measured || !std::isfinite(it->Value)) {
      r.Outcome = RuleOutcome::NotMeasured;
      v.Missing.push_back(g.Figure);
      missing = true;
    } else {
      r.Value = it->Value;
      // Against the bounds as shown, so that a value read as the bound passes.
      r.Margin = std::min(it->Value - *r.Min, *r.Max - it->Value);
      r.Outcome = *r.Margin >= 0 ? RuleOutcome::Pass : RuleOutcome::Fail;
      failed = failed || r.Outcome == RuleOutcome::Fail;
    }
    v.Rules.push_back(std::move(r));
  }
  const bool anyJudged =
      std::any_of(v.Rules.begin(), v.Rules.end(), [](const RuleResult& r) { return r.Outcome == RuleOutcome::Pass; });
  v.Result = failed      ? VerdictResult::Fail
             : missing   ? VerdictResult::Incomplete
             : anyJudged ? VerdictResult::Pass
                         : VerdictResult::NotApplicable;
  return v;
}

Verdict WorstVerdict(const std::vector<Verdict>& runs) {
  Verdict worst = runs.empty() ? Verdict{} : runs.front();
  for (const Verdict& v : runs)
    if (VerdictRank(v.Result) > VerdictRank(worst.Result)) worst = v;
  return worst;
}

Verdict GoldenSequenceVerdict(const GoldenUnit& unit, const std::vector<Verdict>& runs) {
  Verdict worst = WorstVerdict(runs);
  if (worst.Result == VerdictResult::Fail) return worst;
  std::vector<std::string> unjudged;
  for (const GoldenFigure& g : unit.Figures) {
    bool judged = false;
    for (const Verdict& v : runs)
      for (const RuleResult& r : v.Rules) judged = judged || (r.Figure == g.Figure && r.Outcome == RuleOutcome::Pass);
    if (!judged) unjudged.push_back(g.Figure);
  }
  if (!unjudged.empty() && worst.Result != VerdictResult::Incomplete) {
    worst.Result = VerdictResult::Incomplete;
    std::string names;
    for (const std::string& n : unjudged) names += (names.empty() ? "" : ", ") + n;
    worst.Reason = "golden check: not measured by its runs: " + names;
    worst.ReasonChinese = "标准样品核查：其测试未测得 " + names;
    worst.Missing = unjudged;
  }
  return worst;
}

bool GoldenCheckDue(const GoldenDue& due, std::int64_t lastPassUtcMs, std::int64_t nowUtcMs, std::int64_t utcOffsetMs) {
  if (!due.Any()) return false;
  if (lastPassUtcMs <= 0 || lastPassUtcMs > nowUtcMs) return true;
  constexpr std::int64_t DayMs = 86'400'000, MinuteMs = 60'000;
  if (due.EveryHours && static_cast<double>(nowUtcMs - lastPassUtcMs) >= *due.EveryHours * 3'600'000.0) return true;
  const std::int64_t local = nowUtcMs + utcOffsetMs;
  const std::int64_t midnightUtc = local - ((local % DayMs) + DayMs) % DayMs - utcOffsetMs;
  for (int minutes : due.ShiftStartMinutes) {
    std::int64_t start = midnightUtc + minutes * MinuteMs;
    if (start > nowUtcMs) start -= DayMs;
    if (lastPassUtcMs < start) return true;
  }
  return false;
}

ProfileMessage CalibrationBlock(const ProductionGate& gate) {
  ProfileMessage m;
  if (gate.Instrument == Calibration::Overdue && !gate.CalibrationOverridden) {
    m.English = "instrument calibration overdue (due " + gate.CalibrationDue + "): production runs are refused";
    m.Chinese = "仪器校准已过期（到期日 " + gate.CalibrationDue + "）：拒绝生产测试";
  }
  return m;
}

ProfileMessage BlockedBecause(const ProductionGate& gate) {
  ProfileMessage m = CalibrationBlock(gate);
  if (!m.English.empty()) {
  } else if (!gate.GoldenSerial && !gate.GoldenOverridden && gate.Limits &&
             GoldenCheckDue(gate.Limits->Due, gate.LastGoldenPassMs, gate.NowMs, gate.UtcOffsetMs)) {
    m.English = "golden sample check due: run a golden unit of \"" + gate.Limits->Name + "\" first";
    m.Chinese = "需要标准样品核查：请先测试“" + gate.Limits->Name + "”的标准样品";
  }
  return m;
}

bool ParseDay(const std::string& text, std::int64_t& day) {
  int y = 0, mo = 0, d = 0;
  char tail = 0;
  if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) != 3 || text[4] != '-' ||
      text[7] != '-' || y < 1970 || mo < 1 || mo > 12 || d < 1)
    return false;
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > days[mo - 1] + (mo == 2 && leap ? 1 : 0)) return false;
  // Days from the civil date (proleptic Gregorian).
  const int yy = y - (mo <= 2 ? 1 : 0);
  const int era = yy / 400, yoe = yy - era * 400;
  const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  day = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
  return true;
}

Calibration CalibrationState(std::int64_t dueDay, bool dueSet, std::int64_t today) {
  if (!dueSet) return Calibration::NotSet;
  if (today > dueDay) return Calibration::Overdue;
  return dueDay - today <= CalibrationWarnDays ? Calibration::DueSoon : Calibration::Valid;
}

}  // namespace kt
