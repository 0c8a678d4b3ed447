#pragma once
#include <string>

namespace kt {

struct Form;

// Opens a *.dat file: checks the magic, takes the kind into ShownKind and
// hands the file to that kind's loader. Every failure has been shown to the
// operator when it returns. 0 when a record was loaded.
int OpenDataFile(Form& form, const std::string& path);

// Stores the shown kind's results with that kind's saver; nothing is written
// (and nothing said) when no kind with a record is shown. 0 when stored.
int StoreDataFile(Form& form, const std::string& path);

// The dialogs' name rule for data files.
std::string DataFileName(const std::string& chosen);

}  // namespace kt
