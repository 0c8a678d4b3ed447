#include "measurements/output/OutputRun.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/MeasureSet.h"
#include "link/Form.h"
#include "link/InstrumentFloat.h"
#include "link/Resets.h"
#include "link/Waveform.h"

namespace kt {

void StoreOutputValues(Form& form, const std::uint8_t* data, unsigned n) {
  std::memcpy(form.M.Raw.OutputValues, data, std::min<unsigned>(n, OutputValueBytes));
}

void StoreEnvelopeFrame(Form& form, int wireIndex, const std::uint8_t* data, unsigned n) {
  std::memcpy(form.M.Raw.OutputFrames[wireIndex], data, std::min<unsigned>(n, EnvelopeFrameBytes));
}

namespace {

void StoreValues(Form& form, const std::uint8_t* data, unsigned n) {
  form.M.Input.SampleCount = 64;
  StoreOutputValues(form, data, n);
}
void StoreFirstEnvelope(Form& form, const std::uint8_t* data, unsigned n) {
  form.M.Input.SampleCount = EnvelopeSamples;
  StoreEnvelopeFrame(form, 0, data, n);
}

constexpr BlockSpec OutputBlocks[] = {
    {OutputValueBytes, 20, StoreValues},         {EnvelopeFrameBytes, 40, StoreFirstEnvelope},
    {EnvelopeFrameBytes, 60, StoreEnvelope<1>},  {EnvelopeFrameBytes, 80, StoreEnvelope<2>},
    {EnvelopeFrameBytes, 100, StoreEnvelope<3>},
};

// Where each envelope frame (wire order U, If, Il, Ik) goes among the
// record's channels (U, Il, If, Ik).
constexpr int ChannelOfWireFrame[4] = {ChU, ChIf, ChIl, ChIk};

// Half-wave difference of the lamp current in percent of the larger of the
// two half-wave crest factors; 0 when the positive one is not above 0.
float HalfWaveDifference(float ilcfPos, float ilcfNeg) {
  if (!(ilcfPos > 0.0f)) return 0.0f;
  const double larger = ilcfPos > ilcfNeg ? ilcfPos : ilcfNeg;
  // In double: two crest factors near the ends of the float range must not
  // overflow into an infinite difference.
  const double pct = std::fabs(static_cast<double>(ilcfPos) - ilcfNeg) / larger * 100.0;
  return std::isfinite(pct) ? static_cast<float>(pct) : 0.0f;
}

// Back/Next copy of the output result: values, curves and peaks.
void SaveOutputSnapshot(Form& form) { CopyOutputSnapshot(form.M.Output, form.M.OutputSnap); }

// The whole decoding at the end of the output test run: values, half-wave
// difference, curves, limits, test date, Back/Next copy, repaint.
void DecodeOutputMeasurement(Form& form) {
  OutputResult& o = form.M.Output;
  DecodeOutputValues(form);
  o.Ildhc = HalfWaveDifference(o.IlcfPos, o.IlcfNeg);
  // The run set the sample count (150) as the first envelope block came in.
  DecodeOutputCurves(form, form.M.Input.SampleCount);
  ApplyOutputChannelLimits(o);
  StampTestDate(form);
  SaveOutputSnapshot(form);
  form.host.Repaint();
}

}  // namespace

void DecodeOutputValues(Form& form) {
  const std::uint8_t* frame = form.M.Raw.OutputValues;
  OutputResult& o = form.M.Output;
  const auto at = [frame](int offset) { return ReadInstrumentFloat(frame + offset); };
  o.Vrms = at(0);
  o.Ifrms = at(4);
  o.Ilrms = at(8);
  o.Ikrms = at(12);
  o.Vm = at(16);
  o.Ifm = at(20);
  o.Ilm = at(24);
  static_cast<void>(at(28));  // negative lamp-current peak: shown through IlcfNeg instead
  o.Ikm = at(32);
  o.Vcf = at(36);
  o.Ifcf = at(40);
  o.IlcfPos = at(44);
  o.IlcfNeg = at(48);
  o.Ikcf = at(52);
  // The power is shown and stored as a magnitude.
  o.Pout = std::fabs(at(56));
  o.OscFreq = at(60);
}

int DecodeOutputCurves(Form& form, int count) {
  // The frames hold 150 samples and the curves must keep their zeros from
  // 150 on, whatever count a caller brings.
  count = std::clamp(count, 0, static_cast<int>(EnvelopeSamples));
  OutputResult& o = form.M.Output;
  for (int frame = 0; frame < 4; ++frame) {
    const std::uint8_t* raw = form.M.Raw.OutputFrames[frame];
    float* wave = o.OutputWave[ChannelOfWireFrame[frame]];
    for (int i = 0; i < count; ++i) wave[i] = static_cast<float>(ReadSample(raw + 2 * i));
  }
  for (int c : {ChU, ChIf, ChIl, ChIk}) o.OutputWavePeak[c] = MaxAbs(form.PeakIndex, count, o.OutputWave[c]);
  // The cathode lead carries the filament current plus the lamp current, so
  // of the two curves the larger belongs to it, whichever frame it came in.
  if (o.OutputWavePeak[ChIf] > o.OutputWavePeak[ChIk]) {
    std::swap(o.OutputWavePeak[ChIf], o.OutputWavePeak[ChIk]);
    std::swap_ranges(o.OutputWave[ChIf], o.OutputWave[ChIf] + count, o.OutputWave[ChIk]);
  }
  return count;
}

void ApplyOutputChannelLimits(OutputResult& o) {
  // Written as "not at or above" so that a value that is not a number counts
  // as absent too.
  if (!(o.Vrms >= LampVoltageMin)) ResetOutputChannel(o, ChU);
  if (!(o.Ilrms >= LampCurrentMin)) ResetOutputChannel(o, ChIl);
  if (!(o.Ifrms >= LampCurrentMin)) ResetOutputChannel(o, ChIf);
  if (!(o.Ikrms >= LampCurrentMin)) ResetOutputChannel(o, ChIk);
}

void CopyOutputSnapshot(const OutputResult& o, OutputSnapshot& s) {
  s.Values = static_cast<const OutputValues&>(o);
  std::memcpy(s.OutputWave, o.OutputWave, sizeof s.OutputWave);
  std::memcpy(s.OutputWavePeak, o.OutputWavePeak, sizeof s.OutputWavePeak);
}

void CopyOutputSnapshot(const OutputSnapshot& s, OutputResult& o) {
  static_cast<OutputValues&>(o) = s.Values;
  std::memcpy(o.OutputWave, s.OutputWave, sizeof o.OutputWave);
  std::memcpy(o.OutputWavePeak, s.OutputWavePeak, sizeof o.OutputWavePeak);
}

void RestoreOutputSnapshot(Form& form) { CopyOutputSnapshot(form.M.OutputSnap, form.M.Output); }

const RunSpec OutputRun{
    .Kind = OutputTest,
    .StatusPrefix = "输出性能测试：",
    .Command = '1',
    .Blocks = OutputBlocks,
    .Decode = DecodeOutputMeasurement,
};

}  // namespace kt
