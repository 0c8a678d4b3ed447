#include "verdict/Figures.h"

#include <charconv>
#include <cmath>

#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "core/NumberText.h"
#include "measurements/input/InputDecode.h"
#include "measurements/output/OutputRun.h"
#include "measurements/start/StartRun.h"

namespace kt {

namespace {

constexpr unsigned Bit(TestKind k) { return 1u << k; }
constexpr unsigned MainsKinds = Bit(InputTest) | Bit(CompTest) | Bit(PhaseTest);
// The phase test converts only the first eight values of the mains frame and
// neither shows nor keeps the voltage spectrum, THDIw or the crest factors.
constexpr unsigned InputAndComp = Bit(InputTest) | Bit(CompTest);
constexpr unsigned LampKinds = Bit(OutputTest) | Bit(CompTest);
// What the comprehensive test's record does not keep (the peaks and crest
// factors but the lamp current's) is the output test's alone: a verdict on
// it could not be checked again from the stored file. For the same reason
// the instrument's high-frequency current, which no record keeps, is no
// figure at all.
constexpr unsigned OutputOnly = Bit(OutputTest);

// Presence as the decoders decide it, with the same comparisons, so that a
// channel they reset to zeros is never read as a measurement. Each test
// reads a field the decoder fills or resets; nothing is recomputed.
bool VoltageSide(const RunView& v) { return v.M && static_cast<double>(v.M->Input.Urms) >= MainsVoltageMin; }
bool CurrentSide(const RunView& v) { return VoltageSide(v) && static_cast<double>(v.M->Input.Irms) >= MainsCurrentMin; }
// A spectrum without a fundamental has all percentages 0.
bool VoltageSpectrum(const RunView& v) { return VoltageSide(v) && v.M->Input.VoltageHarmonicPct[1] > 0.0f; }
bool CurrentSpectrum(const RunView& v) { return CurrentSide(v) && v.M->Input.CurrentHarmonicPct[1] > 0.0f; }
// Without a usable power the decoder writes 0 mA/W.
bool PerWatt(const RunView& v) { return CurrentSpectrum(v) && std::isfinite(v.M->Input.P) && v.M->Input.P != 0.0f; }
// Too small a current, or no voltage period to align on: all three angles 0.
bool PhaseAngles(const RunView& v) {
  return CurrentSide(v) && !(v.M->PhaseBegin == 0.0f && v.M->PhasePeak == 0.0f && v.M->PhaseEnd == 0.0f);
}

template <int C>
bool Lamp(const RunView& v) {
  if (!v.M) return false;
  const OutputResult& o = v.M->Output;
  switch (C) {
    case ChU:
      return o.Vrms >= LampVoltageMin;
    case ChIl:
      return o.Ilrms >= LampCurrentMin;
    case ChIf:
      return o.Ifrms >= LampCurrentMin;
    default:
      return o.Ikrms >= LampCurrentMin;
  }
}
// The lamp power needs both the lamp voltage and the lamp current.
bool LampPower(const RunView& v) { return Lamp<ChU>(v) && Lamp<ChIl>(v); }

template <int C>
bool Start(const RunView& v) {
  // Indexed by channel: lamp voltage, lamp current, filament, cathode lead.
  constexpr float Min[4] = {StartVoltageMin, StartLampCurrentMin, StartFilamentCurrentMin, StartCathodeCurrentMin};
  return v.M && v.M->Start.Valid != 0 && v.M->Start.Peak[C] >= Min[C];
}

// The analysis writes 0 for a channel without a signal, a period or a gain.
template <int C>
bool WaveRms(const RunView& v) {
  return v.A && v.A->WaveRms[C] > 0.0f;
}
template <int C>
bool Crest(const RunView& v) {
  return v.A && v.A->CrestFactor[C] > 0.0f;
}

struct FigureDef {
  const char* Name;
  int Bins;  // 0: a single value; else the bins of a per-harmonic array
  const char* Unit;
  int Decimals;
  int Significant;
  unsigned Kinds;
  bool (*Present)(const RunView&);
  double (*Read)(const RunView&, int bin);
};

#define KT_IN(field) [](const RunView& v, int) -> double { return v.M->Input.field; }
#define KT_IN_BIN(field) [](const RunView& v, int k) -> double { return v.M->Input.field[k]; }
#define KT_MS(field) [](const RunView& v, int) -> double { return v.M->field; }
#define KT_OUT(field) [](const RunView& v, int) -> double { return v.M->Output.field; }
#define KT_START(field) [](const RunView& v, int) -> double { return v.M->Start.field; }
#define KT_WAVE(field, c) [](const RunView& v, int) -> double { return v.A->field[c]; }

// The one table of figures. Order: as the pages show them, kind by kind.
const FigureDef Table[] = {
    {"Urms", 0, "V", 1, 4, MainsKinds, VoltageSide, KT_IN(Urms)},
    {"Irms", 0, "A", 3, 4, MainsKinds, CurrentSide, KT_IN(Irms)},
    {"Irmsw", 0, "A", 3, 4, MainsKinds, CurrentSide, KT_IN(Irmsw)},
    {"P", 0, "W", 1, 4, MainsKinds, CurrentSide, KT_IN(P)},
    {"PF", 0, "", 3, 4, MainsKinds, CurrentSide, KT_IN(PF)},
    {"PFw", 0, "", 3, 4, MainsKinds, CurrentSide, KT_IN(PFw)},
    {"THDU", 0, "%", 1, 4, InputAndComp, VoltageSpectrum, KT_IN(THDU)},
    {"THDI", 0, "%", 1, 4, MainsKinds, CurrentSpectrum, KT_IN(THDI)},
    {"THDIw", 0, "%", 1, 4, InputAndComp, CurrentSpectrum, KT_IN(THDIw)},
    {"Freq", 0, "Hz", 2, 4, MainsKinds, VoltageSide, KT_IN(Freq)},
    {"CFv", 0, "", 2, 4, InputAndComp, VoltageSide, KT_IN(CFv)},
    {"CFi", 0, "", 2, 4, InputAndComp, CurrentSide, KT_IN(CFi)},
    {"PhaseBegin", 0, "°", 0, 4, Bit(PhaseTest), PhaseAngles, KT_MS(PhaseBegin)},
    {"PhasePeak", 0, "°", 0, 4, Bit(PhaseTest), PhaseAngles, KT_MS(PhasePeak)},
    {"PhaseEnd", 0, "°", 0, 4, Bit(PhaseTest), PhaseAngles, KT_MS(PhaseEnd)},
    {"CurrentHarmonicPct", HarmonicBins, "%", 1, 4, MainsKinds, CurrentSpectrum, KT_IN_BIN(CurrentHarmonicPct)},
    {"VoltageHarmonicPct", HarmonicBins, "%", 1, 4, InputAndComp, VoltageSpectrum, KT_IN_BIN(VoltageHarmonicPct)},
    // Only the phase test turns the current spectrum into amperes and mA/W.
    {"CurrentHarmonic", HarmonicBins, "A", 3, 4, Bit(PhaseTest), CurrentSpectrum, KT_IN_BIN(CurrentHarmonic)},
    {"CurrentPerWatt", HarmonicBins, "mA/W", 1, 5, Bit(PhaseTest), PerWatt,
     [](const RunView& v, int k) -> double { return v.M->CurrentPerWatt[k]; }},

    {"OscFreq", 0, "kHz", 2, 4, LampKinds, Lamp<ChIl>, KT_OUT(OscFreq)},
    {"Pout", 0, "W", 1, 4, LampKinds, LampPower, KT_OUT(Pout)},
    {"Vm", 0, "V", 1, 4, OutputOnly, Lamp<ChU>, KT_OUT(Vm)},
    {"Vrms", 0, "V", 1, 4, LampKinds, Lamp<ChU>, KT_OUT(Vrms)},
    {"Vcf", 0, "", 2, 4, OutputOnly, Lamp<ChU>, KT_OUT(Vcf)},
    {"Ilm", 0, "A", 3, 4, LampKinds, Lamp<ChIl>, KT_OUT(Ilm)},
    {"Ilrms", 0, "A", 3, 4, LampKinds, Lamp<ChIl>, KT_OUT(Ilrms)},
    {"IlcfPos", 0, "", 2, 4, LampKinds, Lamp<ChIl>, KT_OUT(IlcfPos)},
    // The comprehensive test neither shows the negative half-wave crest
    // factor nor brings it back with its Back/Next copy, and never computes
    // the half-wave difference: both are the output test's alone.
    {"IlcfNeg", 0, "", 2, 4, Bit(OutputTest), Lamp<ChIl>, KT_OUT(IlcfNeg)},
    {"Ildhc", 0, "%", 1, 4, Bit(OutputTest), Lamp<ChIl>, KT_OUT(Ildhc)},
    {"Ifm", 0, "A", 3, 4, OutputOnly, Lamp<ChIf>, KT_OUT(Ifm)},
    {"Ifrms", 0, "A", 3, 4, LampKinds, Lamp<ChIf>, KT_OUT(Ifrms)},
    {"Ifcf", 0, "", 2, 4, OutputOnly, Lamp<ChIf>, KT_OUT(Ifcf)},
    {"Ikm", 0, "A", 3, 4, OutputOnly, Lamp<ChIk>, KT_OUT(Ikm)},
    {"Ikrms", 0, "A", 3, 4, LampKinds, Lamp<ChIk>, KT_OUT(Ikrms)},
    {"Ikcf", 0, "", 2, 4, OutputOnly, Lamp<ChIk>, KT_OUT(Ikcf)},

    {"PeakU", 0, "V", 1, 4, Bit(StartTest), Start<ChU>, KT_START(Peak[ChU])},
    {"PeakIl", 0, "A", 3, 4, Bit(StartTest), Start<ChIl>, KT_START(Peak[ChIl])},
    {"PeakIf", 0, "A", 3, 4, Bit(StartTest), Start<ChIf>, KT_START(Peak[ChIf])},
    {"PeakIk", 0, "A", 3, 4, Bit(StartTest), Start<ChIk>, KT_START(Peak[ChIk])},
    {"PeakTimeU", 0, "s", 2, 4, Bit(StartTest), Start<ChU>, KT_START(PeakTime[ChU])},
    {"PeakTimeIl", 0, "s", 2, 4, Bit(StartTest), Start<ChIl>, KT_START(PeakTime[ChIl])},
    {"PeakTimeIf", 0, "s", 2, 4, Bit(StartTest), Start<ChIf>, KT_START(PeakTime[ChIf])},
    {"PeakTimeIk", 0, "s", 2, 4, Bit(StartTest), Start<ChIk>, KT_START(PeakTime[ChIk])},
    // No lamp current, no warm-up to time.
    {"WarmUpTime", 0, "s", 2, 4, Bit(StartTest), Start<ChIl>, KT_START(WarmUpTime)},

    {"WaveRmsU", 0, "V", 1, 4, Bit(GaoTest), WaveRms<ChU>, KT_WAVE(WaveRms, ChU)},
    {"WaveRmsIl", 0, "A", 3, 4, Bit(GaoTest), WaveRms<ChIl>, KT_WAVE(WaveRms, ChIl)},
    {"WaveRmsIf", 0, "A", 3, 4, Bit(GaoTest), WaveRms<ChIf>, KT_WAVE(WaveRms, ChIf)},
    {"WaveRmsIk", 0, "A", 3, 4, Bit(GaoTest), WaveRms<ChIk>, KT_WAVE(WaveRms, ChIk)},
    {"CrestFactorU", 0, "", 2, 4, Bit(GaoTest), Crest<ChU>, KT_WAVE(CrestFactor, ChU)},
    {"CrestFactorIl", 0, "", 2, 4, Bit(GaoTest), Crest<ChIl>, KT_WAVE(CrestFactor, ChIl)},
    {"CrestFactorIf", 0, "", 2, 4, Bit(GaoTest), Crest<ChIf>, KT_WAVE(CrestFactor, ChIf)},
    {"CrestFactorIk", 0, "", 2, 4, Bit(GaoTest), Crest<ChIk>, KT_WAVE(CrestFactor, ChIk)},
};

#undef KT_IN
#undef KT_IN_BIN
#undef KT_MS
#undef KT_OUT
#undef KT_START
#undef KT_WAVE

struct FigureRef {
  const FigureDef* Def;
  int Bin;
};

std::string NameOf(const FigureDef& d, int bin) {
  return d.Bins == 0 ? std::string(d.Name) : std::string(d.Name) + "[" + std::to_string(bin) + "]";
}

// Only the canonical spelling is a name: "X[3]", not "X[03]" or "X[ 3]",
// so that one figure has one name in profiles and logs.
std::optional<FigureRef> Resolve(std::string_view name) {
  const auto open = name.find('[');
  const std::string_view base = name.substr(0, open);
  for (const FigureDef& d : Table) {
    if (base != d.Name) continue;
    if (open == std::string_view::npos) return d.Bins == 0 ? std::optional<FigureRef>(FigureRef{&d, 0}) : std::nullopt;
    if (d.Bins == 0 || name.back() != ']') return std::nullopt;
    const std::string_view digits = name.substr(open + 1, name.size() - open - 2);
    if (digits.empty() || digits.size() > 2 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    int bin = -1;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), bin);
    if (ec != std::errc{} || end != digits.data() + digits.size() || bin < 0 || bin >= d.Bins) return std::nullopt;
    return FigureRef{&d, bin};
  }
  return std::nullopt;
}

bool Measures(const FigureDef& d, TestKind kind) { return kind >= 0 && kind < KindCount && ((d.Kinds >> kind) & 1u); }

NamedFigure Read(const FigureRef& r, const RunView& run) {
  NamedFigure f{NameOf(*r.Def, r.Bin), 0.0, false};
  if (!Measures(*r.Def, run.Kind) || !r.Def->Present(run)) return f;
  const double value = r.Def->Read(run, r.Bin);
  if (std::isfinite(value)) {
    f.Value = value;
    f.Measured = true;
  }
  return f;
}

}  // namespace

