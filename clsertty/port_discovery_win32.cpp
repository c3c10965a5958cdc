#include "port_discovery.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

namespace clsertty {

namespace {

// COM2 before COM10; names without a number after the numbered ones.
unsigned long port_number(const std::string& name)
{
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return 0xFFFFFFFFul;
    return std::strtoul(name.c_str() + 3, nullptr, 10);
}

}  // namespace

std::vector<std::string> system_serial_ports()
{
    std::vector<std::string> ports;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char value_name[256];
        DWORD name_size = sizeof value_name;
        char data[256] = {};
        DWORD data_size = sizeof data - 1;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, value_name, &name_size, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &data_size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        data[data_size < sizeof data ? data_size : sizeof data - 1] = '\0';
        if (data[0] != '\0') ports.push_back(data);
    }
    RegCloseKey(key);
    std::stable_sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        return port_number(a) < port_number(b);
    });
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

}  // namespace clsertty
