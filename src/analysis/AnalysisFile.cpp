#include "analysis/AnalysisFile.h"

#include <cstring>

#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/RecordFile.h"

namespace kt {

namespace {

constexpr int Channels[4] = {ChU, ChIl, ChIf, ChIk};  // file order

}  // namespace

std::vector<std::uint8_t> BuildAnalysisRecord(const Form& form, const AnalysisData& a, std::int32_t language) {
  RecordBuilder b;
  b.Bytes(DataFileMagic, DataFileMagicSize);
  b.I32(form.ShownKind);
  b.I32(language);
  for (int c : Channels) {
    b.F32(a.EnvelopeMax[c]);
    b.F32(a.WavePeak[c]);
    b.F32(a.WaveRms[c]);
    b.F32(a.CrestFactor[c]);
  }
  for (int c : Channels) b.Floats(a.Envelope[c], AnalysisEnvelopeSlots);
  for (int c : Channels) b.I32(a.Period[c]);
  for (int c : Channels) b.Floats(a.Wave[c], AnalysisWaveSamples);
  WriteInfoAndDate(b, form, false);
  return b.Data();
}

int SaveAnalysisFile(Form& form, const AnalysisData& a, std::int32_t language, const std::string& path) {
  if (WriteRecordFile(path, BuildAnalysisRecord(form, a, language)) != FileResult::Ok) {
    form.host.MessageBox("存数据失败!", "警告");
    return 1;
  }
  return 0;
}

int OpenAnalysisFile(Form& form, AnalysisData& a, std::int32_t& language, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  const FileResult head = ReadRecordFile(path, DataFileMagicSize, bytes);
  if (head == FileResult::OpenFailed) {
    form.host.MessageBox("打开数据文件失败!", "警告");
    return 1;
  }
  if (head != FileResult::Ok || std::memcmp(bytes.data(), DataFileMagic, DataFileMagicSize) != 0) {
    form.host.MessageBox("数据文件格式错误!", "警告");
    return 1;
  }
  // The whole record or nothing: a short file would leave a mix of its own
  // and the previous values.
  if (LoadRecord(form, path, AnalysisFileSize, bytes) != 0) return 1;

  RecordParser p(bytes.data(), bytes.size());
  p.Skip(DataFileMagicSize);
  form.ShownKind = p.I32();
  language = p.I32();
  for (int c : Channels) {
    a.EnvelopeMax[c] = p.F32();
    a.WavePeak[c] = p.F32();
    a.WaveRms[c] = p.F32();
    a.CrestFactor[c] = p.F32();
  }
  for (int c : Channels) p.Floats(a.Envelope[c], AnalysisEnvelopeSlots);
  for (int c : Channels) a.Period[c] = p.I32();
  for (int c : Channels) p.Floats(a.Wave[c], AnalysisWaveSamples);
  ReadInfoAndDate(p, form, false);

  a.EnvelopeValid = 0;
  form.host.SetGaoTestEnabled(false);
  return 0;
}

std::string AnalysisFileName(const std::string& chosen) { return WithExtension(chosen, ".bdt"); }

}  // namespace kt
