#pragma once
#include <cstddef>
#include <string>

namespace kt {

class RecordBuilder;
class RecordParser;
struct Form;

inline constexpr std::size_t InputRecordSize = 2543;

// The mains-side body shared by the input record and the phase-angle record
// (which has the per-watt currents after the current percentages): from the
// sample count to the phase angles, without the container header.
void WriteMainsBody(RecordBuilder& b, const Form& form, bool perWatt);
void ReadMainsBody(RecordParser& p, Form& form, bool perWatt);

// The *.dat file of an input measurement: container header and body.
int SaveInputRecord(Form& form, const std::string& path);
int LoadInputRecord(Form& form, const std::string& path);

}  // namespace kt
