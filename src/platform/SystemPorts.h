#pragma once
// The serial ports this machine has, for the port dialog and the command
// line's `ports`: what Qt's port information finds (adapters, on-board
// ports), then the COM1 and COM2 links of the program's folder, which is how
// a pseudo-terminal or an adapter by another name is given to the program.
#include <string>
#include <vector>

namespace kt {

struct PortEntry {
  std::string Device;  // the path to open
  std::string Description, Manufacturer, Serial;
};

// `linksIn`: the folder whose COM1/COM2 links are listed; empty: none.
std::vector<PortEntry> SystemPorts(const std::string& linksIn = std::string());

// One line of the list: the device, then what is known of it, two spaces apart.
std::string PortLine(const PortEntry& port);

}  // namespace kt
