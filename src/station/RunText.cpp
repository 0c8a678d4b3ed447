#include "station/RunText.h"

#include <nlohmann/json.hpp>

#include <QDateTime>

#include <cmath>
#include <map>

#include "runlog/RunLogNames.h"
#include "verdict/Figures.h"
#include "verdict/VerdictText.h"

namespace kt {

namespace {

std::string IsoTime(std::int64_t utcMs) {
  return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(Qt::ISODateWithMs).toStdString();
}

// "CurrentHarmonicPct[3]" is bin 3 of the array "CurrentHarmonicPct".
bool SplitBin(const std::string& name, std::string& base, std::size_t& bin) {
  const auto open = name.find('[');
  if (open == std::string::npos || name.back() != ']') return false;
  base = name.substr(0, open);
  bin = std::stoul(name.substr(open + 1));
  return true;
}

nlohmann::json Number(double v) { return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr); }
nlohmann::json Optional(const std::optional<double>& v) { return v ? Number(*v) : nlohmann::json(nullptr); }

std::string OutcomeWord(RuleOutcome outcome) { return OutcomeName(outcome); }

std::string VerdictWord(const Verdict& v) {
  return v.Result == VerdictResult::None ? "" : VerdictName(v.Result, false);
}

std::string ProfileText(const Verdict& v) {
  if (v.Result == VerdictResult::None) return "";
  return v.ProfileRevision.empty() ? v.ProfileName : v.ProfileName + " rev " + v.ProfileRevision;
}

// "screening, single capture" when the built-in screening took part.
std::string ScreeningWords(const Verdict& v) { return v.Screening ? ScreeningText(false) : ""; }

// What the band and the report say beside the word: the reason first, the
// deciding branch and option, and a note on the limits themselves.
std::string DetailText(const Verdict& v) {
  std::string out = v.Detail.find(v.Reason) == std::string::npos ? v.Reason : "";
  for (const std::string* part : {&v.Detail, &v.LimitsNote})
    if (!part->empty()) out += (out.empty() ? "" : "; ") + *part;
  return out;
}

std::string MissingText(const Verdict& v) {
  std::string out;
  for (const std::string& name : v.Missing) out += (out.empty() ? "" : " ") + name;
  return out;
}

// An envelope is curves only, in the instrument's raw units: saying so beats
// an empty list of figures that looks like a run that measured nothing.
constexpr const char* EnvelopeNote =
    "an envelope has no figures: it is four curves in the instrument's raw units (--store keeps them)";

}  // namespace

const char* CliKindName(TestKind kind) { return kind > NoTest && kind < KindCount ? KindTable[kind].Cli : ""; }

TestKind CliKind(const std::string& name) {
  for (TestKind k = InputTest; k < KindCount; ++k)
    if (name == KindTable[k].Cli) return k;
  return NoTest;
}

std::string RunJson(const LoggedRun& run) {
  nlohmann::ordered_json out;
  out["kind"] = CliKindName(run.Kind);
  out["time"] = IsoTime(run.TimeUtcMs);
  out["id"] = run.Id.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(run.Id);
  if (run.Kind == BaoTest) out["note"] = EnvelopeNote;
  const TestInfo& i = run.Info;
  out["test_info"] = {{"name", i.Name},
                      {"no", i.No},
                      {"type", i.Type},
                      {"standard", i.Standard},
                      {"temperature", i.Temperature},
                      {"humidity", i.Humidity},
                      {"manufacturer", i.Manufacturer},
                      {"operator", i.Operator},
                      {"luminous_flux", i.LuminousFlux},
                      {"colour_temperature", i.ColourTemperature},
                      {"test_date", run.TestDate}};
  nlohmann::ordered_json figures = nlohmann::ordered_json::object(), arrays = nlohmann::ordered_json::object();
  for (const NamedFigure& f : run.Figures) {
    const nlohmann::json value = f.Measured ? Number(f.Value) : nlohmann::json(nullptr);
    std::string base;
    std::size_t bin = 0;
    if (SplitBin(f.Name, base, bin)) {
      auto& a = arrays[base];
      while (a.size() <= bin) a.push_back(nullptr);
      a[bin] = value;
    } else {
      figures[f.Name] = value;
    }
  }
  out["figures"] = figures;
  out["arrays"] = arrays;
  const Verdict& v = run.Result;
  nlohmann::ordered_json verdict;
  verdict["result"] =
      v.Result == VerdictResult::None ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(VerdictWord(v));
  verdict["profile"] =
      v.Result == VerdictResult::None ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(ProfileText(v));
  const auto text = [&v](const std::string& s) {
    return v.Result == VerdictResult::None || s.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(s);
  };
  verdict["screening"] = text(ScreeningWords(v));
  verdict["detail"] = text(DetailText(v));
  verdict["missing"] = v.Missing;
  verdict["rules"] = nlohmann::ordered_json::array();
  // A disregarded harmonic may stand above its max and still pass, and one
  // harmonic may be judged by two options: the note and the option say so.
  for (const RuleResult& r : v.Rules)
    verdict["rules"].push_back(
        {{"figure", r.Figure},
         {"value", Optional(r.Value)},
         {"min", Optional(r.Min)},
         {"max", Optional(r.Max)},
         {"outcome", OutcomeWord(r.Outcome)},
         {"margin", Optional(r.Margin)},
         {"option", r.Option.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.Option)},
         {"note", r.Note}});
  out["verdict"] = verdict;
  return out.dump();
}

std::string RunTable(const LoggedRun& run) {
  std::string out =
      std::string(CliKindName(run.Kind)) + "  " + IsoTime(run.TimeUtcMs) + (run.Id.empty() ? "" : "  " + run.Id) + "\n";
  if (run.Kind == BaoTest) out += std::string("  ") + EnvelopeNote + "\n";
  // The per-harmonic figures would bury the rest: the table keeps to the
  // single figures (JSON and CSV have them all).
  for (const NamedFigure& f : run.Figures) {
    if (f.Name.find('[') != std::string::npos) continue;
    char name[24];
    std::snprintf(name, sizeof name, "  %-18s ", f.Name.c_str());
    out += name + (f.Measured ? FigureValueText(f.Name, f.Value) : std::string("not measured")) + "\n";
  }
  const Verdict& v = run.Result;
  if (v.Result != VerdictResult::None) {
    out += VerdictWord(v) + "  (" + ProfileText(v) + (v.Screening ? ", " + ScreeningWords(v) : "") + ")\n";
    if (const std::string detail = DetailText(v); !detail.empty()) out += "  " + detail + "\n";
    if (!v.Missing.empty()) out += "  missing: " + MissingText(v) + "\n";
    for (const RuleResult& r : v.Rules) {
      if (r.Outcome != RuleOutcome::Fail && r.Outcome != RuleOutcome::NotMeasured) continue;
      out += "  " + (r.Option.empty() ? "" : "(" + r.Option + ") ") + RuleLine(r, false);
      if (r.Margin) out += "  margin " + FigureValueText(r.Figure, *r.Margin);
      if (!r.Note.empty()) out += "  [" + r.Note + "]";
      out += "\n";
    }
  }
  return out;
}

}  // namespace kt
