#include "measurements/input/InputRecord.h"

#include <array>
#include <vector>

#include "link/Form.h"
#include "measurements/RecordFile.h"

namespace kt {

namespace {

// The twelve values in record order.
template <typename Values>
auto Twelve(Values& v) {
  return std::array{&v.Urms, &v.Irms, &v.Irmsw, &v.P, &v.PF, &v.PFw, &v.THDU, &v.THDI, &v.THDIw, &v.Freq, &v.CFv, &v.CFi};
}

}  // namespace

void WriteMainsBody(RecordBuilder& b, const Form& form, bool perWatt) {
  const InputResult& in = form.M.Input;
  b.I32(in.SampleCount);
  for (const float* f : Twelve(in)) b.F32(*f);
  b.F32(in.VoltagePeak);
  b.F32(in.CurrentPeak);
  b.Floats(in.VoltageWave, WavePoints);
  b.Floats(in.CurrentWave, WavePoints);
  b.Floats(in.VoltageHarmonic, HarmonicBins);
  b.Floats(in.CurrentHarmonic, HarmonicBins);
  b.Floats(in.VoltageHarmonicPct, HarmonicBins);
  b.Floats(in.CurrentHarmonicPct, HarmonicBins);
  if (perWatt) b.Floats(form.M.CurrentPerWatt, HarmonicBins);
  WriteModesAndInfo(b, form, false);
  b.F32(form.M.PhaseBegin);
  b.F32(form.M.PhasePeak);
  b.F32(form.M.PhaseEnd);
}

void ReadMainsBody(RecordParser& p, Form& form, bool perWatt) {
  InputResult& in = form.M.Input;
  in.SampleCount = p.I32();
  for (float* f : Twelve(in)) *f = p.F32();
  in.VoltagePeak = p.F32();
  in.CurrentPeak = p.F32();
  p.Floats(in.VoltageWave, WavePoints);
  p.Floats(in.CurrentWave, WavePoints);
  p.Floats(in.VoltageHarmonic, HarmonicBins);
  p.Floats(in.CurrentHarmonic, HarmonicBins);
  p.Floats(in.VoltageHarmonicPct, HarmonicBins);
  p.Floats(in.CurrentHarmonicPct, HarmonicBins);
  if (perWatt) p.Floats(form.M.CurrentPerWatt, HarmonicBins);
  ReadModesAndInfo(p, form, false);
  form.M.PhaseBegin = p.F32();
  form.M.PhasePeak = p.F32();
  form.M.PhaseEnd = p.F32();
}

int SaveInputRecord(Form& form, const std::string& path) {
  RecordBuilder b;
  b.Bytes(DataFileMagic, DataFileMagicSize);
  b.I32(form.ShownKind);
  WriteMainsBody(b, form, false);
  return SaveRecord(form, path, b);
}

int LoadInputRecord(Form& form, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (LoadRecord(form, path, InputRecordSize, bytes) != 0) return 1;
  RecordParser p(bytes.data(), bytes.size());
  p.Skip(DataFileMagicSize);
  form.ShownKind = p.I32();
  ReadMainsBody(p, form, false);
  form.host.SetHanZiBtnDown(form.ChineseMode == 0);
  return 0;
}

}  // namespace kt
