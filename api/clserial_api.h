// The Camera Link serial programming interface as far as this program and its
// simulated serial library use it, written from the published standard.
// Counts, sizes and indexes are 32-bit unsigned; statuses 32-bit signed.
#pragma once

#include <cstdint>

#include "callconv.h"

namespace clser {

constexpr int32_t CL_ERR_NO_ERR = 0;
constexpr int32_t CL_ERR_BUFFER_TOO_SMALL = -10001;
constexpr int32_t CL_ERR_TIMEOUT = -10004;
constexpr int32_t CL_ERR_INVALID_INDEX = -10005;
constexpr int32_t CL_ERR_INVALID_REFERENCE = -10006;

typedef int32_t(CLSER_CALLTYPE* PclSerialInit)(uint32_t serial_index, void** serial_ref);
typedef void(CLSER_CALLTYPE* PclSerialClose)(void* serial_ref);
typedef int32_t(CLSER_CALLTYPE* PclSerialWrite)(void* serial_ref, char* buffer,
                                                uint32_t* buffer_size, uint32_t timeout_ms);
typedef int32_t(CLSER_CALLTYPE* PclSerialRead)(void* serial_ref, char* buffer,
                                               uint32_t* num_bytes, uint32_t timeout_ms);
typedef int32_t(CLSER_CALLTYPE* PclGetNumSerialPorts)(uint32_t* num_ports);
typedef int32_t(CLSER_CALLTYPE* PclGetNumPorts)(uint32_t* num_ports);
typedef int32_t(CLSER_CALLTYPE* PclGetPortInfo)(uint32_t serial_index, char* manufacturer,
                                                uint32_t* name_bytes, char* port_id,
                                                uint32_t* id_bytes, uint32_t* version);
typedef int32_t(CLSER_CALLTYPE* PclGetSerialPortIdentifier)(uint32_t serial_index,
                                                            char* port_id,
                                                            uint32_t* buffer_size);
typedef int32_t(CLSER_CALLTYPE* PclFlushPort)(void* serial_ref);
typedef int32_t(CLSER_CALLTYPE* PclGetNumBytesAvail)(void* serial_ref, uint32_t* num_bytes);
typedef int32_t(CLSER_CALLTYPE* PclSetBaudRate)(void* serial_ref, uint32_t baud_rate);
typedef int32_t(CLSER_CALLTYPE* PclGetManufacturerInfo)(char* manufacturer,
                                                        uint32_t* buffer_size,
                                                        uint32_t* version);

}  // namespace clser
