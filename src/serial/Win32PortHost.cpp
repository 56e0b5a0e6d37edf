#include "serial/Win32PortHost.h"

#include "serial/ComPortHelpers.h"
#include "serial/D2xxLatency.h"
#include "serial/NativePortHost.h"
#include "serial/SetupApiPorts.h"
#include "serial/Win32SerialPort.h"
#include "ftdi/DynamicD2xx.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <limits>
#include <map>

namespace talvex {
namespace {

// The portable copies of the codes must be the system's own.
static_assert(kWinErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kWinErrorPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(kWinErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kWinErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(kWinErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kWinErrorBadCommand == ERROR_BAD_COMMAND);
static_assert(kWinErrorGenFailure == ERROR_GEN_FAILURE);
static_assert(kWinErrorOperationAborted == ERROR_OPERATION_ABORTED);
static_assert(kWinErrorDeviceRemoved == ERROR_DEVICE_REMOVED);
static_assert(kWinErrorBusy == ERROR_BUSY);

std::string toUtf8(const std::wstring& text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return {};
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), needed, nullptr, nullptr) != needed)
        return {};
    return utf8;
}

/// The system's own words for an error code, in UTF-8.
std::string systemMessage(DWORD code)
{
    wchar_t buffer[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer,
                                        static_cast<DWORD>(std::size(buffer)), nullptr);
    if (length == 0)
        return {};
    return toUtf8(std::wstring(buffer, length));
}

OpenResult failure(const std::string& name, DWORD code)
{
    return comOpenError(name, code, systemMessage(code));
}

// Whether the system has a device of that name, without opening it.
bool comPortExists(const std::wstring& name)
{
    wchar_t target[512];
    return QueryDosDeviceW(name.c_str(), target, static_cast<DWORD>(std::size(target))) != 0
        || GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

} // namespace

Win32PortHost::Win32PortHost()
    : Win32PortHost(Sources{setupApiUsbPorts, [] { return DynamicD2xx::load(); }})
{
}

Win32PortHost::Win32PortHost(Sources sources)
    : m_sources(std::move(sources))
{
}

std::vector<PortInfo> Win32PortHost::listPorts()
{
    // The names as before whatever SetupAPI finds: a port it does not list
    // (under Wine, say) is still tried.
    std::map<std::string, UsbIdentity> usb = m_sources.usbPorts();
    std::vector<PortInfo> ports;
    for (std::string& name : comCandidateNames()) {
        const auto found = usb.find(name);
        ports.push_back({std::move(name), found == usb.end() ? std::nullopt : std::optional(found->second)});
    }
    std::lock_guard lock(m_mutex);
    m_usb = std::move(usb);
    return ports;
}

PortInfo Win32PortHost::describe(const std::string& name)
{
    // SetupAPI spells the names in capitals; Windows takes any case.
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::lock_guard lock(m_mutex);
    // The last listing serves a scan's many opens; a port it lacks that
    // exists (plugged in since, or opened before any listing) is asked for
    // afresh, so a scan of absent names costs no SetupAPI call each.
    if (!m_usb || (m_usb->count(key) == 0 && comPortExists(Win32SerialPort::toWide(key))))
        m_usb = m_sources.usbPorts();
    const auto found = m_usb->find(key);
    return {name, found == m_usb->end() ? std::nullopt : std::optional(found->second)};
}

std::shared_ptr<D2xxApi> Win32PortHost::d2xx()
{
    std::lock_guard lock(m_mutex);
    // Loaded once: a library installed later counts from the next start.
    if (!m_d2xx)
        m_d2xx = m_sources.d2xx();
    return m_d2xx->api;
}

OpenResult Win32PortHost::open(const std::string& name, const std::string& mode)
{
    const std::wstring path = Win32SerialPort::toWide(comDevicePath(name));
    if (path.empty())
        return failure(name, ERROR_INVALID_NAME);

    // Before CreateFileW: D2XX cannot open the channel once its COM port
    // is open. Undone by the port after it closed, or here on failure.
    const PortInfo described = describe(name);
    LatencyRequest latency;
    if (described.usb && isFtdi(described.usb->vendorId))
        latency = lowerLatencyTimer(d2xx(), described);

    // Exclusive and synchronous: the device protocol is strictly
    // request/answer, and a second program on the line would garble it.
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failure(name, GetLastError());

    auto port = std::make_unique<Win32SerialPort>(handle);
    port->keepLatencyHold(std::move(latency.hold));
    // Without the time-outs a read could block for ever; that port is no use.
    if (!port->applyFixedTimeouts()) {
        const DWORD code = GetLastError();
        port.reset();
        return failure(name, code);
    }
    // A port that will not take the mode cannot talk to the device; every
    // backend fails the open then, so callers see one behaviour.
    SetLastError(0); // a malformed string fails before any system call
    if (!port->applyMode(mode)) {
        const DWORD code = GetLastError();
        port.reset();
        return fail(Status::Other, name + ": cannot set mode \"" + mode + "\""
                                       + (code != 0 ? ": " + trimTrailingSpace(systemMessage(code)) : ""));
    }

    // Said only for a port that opened: a failed open has its own line.
    if (!latency.logLine.empty())
        log(latency.logLine);
    return OpenResult(std::unique_ptr<SerialPort>(std::move(port)));
}

std::unique_ptr<PortHost> makeNativePortHost()
{
    return std::make_unique<Win32PortHost>();
}

} // namespace talvex
