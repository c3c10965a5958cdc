// An in-process Camera Link serial library for tests: entry points that
// record what the program sends and answer from a script, bound through
// ClSerial's lookup instead of a loaded file.
#pragma once

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "camera/clserial.h"

struct FakeSerialLibrary {
    // What the library reports.
    uint32_t ports = 1;
    std::vector<std::string> identifiers;  // per port; a missing one fills nothing
    std::string manufacturer = "Mfr";
    bool fills_manufacturer = true;
    int32_t init_status = 0;
    bool init_gives_reference = true;
    int32_t flush_status = 0;
    // Write calls, from the next one on, that take no character.
    int refused_writes = 0;
    // The bytes sent back after each request line, in order; when they run
    // out, the camera stays silent.
    std::vector<std::string> replies;
    // Exported names the library does not offer.
    std::set<std::string> missing;
    // Aggregator entry points answer these.
    uint32_t aggregated_ports = 0;

    // What happened.
    std::string sent;
    std::vector<std::string> requests;  // lines sent, without CR LF
    std::string partial;                // the request line being sent
    std::string pending;                // reply bytes not yet read
    size_t next_reply = 0;
    int inits = 0;
    int closes = 0;
    int flushes = 0;
    int write_calls = 0;
    std::vector<uint32_t> init_indexes;
    char reference = 0;  // its address is the serial reference
};

inline FakeSerialLibrary fake_serial;

inline int32_t CLSER_CALLTYPE fake_clSerialInit(uint32_t index, void** ref)
{
    ++fake_serial.inits;
    fake_serial.init_indexes.push_back(index);
    if (fake_serial.init_gives_reference) *ref = &fake_serial.reference;
    return fake_serial.init_status;
}

inline void CLSER_CALLTYPE fake_clSerialClose(void*) { ++fake_serial.closes; }

inline int32_t CLSER_CALLTYPE fake_clFlushPort(void*)
{
    ++fake_serial.flushes;
    return fake_serial.flush_status;
}

inline int32_t CLSER_CALLTYPE fake_clSerialWrite(void*, char* buffer, uint32_t* size, uint32_t)
{
    ++fake_serial.write_calls;
    if (fake_serial.refused_writes > 0) {
        --fake_serial.refused_writes;
        *size = 0;
        return clser::CL_ERR_TIMEOUT;
    }
    for (uint32_t i = 0; i < *size; ++i) {
        const char c = buffer[i];
        fake_serial.sent += c;
        if (c != '\n') {
            fake_serial.partial += c;
            continue;
        }
        std::string line = fake_serial.partial;
        fake_serial.partial.clear();
        if (!line.empty() && line.back() == '\r') line.pop_back();
        fake_serial.requests.push_back(line);
        if (fake_serial.next_reply < fake_serial.replies.size())
            fake_serial.pending += fake_serial.replies[fake_serial.next_reply++];
    }
    return 0;
}

inline int32_t CLSER_CALLTYPE fake_clSerialRead(void*, char* buffer, uint32_t* count, uint32_t)
{
    if (fake_serial.pending.empty()) {
        *count = 0;
        return clser::CL_ERR_TIMEOUT;
    }
    const uint32_t taken = *count < fake_serial.pending.size()
                               ? *count
                               : static_cast<uint32_t>(fake_serial.pending.size());
    std::memcpy(buffer, fake_serial.pending.data(), taken);
    fake_serial.pending.erase(0, taken);
    *count = taken;
    return 0;
}

inline int32_t CLSER_CALLTYPE fake_clGetNumSerialPorts(uint32_t* count)
{
    *count = fake_serial.ports;
    return 0;
}

inline int32_t CLSER_CALLTYPE fake_clGetSerialPortIdentifier(uint32_t index, char* id,
                                                             uint32_t* size)
{
    if (index >= fake_serial.identifiers.size()) {
        *size = 0;
        return clser::CL_ERR_INVALID_INDEX;
    }
    const std::string& text = fake_serial.identifiers[index];
    std::memcpy(id, text.c_str(), text.size() + 1);
    *size = static_cast<uint32_t>(text.size() + 1);
    return 0;
}

inline int32_t CLSER_CALLTYPE fake_clGetManufacturerInfo(char* name, uint32_t* size,
                                                         uint32_t* version)
{
    *version = 2;
    if (!fake_serial.fills_manufacturer) {
        *size = 0;
        return 0;
    }
    std::memcpy(name, fake_serial.manufacturer.c_str(), fake_serial.manufacturer.size() + 1);
    *size = static_cast<uint32_t>(fake_serial.manufacturer.size() + 1);
    return 0;
}

inline int32_t CLSER_CALLTYPE fake_clGetNumPorts(uint32_t* count)
{
    *count = fake_serial.aggregated_ports;
    return 0;
}

inline int32_t CLSER_CALLTYPE fake_clGetPortInfo(uint32_t index, char* manufacturer, uint32_t*,
                                                 char* port_id, uint32_t*, uint32_t*)
{
    std::strcpy(manufacturer, "Agg");
    std::snprintf(port_id, 16, "P%u", static_cast<unsigned>(index));
    return 0;
}

inline ClSerial::AnyEntry fake_serial_lookup(const char* name)
{
    if (fake_serial.missing.count(name)) return nullptr;
    struct Entry {
        const char* name;
        ClSerial::AnyEntry entry;
    };
    const Entry entries[] = {
        {"clSerialInit", reinterpret_cast<ClSerial::AnyEntry>(&fake_clSerialInit)},
        {"clSerialClose", reinterpret_cast<ClSerial::AnyEntry>(&fake_clSerialClose)},
        {"clSerialWrite", reinterpret_cast<ClSerial::AnyEntry>(&fake_clSerialWrite)},
        {"clSerialRead", reinterpret_cast<ClSerial::AnyEntry>(&fake_clSerialRead)},
        {"clGetNumSerialPorts", reinterpret_cast<ClSerial::AnyEntry>(&fake_clGetNumSerialPorts)},
        {"clGetNumPorts", reinterpret_cast<ClSerial::AnyEntry>(&fake_clGetNumPorts)},
        {"clGetPortInfo", reinterpret_cast<ClSerial::AnyEntry>(&fake_clGetPortInfo)},
        {"clGetSerialPortIdentifier",
         reinterpret_cast<ClSerial::AnyEntry>(&fake_clGetSerialPortIdentifier)},
        {"clFlushPort", reinterpret_cast<ClSerial::AnyEntry>(&fake_clFlushPort)},
        {"clGetManufacturerInfo",
         reinterpret_cast<ClSerial::AnyEntry>(&fake_clGetManufacturerInfo)},
    };
    for (const Entry& e : entries)
        if (std::strcmp(e.name, name) == 0) return e.entry;
    return nullptr;
}

// A fresh fake, without the aggregator entry points a vendor library lacks.
inline void reset_fake_serial()
{
    fake_serial = FakeSerialLibrary();
    fake_serial.identifiers = {"COM1"};
    fake_serial.missing = {"clGetNumPorts", "clGetPortInfo"};
}
