#include "measurements/comp/CompRecord.h"

#include <array>
#include <cstdint>
#include <vector>

#include "link/Form.h"
#include "measurements/RecordFile.h"

namespace kt {

namespace {

// The fields in record order, the same list for writing and reading.
template <typename In>
auto Twelve(In& v) {
  return std::array{&v.Urms, &v.Irms, &v.Irmsw, &v.P, &v.PF, &v.PFw, &v.THDU, &v.THDI, &v.THDIw, &v.Freq, &v.CFv, &v.CFi};
}
template <typename Out>
auto LampValues(Out& o) {
  return std::array{&o.OscFreq, &o.Pout, &o.Vrms, &o.Ilm, &o.Ilrms, &o.IlcfPos, &o.Ifrms, &o.Ikrms};
}

}  // namespace

int SaveCompRecord(Form& form, const std::string& path) {
  const InputResult& in = form.M.Input;
  const OutputResult& o = form.M.Output;
  RecordBuilder b;
  b.Bytes(DataFileMagic, DataFileMagicSize);
  b.I32(form.ShownKind);
  b.I32(in.SampleCount);
  for (const float* f : Twelve(in)) b.F32(*f);
  b.F32(in.VoltagePeak);
  b.F32(in.CurrentPeak);
  for (const float* f : LampValues(o)) b.F32(*f);
  b.F32(o.OutputWavePeak[ChU]);
  b.F32(o.OutputWavePeak[ChIl]);
  b.Floats(in.VoltageWave, WavePoints);
  b.Floats(in.CurrentWave, WavePoints);
  b.Floats(in.VoltageHarmonicPct, HarmonicBins);
  b.Floats(in.CurrentHarmonicPct, HarmonicBins);
  b.Floats(o.OutputWave[ChU], 200);
  b.Floats(o.OutputWave[ChIl], 200);
  WriteModesAndInfo(b, form, true);
  return SaveRecord(form, path, b);
}

int LoadCompRecord(Form& form, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (LoadRecord(form, path, CompRecordSize, bytes) != 0) return 1;
  InputResult& in = form.M.Input;
  OutputResult& o = form.M.Output;
  RecordParser p(bytes.data(), bytes.size());
  p.Skip(DataFileMagicSize);
  form.ShownKind = p.I32();
  in.SampleCount = p.I32();
  for (float* f : Twelve(in)) *f = p.F32();
  in.VoltagePeak = p.F32();
  in.CurrentPeak = p.F32();
  for (float* f : LampValues(o)) *f = p.F32();
  o.OutputWavePeak[ChU] = p.F32();
  o.OutputWavePeak[ChIl] = p.F32();
  p.Floats(in.VoltageWave, WavePoints);
  p.Floats(in.CurrentWave, WavePoints);
  p.Floats(in.VoltageHarmonicPct, HarmonicBins);
  p.Floats(in.CurrentHarmonicPct, HarmonicBins);
  p.Floats(o.OutputWave[ChU], 200);
  p.Floats(o.OutputWave[ChIl], 200);
  ReadModesAndInfo(p, form, true);
  form.host.SetHanZiBtnDown(form.ChineseMode == 0);
  return 0;
}

}  // namespace kt
