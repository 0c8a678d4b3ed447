#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kt {

struct Form;

// The *.dat container: 10 bytes of magic, the test kind, then the kind's body.
inline constexpr char DataFileMagic[] = "KT6100-1.0";
inline constexpr std::size_t DataFileMagicSize = 10;
inline constexpr std::size_t DataFileHeaderSize = 14;

// Builds a fixed-layout record field by field, little-endian, so no padding
// or byte order of this machine reaches a file.
class RecordBuilder {
 public:
  void I32(std::int32_t v);
  void F32(float v);
  void Floats(const float* v, std::size_t n);
  void Bytes(const void* data, std::size_t n);
  // UTF-8 text as GBK in a zero-padded field of `size` bytes, always
  // terminated inside it.
  void Text(const std::string& utf8, std::size_t size);
  const std::vector<std::uint8_t>& Data() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Reads fields back from a record whose length the caller has checked.
class RecordParser {
 public:
  RecordParser(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
  std::int32_t I32();
  float F32();
  void Floats(float* v, std::size_t n);
  void Bytes(void* out, std::size_t n);
  // A GBK field of `size` bytes as UTF-8; the text ends at the first zero or
  // at the field's end, and bytes that are not GBK become U+FFFD.
  std::string Text(std::size_t size);
  void Skip(std::size_t n);

 private:
  const std::uint8_t* p_;
  const std::uint8_t* end_;
};

enum class FileResult { Ok, OpenFailed, WriteFailed, TooShort };

// Writes `record` from the first byte of the file without truncating it (a
// longer old file keeps its tail). The magic is written last, after the rest
// is safely on disk, so a write that fails part-way never leaves a file that
// opens as valid with mixed contents.
FileResult WriteRecordFile(const std::string& path, const std::vector<std::uint8_t>& record);

// Reads the first `size` bytes of the file; a shorter file is TooShort.
FileResult ReadRecordFile(const std::string& path, std::size_t size, std::vector<std::uint8_t>& out);

// The body fields common to the records: the two mode flags and the test
// information (with the luminous flux and colour temperature only where
// `withLight`), then the test date.
void WriteModesAndInfo(RecordBuilder& b, const Form& form, bool withLight);
void ReadModesAndInfo(RecordParser& p, Form& form, bool withLight);
// Only the test information texts and the date, as the analysis files keep
// them (without the mode flags).
void WriteInfoAndDate(RecordBuilder& b, const Form& form, bool withLight);
void ReadInfoAndDate(RecordParser& p, Form& form, bool withLight);
inline constexpr std::size_t ModesAndInfoSize = 8 + 209;  // flags, 8 texts and the date

// The test date field into form.TestDate, terminated inside the field. The
// date is always written in ASCII; a byte beyond it comes from a damaged file
// and reads as '?', so the pages and reports are never handed text that is
// not UTF-8.
void ReadTestDate(RecordParser& p, Form& form);

// The saver's and loader's common frame: writes the record and tells the
// operator when it failed; reads a whole record, refusing a short file.
// Both return 0 on success and 1 after the operator has been told.
int SaveRecord(Form& form, const std::string& path, const RecordBuilder& record);
int LoadRecord(Form& form, const std::string& path, std::size_t size, std::vector<std::uint8_t>& out);

// The name rule of the file dialogs: `extension` is appended unless the name
// already contains it anywhere (case-sensitive).
std::string WithExtension(std::string name, const std::string& extension);

}  // namespace kt
