#include "analysis/AnalysisFile.h"

#include <cstring>

#include "core/AnalysisData.h"
#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/RecordFile.h"

namespace kt {

namespace {

constexpr int Channels[4] = {ChU, ChIl, ChIf, ChIk};  // file order

// The body after the magic and the kind, one list for both directions.
template <typename Io, typename F, typename A, typename L>
void Fields(Io& io, F& form, A& a, L& language) {
  io.I32(language);
  for (int c : Channels) {
    io.F32(a.EnvelopeMax[c]);
    io.F32(a.WavePeak[c]);
    io.F32(a.WaveRms[c]);
    io.F32(a.CrestFactor[c]);
  }
  for (int c : Channels) io.Floats(a.Envelope[c], AnalysisEnvelopeSlots);
  for (int c : Channels) io.I32(a.Period[c]);
  for (int c : Channels) io.Floats(a.Wave[c], AnalysisWaveSamples);
  InfoAndDateFields(io, form, false);
}

}  // namespace

std::vector<std::uint8_t> BuildAnalysisRecord(const Form& form, const AnalysisData& a, std::int32_t language) {
  RecordBuilder b;
  // The file keeps the main window's shown kind, whatever it is.
  b.Header(form.ShownKind);
  Fields(b, form, a, language);
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
  if (ReadWholeRecord(form, path, AnalysisFileSize, bytes) != 0) return 1;
  return ParseAnalysisRecord(form, a, language, bytes);
}

int ParseAnalysisRecord(Form& form, AnalysisData& a, std::int32_t& language, const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < AnalysisFileSize || std::memcmp(bytes.data(), DataFileMagic, DataFileMagicSize) != 0) {
    form.host.MessageBox("数据文件格式错误!", "警告");
    return 1;
  }
  RecordParser p(bytes.data(), bytes.size());
  p.Header(form.ShownKind);
  Fields(p, form, a, language);
  a.EnvelopeValid = 0;
  form.host.SetGaoTestEnabled(false);
  return 0;
}

std::string AnalysisFileName(const std::string& chosen) { return WithExtension(chosen, ".bdt"); }

}  // namespace kt
