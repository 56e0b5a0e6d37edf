#include "serial/SetupApiPorts.h"

#include "serial/SetupApiIds.h"

#include <windows.h>
// After windows.h, which they need.
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>

#include <limits>
#include <vector>

namespace talvex {
namespace {

// Defined here: the SDK's copies need INITGUID in exactly one unit.
// {4D36E978-E325-11CE-BFC1-08002BE10318}: the Ports (COM & LPT) class.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// DEVPKEY_Device_BusReportedDeviceDesc: the product string the device reports.
const DEVPROPKEY kBusReportedDescription = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

std::string toUtf8(const wchar_t* text, std::size_t length)
{
    if (length == 0 || length > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return {};
    const int size = static_cast<int>(length);
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, size, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

// A wide string up to its first terminator (the first of a REG_MULTI_SZ).
std::string firstString(const std::vector<wchar_t>& buffer)
{
    std::size_t length = 0;
    while (length < buffer.size() && buffer[length] != L'\0')
        ++length;
    return toUtf8(buffer.data(), length);
}

std::string registryProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    DWORD needed = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, nullptr, 0, &needed);
    if (needed == 0)
        return {};
    std::vector<wchar_t> buffer(needed / sizeof(wchar_t) + 1, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                           reinterpret_cast<PBYTE>(buffer.data()),
                                           static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), nullptr))
        return {};
    return firstString(buffer);
}

std::string busReportedDescription(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    DEVPROPTYPE type = 0;
    DWORD needed = 0;
    SetupDiGetDevicePropertyW(set, &device, &kBusReportedDescription, &type, nullptr, 0, &needed, 0);
    if (needed == 0)
        return {};
    std::vector<wchar_t> buffer(needed / sizeof(wchar_t) + 1, L'\0');
    if (!SetupDiGetDevicePropertyW(set, &device, &kBusReportedDescription, &type,
                                   reinterpret_cast<PBYTE>(buffer.data()),
                                   static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), nullptr, 0)
        || type != DEVPROP_TYPE_STRING)
        return {};
    return firstString(buffer);
}

std::string instanceId(DEVINST instance)
{
    wchar_t buffer[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(instance, buffer, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS)
        return {};
    return toUtf8(buffer, wcslen(buffer));
}

std::string portName(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t buffer[64] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    std::string name;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size) == ERROR_SUCCESS
        && type == REG_SZ)
        name = toUtf8(buffer, wcslen(buffer));
    RegCloseKey(key);
    return name;
}

} // namespace

std::map<std::string, UsbIdentity> setupApiUsbPorts()
{
    std::map<std::string, UsbIdentity> ports;
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return ports;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device))
            break;
        const std::string name = portName(set, device);
        if (name.empty())
            continue;
        DEVINST parent = 0;
        const std::string parentId = CM_Get_Parent(&parent, device.DevInst, 0) == CR_SUCCESS ? instanceId(parent) : "";
        auto usb = usbIdentityFromIds(registryProperty(set, device, SPDRP_HARDWAREID), instanceId(device.DevInst),
                                      parentId);
        if (!usb)
            continue;
        // The manufacturer stays empty: Windows keeps the driver's (SPDRP_MFG),
        // not the device's own string.
        usb->product = busReportedDescription(set, device);
        usb->location = registryProperty(set, device, SPDRP_LOCATION_INFORMATION);
        ports.emplace(name, std::move(*usb));
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

} // namespace talvex
