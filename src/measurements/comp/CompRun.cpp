#include "measurements/comp/CompRun.h"

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
    {MainsFrameBytes, 10, StoreMainsVoltage},    {MainsFrameBytes, 20, StoreMainsCurrent},
    {CompValueBytes, 40, StoreBothValues},       {EnvelopeFrameBytes, 54, StoreFirstEnvelope},
    {EnvelopeFrameBytes, 68, StoreEnvelope<1>},  {EnvelopeFrameBytes, 84, StoreEnvelope<2>},
    {EnvelopeFrameBytes, 100, StoreEnvelope<3>},
};

// Back/Next copy of the comprehensive result. The lamp current's negative
// half-wave crest factor and the half-wave difference are neither measured
// nor shown by this test, so a restore leaves them as they are.
void SaveCompSnapshot(Form& form) {
  CopyInputSnapshot(form.M.Input, form.M.CompSnap.In);
  CopyOutputSnapshot(form.M.Output, form.M.CompSnap.Out);
}

// The last step of a comprehensive run: the mains side through the input
// decoding's steps, the lamp side through the output decoding's steps (the
// half-wave difference excepted), each side's absent channels independent of
// the other's; then the test date, the Back/Next copy and a repaint. The
// input and output tests' own Back/Next copies are left alone.
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

}  // namespace

void RestoreCompSnapshot(Form& form) {
  // The half-wave difference and the negative crest factor belong to the
  // output test alone; browsing comprehensive results leaves them be.
  OutputResult& o = form.M.Output;
  const float ilcfNeg = o.IlcfNeg, ildhc = o.Ildhc;
  CopyInputSnapshot(form.M.CompSnap.In, form.M.Input);
  CopyOutputSnapshot(form.M.CompSnap.Out, o);
  o.IlcfNeg = ilcfNeg;
  o.Ildhc = ildhc;
}

const RunSpec CompRun{
    .Kind = CompTest,
    .StatusPrefix = "综合性能测试：",
    .Command = '2',
    .Blocks = CompBlocks,
    .Decode = DecodeCompMeasurement,
};

}  // namespace kt
