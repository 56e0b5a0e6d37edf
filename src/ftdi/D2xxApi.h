#pragma once

#include "ftdi/D2xxTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace talvex {

/// The D2XX functions the USB serial tool and the COM ports' latency timer
/// call, one method per entry point, with the library's own status values.
/// Implemented by the library loaded at run time (DynamicD2xx) and by the
/// simulated programmer's FTDI chip (SimulatedFtdi).
class D2xxApi {
public:
    virtual ~D2xxApi() = default;

    /// Which library this is, for the log.
    virtual std::string name() const { return "FTDI D2XX"; }

    /// FT_CreateDeviceInfoList: builds the library's device list.
    virtual FtStatus createDeviceInfoList(std::uint32_t& count) = 0;
    /// FT_GetDeviceInfoList: fills `records` (sized by the caller) and
    /// sets `count` to the number of records written.
    virtual FtStatus getDeviceInfoList(FtDeviceListInfoNode* records, std::uint32_t& count) = 0;
    virtual FtStatus open(int index, FtHandle& handle) = 0;
    /// Whether FT_OpenEx and FT_GetDeviceInfo exist; without them a chip is
    /// opened by its index in a list made just before.
    virtual bool canOpenEx() const { return false; }
    /// FT_OpenEx by the serial number of one channel's record ("TLVX0001A").
    virtual FtStatus openBySerial(const std::string&, FtHandle&) { return ftstatus::kNotSupported; }
    /// FT_OpenEx by the LocId of one channel's record.
    virtual FtStatus openByLocation(std::uint32_t, FtHandle&) { return ftstatus::kNotSupported; }
    /// FT_GetDeviceInfo: what the opened handle is, to check it before a write.
    virtual FtStatus getDeviceInfo(FtHandle, FtOpenedDevice&) { return ftstatus::kNotSupported; }
    virtual FtStatus eraseEe(FtHandle handle) = 0;
    virtual FtStatus writeEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t value) = 0;
    /// Whether FT_ReadEE exists; the tool verifies a write only then.
    virtual bool canReadEe() const = 0;
    virtual FtStatus readEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t& value) = 0;
    virtual FtStatus close(FtHandle handle) = 0;

    /// Whether FT_GetComPortNumber, FT_GetLatencyTimer and FT_SetLatencyTimer
    /// all exist. Older libraries lack some; the methods below then answer
    /// FT_NOT_SUPPORTED.
    virtual bool hasLatencyTimer() const { return false; }
    /// FT_GetComPortNumber: the COM number the driver gave the opened
    /// device, -1 when it has none.
    virtual FtStatus getComPortNumber(FtHandle, std::int32_t& number)
    {
        number = -1;
        return ftstatus::kNotSupported;
    }
    virtual FtStatus getLatencyTimer(FtHandle, std::uint8_t&) { return ftstatus::kNotSupported; }
    virtual FtStatus setLatencyTimer(FtHandle, std::uint8_t) { return ftstatus::kNotSupported; }
};

/// What loading the library gave: the functions, or why there are none
/// (a sentence for the log).
struct D2xxLoadResult {
    std::shared_ptr<D2xxApi> api;
    std::string error;

    explicit operator bool() const { return api != nullptr; }
};

} // namespace talvex
