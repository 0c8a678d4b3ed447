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
    {MainsFrameBytes, 10, StoreMainsVoltage},
    {MainsFrameBytes, 20, StoreMainsCurrent},
    {CompValueBytes, 40, StoreBothValues},
    {EnvelopeFrameBytes, 54, StoreFirstEnvelope},
    {EnvelopeFrameBytes, 68, StoreEnvelope<1>},
    {EnvelopeFrameBytes, 84, StoreEnvelope<2>},
    {EnvelopeFrameBytes, 100, StoreEnvelope<3>},
};

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
  CopyInputSnapshot(form.M.Input, form.M.CompSnap.In);
  CopyOutputSnapshot(form.M.Output, form.M.CompSnap.Out);
}

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
