#pragma once
#include "core/TestKind.h"
#include "verdict/Figures.h"
#include "verdict/Verdict.h"

namespace kt {

// The built-in harmonic screening for lighting equipment (IEC 61000-3-2
// Class C), under this name wherever a profile is named. The limit tables
// it follows are those of the edition below, all in ClassC.cpp.
inline constexpr const char* ClassCName = "iec-61000-3-2-class-c";
inline constexpr const char* ClassCRevision = "Ed. 5.0 2018";

// The kinds that measure the mains current's harmonics: input,
// comprehensive and phase angle.
bool ClassCScreens(TestKind kind);

// RMS of the fundamental input current from the total current and its
// harmonic distortion, as the mains decoding derives it: I1 = Irms / sqrt(1 + (THDI/100)²).
double FundamentalCurrent(double irms, double thdiPct);

// Judges one run. Every harmonic limit is one rule on CurrentHarmonicPct[n]
// with the limit as its max, in percent of the fundamental; the note says
// how the limit came about. One capture is not the long observation the
// standard judges, so the verdict is always marked a screening.
// Results: P < 5 W or a kind without mains harmonics: not applicable.
// 5 W ≤ P ≤ 25 W: pass when option (a) (per-watt limits) or option (b)
// (3rd, 5th and the current's phase angles) passes, fail when both fail,
// else incomplete with the figures still needed in Missing; Rules then hold
// the deciding option's rules, or both options' when none passed.
Verdict ScreenClassC(const RunView& run);

}  // namespace kt
