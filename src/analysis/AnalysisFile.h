#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kt {

struct AnalysisData;
struct Form;

// The analysis window's data file (*.bdt): the *.dat magic, the shown test
// kind, the window's language, the per-channel values, envelopes, periods and
// waves, then the main window's test information and date.
inline constexpr std::size_t AnalysisFileSize = 13107;

// The record as it is stored, field by field.
std::vector<std::uint8_t> BuildAnalysisRecord(const Form& form, const AnalysisData& a, std::int32_t language);

// Stores the record; tells the operator when the file cannot be written.
// 0 on success, 1 after the message.
int SaveAnalysisFile(Form& form, const AnalysisData& a, std::int32_t language, const std::string& path);

// Opens a *.bdt file: checks the magic, then loads the values into `a`, the
// language into `language`, the test kind into the shown kind and the test
// information and date into the main window's. Each failure is told to the
// operator and leaves everything as it was. A loaded envelope cannot start an
// analysis: EnvelopeValid is cleared and the command disabled. 0 when loaded.
int OpenAnalysisFile(Form& form, AnalysisData& a, std::int32_t& language, const std::string& path);
// The same from the file's bytes (a logged run): no file is involved.
int ParseAnalysisRecord(Form& form, AnalysisData& a, std::int32_t& language, const std::vector<std::uint8_t>& bytes);

// The file dialogs' name rule: ".bdt" is appended unless the name contains it.
std::string AnalysisFileName(const std::string& chosen);

}  // namespace kt
