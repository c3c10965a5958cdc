// The entry points a Camera Link serial library exports, for the libraries
// that define them (clsertty, clsersim), and the interface's rule for handing
// a text to the caller. Each declaration is held to the pointer type the
// program binds it through (clserial_api.h): a declaration here that strays
// from it stops the build below, and a definition that strays from its
// declaration stops the build where it is written, since a C function has one
// signature. clGetNumPorts and clGetPortInfo belong to the aggregator that
// lists the installed libraries; a library of ports does not offer them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "clserial_api.h"

extern "C" {

int32_t CLSER_CALLTYPE clSerialInit(uint32_t serial_index, void** serial_ref);
void CLSER_CALLTYPE clSerialClose(void* serial_ref);
int32_t CLSER_CALLTYPE clSerialWrite(void* serial_ref, char* buffer, uint32_t* buffer_size,
                                     uint32_t timeout_ms);
int32_t CLSER_CALLTYPE clSerialRead(void* serial_ref, char* buffer, uint32_t* num_bytes,
                                    uint32_t timeout_ms);
int32_t CLSER_CALLTYPE clGetNumSerialPorts(uint32_t* num_ports);
int32_t CLSER_CALLTYPE clGetSerialPortIdentifier(uint32_t serial_index, char* port_id,
                                                 uint32_t* buffer_size);
int32_t CLSER_CALLTYPE clFlushPort(void* serial_ref);
int32_t CLSER_CALLTYPE clGetNumBytesAvail(void* serial_ref, uint32_t* num_bytes);
int32_t CLSER_CALLTYPE clSetBaudRate(void* serial_ref, uint32_t baud_rate);
int32_t CLSER_CALLTYPE clGetManufacturerInfo(char* manufacturer, uint32_t* buffer_size,
                                             uint32_t* version);

}  // extern "C"

#define KD_CLSER_PUBLISHED(name)                                        \
    static_assert(std::is_same<decltype(&name), clser::P##name>::value, \
                  #name " differs from its published signature");

KD_CLSER_PUBLISHED(clSerialInit)
KD_CLSER_PUBLISHED(clSerialClose)
KD_CLSER_PUBLISHED(clSerialWrite)
KD_CLSER_PUBLISHED(clSerialRead)
KD_CLSER_PUBLISHED(clGetNumSerialPorts)
KD_CLSER_PUBLISHED(clGetSerialPortIdentifier)
KD_CLSER_PUBLISHED(clFlushPort)
KD_CLSER_PUBLISHED(clGetNumBytesAvail)
KD_CLSER_PUBLISHED(clSetBaudRate)
KD_CLSER_PUBLISHED(clGetManufacturerInfo)

#undef KD_CLSER_PUBLISHED

namespace clser {

// A text with its NUL into the caller's buffer of *size bytes. A buffer too
// small (or none) is left alone and told the size it needs; *size is the
// text's size with its NUL either way.
inline int32_t copy_text(const std::string& text, char* buffer, uint32_t* size)
{
    if (!size) return CL_ERR_INVALID_REFERENCE;
    const uint32_t needed = static_cast<uint32_t>(text.size() + 1);
    if (!buffer || *size < needed) {
        *size = needed;
        return CL_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, text.c_str(), needed);
    *size = needed;
    return CL_ERR_NO_ERR;
}

}  // namespace clser
