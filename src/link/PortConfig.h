#pragma once
#include <string>

namespace kt {

struct Form;

inline constexpr const char* PortConfigFile = "Port.cfg";

// Reads the port name ("COM1" or "COM2") from the configuration file; a
// missing file or any other content gives "COM2" and rewrites the file.
void ReadPortConfig(Form& form, const std::string& path = PortConfigFile);
// Writes the 6 bytes of the port name (name, terminator, one more byte) as
// the whole file, replacing the old one only once they are stored. Returns
// 0, or 1 after telling the operator that the file could not be written.
int WritePortConfig(Form& form, const std::string& path = PortConfigFile);

// The device behind a port name: a link or device named like the port in
// `folder` when there is one (so `ln -s /dev/ttyUSB0 COM2` attaches an
// adapter), else the first or second on-board serial port.
std::string DevicePathFor(const std::string& portName, const std::string& folder = ".");

// Opens the form's port at 19200 8N1: the chosen system device, else the
// device behind the port name. 0 on success; 1 after the operator has been
// told.
int OpenPort(Form& form, const std::string& folder = ".");

}  // namespace kt
