#pragma once

#include "ftdi/D2xxApi.h"
#include "ftdi/DynamicLibrary.h"

#include <string>

namespace talvex {

/// FTDI's D2XX library, loaded at run time by name with its entry points
/// looked up by name, so the program starts on a machine without it.
class DynamicD2xx final : public D2xxApi {
public:
    /// Loads the library (by default the platform's file name, searched
    /// the system's way; tests pass the stand-in's path). Every entry point
    /// but FT_ReadEE and the latency timer's must be there; otherwise the
    /// result says which one is missing.
    static D2xxLoadResult load(const std::string& nameOrPath = defaultD2xxLibraryName());

    std::string name() const override { return "FTDI D2XX (" + m_nameOrPath + ")"; }
    FtStatus createDeviceInfoList(std::uint32_t& count) override;
    FtStatus getDeviceInfoList(FtDeviceListInfoNode* records, std::uint32_t& count) override;
    FtStatus open(int index, FtHandle& handle) override;
    bool canOpenEx() const override { return m_openEx && m_getDeviceInfo; }
    FtStatus openBySerial(const std::string& serial, FtHandle& handle) override;
    FtStatus openByLocation(std::uint32_t locId, FtHandle& handle) override;
    FtStatus getDeviceInfo(FtHandle handle, FtOpenedDevice& device) override;
    FtStatus eraseEe(FtHandle handle) override;
    FtStatus writeEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t value) override;
    bool canReadEe() const override { return m_readEe != nullptr; }
    FtStatus readEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t& value) override;
    FtStatus close(FtHandle handle) override;
    bool hasLatencyTimer() const override;
    FtStatus getComPortNumber(FtHandle handle, std::int32_t& number) override;
    FtStatus getLatencyTimer(FtHandle handle, std::uint8_t& milliseconds) override;
    FtStatus setLatencyTimer(FtHandle handle, std::uint8_t milliseconds) override;

private:
    using CreateDeviceInfoListFn = FtStatus(TALVEX_D2XX_CALL*)(std::uint32_t*);
    using GetDeviceInfoListFn = FtStatus(TALVEX_D2XX_CALL*)(FtDeviceListInfoNode*, std::uint32_t*);
    using OpenFn = FtStatus(TALVEX_D2XX_CALL*)(int, FtHandle*);
    using OpenExFn = FtStatus(TALVEX_D2XX_CALL*)(void*, std::uint32_t, FtHandle*);
    using GetDeviceInfoFn = FtStatus(TALVEX_D2XX_CALL*)(FtHandle, std::uint32_t*, std::uint32_t*, char*, char*, void*);
    using HandleFn = FtStatus(TALVEX_D2XX_CALL*)(FtHandle);
    using WriteEeFn = FtStatus(TALVEX_D2XX_CALL*)(FtHandle, std::uint32_t, std::uint16_t);
    using ReadEeFn = FtStatus(TALVEX_D2XX_CALL*)(FtHandle, std::uint32_t, std::uint16_t*);
    // LONG and UCHAR in the D2XX headers.
    using GetComPortNumberFn = FtStatus(TALVEX_D2XX_CALL*)(FtHandle, std::int32_t*);
    using GetLatencyTimerFn = FtStatus(TALVEX_D2XX_CALL*)(FtHandle, std::uint8_t*);
    using SetLatencyTimerFn = FtStatus(TALVEX_D2XX_CALL*)(FtHandle, std::uint8_t);

    DynamicD2xx() = default;

    DynamicLibrary m_library;
    std::string m_nameOrPath;
    CreateDeviceInfoListFn m_createDeviceInfoList = nullptr;
    GetDeviceInfoListFn m_getDeviceInfoList = nullptr;
    OpenFn m_open = nullptr;
    OpenExFn m_openEx = nullptr;
    GetDeviceInfoFn m_getDeviceInfo = nullptr;
    HandleFn m_eraseEe = nullptr;
    WriteEeFn m_writeEe = nullptr;
    ReadEeFn m_readEe = nullptr;
    HandleFn m_close = nullptr;
    GetComPortNumberFn m_getComPortNumber = nullptr;
    GetLatencyTimerFn m_getLatencyTimer = nullptr;
    SetLatencyTimerFn m_setLatencyTimer = nullptr;
};

} // namespace talvex