std::optional<FigureInfo> FindFigure(std::string_view name) {
  const auto r = Resolve(name);
  if (!r) return std::nullopt;
  return FigureInfo{NameOf(*r->Def, r->Bin), r->Def->Unit, r->Def->Decimals, r->Def->Significant, r->Def->Kinds};
}

bool IsFigureName(std::string_view name) { return Resolve(name).has_value(); }

bool KindMeasures(TestKind kind, std::string_view name) {
  const auto r = Resolve(name);
  return r && Measures(*r->Def, kind);
}

bool AnyKindMeasures(std::string_view name) {
  const auto r = Resolve(name);
  return r && r->Def->Kinds != 0;
}

std::vector<std::string> FigureNames() {
  std::vector<std::string> names;
  for (const FigureDef& d : Table)
    for (int bin = 0; bin < (d.Bins == 0 ? 1 : d.Bins); ++bin) names.push_back(NameOf(d, bin));
  return names;
}

NamedFigure GetFigure(const RunView& run, std::string_view name) {
  const auto r = Resolve(name);
  if (!r) return NamedFigure{std::string(name), 0.0, false};
  return Read(*r, run);
}

std::vector<NamedFigure> CollectFigures(const RunView& run) {
  std::vector<NamedFigure> figures;
  for (const FigureDef& d : Table) {
    if (!Measures(d, run.Kind)) continue;
    for (int bin = 0; bin < (d.Bins == 0 ? 1 : d.Bins); ++bin) figures.push_back(Read({&d, bin}, run));
  }
  return figures;
}

std::string FigureValueText(std::string_view name, double value, int extraDecimals) {
  const auto info = FindFigure(name);
  if (!info) return NumberText(value, 3 + extraDecimals, 4 + extraDecimals);
  const std::string number = NumberText(value, info->Decimals + extraDecimals, info->Significant + extraDecimals);
  return info->Unit.empty() ? number : number + " " + info->Unit;
}

}  // namespace kt
