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
void StoreFrame0(Form& form, const std::uint8_t* data, unsigned n) {
  form.M.Input.SampleCount = EnvelopeSamples;
  StoreEnvelopeFrame(form, 0, data, n);
}
void StoreFrame1(Form& form, const std::uint8_t* data, unsigned n) { StoreEnvelopeFrame(form, 1, data, n); }
void StoreFrame2(Form& form, const std::uint8_t* data, unsigned n) { StoreEnvelopeFrame(form, 2, data, n); }
void StoreFrame3(Form& form, const std::uint8_t* data, unsigned n) { StoreEnvelopeFrame(form, 3, data, n); }

constexpr BlockSpec OutputBlocks[] = {
    {OutputValueBytes, 20, StoreValues},
    {EnvelopeFrameBytes, 40, StoreFrame0},
    {EnvelopeFrameBytes, 60, StoreFrame1},
    {EnvelopeFrameBytes, 80, StoreFrame2},
    {EnvelopeFrameBytes, 100, StoreFrame3},
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
