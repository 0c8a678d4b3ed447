#include "measurements/start/StartRun.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/MeasureSet.h"
#include "link/Form.h"
#include "link/InstrumentFloat.h"
#include "link/Resets.h"
#include "link/Waveform.h"
#include "measurements/start/StartCursor.h"

namespace kt {

namespace {

constexpr unsigned StartFrameBytes = 2 * StartSamples;
constexpr unsigned StartSummaryBytes = 37;  // nine numbers and the channel-order flag

template <int Wire>
void StoreCurve(Form& form, const std::uint8_t* data, unsigned n) {
  if (Wire == 0) form.M.Input.SampleCount = StartSamples;
  std::memcpy(form.M.Raw.StartFrames[Wire], data, std::min<unsigned>(n, StartFrameBytes));
}

void StoreSummary(Form& form, const std::uint8_t* data, unsigned n) {
  std::memcpy(form.M.Raw.StartSummary, data, std::min<unsigned>(n, 36));
  form.M.Raw.StartOrderFlag = n > 36 ? data[36] : 0;
}

void ShowPrompt(Form& form) { form.host.DrawStartPrompt(); }

// The start test runs once: reaching its last block locks continuous testing.
void LockAtLastStep(Form& form) { form.TestLocked = 1; }

constexpr BlockSpec StartBlocks[] = {
    {StartFrameBytes, 25, StoreCurve<0>}, {StartFrameBytes, 50, StoreCurve<1>},   {StartFrameBytes, 75, StoreCurve<2>},
    {StartFrameBytes, 90, StoreCurve<3>}, {StartSummaryBytes, 100, StoreSummary},
};

// Where each curve block (wire order U, If, Il, Ik) goes among the record's
// channels (U, Il, If, Ik).
constexpr int ChannelOfWireFrame[4] = {ChU, ChIf, ChIl, ChIk};

void ClearChannel(StartCurves& r, int c) {
  std::fill_n(r.Curve[c], StartSamples, 0.0f);
  r.Peak[c] = 0.0f;
  r.CurveMax[c] = 1.0f;
  r.PeakTime[c] = 0.0f;
}

// The raw stores into the result: curves in channel order, their largest
// magnitudes (the lamp current's index becomes the cursor), the nine summary
// values, and the filament and cathode-lead curves put back in place when the
// instrument says it sent them the other way round. Leaves form.PeakIndex
// as the four searches left it.
void DecodeStartCurves(Form& form) {
  StartResult& r = form.M.Start;
  const RawFrames& raw = form.M.Raw;
  for (int wire = 0; wire < 4; ++wire) {
    float* curve = r.Curve[ChannelOfWireFrame[wire]];
    for (int i = 0; i < StartSamples; ++i) curve[i] = static_cast<float>(ReadSample(raw.StartFrames[wire] + 2 * i));
  }
  // In wire order, so that when the lamp current is all zero the cursor
  // falls back to the filament curve's peak, then the voltage's.
  r.CurveMax[ChU] = MaxAbs(form.PeakIndex, StartSamples, r.Curve[ChU]);
  r.CurveMax[ChIf] = MaxAbs(form.PeakIndex, StartSamples, r.Curve[ChIf]);
  r.CurveMax[ChIl] = MaxAbs(form.PeakIndex, StartSamples, r.Curve[ChIl]);
  // PeakIndex may still be one from another kind's longer search when all
  // three curves are zero; the cursor must stay on the curves.
  r.CursorIndex = StartCursorSample(form.PeakIndex);
  r.CurveMax[ChIk] = MaxAbs(form.PeakIndex, StartSamples, r.Curve[ChIk]);

  const auto at = [&raw](int k) { return ReadInstrumentFloat(raw.StartSummary + 4 * k); };
  r.Peak[ChU] = at(0);
  r.Peak[ChIf] = at(1);
  r.Peak[ChIl] = at(2);
  r.Peak[ChIk] = at(3);
  r.WarmUpTime = at(4);
  r.PeakTime[ChU] = at(5);
  r.PeakTime[ChIf] = at(6);
  r.PeakTime[ChIl] = at(7);
  r.PeakTime[ChIk] = at(8);

  // The flag concerns the curve blocks only: the summary is always in order.
  if (raw.StartOrderFlag != 0) {
    std::swap(r.CurveMax[ChIf], r.CurveMax[ChIk]);
    std::swap_ranges(r.Curve[ChIf], r.Curve[ChIf] + StartSamples, r.Curve[ChIk]);
  }
}

// Clears every channel whose peak is below its limit (or not a number): its
// curve, peak and time to peak; the lamp current takes the warm-up time with
// it. CurveMax becomes 1.0 so the cleared channel still scales.
void ApplyStartChannelLimits(StartCurves& r) {
  // Written as "not at or above" so that a value that is not a number counts
  // as absent too.
  if (!(r.Peak[ChU] >= StartVoltageMin)) ClearChannel(r, ChU);
  if (!(r.Peak[ChIl] >= StartLampCurrentMin)) {
    ClearChannel(r, ChIl);
    r.WarmUpTime = 0.0f;  // no lamp current, no warm-up to time
  }
  if (!(r.Peak[ChIf] >= StartFilamentCurrentMin)) ClearChannel(r, ChIf);
  if (!(r.Peak[ChIk] >= StartCathodeCurrentMin)) ClearChannel(r, ChIk);
}

// The whole decoding at the end of the start test run: curves, limits,
// cursor on the lamp-current peak, test date, Back/Next copy, repaint.
void DecodeStartMeasurement(Form& form) {
  StartResult& r = form.M.Start;
  r.Valid = 1;
  DecodeStartCurves(form);
  ApplyStartChannelLimits(r);
  SetStartCursor(r, r.CursorIndex);
  StampTestDate(form);
  form.M.StartSnap = static_cast<const StartCurves&>(r);
  form.host.Repaint();
}

}  // namespace

void RestoreStartBackup(Form& form) {
  StartResult& r = form.M.Start;
  static_cast<StartCurves&>(r) = form.M.StartSnap;
  r.Valid = 1;
  // The cursor stays where it is, but reads the restored curves: a cursor
  // of an opened file would otherwise show that file's values beside them.
  SetStartCursor(r, r.CursorIndex);
}

const RunSpec StartRun{
    .Kind = StartTest,
    .StatusPrefix = "启动性能测试：",
    .Command = '3',
    .Blocks = StartBlocks,
    .Deadline = false,
    .Clear = ClearPolicy::Never,
    .Repeats = false,
    .Announce = ShowPrompt,
    .OnLastStepEntry = LockAtLastStep,
    .Decode = DecodeStartMeasurement,
};

}  // namespace kt
