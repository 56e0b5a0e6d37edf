#include "ftdi/SysfsUsbDevice.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace talvex {
namespace fs = std::filesystem;
namespace {

std::string firstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::uint16_t hexId(const fs::path& file)
{
    return static_cast<std::uint16_t>(std::strtoul(firstLine(file).c_str(), nullptr, 16));
}

} // namespace

std::optional<SysfsUsbDevice> usbDeviceOfTty(const std::string& portPath, const std::string& sysClassTty,
                                             const std::string& devBusUsb)
{
    std::error_code error;
    fs::path node = fs::canonical(portPath, error);
    if (error)
        node = portPath;
    const fs::path device = fs::canonical(fs::path(sysClassTty) / node.filename() / "device", error);
    if (error)
        return std::nullopt;
    // Up from the port: the interface, then the USB device with its ids.
    fs::path directory = device;
    for (int level = 0; level < 6 && directory.has_relative_path(); ++level, directory = directory.parent_path()) {
        if (fs::exists(directory / "idVendor", error) && fs::exists(directory / "idProduct", error)) {
            SysfsUsbDevice identity;
            identity.vendorId = hexId(directory / "idVendor");
            identity.productId = hexId(directory / "idProduct");
            identity.deviceDirectory = device.string();
            const std::string bus = firstLine(directory / "busnum");
            const std::string address = firstLine(directory / "devnum");
            if (!bus.empty() && !address.empty()) {
                char usbNode[16];
                std::snprintf(usbNode, sizeof usbNode, "%03d/%03d", std::atoi(bus.c_str()), std::atoi(address.c_str()));
                identity.usbNode = (fs::path(devBusUsb) / usbNode).string();
            }
            return identity;
        }
    }
    return std::nullopt;
}

} // namespace talvex
