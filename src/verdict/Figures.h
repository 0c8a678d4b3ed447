#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/TestKind.h"
#include "verdict/Verdict.h"

namespace kt {

struct MeasureSet;
struct AnalysisData;

// One decoded run as the verdict sees it. A (the analysis window's results)
// is needed only by the high-frequency analysis and may be null.
struct RunView {
  TestKind Kind = NoTest;
  const MeasureSet* M = nullptr;
  const AnalysisData* A = nullptr;
};

// What the figure table says about one stable name.
struct FigureInfo {
  std::string Name;
  std::string Unit;     // "V", "A", "W", "%", "Hz", "kHz", "s", "°", "mA/W"; empty for ratios
  int Decimals = 0;     // as the pages write it
  int Significant = 4;  // as the pages write it (NumberText)
  unsigned Kinds = 0;   // bit k set: kind k measures it
  bool MeasuredBy(TestKind kind) const { return kind >= 0 && kind < KindCount && ((Kinds >> kind) & 1u) != 0; }
};

// The per-harmonic names carry their bin: "CurrentHarmonicPct[3]", bins 0..39,
// written without leading zeros.
std::optional<FigureInfo> FindFigure(std::string_view name);
bool IsFigureName(std::string_view name);
bool KindMeasures(TestKind kind, std::string_view name);
bool AnyKindMeasures(std::string_view name);

// Every known name, in table order (the per-harmonic names bin by bin).
std::vector<std::string> FigureNames();

// One figure of the run. Not measured when the name is unknown, when the
// kind does not measure it, when the decoder found its channel absent (and
// reset it), or when the value is not finite: a reset channel's zeros never
// pass for a reading.
NamedFigure GetFigure(const RunView& run, std::string_view name);

// Every figure the run's kind measures, in table order, measured or not.
std::vector<NamedFigure> CollectFigures(const RunView& run);

// The value with the figure's decimals and unit, as the pages write it:
// "12.3 %", "0.950". An unknown name gets four significant digits.
std::string FigureValueText(std::string_view name, double value, int extraDecimals = 0);

}  // namespace kt
