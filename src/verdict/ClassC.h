#pragma once
#include <optional>

#include "core/TestKind.h"
#include "verdict/Figures.h"
#include "verdict/Verdict.h"

namespace kt {

// The built-in harmonic screening for lighting equipment (IEC 61000-3-2
// Class C), under this name wherever a profile is named. The limit tables
// it follows are those of the edition below, all in ClassC.cpp.
inline constexpr const char* ClassCName = "iec-61000-3-2-class-c";
inline constexpr const char* ClassCRevision = "Ed. 5.0 2018+A1:2020";

// The kinds that measure the mains current's harmonics: input,
// comprehensive and phase angle.
bool ClassCScreens(TestKind kind);

// RMS of the fundamental input current from the total current and its
// harmonic distortion, as the mains decoding derives it: I1 = Irms / sqrt(1 + (THDI/100)²).
double FundamentalCurrent(double irms, double thdiPct);

// Judges one run. Every harmonic limit is one rule on CurrentHarmonicPct[n]
// with the limit as its max, in percent of the fundamental; the note says
// how the limit came about, and the rule's Option which of the small-lamp
// options it belongs to. One capture is not the long observation the
// standard judges, so the verdict is always marked a screening.
// The branch is picked by the rated power when one is given (a profile's or
// the command line's), else by the measured P, and the detail says which.
// Results: a negative or unmeasured P: incomplete (no lamp draws negative
// power; a reversed current channel does). Below 5 W or a kind without mains
// harmonics: not applicable. 5 W to 25 W: pass when option (a) (per-watt
// limits), (b) (3rd, 5th and the current's phase angles) or (c) (THD and the
// 2nd to 11th) passes, fail when all three fail, else incomplete with the
// figures still needed in Missing and the reason said first; Rules then hold
// the passing option's rules, or every option's when none passed.
Verdict ScreenClassC(const RunView& run, std::optional<double> ratedPowerW = std::nullopt);

}  // namespace kt
