// The Camera Link serial programming interface, written from the published
// standard: its statuses, baud-rate flags and version numbers in full, and the
// entry points this program and its serial libraries use.
// Counts, sizes and indexes are 32-bit unsigned; statuses 32-bit signed.
#pragma once

#include <cstdint>

#include "callconv.h"

namespace clser {

constexpr int32_t CL_ERR_NO_ERR = 0;
constexpr int32_t CL_ERR_BUFFER_TOO_SMALL = -10001;
constexpr int32_t CL_ERR_MANU_DOES_NOT_EXIST = -10002;
constexpr int32_t CL_ERR_PORT_IN_USE = -10003;
constexpr int32_t CL_ERR_TIMEOUT = -10004;
constexpr int32_t CL_ERR_INVALID_INDEX = -10005;
constexpr int32_t CL_ERR_INVALID_REFERENCE = -10006;
constexpr int32_t CL_ERR_ERROR_NOT_FOUND = -10007;
constexpr int32_t CL_ERR_BAUD_RATE_NOT_SUPPORTED = -10008;
constexpr int32_t CL_ERR_OUT_OF_MEMORY = -10009;
constexpr int32_t CL_ERR_UNABLE_TO_LOAD_DLL = -10098;
constexpr int32_t CL_ERR_FUNCTION_NOT_FOUND = -10099;

// clSetBaudRate's argument and clGetSupportedBaudRates' answer: one bit per rate.
constexpr uint32_t CL_BAUDRATE_9600 = 1;
constexpr uint32_t CL_BAUDRATE_19200 = 2;
constexpr uint32_t CL_BAUDRATE_38400 = 4;
constexpr uint32_t CL_BAUDRATE_57600 = 8;
constexpr uint32_t CL_BAUDRATE_115200 = 16;
constexpr uint32_t CL_BAUDRATE_230400 = 32;
constexpr uint32_t CL_BAUDRATE_460800 = 64;
constexpr uint32_t CL_BAUDRATE_921600 = 128;

// The version clGetManufacturerInfo reports: the interface the library offers.
constexpr uint32_t CL_DLL_VERSION_NO_VERSION = 1;
constexpr uint32_t CL_DLL_VERSION_1_0 = 2;
constexpr uint32_t CL_DLL_VERSION_1_1 = 3;

typedef int32_t(CLSER_CALLTYPE* PclSerialInit)(uint32_t serial_index, void** serial_ref);
typedef void(CLSER_CALLTYPE* PclSerialClose)(void* serial_ref);
typedef int32_t(CLSER_CALLTYPE* PclSerialWrite)(void* serial_ref, char* buffer,
                                                uint32_t* buffer_size, uint32_t timeout_ms);
typedef int32_t(CLSER_CALLTYPE* PclSerialRead)(void* serial_ref, char* buffer, uint32_t* num_bytes,
                                               uint32_t timeout_ms);
typedef int32_t(CLSER_CALLTYPE* PclGetNumSerialPorts)(uint32_t* num_ports);
typedef int32_t(CLSER_CALLTYPE* PclGetNumPorts)(uint32_t* num_ports);
typedef int32_t(CLSER_CALLTYPE* PclGetPortInfo)(uint32_t serial_index, char* manufacturer,
                                                uint32_t* name_bytes, char* port_id,
                                                uint32_t* id_bytes, uint32_t* version);
typedef int32_t(CLSER_CALLTYPE* PclGetSerialPortIdentifier)(uint32_t serial_index, char* port_id,
                                                            uint32_t* buffer_size);
typedef int32_t(CLSER_CALLTYPE* PclFlushPort)(void* serial_ref);
typedef int32_t(CLSER_CALLTYPE* PclGetNumBytesAvail)(void* serial_ref, uint32_t* num_bytes);
typedef int32_t(CLSER_CALLTYPE* PclSetBaudRate)(void* serial_ref, uint32_t baud_rate);
typedef int32_t(CLSER_CALLTYPE* PclGetManufacturerInfo)(char* manufacturer, uint32_t* buffer_size,
                                                        uint32_t* version);

}  // namespace clser
