#include "ftdi/DynamicD2xx.h"



#include <cstdint>

namespace talvex {
namespace {

// Looks an entry point up and gives it its type; false when it is missing.
template<typename Fn>
bool resolve(const DynamicLibrary& library, const char* name, Fn& target)
{
    target = reinterpret_cast<Fn>(library.symbol(name));
    return target != nullptr;
}

} // namespace

D2xxLoadResult DynamicD2xx::load(const std::string& nameOrPath)
{
    std::shared_ptr<DynamicD2xx> d2xx(new DynamicD2xx());
    d2xx->m_nameOrPath = nameOrPath;
    if (!d2xx->m_library.load(nameOrPath)) {
        return {nullptr, "the FTDI D2XX library " + nameOrPath + " could not be loaded ("
                             + d2xx->m_library.error()
                             + "). Install FTDI's D2XX driver and open this window again."};
    }
    const char* missing = nullptr;
    if (!resolve(d2xx->m_library, "FT_CreateDeviceInfoList", d2xx->m_createDeviceInfoList))
        missing = "FT_CreateDeviceInfoList";
    else if (!resolve(d2xx->m_library, "FT_GetDeviceInfoList", d2xx->m_getDeviceInfoList))
        missing = "FT_GetDeviceInfoList";
    else if (!resolve(d2xx->m_library, "FT_Open", d2xx->m_open))
        missing = "FT_Open";
    else if (!resolve(d2xx->m_library, "FT_EraseEE", d2xx->m_eraseEe))
        missing = "FT_EraseEE";
    else if (!resolve(d2xx->m_library, "FT_WriteEE", d2xx->m_writeEe))
        missing = "FT_WriteEE";
    else if (!resolve(d2xx->m_library, "FT_Close", d2xx->m_close))
        missing = "FT_Close";
    if (missing) {
        return {nullptr, "the FTDI D2XX library " + nameOrPath + " has no entry point "
                             + missing + ". Install a current FTDI D2XX driver and open this window again."};
    }
    // Older libraries may lack these; without FT_ReadEE nothing is written,
    // without FT_OpenEx a chip is opened by its index in a fresh list.
    resolve(d2xx->m_library, "FT_ReadEE", d2xx->m_readEe);
    resolve(d2xx->m_library, "FT_OpenEx", d2xx->m_openEx);
    resolve(d2xx->m_library, "FT_GetDeviceInfo", d2xx->m_getDeviceInfo);
    // Only the COM ports' latency timer needs these; the EEPROM work does not.
    resolve(d2xx->m_library, "FT_GetComPortNumber", d2xx->m_getComPortNumber);
    resolve(d2xx->m_library, "FT_GetLatencyTimer", d2xx->m_getLatencyTimer);
    resolve(d2xx->m_library, "FT_SetLatencyTimer", d2xx->m_setLatencyTimer);
    return {std::move(d2xx), {}};
}

FtStatus DynamicD2xx::createDeviceInfoList(std::uint32_t& count)
{
    return m_createDeviceInfoList(&count);
}

FtStatus DynamicD2xx::getDeviceInfoList(FtDeviceListInfoNode* records, std::uint32_t& count)
{
    return m_getDeviceInfoList(records, &count);
}

FtStatus DynamicD2xx::open(int index, FtHandle& handle)
{
    return m_open(index, &handle);
}

FtStatus DynamicD2xx::openBySerial(const std::string& serial, FtHandle& handle)
{
    if (!m_openEx)
        return ftstatus::kNotSupported;
    std::string argument = serial;
    return m_openEx(argument.data(), ftopen::kBySerialNumber, &handle);
}

FtStatus DynamicD2xx::openByLocation(std::uint32_t locId, FtHandle& handle)
{
    if (!m_openEx)
        return ftstatus::kNotSupported;
    // The location travels in the pointer argument itself.
    return m_openEx(reinterpret_cast<void*>(static_cast<std::uintptr_t>(locId)), ftopen::kByLocation, &handle);
}

FtStatus DynamicD2xx::getDeviceInfo(FtHandle handle, FtOpenedDevice& device)
{
    if (!m_getDeviceInfo)
        return ftstatus::kNotSupported;
    char serial[16] = {};
    char description[64] = {};
    const FtStatus status = m_getDeviceInfo(handle, &device.type, &device.id, serial, description, nullptr);
    device.serialNumber = d2xxFieldText(serial, sizeof serial);
    device.description = d2xxFieldText(description, sizeof description);
    return status;
}

FtStatus DynamicD2xx::eraseEe(FtHandle handle)
{
    return m_eraseEe(handle);
}

FtStatus DynamicD2xx::writeEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t value)
{
    return m_writeEe(handle, wordOffset, value);
}

FtStatus DynamicD2xx::readEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t& value)
{
    if (!m_readEe)
        return ftstatus::kNotSupported;
    return m_readEe(handle, wordOffset, &value);
}

FtStatus DynamicD2xx::close(FtHandle handle)
{
    return m_close(handle);
}

bool DynamicD2xx::hasLatencyTimer() const
{
    return m_getComPortNumber && m_getLatencyTimer && m_setLatencyTimer;
}

FtStatus DynamicD2xx::getComPortNumber(FtHandle handle, std::int32_t& number)
{
    number = -1;
    if (!m_getComPortNumber)
        return ftstatus::kNotSupported;
    return m_getComPortNumber(handle, &number);
}

FtStatus DynamicD2xx::getLatencyTimer(FtHandle handle, std::uint8_t& milliseconds)
{
    if (!m_getLatencyTimer)
        return ftstatus::kNotSupported;
    return m_getLatencyTimer(handle, &milliseconds);
}

FtStatus DynamicD2xx::setLatencyTimer(FtHandle handle, std::uint8_t milliseconds)
{
    if (!m_setLatencyTimer)
        return ftstatus::kNotSupported;
    return m_setLatencyTimer(handle, milliseconds);
}

} // namespace talvex
