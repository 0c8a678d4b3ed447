#include "platform/SystemPorts.h"

#include <QSerialPortInfo>

#include <filesystem>

namespace kt {

std::vector<PortEntry> SystemPorts(const std::string& linksIn) {
  std::vector<PortEntry> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
    ports.push_back({info.systemLocation().toStdString(), info.description().toStdString(),
                     info.manufacturer().toStdString(), info.serialNumber().toStdString()});
  if (linksIn.empty()) return ports;
  for (const char* name : {"COM1", "COM2"}) {
    const std::filesystem::path link = std::filesystem::path(linksIn) / name;
    std::error_code ec;
    if (!std::filesystem::is_symlink(link, ec)) continue;
    // A link whose device is gone is not a port to offer.
    const auto target = std::filesystem::canonical(link, ec);
    if (ec) continue;
    ports.push_back({link.string(), std::string(name) + " -> " + target.string(), "", ""});
  }
  return ports;
}

std::string PortLine(const PortEntry& port) {
  std::string line = port.Device;
  for (const std::string* part : {&port.Description, &port.Manufacturer, &port.Serial})
    if (!part->empty()) line += "  " + *part;
  return line;
}

}  // namespace kt
