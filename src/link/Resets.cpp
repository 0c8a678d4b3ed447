#include "link/Resets.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/MeasureSet.h"
#include "link/Form.h"

namespace kt {

namespace {

template <typename T, std::size_t N>
void Zero(T (&a)[N], std::size_t count = N) {
  std::fill_n(a, std::min(count, N), T{});
}

void EmptyInputSnapshot(InputSnapshot& s) {
  s = InputSnapshot{};
  s.VoltagePeak = 1.0f;
  s.CurrentPeak = 0.01f;
  s.VoltageHarmonic[1] = 1.0f;
  s.CurrentHarmonic[1] = 1.0f;
}

void EmptyOutputSnapshot(OutputSnapshot& s) {
  s = OutputSnapshot{};
  std::fill_n(s.OutputWavePeak, 4, 1.0f);
}

}  // namespace

void ResetCurrentSide(MeasureSet& ms) {
  InputResult& in = ms.Input;
  in.Irms = in.Irmsw = in.P = in.PF = in.PFw = in.THDI = in.THDIw = in.CFi = 0.0f;
  ms.PhaseBegin = ms.PhasePeak = ms.PhaseEnd = 0.0f;
  Zero(in.CurrentWave, WavePoints);
  Zero(in.CurrentHarmonic);
  Zero(in.CurrentHarmonicPct);
  Zero(ms.CurrentPerWatt);
  in.CurrentPeak = 0.1f;
  in.CurrentHarmonic[1] = 1.0f;
}

void ResetInputResult(MeasureSet& ms) {
  ResetCurrentSide(ms);
  InputResult& in = ms.Input;
  in.Urms = in.Freq = in.CFv = in.THDU = 0.0f;
  Zero(in.VoltageWave, WavePoints);
  Zero(in.VoltageHarmonic);
  Zero(in.VoltageHarmonicPct);
  in.VoltagePeak = 10.0f;
  in.SampleCount = 200;
  in.VoltageHarmonic[1] = 1.0f;
}

void ResetOutputChannel(OutputResult& o, int channel) {
  switch (channel) {
    case ChU:
      o.Vm = o.Vrms = o.Vcf = o.Pout = 0.0f;
      break;
    case ChIl:
      o.OscFreq = o.Pout = o.Ilm = o.Ilrms = o.IlcfPos = o.IlcfNeg = o.Ildhc = 0.0f;
      break;
    case ChIf:
      o.Ifm = o.Ifrms = o.Ifcf = 0.0f;
      break;
    case ChIk:
      o.Ikm = o.Ikrms = o.Ikcf = 0.0f;
      break;
    default:
      return;
  }
  Zero(o.OutputWave[channel]);
  o.OutputWavePeak[channel] = 1.0f;
}

void InitSnapshots(MeasureSet& ms) {
  EmptyInputSnapshot(ms.InputSnap);
  EmptyOutputSnapshot(ms.OutputSnap);
  EmptyInputSnapshot(ms.CompSnap.In);
  EmptyOutputSnapshot(ms.CompSnap.Out);
  ms.StartSnap = StartBackup{};
  std::fill_n(ms.StartSnap.CurveMax, 4, 1.0f);
  ms.PhaseSnap = PhaseSnapshot{};
  ms.PhaseSnap.VoltagePeak = 1.0f;
  ms.PhaseSnap.CurrentPeak = 0.01f;
  ms.PhaseSnap.CurrentHarmonic[1] = 1.0f;
}

void ClearResults(MeasureSet& ms) {
  InputResult& in = ms.Input;
  static_cast<InputValues&>(in) = InputValues{};
  Zero(in.VoltageWave, WavePoints);
  Zero(in.CurrentWave, WavePoints);
  in.VoltagePeak = 1.0f;
  in.CurrentPeak = 0.01f;
  Zero(in.VoltageHarmonic);
  Zero(in.CurrentHarmonic);
  Zero(in.VoltageHarmonicPct);
  Zero(in.CurrentHarmonicPct);
  in.VoltageHarmonic[1] = 1.0f;
  in.CurrentHarmonic[1] = 1.0f;

  // The half-wave difference too: a cleared or failed output page must not
  // show an old one beside its zeros.
  OutputResult& out = ms.Output;
  static_cast<OutputValues&>(out) = OutputValues{};
  for (auto& wave : out.OutputWave) Zero(wave);
  std::fill_n(out.OutputWavePeak, 4, 1.0f);

  StartResult& st = ms.Start;
  for (auto& curve : st.Curve) Zero(curve);
  Zero(st.Peak);
  std::fill_n(st.CurveMax, 4, 1.0f);
  st.WarmUpTime = 0.0f;
  Zero(st.PeakTime);
}

void StampTestDate(Form& form) {
  const UtcDate d = form.clock.Today();
  char buf[40];
  const int n = std::snprintf(buf, sizeof buf, "%d-%d-%d", d.Year, d.Month, d.Day);
  // At most 10 characters for any four-digit year; keep the terminator.
  const std::size_t len = std::min<std::size_t>(n > 0 ? static_cast<std::size_t>(n) : 0, sizeof form.TestDate - 1);
  std::memset(form.TestDate, 0, sizeof form.TestDate);
  std::memcpy(form.TestDate, buf, len);
}

}  // namespace kt
