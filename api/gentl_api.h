// The GenICam GenTL producer interface, written from the published standard:
// its status codes in full, and the types, constants and entry-point
// signatures this program and its simulated producer use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "callconv.h"

namespace gentl {

using GC_ERROR = int32_t;
using bool8_t = uint8_t;

using TL_HANDLE = void*;
using IF_HANDLE = void*;
using DEV_HANDLE = void*;
using DS_HANDLE = void*;
using PORT_HANDLE = void*;
using BUFFER_HANDLE = void*;
using EVENTSRC_HANDLE = void*;
using EVENT_HANDLE = void*;

// Enumerations travel as 32-bit signed integers.
using INFO_DATATYPE = int32_t;
using TL_INFO_CMD = int32_t;
using INTERFACE_INFO_CMD = int32_t;
using DEVICE_INFO_CMD = int32_t;
using DEVICE_ACCESS_FLAGS = int32_t;
using PORT_INFO_CMD = int32_t;
using URL_INFO_CMD = int32_t;
using EVENT_TYPE = int32_t;
using EVENT_INFO_CMD = int32_t;
using EVENT_DATA_INFO_CMD = int32_t;
using STREAM_INFO_CMD = int32_t;
using BUFFER_INFO_CMD = int32_t;
using BUFFER_PART_INFO_CMD = int32_t;
using ACQ_QUEUE_TYPE = int32_t;
using ACQ_START_FLAGS = int32_t;
using ACQ_STOP_FLAGS = int32_t;

struct PORT_REGISTER_STACK_ENTRY;
struct SINGLE_CHUNK_DATA;

constexpr GC_ERROR GC_ERR_SUCCESS = 0;
constexpr GC_ERROR GC_ERR_ERROR = -1001;
constexpr GC_ERROR GC_ERR_NOT_INITIALIZED = -1002;
constexpr GC_ERROR GC_ERR_NOT_IMPLEMENTED = -1003;
constexpr GC_ERROR GC_ERR_RESOURCE_IN_USE = -1004;
constexpr GC_ERROR GC_ERR_ACCESS_DENIED = -1005;
constexpr GC_ERROR GC_ERR_INVALID_HANDLE = -1006;
constexpr GC_ERROR GC_ERR_INVALID_ID = -1007;
constexpr GC_ERROR GC_ERR_NO_DATA = -1008;
constexpr GC_ERROR GC_ERR_INVALID_PARAMETER = -1009;
constexpr GC_ERROR GC_ERR_IO = -1010;
constexpr GC_ERROR GC_ERR_TIMEOUT = -1011;
constexpr GC_ERROR GC_ERR_ABORT = -1012;
constexpr GC_ERROR GC_ERR_INVALID_BUFFER = -1013;
constexpr GC_ERROR GC_ERR_NOT_AVAILABLE = -1014;
constexpr GC_ERROR GC_ERR_INVALID_ADDRESS = -1015;
constexpr GC_ERROR GC_ERR_BUFFER_TOO_SMALL = -1016;
constexpr GC_ERROR GC_ERR_INVALID_INDEX = -1017;
constexpr GC_ERROR GC_ERR_PARSING_CHUNK_DATA = -1018;
constexpr GC_ERROR GC_ERR_INVALID_VALUE = -1019;
constexpr GC_ERROR GC_ERR_RESOURCE_EXHAUSTED = -1020;
constexpr GC_ERROR GC_ERR_OUT_OF_MEMORY = -1021;
constexpr GC_ERROR GC_ERR_BUSY = -1022;
constexpr GC_ERROR GC_ERR_AMBIGUOUS = -1023;
// Codes from here down are a producer's own.
constexpr GC_ERROR GC_ERR_CUSTOM_ID = -10000;

constexpr INFO_DATATYPE INFO_DATATYPE_STRING = 1;

constexpr DEVICE_INFO_CMD DEVICE_INFO_ID = 0;
constexpr DEVICE_INFO_CMD DEVICE_INFO_VENDOR = 1;
constexpr DEVICE_INFO_CMD DEVICE_INFO_MODEL = 2;

constexpr DEVICE_ACCESS_FLAGS DEVICE_ACCESS_EXCLUSIVE = 4;

constexpr uint64_t GENTL_INFINITE = ~uint64_t(0);

// The entry points, in the order the program binds them.
typedef GC_ERROR(GC_CALLTYPE* PGCGetInfo)(TL_INFO_CMD, INFO_DATATYPE*, void*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCGetLastError)(GC_ERROR*, char*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCInitLib)();
typedef GC_ERROR(GC_CALLTYPE* PGCCloseLib)();
typedef GC_ERROR(GC_CALLTYPE* PGCReadPort)(PORT_HANDLE, uint64_t, void*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCWritePort)(PORT_HANDLE, uint64_t, const void*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCGetPortURL)(PORT_HANDLE, char*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCGetPortInfo)(PORT_HANDLE, PORT_INFO_CMD, INFO_DATATYPE*, void*,
                                              size_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCRegisterEvent)(EVENTSRC_HANDLE, EVENT_TYPE, EVENT_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PGCUnregisterEvent)(EVENTSRC_HANDLE, EVENT_TYPE);
typedef GC_ERROR(GC_CALLTYPE* PEventGetData)(EVENT_HANDLE, void*, size_t*, uint64_t);
typedef GC_ERROR(GC_CALLTYPE* PEventGetDataInfo)(EVENT_HANDLE, const void*, size_t,
                                                 EVENT_DATA_INFO_CMD, INFO_DATATYPE*, void*,
                                                 size_t*);
typedef GC_ERROR(GC_CALLTYPE* PEventGetInfo)(EVENT_HANDLE, EVENT_INFO_CMD, INFO_DATATYPE*, void*,
                                             size_t*);
typedef GC_ERROR(GC_CALLTYPE* PEventFlush)(EVENT_HANDLE);
typedef GC_ERROR(GC_CALLTYPE* PEventKill)(EVENT_HANDLE);
typedef GC_ERROR(GC_CALLTYPE* PTLOpen)(TL_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PTLClose)(TL_HANDLE);
typedef GC_ERROR(GC_CALLTYPE* PTLGetInfo)(TL_HANDLE, TL_INFO_CMD, INFO_DATATYPE*, void*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PTLGetNumInterfaces)(TL_HANDLE, uint32_t*);
typedef GC_ERROR(GC_CALLTYPE* PTLGetInterfaceID)(TL_HANDLE, uint32_t, char*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PTLGetInterfaceInfo)(TL_HANDLE, const char*, INTERFACE_INFO_CMD,
                                                   INFO_DATATYPE*, void*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PTLOpenInterface)(TL_HANDLE, const char*, IF_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PTLUpdateInterfaceList)(TL_HANDLE, bool8_t*, uint64_t);
typedef GC_ERROR(GC_CALLTYPE* PIFClose)(IF_HANDLE);
typedef GC_ERROR(GC_CALLTYPE* PIFGetInfo)(IF_HANDLE, INTERFACE_INFO_CMD, INFO_DATATYPE*, void*,
                                          size_t*);
typedef GC_ERROR(GC_CALLTYPE* PIFGetNumDevices)(IF_HANDLE, uint32_t*);
typedef GC_ERROR(GC_CALLTYPE* PIFGetDeviceID)(IF_HANDLE, uint32_t, char*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PIFUpdateDeviceList)(IF_HANDLE, bool8_t*, uint64_t);
typedef GC_ERROR(GC_CALLTYPE* PIFGetDeviceInfo)(IF_HANDLE, const char*, DEVICE_INFO_CMD,
                                                INFO_DATATYPE*, void*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PIFOpenDevice)(IF_HANDLE, const char*, DEVICE_ACCESS_FLAGS,
                                             DEV_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PDevGetPort)(DEV_HANDLE, PORT_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PDevGetNumDataStreams)(DEV_HANDLE, uint32_t*);
typedef GC_ERROR(GC_CALLTYPE* PDevGetDataStreamID)(DEV_HANDLE, uint32_t, char*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PDevOpenDataStream)(DEV_HANDLE, const char*, DS_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PDevGetInfo)(DEV_HANDLE, DEVICE_INFO_CMD, INFO_DATATYPE*, void*,
                                           size_t*);
typedef GC_ERROR(GC_CALLTYPE* PDevClose)(DEV_HANDLE);
typedef GC_ERROR(GC_CALLTYPE* PDSAnnounceBuffer)(DS_HANDLE, void*, size_t, void*, BUFFER_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PDSAllocAndAnnounceBuffer)(DS_HANDLE, size_t, void*, BUFFER_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PDSFlushQueue)(DS_HANDLE, ACQ_QUEUE_TYPE);
typedef GC_ERROR(GC_CALLTYPE* PDSStartAcquisition)(DS_HANDLE, ACQ_START_FLAGS, uint64_t);
typedef GC_ERROR(GC_CALLTYPE* PDSStopAcquisition)(DS_HANDLE, ACQ_STOP_FLAGS);
typedef GC_ERROR(GC_CALLTYPE* PDSGetInfo)(DS_HANDLE, STREAM_INFO_CMD, INFO_DATATYPE*, void*,
                                          size_t*);
typedef GC_ERROR(GC_CALLTYPE* PDSGetBufferID)(DS_HANDLE, uint32_t, BUFFER_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PDSClose)(DS_HANDLE);
typedef GC_ERROR(GC_CALLTYPE* PDSRevokeBuffer)(DS_HANDLE, BUFFER_HANDLE, void**, void**);
typedef GC_ERROR(GC_CALLTYPE* PDSQueueBuffer)(DS_HANDLE, BUFFER_HANDLE);
typedef GC_ERROR(GC_CALLTYPE* PDSGetBufferInfo)(DS_HANDLE, BUFFER_HANDLE, BUFFER_INFO_CMD,
                                                INFO_DATATYPE*, void*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCGetNumPortURLs)(PORT_HANDLE, uint32_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCGetPortURLInfo)(PORT_HANDLE, uint32_t, URL_INFO_CMD,
                                                 INFO_DATATYPE*, void*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCReadPortStacked)(PORT_HANDLE, PORT_REGISTER_STACK_ENTRY*, size_t*);
typedef GC_ERROR(GC_CALLTYPE* PGCWritePortStacked)(PORT_HANDLE, PORT_REGISTER_STACK_ENTRY*,
                                                   size_t*);
typedef GC_ERROR(GC_CALLTYPE* PDSGetBufferChunkData)(DS_HANDLE, BUFFER_HANDLE, SINGLE_CHUNK_DATA*,
                                                     size_t*);
typedef GC_ERROR(GC_CALLTYPE* PIFGetParentTL)(IF_HANDLE, TL_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PDevGetParentIF)(DEV_HANDLE, IF_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PDSGetParentDev)(DS_HANDLE, DEV_HANDLE*);
typedef GC_ERROR(GC_CALLTYPE* PDSGetNumBufferParts)(DS_HANDLE, BUFFER_HANDLE, uint32_t*);
typedef GC_ERROR(GC_CALLTYPE* PDSGetBufferPartInfo)(DS_HANDLE, BUFFER_HANDLE, uint32_t,
                                                    BUFFER_PART_INFO_CMD, INFO_DATATYPE*, void*,
                                                    size_t*);

}  // namespace gentl
