#pragma once
#include <cstddef>

#include "core/MeasureSet.h"
#include "measurements/RecordFile.h"

namespace kt {

inline constexpr std::size_t InputRecordSize = 2543;

// The mains-side body shared by the input record and the phase-angle record
// (which has the per-watt currents after the current percentages): from the
// sample count to the phase angles, without the container header.
template <typename Io, typename F>
void MainsFields(Io& io, F& form, bool perWatt) {
  auto& in = form.M.Input;
  io.I32(in.SampleCount);
  for (auto* f : {&in.Urms, &in.Irms, &in.Irmsw, &in.P, &in.PF, &in.PFw, &in.THDU, &in.THDI, &in.THDIw, &in.Freq,
                  &in.CFv, &in.CFi})
    io.F32(*f);
  io.F32(in.VoltagePeak);
  io.F32(in.CurrentPeak);
  io.Floats(in.VoltageWave, WavePoints);
  io.Floats(in.CurrentWave, WavePoints);
  io.Floats(in.VoltageHarmonic, HarmonicBins);
  io.Floats(in.CurrentHarmonic, HarmonicBins);
  io.Floats(in.VoltageHarmonicPct, HarmonicBins);
  io.Floats(in.CurrentHarmonicPct, HarmonicBins);
  if (perWatt) io.Floats(form.M.CurrentPerWatt, HarmonicBins);
  ModesAndInfoFields(io, form, false);
  io.F32(form.M.PhaseBegin);
  io.F32(form.M.PhasePeak);
  io.F32(form.M.PhaseEnd);
}

// The *.dat record of an input measurement. Loading leaves the Back/Next
// copy alone.
extern const RecordLayout InputRecord;

}  // namespace kt
