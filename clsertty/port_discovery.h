// The serial ports the operating system offers, by device name, in a stable
// order: on Windows the COM ports the registry lists, elsewhere the serial,
// USB serial and modem devices that open.
#pragma once

#include <string>
#include <vector>

namespace clsertty {

std::vector<std::string> system_serial_ports();

}  // namespace clsertty
