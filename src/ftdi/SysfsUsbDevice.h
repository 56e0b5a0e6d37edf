#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace talvex {

/// The USB device a serial port belongs to, as sysfs shows it: read
/// directly, with or without udev.
struct SysfsUsbDevice {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string deviceDirectory; ///< the port's own sysfs directory (latency_timer lives there)
    std::string usbNode; ///< the USB device's node that libusb opens; empty when sysfs does not say
};

/// Nothing for a port that is no USB device (a pseudo-terminal, a UART).
/// Tests point the two roots into a tree of their own.
std::optional<SysfsUsbDevice> usbDeviceOfTty(const std::string& portPath,
                                             const std::string& sysClassTty = "/sys/class/tty",
                                             const std::string& devBusUsb = "/dev/bus/usb");

} // namespace talvex
