// The entry points a GenTL producer exports, for the libraries that define
// them (camsim.cti). Each declaration is held to the pointer type the program
// binds it through (gentl_api.h): a declaration here that strays from it stops
// the build below, and a definition that strays from its declaration stops
// the build where it is written, since a C function has one signature.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "gentl_api.h"

extern "C" {

gentl::GC_ERROR GC_CALLTYPE GCGetInfo(gentl::TL_INFO_CMD, gentl::INFO_DATATYPE*, void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE GCGetLastError(gentl::GC_ERROR*, char*, size_t*);
gentl::GC_ERROR GC_CALLTYPE GCInitLib();
gentl::GC_ERROR GC_CALLTYPE GCCloseLib();
gentl::GC_ERROR GC_CALLTYPE GCReadPort(gentl::PORT_HANDLE, uint64_t, void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE GCWritePort(gentl::PORT_HANDLE, uint64_t, const void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE GCGetPortURL(gentl::PORT_HANDLE, char*, size_t*);
gentl::GC_ERROR GC_CALLTYPE GCGetPortInfo(gentl::PORT_HANDLE, gentl::PORT_INFO_CMD,
                                          gentl::INFO_DATATYPE*, void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE GCRegisterEvent(gentl::EVENTSRC_HANDLE, gentl::EVENT_TYPE,
                                            gentl::EVENT_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE GCUnregisterEvent(gentl::EVENTSRC_HANDLE, gentl::EVENT_TYPE);
gentl::GC_ERROR GC_CALLTYPE EventGetData(gentl::EVENT_HANDLE, void*, size_t*, uint64_t);
gentl::GC_ERROR GC_CALLTYPE EventGetDataInfo(gentl::EVENT_HANDLE, const void*, size_t,
                                             gentl::EVENT_DATA_INFO_CMD, gentl::INFO_DATATYPE*,
                                             void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE EventGetInfo(gentl::EVENT_HANDLE, gentl::EVENT_INFO_CMD,
                                         gentl::INFO_DATATYPE*, void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE EventFlush(gentl::EVENT_HANDLE);
gentl::GC_ERROR GC_CALLTYPE EventKill(gentl::EVENT_HANDLE);
gentl::GC_ERROR GC_CALLTYPE TLOpen(gentl::TL_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE TLClose(gentl::TL_HANDLE);
gentl::GC_ERROR GC_CALLTYPE TLGetInfo(gentl::TL_HANDLE, gentl::TL_INFO_CMD, gentl::INFO_DATATYPE*,
                                      void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE TLGetNumInterfaces(gentl::TL_HANDLE, uint32_t*);
gentl::GC_ERROR GC_CALLTYPE TLGetInterfaceID(gentl::TL_HANDLE, uint32_t, char*, size_t*);
gentl::GC_ERROR GC_CALLTYPE TLGetInterfaceInfo(gentl::TL_HANDLE, const char*,
                                               gentl::INTERFACE_INFO_CMD, gentl::INFO_DATATYPE*,
                                               void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE TLOpenInterface(gentl::TL_HANDLE, const char*, gentl::IF_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE TLUpdateInterfaceList(gentl::TL_HANDLE, gentl::bool8_t*, uint64_t);
gentl::GC_ERROR GC_CALLTYPE IFClose(gentl::IF_HANDLE);
gentl::GC_ERROR GC_CALLTYPE IFGetInfo(gentl::IF_HANDLE, gentl::INTERFACE_INFO_CMD,
                                      gentl::INFO_DATATYPE*, void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE IFGetNumDevices(gentl::IF_HANDLE, uint32_t*);
gentl::GC_ERROR GC_CALLTYPE IFGetDeviceID(gentl::IF_HANDLE, uint32_t, char*, size_t*);
gentl::GC_ERROR GC_CALLTYPE IFUpdateDeviceList(gentl::IF_HANDLE, gentl::bool8_t*, uint64_t);
gentl::GC_ERROR GC_CALLTYPE IFGetDeviceInfo(gentl::IF_HANDLE, const char*, gentl::DEVICE_INFO_CMD,
                                            gentl::INFO_DATATYPE*, void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE IFOpenDevice(gentl::IF_HANDLE, const char*, gentl::DEVICE_ACCESS_FLAGS,
                                         gentl::DEV_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE DevGetPort(gentl::DEV_HANDLE, gentl::PORT_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE DevGetNumDataStreams(gentl::DEV_HANDLE, uint32_t*);
gentl::GC_ERROR GC_CALLTYPE DevGetDataStreamID(gentl::DEV_HANDLE, uint32_t, char*, size_t*);
gentl::GC_ERROR GC_CALLTYPE DevOpenDataStream(gentl::DEV_HANDLE, const char*, gentl::DS_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE DevGetInfo(gentl::DEV_HANDLE, gentl::DEVICE_INFO_CMD,
                                       gentl::INFO_DATATYPE*, void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE DevClose(gentl::DEV_HANDLE);
gentl::GC_ERROR GC_CALLTYPE DSAnnounceBuffer(gentl::DS_HANDLE, void*, size_t, void*,
                                             gentl::BUFFER_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE DSAllocAndAnnounceBuffer(gentl::DS_HANDLE, size_t, void*,
                                                     gentl::BUFFER_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE DSFlushQueue(gentl::DS_HANDLE, gentl::ACQ_QUEUE_TYPE);
gentl::GC_ERROR GC_CALLTYPE DSStartAcquisition(gentl::DS_HANDLE, gentl::ACQ_START_FLAGS, uint64_t);
gentl::GC_ERROR GC_CALLTYPE DSStopAcquisition(gentl::DS_HANDLE, gentl::ACQ_STOP_FLAGS);
gentl::GC_ERROR GC_CALLTYPE DSGetInfo(gentl::DS_HANDLE, gentl::STREAM_INFO_CMD,
                                      gentl::INFO_DATATYPE*, void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE DSGetBufferID(gentl::DS_HANDLE, uint32_t, gentl::BUFFER_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE DSClose(gentl::DS_HANDLE);
gentl::GC_ERROR GC_CALLTYPE DSRevokeBuffer(gentl::DS_HANDLE, gentl::BUFFER_HANDLE, void**, void**);
gentl::GC_ERROR GC_CALLTYPE DSQueueBuffer(gentl::DS_HANDLE, gentl::BUFFER_HANDLE);
gentl::GC_ERROR GC_CALLTYPE DSGetBufferInfo(gentl::DS_HANDLE, gentl::BUFFER_HANDLE,
                                            gentl::BUFFER_INFO_CMD, gentl::INFO_DATATYPE*, void*,
                                            size_t*);
gentl::GC_ERROR GC_CALLTYPE GCGetNumPortURLs(gentl::PORT_HANDLE, uint32_t*);
gentl::GC_ERROR GC_CALLTYPE GCGetPortURLInfo(gentl::PORT_HANDLE, uint32_t, gentl::URL_INFO_CMD,
                                             gentl::INFO_DATATYPE*, void*, size_t*);
gentl::GC_ERROR GC_CALLTYPE GCReadPortStacked(gentl::PORT_HANDLE, gentl::PORT_REGISTER_STACK_ENTRY*,
                                              size_t*);
gentl::GC_ERROR GC_CALLTYPE GCWritePortStacked(gentl::PORT_HANDLE,
                                               gentl::PORT_REGISTER_STACK_ENTRY*, size_t*);
gentl::GC_ERROR GC_CALLTYPE DSGetBufferChunkData(gentl::DS_HANDLE, gentl::BUFFER_HANDLE,
                                                 gentl::SINGLE_CHUNK_DATA*, size_t*);
gentl::GC_ERROR GC_CALLTYPE IFGetParentTL(gentl::IF_HANDLE, gentl::TL_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE DevGetParentIF(gentl::DEV_HANDLE, gentl::IF_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE DSGetParentDev(gentl::DS_HANDLE, gentl::DEV_HANDLE*);
gentl::GC_ERROR GC_CALLTYPE DSGetNumBufferParts(gentl::DS_HANDLE, gentl::BUFFER_HANDLE, uint32_t*);
gentl::GC_ERROR GC_CALLTYPE DSGetBufferPartInfo(gentl::DS_HANDLE, gentl::BUFFER_HANDLE, uint32_t,
                                                gentl::BUFFER_PART_INFO_CMD, gentl::INFO_DATATYPE*,
                                                void*, size_t*);

}  // extern "C"

#define KD_GENTL_PUBLISHED(name)                                        \
    static_assert(std::is_same<decltype(&name), gentl::P##name>::value, \
                  #name " differs from its published signature");

KD_GENTL_PUBLISHED(GCGetInfo)
KD_GENTL_PUBLISHED(GCGetLastError)
KD_GENTL_PUBLISHED(GCInitLib)
KD_GENTL_PUBLISHED(GCCloseLib)
KD_GENTL_PUBLISHED(GCReadPort)
KD_GENTL_PUBLISHED(GCWritePort)
KD_GENTL_PUBLISHED(GCGetPortURL)
KD_GENTL_PUBLISHED(GCGetPortInfo)
KD_GENTL_PUBLISHED(GCRegisterEvent)
KD_GENTL_PUBLISHED(GCUnregisterEvent)
KD_GENTL_PUBLISHED(EventGetData)
KD_GENTL_PUBLISHED(EventGetDataInfo)
KD_GENTL_PUBLISHED(EventGetInfo)
KD_GENTL_PUBLISHED(EventFlush)
KD_GENTL_PUBLISHED(EventKill)
KD_GENTL_PUBLISHED(TLOpen)
KD_GENTL_PUBLISHED(TLClose)
KD_GENTL_PUBLISHED(TLGetInfo)
KD_GENTL_PUBLISHED(TLGetNumInterfaces)
KD_GENTL_PUBLISHED(TLGetInterfaceID)
KD_GENTL_PUBLISHED(TLGetInterfaceInfo)
KD_GENTL_PUBLISHED(TLOpenInterface)
KD_GENTL_PUBLISHED(TLUpdateInterfaceList)
KD_GENTL_PUBLISHED(IFClose)
KD_GENTL_PUBLISHED(IFGetInfo)
KD_GENTL_PUBLISHED(IFGetNumDevices)
KD_GENTL_PUBLISHED(IFGetDeviceID)
KD_GENTL_PUBLISHED(IFUpdateDeviceList)
KD_GENTL_PUBLISHED(IFGetDeviceInfo)
KD_GENTL_PUBLISHED(IFOpenDevice)
KD_GENTL_PUBLISHED(DevGetPort)
KD_GENTL_PUBLISHED(DevGetNumDataStreams)
KD_GENTL_PUBLISHED(DevGetDataStreamID)
KD_GENTL_PUBLISHED(DevOpenDataStream)
KD_GENTL_PUBLISHED(DevGetInfo)
KD_GENTL_PUBLISHED(DevClose)
KD_GENTL_PUBLISHED(DSAnnounceBuffer)
KD_GENTL_PUBLISHED(DSAllocAndAnnounceBuffer)
KD_GENTL_PUBLISHED(DSFlushQueue)
KD_GENTL_PUBLISHED(DSStartAcquisition)
KD_GENTL_PUBLISHED(DSStopAcquisition)
KD_GENTL_PUBLISHED(DSGetInfo)
KD_GENTL_PUBLISHED(DSGetBufferID)
KD_GENTL_PUBLISHED(DSClose)
KD_GENTL_PUBLISHED(DSRevokeBuffer)
KD_GENTL_PUBLISHED(DSQueueBuffer)
KD_GENTL_PUBLISHED(DSGetBufferInfo)
KD_GENTL_PUBLISHED(GCGetNumPortURLs)
KD_GENTL_PUBLISHED(GCGetPortURLInfo)
KD_GENTL_PUBLISHED(GCReadPortStacked)
KD_GENTL_PUBLISHED(GCWritePortStacked)
KD_GENTL_PUBLISHED(DSGetBufferChunkData)
KD_GENTL_PUBLISHED(IFGetParentTL)
KD_GENTL_PUBLISHED(DevGetParentIF)
KD_GENTL_PUBLISHED(DSGetParentDev)
KD_GENTL_PUBLISHED(DSGetNumBufferParts)
KD_GENTL_PUBLISHED(DSGetBufferPartInfo)
#undef KD_GENTL_PUBLISHED
