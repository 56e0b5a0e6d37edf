#include "serial/UdevPorts.h"

#include <cstdlib>
#include <string_view>

#include <libudev.h>
#include <sys/stat.h>

namespace talvex {
namespace {

std::string text(const char* value)
{
    return value ? std::string(value) : std::string();
}

std::optional<unsigned long> hexNumber(const std::string& digits, unsigned long limit)
{
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(digits.c_str(), &end, 16);
    if (*end != '\0' || value > limit)
        return std::nullopt;
    return value;
}

// udev's ID_VENDOR and ID_MODEL stand for blanks with '_'.
std::string blanksBack(std::string value)
{
    for (char& c : value) {
        if (c == '_')
            c = ' ';
    }
    return value;
}

// The udev property when the database has it (a udev daemon runs), else
// the attribute the kernel shows in sysfs.
std::string propertyOr(udev_device* tty, const char* property, udev_device* parent, const char* attribute)
{
    std::string value = text(udev_device_get_property_value(tty, property));
    if (value.empty() && parent)
        value = text(udev_device_get_sysattr_value(parent, attribute));
    return value;
}

std::optional<UsbIdentity> usbIdentity(udev_device* tty)
{
    udev_device* device = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    if (!device)
        return std::nullopt;
    udev_device* interface = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");

    const auto vendor = hexNumber(propertyOr(tty, "ID_VENDOR_ID", device, "idVendor"), 0xFFFF);
    const auto product = hexNumber(propertyOr(tty, "ID_MODEL_ID", device, "idProduct"), 0xFFFF);
    if (!vendor || !product)
        return std::nullopt;
    UsbIdentity usb;
    usb.vendorId = static_cast<std::uint16_t>(*vendor);
    usb.productId = static_cast<std::uint16_t>(*product);
    // The descriptor's own string: ID_SERIAL_SHORT has '_' for a blank,
    // which the FTDI libraries would not match.
    usb.serial = text(udev_device_get_sysattr_value(device, "serial"));
    if (usb.serial.empty())
        usb.serial = text(udev_device_get_property_value(tty, "ID_SERIAL_SHORT"));
    if (const auto number = hexNumber(propertyOr(tty, "ID_USB_INTERFACE_NUM", interface, "bInterfaceNumber"), 0xFF))
        usb.interfaceNumber = static_cast<int>(*number);
    // The descriptors' own words first; udev's copies have '_' for blanks.
    usb.manufacturer = text(udev_device_get_sysattr_value(device, "manufacturer"));
    if (usb.manufacturer.empty())
        usb.manufacturer = blanksBack(text(udev_device_get_property_value(tty, "ID_VENDOR")));
    usb.product = text(udev_device_get_sysattr_value(device, "product"));
    if (usb.product.empty())
        usb.product = blanksBack(text(udev_device_get_property_value(tty, "ID_MODEL")));
    usb.location = text(udev_device_get_sysname(device));
    return usb;
}

} // namespace

UdevPorts::UdevPorts()
    : m_udev(udev_new())
{
}

UdevPorts::~UdevPorts()
{
    if (m_udev)
        udev_unref(m_udev);
}

UdevTty UdevPorts::describeNode(const std::string& path) const
{
    UdevTty result;
    struct stat node {};
    if (!m_udev || ::stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return result;
    udev_device* tty = udev_device_new_from_devnum(m_udev, 'c', node.st_rdev);
    if (!tty)
        return result;
    result.usb = usbIdentity(tty);
    // Serial core's port type; 0 is PORT_UNKNOWN, a node with no UART.
    if (const char* type = udev_device_get_sysattr_value(tty, "type")) {
        char* end = nullptr;
        const long value = std::strtol(type, &end, 10);
        if (end != type)
            result.uart = value != 0;
    }
    udev_device_unref(tty);
    return result;
}

} // namespace talvex
