#include "measurements/output/OutputRun.h"

#include <algorithm>
#include <cstring>

#include "link/Form.h"

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
    {OutputValueBytes, 20, StoreValues},
    {EnvelopeFrameBytes, 40, StoreFirstEnvelope},
    {EnvelopeFrameBytes, 60, StoreEnvelope<1>},
    {EnvelopeFrameBytes, 80, StoreEnvelope<2>},
    {EnvelopeFrameBytes, 100, StoreEnvelope<3>},
};

}  // namespace

const RunSpec OutputRun = [] {
  RunSpec s;
  s.Kind = OutputTest;
  s.StatusPrefix = "输出性能测试：";
  s.Command = '1';
  s.Blocks = OutputBlocks;
  return s;
}();

}  // namespace kt
