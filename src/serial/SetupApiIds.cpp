#include "serial/SetupApiIds.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace talvex {
namespace {

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

std::optional<unsigned> hexField(const std::string& id, std::string_view key, std::size_t digits)
{
    const std::size_t at = id.find(key);
    if (at == std::string::npos || at + key.size() + digits > id.size())
        return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = id[at + key.size() + i];
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        const bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
        value = value * 16 + static_cast<unsigned>(digit ? c - '0' : c - 'A' + 10);
    }
    return value;
}

// The last part of an instance id is the device's serial number, unless
// Windows made one up because the device has none (those carry '&').
std::string serialOfInstance(std::string_view instanceId)
{
    const std::size_t slash = instanceId.rfind('\\');
    if (slash == std::string_view::npos)
        return {};
    const std::string_view last = instanceId.substr(slash + 1);
    if (last.empty() || last.find('&') != std::string_view::npos)
        return {};
    return std::string(last);
}

} // namespace

std::optional<UsbIdentity> usbIdentityFromIds(std::string_view hardwareId, std::string_view instanceId,
                                              std::string_view parentInstanceId)
{
    const std::string hardware = upper(hardwareId);
    const std::string instance = upper(instanceId);
    const std::string& ids = hardware.find("VID_") != std::string::npos ? hardware : instance;
    const auto vendor = hexField(ids, "VID_", 4);
    const auto product = hexField(ids, "PID_", 4);
    if (!vendor || !product)
        return std::nullopt;

    UsbIdentity usb;
    usb.vendorId = static_cast<std::uint16_t>(*vendor);
    usb.productId = static_cast<std::uint16_t>(*product);

    if (hardware.rfind("FTDIBUS\\", 0) == 0) {
        // FTDIBUS\VID_0403+PID_6010+<serial><channel>\0000
        const std::size_t start = hardware.find('+', hardware.find("PID_"));
        std::string serial;
        if (start != std::string::npos) {
            const std::size_t end = std::min(hardware.find('\\', start), hardware.size());
            serial = std::string(hardwareId.substr(start + 1, end - start - 1));
        }
        if (hasChannelLetters(usb.vendorId, usb.productId) && !serial.empty()) {
            if (const std::optional<int> channel = interfaceOfChannelLetter(serial.back())) {
                usb.interfaceNumber = *channel;
                serial.pop_back();
            }
        }
        if (serial.find('&') == std::string::npos)
            usb.serial = serial;
        return usb;
    }

    // USB\VID_2341&PID_0043&MI_00\...: one interface of a composite device,
    // whose serial is its parent's.
    if (const auto interface = hexField(instance, "&MI_", 2)) {
        usb.interfaceNumber = static_cast<int>(*interface);
        usb.serial = serialOfInstance(parentInstanceId);
    } else {
        usb.serial = serialOfInstance(instanceId);
    }
    return usb;
}

} // namespace talvex
