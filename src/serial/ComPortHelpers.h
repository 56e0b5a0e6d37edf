#pragma once

#include "serial/PortHost.h"

#include <cstdint>
#include <string>
#include <vector>

namespace talvex {

// Plain rules of Windows COM ports, kept free of <windows.h> so they can be
// tested on any host. Win32PortHost.cpp checks the error codes below
// against the system headers at compile time.

/// Win32 error codes an open of a COM port commonly ends with.
inline constexpr std::uint32_t kWinErrorFileNotFound = 2;
inline constexpr std::uint32_t kWinErrorPathNotFound = 3;
inline constexpr std::uint32_t kWinErrorAccessDenied = 5;
inline constexpr std::uint32_t kWinErrorSharingViolation = 32;
inline constexpr std::uint32_t kWinErrorBusy = 170;
/// Codes a read ends with once the USB device behind the port is gone.
inline constexpr std::uint32_t kWinErrorInvalidHandle = 6;
inline constexpr std::uint32_t kWinErrorBadCommand = 22;
inline constexpr std::uint32_t kWinErrorGenFailure = 31;
inline constexpr std::uint32_t kWinErrorOperationAborted = 995;
inline constexpr std::uint32_t kWinErrorDeviceRemoved = 1617;

/// Highest COM port number offered for a scan.
inline constexpr int kHighestComPort = 254;

/// The device path CreateFile needs; the "\\.\" prefix is what makes
/// COM10 and above reachable at all.
inline std::string comDevicePath(const std::string& name)
{
    return "\\\\.\\" + name;
}

/// "COM1" … "COM254", in order.
inline std::vector<std::string> comCandidateNames()
{
    std::vector<std::string> names;
    names.reserve(kHighestComPort);
    for (int number = 1; number <= kHighestComPort; ++number)
        names.push_back("COM" + std::to_string(number));
    return names;
}

/// System messages end in a line break (and sometimes a space); a log line
/// must not.
inline std::string trimTrailingSpace(std::string text)
{
    while (!text.empty()) {
        const char last = text.back();
        if (last != '\r' && last != '\n' && last != ' ' && last != '\t')
            break;
        text.pop_back();
    }
    return text;
}

/// The one place that turns the error of a failed open into a kind and a
/// message. Windows reports a COM port held by another program as "access
/// denied", so those codes count as Busy and the text says both.
inline Failure comOpenError(const std::string& name, std::uint32_t code,
                              const std::string& systemText)
{
    Failure error;
    std::string summary;
    switch (code) {
    case kWinErrorFileNotFound:
    case kWinErrorPathNotFound:
        error.status = Status::Gone;
        summary = "no such port";
        break;
    case kWinErrorAccessDenied:
    case kWinErrorSharingViolation:
    case kWinErrorBusy:
        error.status = Status::Busy;
        summary = "in use by another program or access denied";
        break;
    default:
        error.status = Status::Other;
        summary = "could not be opened";
        break;
    }
    error.detail = name + ": " + summary + " (error " + std::to_string(code);
    const std::string text = trimTrailingSpace(systemText);
    if (!text.empty())
        error.detail += ": " + text;
    error.detail += ")";
    return error;
}

/// The one place that turns the error of a failed read into a status.
/// USB serial drivers answer a read on a removed device with any of these.
inline Status comReadStatus(std::uint32_t code)
{
    switch (code) {
    case kWinErrorAccessDenied:
    case kWinErrorInvalidHandle:
    case kWinErrorBadCommand:
    case kWinErrorGenFailure:
    case kWinErrorOperationAborted:
    case kWinErrorDeviceRemoved:
        return Status::Gone;
    default:
        return Status::Other;
    }
}

} // namespace talvex
