#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/TestInfo.h"
#include "core/TestKind.h"

namespace kt {

struct Form;

// The *.dat container: 10 bytes of magic, the test kind, then the kind's body.
inline constexpr char DataFileMagic[] = "KT6100-1.0";
inline constexpr std::size_t DataFileMagicSize = 10;
inline constexpr std::size_t DataFileHeaderSize = 14;

// A record's fields are listed once, in a template run with either of the two
// classes below: the builder writes each field, the parser reads it back into
// the same place. So a field can never be added on one side only and shift
// every later field of the file. Both work little-endian, field by field, so
// no padding or byte order of this machine reaches a file.
class RecordBuilder {
 public:
  static constexpr bool Reading = false;
  void I32(std::int32_t v);
  void F32(float v);
  void Floats(const float* v, std::size_t n);
  void Bytes(const void* data, std::size_t n);
  // UTF-8 text as GBK in a zero-padded field of `size` bytes, always
  // terminated inside it.
  void Text(const std::string& utf8, std::size_t size);
  // The magic and the kind.
  void Header(TestKind kind) {
    Bytes(DataFileMagic, DataFileMagicSize);
    I32(kind);
  }
  // The test date as it is held, byte for byte.
  void Date(const char (&date)[11]) { Bytes(date, sizeof date); }
  const std::vector<std::uint8_t>& Data() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Reads fields back from a record whose length the caller has checked.
class RecordParser {
 public:
  static constexpr bool Reading = true;
  RecordParser(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  void I32(std::int32_t& v);
  void F32(float& v);
  void Floats(float* v, std::size_t n);
  void Bytes(void* out, std::size_t n);
  // A GBK field of `size` bytes as UTF-8; the text ends at the first zero or
  // at the field's end, and bytes that are not GBK become U+FFFD.
  void Text(std::string& utf8, std::size_t size);
  // Skips the magic (checked by the caller) and takes the kind.
  void Header(std::int32_t& kind);
  // The date is always written in ASCII; a byte beyond it comes from a
  // damaged file and reads as '?', so pages and reports are never handed text
  // that is not UTF-8. The field stays terminated inside.
  void Date(char (&date)[11]);
  std::int32_t I32() {
    std::int32_t v = 0;
    I32(v);
    return v;
  }

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

// The test information texts (with the luminous flux and colour temperature
// only where `withLight`), then the test date, as every record keeps them.
template <typename Io, typename F>
void InfoAndDateFields(Io& io, F& form, bool withLight) {
  auto& t = form.Info;
  using S = TestInfoSizes;
  io.Text(t.Name, S::Name);
  io.Text(t.No, S::No);
  io.Text(t.Type, S::Type);
  io.Text(t.Standard, S::Standard);
  io.Text(t.Temperature, S::Temperature);
  io.Text(t.Humidity, S::Humidity);
  io.Text(t.Manufacturer, S::Manufacturer);
  io.Text(t.Operator, S::Operator);
  if (withLight) {
    io.Text(t.LuminousFlux, S::LuminousFlux);
    io.Text(t.ColourTemperature, S::ColourTemperature);
  }
  io.Date(form.TestDate);
}

// The two page flags, then the test information and the date: the part
// every *.dat body has in common.
template <typename Io, typename F>
void ModesAndInfoFields(Io& io, F& form, bool withLight) {
  io.I32(form.WideFreqMode);
  io.I32(form.ChineseMode);
  InfoAndDateFields(io, form, withLight);
}
inline constexpr std::size_t ModesAndInfoSize = 8 + 209;  // flags, 8 texts and the date

// A kind's *.dat record: its size and its one field list, instantiated for
// writing and for reading, and what loading it does besides (may be null).
struct RecordLayout {
  TestKind Kind;
  std::size_t Size;
  void (*Write)(RecordBuilder&, const Form&);
  void (*Read)(RecordParser&, Form&);
  void (*AfterLoad)(Form&) = nullptr;
};

// The bytes a store of the form's results would write.
std::vector<std::uint8_t> BuildRecord(const RecordLayout& layout, const Form& form);
// Takes a whole record (magic, kind and body) into the form. The caller has
// checked the magic; a record shorter than the layout is refused with the
// operator told. 0 when loaded.
int ParseRecord(Form& form, const RecordLayout& layout, std::span<const std::uint8_t> bytes);

// The saver and the loader of every kind: write the record and tell the
// operator when it failed; read a whole record, refusing a short file. Both
// return 0 on success and 1 after the operator has been told.
int SaveRecord(Form& form, const RecordLayout& layout, const std::string& path);
int LoadRecord(Form& form, const RecordLayout& layout, const std::string& path);

enum class FileResult { Ok, OpenFailed, WriteFailed, TooShort };

// Writes the whole file as `record`, so that a store that fails part-way
// leaves the old file as it was and no partial file behind.
FileResult WriteRecordFile(const std::string& path, const std::vector<std::uint8_t>& record);

// Reads the first `size` bytes of the file; a shorter file is TooShort.
FileResult ReadRecordFile(const std::string& path, std::size_t size, std::vector<std::uint8_t>& out);

// Reads a whole file of `size` bytes and tells the operator what failed.
// 0 on success.
int ReadWholeRecord(Form& form, const std::string& path, std::size_t size, std::vector<std::uint8_t>& out);

// The name rule of the file dialogs: `extension` is appended unless the
// file's name (not its folder) already contains it anywhere
// (case-sensitive).
std::string WithExtension(std::string name, const std::string& extension);

}  // namespace kt
