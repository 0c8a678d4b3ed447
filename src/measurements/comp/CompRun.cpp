#include "measurements/comp/CompRun.h"

#include "link/Form.h"
#include "measurements/input/InputRun.h"
#include "measurements/output/OutputRun.h"

namespace kt {

namespace {

constexpr unsigned CompValueBytes = InputValueBytes + OutputValueBytes;

void StoreBothValues(Form& form, const std::uint8_t* data, unsigned n) {
  StoreInputValues(form, data, InputValueBytes);
  form.M.Raw.PairCount = OutputValueBytes;
  StoreOutputValues(form, data + InputValueBytes, n - InputValueBytes);
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

const RunSpec CompRun = [] {
  RunSpec s;
  s.Kind = CompTest;
  s.StatusPrefix = "综合性能测试：";
  s.Command = '2';
  s.Blocks = CompBlocks;
  return s;
}();

}  // namespace kt
