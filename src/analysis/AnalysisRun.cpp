#include "analysis/AnalysisRun.h"

#include <algorithm>
#include <cstring>

#include "analysis/WaveAnalysis.h"
#include "core/AnalysisData.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/output/OutputRun.h"

namespace kt {

namespace {

void StoreFirstEnvelope(Form& form, const std::uint8_t* data, unsigned n) {
  form.M.Input.SampleCount = EnvelopeSamples;
  StoreEnvelopeFrame(form, 0, data, n);
}

constexpr BlockSpec EnvelopeBlocks[] = {
    {OutputValueBytes, 20, StoreOutputValues},  // header; the analysis does not read it
    {EnvelopeFrameBytes, 40, StoreFirstEnvelope}, {EnvelopeFrameBytes, 60, StoreEnvelope<1>},
    {EnvelopeFrameBytes, 80, StoreEnvelope<2>},   {EnvelopeFrameBytes, 100, StoreEnvelope<3>},
};

void StoreReply(Form& form, const std::uint8_t* data, unsigned n) { form.M.Raw.GaoReply = n > 0 ? data[0] : 0; }

void StoreWaveHeader(Form& form, const std::uint8_t* data, unsigned n) {
  std::memcpy(form.M.Raw.GaoHeader, data, std::min<unsigned>(n, WaveHeaderBytes));
}

template <int Wire>
void StoreWave(Form& form, const std::uint8_t* data, unsigned n) {
  if (Wire == 0) form.M.Input.SampleCount = AnalysisWaveSamples;
  std::memcpy(form.M.Raw.GaoFrames[Wire], data, std::min<unsigned>(n, WaveFrameBytes));
}

constexpr BlockSpec WaveBlocks[] = {
    {1, -1, StoreReply},  // the command's reply; answered with the position
    {WaveHeaderBytes, 10, StoreWaveHeader},
    {WaveFrameBytes, 40, StoreWave<0>},
    {WaveFrameBytes, 60, StoreWave<1>},
    {WaveFrameBytes, 80, StoreWave<2>},
    {WaveFrameBytes, 100, StoreWave<3>},
};

// The reply to the command is answered with the envelope point to capture
// instead of the acknowledge: envelope panels draw one point every 2 pixels,
// and only the low 8 bits of the point travel.
std::uint8_t PositionAfterReply(Form& form, int block) {
  if (block != 0) return AcknowledgeByte;
  return static_cast<std::uint8_t>((form.Analysis ? form.Analysis->SelectX : 0) / 2);
}

// The last step of each run: decoding into the analysis window's data, the
// test date, and the window told to show it. Nothing happens while no
// analysis window is attached to the form.
void DecodeEnvelope(Form& form) {
  if (!form.Analysis) return;
  AnalysisData& a = *form.Analysis;
  DecodeEnvelopeFrames(a, form.M.Raw.OutputFrames);
  StampTestDate(form);
  a.EnvelopeValid = 1;
  // Now there is an envelope to choose a position on.
  form.host.SetGaoTestEnabled(true);
  form.host.RepaintAnalysis();
}

void AnalyseWaves(Form& form) {
  if (!form.Analysis) return;
  AnalyseWaveFrames(*form.Analysis, form.M.Raw.GaoHeader, form.M.Raw.GaoFrames);
  StampTestDate(form);
  form.host.RepaintAnalysis();
}

}  // namespace

const RunSpec BaoRun{
    .Kind = BaoTest,
    .StatusPrefix = "输出性能测试：",
    .Command = '1',
    .Blocks = EnvelopeBlocks,
    // Every block is awaited however long it takes.
    .Deadline = false,
    .ChecksTimeout = false,
    // It always starts from empty results, but leaves the shown kind, the
    // busy flag and the timeout flag to the main window's own runs.
    .Clear = ClearPolicy::Always,
    .OwnsRun = false,
    .Repeats = false,
    .ClosesOnExit = false,
    .Bar = ProgressTarget::AnalysisWindow,
    .HandshakeStatus = false,
    .Decode = DecodeEnvelope,
};

const RunSpec GaoRun{
    .Kind = GaoTest,
    .StatusPrefix = nullptr,  // progress only, on the analysis window
    .Command = '4',
    .Blocks = WaveBlocks,
    .Deadline = false,
    .ChecksTimeout = false,
    .Repeats = false,
    .Bar = ProgressTarget::AnalysisWindow,
    .AckAfter = PositionAfterReply,
    .Decode = AnalyseWaves,
};

void RegisterAnalysisKinds(Form& form) {
  form.Kinds[GaoTest].Run = &GaoRun;
  form.Kinds[BaoTest].Run = &BaoRun;
}

void PrepareForm(Form& form) {
  RegisterMeasurementKinds(form);
  RegisterAnalysisKinds(form);
  ClearResults(form.M);
  InitSnapshots(form.M);
}

void EndAnalysisRuns(Form& form) {
  const bool analysisSelected = form.SelectedKind == GaoTest || form.SelectedKind == BaoTest;
  if (form.RunKind == GaoTest || form.RunKind == BaoTest) AbandonRun(form, "");
  if (analysisSelected) {
    form.SelectedKind = NoTest;
    // Retries of a failed handshake belong to the window's tests: they end
    // with it, and so does their alarm.
    form.host.EnableTimer1(false);
    form.host.ShowAlarm(false);
  }
}

}  // namespace kt
