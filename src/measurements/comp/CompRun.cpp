#include "measurements/comp/CompRun.h"

#include <algorithm>
#include <cstring>

#include "link/Form.h"
#include "link/Resets.h"
#include "measurements/input/InputDecode.h"
#include "measurements/input/InputRun.h"
#include "measurements/output/OutputRun.h"

namespace kt {

namespace {

constexpr unsigned CompValueBytes = InputValueBytes + OutputValueBytes;

void StoreBothValues(Form& form, const std::uint8_t* data, unsigned n) {
  StoreInputValues(form, data, InputValueBytes);
  form.M.Raw.PairCount = OutputValueBytes;
  StoreOutputValues(form, data + InputValueBytes, n > InputValueBytes ? n - InputValueBytes : 0);
}
void StoreFirstEnvelope(Form& form, const std::uint8_t* data, unsigned n) {
  form.M.Raw.PairCount = EnvelopeSamples;
  form.M.OutputSampleCount = EnvelopeSamples;
  StoreEnvelopeFrame(form, 0, data, n);
}

constexpr BlockSpec CompBlocks[] = {
    {MainsFrameBytes, 10, StoreMainsVoltage},
    {MainsFrameBytes, 20, StoreMainsCurrent},
    {CompValueBytes, 40, StoreBothValues},
    {EnvelopeFrameBytes, 54, StoreFirstEnvelope},
    {EnvelopeFrameBytes, 68, StoreEnvelope<1>},
    {EnvelopeFrameBytes, 84, StoreEnvelope<2>},
    {EnvelopeFrameBytes, 100, StoreEnvelope<3>},
};

void CopyInput(const InputResult& in, InputSnapshot& s) {
  s.Values = in;
  s.VoltagePeak = in.VoltagePeak;
  s.CurrentPeak = in.CurrentPeak;
  std::copy_n(in.VoltageWave, WavePoints, s.VoltageWave);
  std::copy_n(in.CurrentWave, WavePoints, s.CurrentWave);
  std::copy_n(in.VoltageHarmonic, HarmonicBins, s.VoltageHarmonic);
  std::copy_n(in.CurrentHarmonic, HarmonicBins, s.CurrentHarmonic);
  std::copy_n(in.VoltageHarmonicPct, HarmonicBins, s.VoltageHarmonicPct);
  std::copy_n(in.CurrentHarmonicPct, HarmonicBins, s.CurrentHarmonicPct);
}

void CopyInput(const InputSnapshot& s, InputResult& in) {
  static_cast<InputValues&>(in) = s.Values;
  in.VoltagePeak = s.VoltagePeak;
  in.CurrentPeak = s.CurrentPeak;
  std::copy_n(s.VoltageWave, WavePoints, in.VoltageWave);
  std::copy_n(s.CurrentWave, WavePoints, in.CurrentWave);
  std::copy_n(s.VoltageHarmonic, HarmonicBins, in.VoltageHarmonic);
  std::copy_n(s.CurrentHarmonic, HarmonicBins, in.CurrentHarmonic);
  std::copy_n(s.VoltageHarmonicPct, HarmonicBins, in.VoltageHarmonicPct);
  std::copy_n(s.CurrentHarmonicPct, HarmonicBins, in.CurrentHarmonicPct);
}

}  // namespace

void DecodeCompMeasurement(Form& form) {
  // Mains side. A reset for an absent voltage or current ends only this
  // side; the lamp side below is decoded whatever happened here.
  MainsWork work;
  PrepareMainsChannels(form, work);
  DecodeInputValues(form, 10);
  DecodeMainsSpectra(form, work);

  // Lamp side, on the sample count this run set as the first envelope came
  // in. Its channel limits look at the lamp values only.
  DecodeOutputValues(form);
  DecodeOutputCurves(form, form.M.OutputSampleCount);
  ApplyOutputChannelLimits(form.M.Output);

  StampTestDate(form);
  SaveCompSnapshot(form);
  form.host.Repaint();
}

void SaveCompSnapshot(Form& form) {
  CompSnapshot& s = form.M.CompSnap;
  const OutputResult& o = form.M.Output;
  CopyInput(form.M.Input, s.In);
  s.Out.Values = o;
  std::memcpy(s.Out.OutputWave, o.OutputWave, sizeof s.Out.OutputWave);
  std::memcpy(s.Out.OutputWavePeak, o.OutputWavePeak, sizeof s.Out.OutputWavePeak);
}

void RestoreCompSnapshot(Form& form) {
  const CompSnapshot& s = form.M.CompSnap;
  OutputResult& o = form.M.Output;
  CopyInput(s.In, form.M.Input);
  const float ilcfNeg = o.IlcfNeg, ildhc = o.Ildhc;
  static_cast<OutputValues&>(o) = s.Out.Values;
  o.IlcfNeg = ilcfNeg;
  o.Ildhc = ildhc;
  std::memcpy(o.OutputWave, s.Out.OutputWave, sizeof o.OutputWave);
  std::memcpy(o.OutputWavePeak, s.Out.OutputWavePeak, sizeof o.OutputWavePeak);
}

const RunSpec CompRun = [] {
  RunSpec s;
  s.Kind = CompTest;
  s.StatusPrefix = "综合性能测试：";
  s.Command = '2';
  s.Blocks = CompBlocks;
  s.Decode = DecodeCompMeasurement;
  return s;
}();

}  // namespace kt
