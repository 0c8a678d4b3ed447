#include "measurements/RecordFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/Form.h"
#include "platform/GbkText.h"
#include "platform/SafeFile.h"

namespace kt {

void RecordBuilder::I32(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

void RecordBuilder::F32(float v) {
  std::uint32_t u;
  std::memcpy(&u, &v, 4);
  I32(static_cast<std::int32_t>(u));
}

void RecordBuilder::Floats(const float* v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) F32(v[i]);
}

void RecordBuilder::Bytes(const void* data, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + n);
}

void RecordBuilder::Text(const std::string& utf8, std::size_t size) {
  std::string gbk = Utf8ToGbk(TruncateToGbkBytes(utf8, size - 1));
  gbk.resize(size, '\0');
  Bytes(gbk.data(), size);
}

void RecordParser::I32(std::int32_t& v) {
  std::uint8_t b[4] = {};
  Bytes(b, 4);
  v = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}

void RecordParser::F32(float& v) {
  const auto u = static_cast<std::uint32_t>(I32());
  std::memcpy(&v, &u, 4);
}

void RecordParser::Floats(float* v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) F32(v[i]);
}

void RecordParser::Bytes(void* out, std::size_t n) {
  const std::size_t have = std::min<std::size_t>(n, static_cast<std::size_t>(end_ - p_));
  std::memcpy(out, p_, have);
  std::memset(static_cast<std::uint8_t*>(out) + have, 0, n - have);
  p_ += have;
}

void RecordParser::Text(std::string& utf8, std::size_t size) {
  std::string raw(size, '\0');
  Bytes(raw.data(), size);
  utf8 = GbkToUtf8(raw.data(), size);
}

void RecordParser::Header(std::int32_t& kind) {
  p_ += std::min<std::size_t>(DataFileMagicSize, static_cast<std::size_t>(end_ - p_));
  I32(kind);
}

void RecordParser::Date(char (&date)[11]) {
  Bytes(date, sizeof date);
  date[sizeof date - 1] = '\0';
  for (char& ch : date)
    if (static_cast<unsigned char>(ch) >= 0x80) ch = '?';
}

FileResult WriteRecordFile(const std::string& path, const std::vector<std::uint8_t>& record) {
  return WriteWholeFile(path, record.data(), record.size()) == 0 ? FileResult::Ok : FileResult::WriteFailed;
}

FileResult ReadRecordFile(const std::string& path, std::size_t size, std::vector<std::uint8_t>& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileResult::OpenFailed;
  out.assign(size, 0);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t r = ::read(fd, out.data() + got, size - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  ::close(fd);
  return got < size ? FileResult::TooShort : FileResult::Ok;
}

int ReadWholeRecord(Form& form, const std::string& path, std::size_t size, std::vector<std::uint8_t>& out) {
  switch (ReadRecordFile(path, size, out)) {
    case FileResult::Ok:
      return 0;
    case FileResult::TooShort:
      // A short file would load as a mix of its own and the old values.
      form.host.MessageBox("数据文件格式错误!", "警告");
      return 1;
    default:
      form.host.MessageBox("读数据失败!", "警告");
      return 1;
  }
}

std::vector<std::uint8_t> BuildRecord(const RecordLayout& layout, const Form& form) {
  RecordBuilder b;
  b.Header(layout.Kind);
  layout.Write(b, form);
  return b.Data();
}

int ParseRecord(Form& form, const RecordLayout& layout, std::span<const std::uint8_t> bytes) {
  if (bytes.size() < layout.Size) {
    form.host.MessageBox("数据文件格式错误!", "警告");
    return 1;
  }
  RecordParser p(bytes.data(), layout.Size);
  p.Header(form.ShownKind);
  layout.Read(p, form);
  if (layout.AfterLoad) layout.AfterLoad(form);
  // The language button shows pressed for English, as the record says.
  form.host.SetHanZiBtnDown(form.ChineseMode == 0);
  return 0;
}

int SaveRecord(Form& form, const RecordLayout& layout, const std::string& path) {
  if (WriteRecordFile(path, BuildRecord(layout, form)) != FileResult::Ok) {
    form.host.MessageBox("存数据失败!", "警告");
    return 1;
  }
  return 0;
}

int LoadRecord(Form& form, const RecordLayout& layout, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (ReadWholeRecord(form, path, layout.Size, bytes) != 0) return 1;
  return ParseRecord(form, layout, bytes);
}

std::string WithExtension(std::string name, const std::string& extension) {
  // The file's own name decides: a folder named "my.data" does not.
  if (FileNamePart(name).find(extension) == std::string::npos) name += extension;
  return name;
}

}  // namespace kt
