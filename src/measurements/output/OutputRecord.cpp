#include "measurements/output/OutputRecord.h"

#include <array>
#include <cstdint>
#include <vector>

#include "link/Form.h"
#include "measurements/RecordFile.h"

namespace kt {

namespace {

// The sixteen values in record order.
template <typename Values>
auto Sixteen(Values& v) {
  return std::array{&v.OscFreq, &v.Pout,  &v.Vm,  &v.Vrms, &v.Vcf,  &v.Ilm, &v.Ilrms, &v.IlcfPos,
                    &v.IlcfNeg, &v.Ildhc, &v.Ifm, &v.Ifrms, &v.Ifcf, &v.Ikm, &v.Ikrms, &v.Ikcf};
}

}  // namespace

int SaveOutputRecord(Form& form, const std::string& path) {
  const OutputResult& o = form.M.Output;
  RecordBuilder b;
  b.Bytes(DataFileMagic, DataFileMagicSize);
  b.I32(form.ShownKind);
  for (const float* f : Sixteen(o)) b.F32(*f);
  b.Floats(o.OutputWavePeak, 4);
  for (const auto& curve : o.OutputWave) b.Floats(curve, 200);
  WriteModesAndInfo(b, form, false);
  return SaveRecord(form, path, b);
}

int LoadOutputRecord(Form& form, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (LoadRecord(form, path, OutputRecordSize, bytes) != 0) return 1;
  OutputResult& o = form.M.Output;
  RecordParser p(bytes.data(), bytes.size());
  p.Skip(DataFileMagicSize);
  form.ShownKind = p.I32();
  for (float* f : Sixteen(o)) *f = p.F32();
  p.Floats(o.OutputWavePeak, 4);
  for (auto& curve : o.OutputWave) p.Floats(curve, 200);
  ReadModesAndInfo(p, form, false);
  form.host.SetHanZiBtnDown(form.ChineseMode == 0);
  return 0;
}

}  // namespace kt
