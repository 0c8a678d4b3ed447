#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace kt {

struct Form;

// Opens a *.dat file: checks the magic and hands the file to the loader of
// the kind it holds, which makes that kind the shown one. Every failure has
// been shown to the operator when it returns, and leaves the shown kind as
// it was. 0 when a record was loaded.
int OpenDataFile(Form& form, const std::string& path);

// Opens a main kind's record given as bytes (a logged run), as if from its
// file: the magic checked, the lock set, the record's kind, language and
// information taken. A kind without a record or bytes that are no record
// are refused with the operator told. 0 when loaded; the caller then
// repaints, once it has taken the new page up.
int OpenRecordBytes(Form& form, std::int32_t kind, std::span<const std::uint8_t> bytes);

// Stores the shown kind's results with that kind's saver; nothing is written
// (and nothing said) when no kind with a record is shown. 0 when stored.
int StoreDataFile(Form& form, const std::string& path);

// The dialogs' name rule for data files.
std::string DataFileName(const std::string& chosen);

}  // namespace kt
