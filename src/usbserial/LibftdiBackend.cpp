#include "usbserial/LibftdiBackend.h"

#include "ftdi/DynamicLibrary.h"
#include "usbserial/EepromImage.h"

#include <libftdi1/ftdi.h>
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace talvex {
namespace {

// A D2XX record's Type, from the chip's release number as libftdi guesses
// the chip type from it.
std::uint32_t d2xxTypeOf(std::uint16_t bcdDevice)
{
    switch (bcdDevice) {
    case 0x0400: return 0; // FT232BM
    case 0x0200: return 1; // FT232AM
    case 0x0500: return 4; // FT2232C
    case 0x0600: return 5; // FT232R
    case 0x0700: return 6; // FT2232H
    case 0x0800: return 7; // FT4232H
    case 0x0900: return 8; // FT232H
    case 0x1000: return 9; // FT-X
    default: return 3;     // unknown
    }
}

// The entry points used, typed from libftdi's and libusb's own headers.
// libftdi finds, names and reads; the chip's handle is opened through
// libusb and lent to libftdi (ftdi_set_usbdev), so nothing reaches into
// libftdi's context: ftdi_write_eeprom_location refuses the words below
// 0x80 that hold the serial number, so the word write is libusb's.
struct LibftdiFunctions {
    decltype(&::ftdi_get_library_version) libraryVersion = nullptr;
    decltype(&::ftdi_new) ftdiNew = nullptr;
    decltype(&::ftdi_free) ftdiFree = nullptr;
    decltype(&::ftdi_set_interface) setInterface = nullptr;
    decltype(&::ftdi_usb_find_all) findAll = nullptr;
    decltype(&::ftdi_list_free) listFree = nullptr;
    decltype(&::ftdi_usb_get_strings) getStrings = nullptr;
    decltype(&::ftdi_set_usbdev) setUsbDev = nullptr;
    decltype(&::ftdi_read_eeprom_location) readLocation = nullptr;
    decltype(&::ftdi_get_error_string) errorString = nullptr;
    decltype(&::libusb_get_device_descriptor) deviceDescriptor = nullptr;
    decltype(&::libusb_get_bus_number) busNumber = nullptr;
    decltype(&::libusb_get_device_address) deviceAddress = nullptr;
    decltype(&::libusb_get_port_numbers) portNumbers = nullptr;
    decltype(&::libusb_open) usbOpen = nullptr;
    decltype(&::libusb_close) usbClose = nullptr;
    decltype(&::libusb_set_auto_detach_kernel_driver) autoDetach = nullptr;
    decltype(&::libusb_claim_interface) claim = nullptr;
    decltype(&::libusb_release_interface) release = nullptr;
    decltype(&::libusb_control_transfer) controlTransfer = nullptr;
    decltype(&::libusb_error_name) errorName = nullptr;
};

template<typename Fn>
bool resolve(const DynamicLibrary& library, const char* name, Fn& target)
{
    target = reinterpret_cast<Fn>(library.symbol(name));
    return target != nullptr;
}

// Looks every entry point up; the first one missing, or null.
const char* resolveAll(const DynamicLibrary& library, LibftdiFunctions& f)
{
    const std::pair<bool, const char*> found[] = {
        {resolve(library, "ftdi_get_library_version", f.libraryVersion), "ftdi_get_library_version"},
        {resolve(library, "ftdi_new", f.ftdiNew), "ftdi_new"},
        {resolve(library, "ftdi_free", f.ftdiFree), "ftdi_free"},
        {resolve(library, "ftdi_set_interface", f.setInterface), "ftdi_set_interface"},
        {resolve(library, "ftdi_usb_find_all", f.findAll), "ftdi_usb_find_all"},
        {resolve(library, "ftdi_list_free", f.listFree), "ftdi_list_free"},
        {resolve(library, "ftdi_usb_get_strings", f.getStrings), "ftdi_usb_get_strings"},
        {resolve(library, "ftdi_set_usbdev", f.setUsbDev), "ftdi_set_usbdev"},
        {resolve(library, "ftdi_read_eeprom_location", f.readLocation), "ftdi_read_eeprom_location"},
        {resolve(library, "ftdi_get_error_string", f.errorString), "ftdi_get_error_string"},
        {resolve(library, "libusb_get_device_descriptor", f.deviceDescriptor), "libusb_get_device_descriptor"},
        {resolve(library, "libusb_get_bus_number", f.busNumber), "libusb_get_bus_number"},
        {resolve(library, "libusb_get_device_address", f.deviceAddress), "libusb_get_device_address"},
        {resolve(library, "libusb_get_port_numbers", f.portNumbers), "libusb_get_port_numbers"},
        {resolve(library, "libusb_open", f.usbOpen), "libusb_open"},
        {resolve(library, "libusb_close", f.usbClose), "libusb_close"},
        {resolve(library, "libusb_set_auto_detach_kernel_driver", f.autoDetach),
         "libusb_set_auto_detach_kernel_driver"},
        {resolve(library, "libusb_claim_interface", f.claim), "libusb_claim_interface"},
        {resolve(library, "libusb_release_interface", f.release), "libusb_release_interface"},
        {resolve(library, "libusb_control_transfer", f.controlTransfer), "libusb_control_transfer"},
        {resolve(library, "libusb_error_name", f.errorName), "libusb_error_name"},
    };
    for (const auto& [ok, name] : found) {
        if (!ok)
            return name;
    }
    return nullptr;
}

// The library and the functions, shared by the backend and its sessions
// so the library stays loaded while a chip is open.
struct LoadedLibftdi {
    DynamicLibrary library;
    LibftdiFunctions f;

    Failure ftdiFailure(ftdi_context* context, int code, Status status) const
    {
        const char* text = context ? f.errorString(context) : nullptr;
        return fail(status, std::string(text ? text : "libftdi error") + " (" + std::to_string(code) + ")");
    }

    Failure usbFailure(int code, const char* what) const
    {
        return fail(libusbStatus(code), std::string(what) + ": " + f.errorName(code));
    }

    static Status libusbStatus(int code)
    {
        switch (code) {
        case LIBUSB_ERROR_NO_DEVICE:
        case LIBUSB_ERROR_NOT_FOUND: return Status::Gone;
        case LIBUSB_ERROR_ACCESS: return Status::Denied;
        case LIBUSB_ERROR_BUSY: return Status::Busy;
        case LIBUSB_ERROR_NOT_SUPPORTED: return Status::Unsupported;
        case LIBUSB_ERROR_TIMEOUT: return Status::TimedOut;
        default: return Status::Other;
        }
    }
};

constexpr unsigned kUsbTimeoutMs = 5000;
constexpr int kInterfaceA = 0;

class LibftdiSession final : public FtdiSession {
public:
    LibftdiSession(std::shared_ptr<const LoadedLibftdi> lib, ftdi_context* context, libusb_device_handle* handle)
        : m_lib(std::move(lib))
        , m_context(context)
        , m_handle(handle)
    {
    }
    ~LibftdiSession() override { (void)close(); } // unchecked, as documented

    Result<std::uint16_t> readWord(std::size_t word) override
    {
        unsigned short read = 0;
        const int code = m_lib->f.readLocation(m_context, static_cast<int>(word), &read);
        // -1: the request failed, -2: no device open (ftdi_read_eeprom_location).
        if (code != 0)
            return m_lib->ftdiFailure(m_context, code, code == -2 ? Status::Gone : Status::Other);
        return static_cast<std::uint16_t>(read);
    }

    // FTDI's EEPROM write request (SIO_WRITE_EEPROM) for one word.
    Result<void> writeWord(std::size_t word, std::uint16_t value) override
    {
        const int code = m_lib->f.controlTransfer(m_handle, FTDI_DEVICE_OUT_REQTYPE, SIO_WRITE_EEPROM_REQUEST, value,
                                                  static_cast<std::uint16_t>(word), nullptr, 0, kUsbTimeoutMs);
        if (code < 0)
            return m_lib->usbFailure(code, "EEPROM write request");
        return {};
    }

    // Releasing the interface gives it back to ftdi_sio (auto-detach).
    Result<void> close() override
    {
        if (!m_context)
            return {};
        const int released = m_lib->f.release(m_handle, kInterfaceA);
        m_lib->f.setUsbDev(m_context, nullptr);
        m_lib->f.usbClose(m_handle);
        m_lib->f.ftdiFree(m_context);
        m_context = nullptr;
        m_handle = nullptr;
        // A chip unplugged since has nothing left to release.
        if (released != 0 && released != LIBUSB_ERROR_NO_DEVICE && released != LIBUSB_ERROR_NOT_FOUND)
            return m_lib->usbFailure(released, "releasing interface A");
        return {};
    }

private:
    std::shared_ptr<const LoadedLibftdi> m_lib;
    ftdi_context* m_context;
    libusb_device_handle* m_handle;
};

class LibftdiBackend final : public FtdiBackend {
public:
    LibftdiBackend(std::shared_ptr<const LoadedLibftdi> lib, ftdi_context* listing, std::string nameOrPath,
                   std::string version)
        : m_lib(std::move(lib))
        , m_listing(listing)
        , m_nameOrPath(std::move(nameOrPath))
        , m_version(std::move(version))
    {
    }
    ~LibftdiBackend() override
    {
        freeFound();
        m_lib->f.ftdiFree(m_listing);
    }

    std::string name() const override { return "libftdi " + m_version + " (" + m_nameOrPath + ")"; }

    Result<std::vector<FtdiDevice>> listDevices() override
    {
        freeFound();
        // 0:0 is libftdi's own list of FTDI's product IDs. Its codes: -3
        // out of memory, -5 the device list failed, -6 a descriptor failed.
        const int found = m_lib->f.findAll(m_listing, &m_found, 0, 0);
        if (found < 0)
            return m_lib->ftdiFailure(m_listing, found, Status::Other);
        std::vector<FtdiDevice> devices;
        for (ftdi_device_list* entry = m_found; entry; entry = entry->next) {
            FtdiDevice device;
            if (describe(entry->dev, device))
                devices.push_back(device);
        }
        freeFound();
        return devices;
    }

    bool canReadEeprom() const override { return true; }

    Result<std::unique_ptr<FtdiSession>> open(const FtdiDevice& wanted) override
    {
        ftdi_device_list* found = nullptr;
        const int count = m_lib->f.findAll(m_listing, &found, 0, 0);
        if (count < 0)
            return m_lib->ftdiFailure(m_listing, count, Status::Other);
        // Bus and address name one device until it is unplugged; the
        // serial number makes sure an address given anew is not taken.
        libusb_device_handle* handle = nullptr;
        Result<void> result = fail(Status::Gone, "the chip is no longer attached as listed");
        for (ftdi_device_list* entry = found; entry; entry = entry->next) {
            FtdiDevice device;
            if (!describe(entry->dev, device) || device.locId != wanted.locId
                || device.serialNumber != wanted.serialNumber || device.location != wanted.location)
                continue;
            const int code = m_lib->f.usbOpen(entry->dev, &handle);
            result = code == 0 ? Result<void>() : Result<void>(m_lib->usbFailure(code, "opening the USB device"));
            break;
        }
        if (found)
            m_lib->f.listFree(&found);
        if (!result)
            return result.failure();

        // ftdi_sio lets go of interface A for the session and takes it back
        // when it is released; reader 2's port on B stays with it throughout.
        m_lib->f.autoDetach(handle, 1);
        const int claimed = m_lib->f.claim(handle, kInterfaceA);
        if (claimed != 0) {
            m_lib->f.usbClose(handle);
            return m_lib->usbFailure(claimed, "claiming interface A");
        }
        ftdi_context* context = m_lib->f.ftdiNew();
        if (!context) {
            m_lib->f.release(handle, kInterfaceA);
            m_lib->f.usbClose(handle);
            return fail(Status::Other, "ftdi_new failed");
        }
        m_lib->f.setInterface(context, INTERFACE_A);
        m_lib->f.setUsbDev(context, handle);
        return std::unique_ptr<FtdiSession>(std::make_unique<LibftdiSession>(m_lib, context, handle));
    }

private:
    // Fills `device` from the USB device; false when it is gone.
    bool describe(libusb_device* dev, FtdiDevice& device)
    {
        libusb_device_descriptor descriptor {};
        if (m_lib->f.deviceDescriptor(dev, &descriptor) < 0)
            return false;
        const std::uint8_t bus = m_lib->f.busNumber(dev);
        const std::uint8_t address = m_lib->f.deviceAddress(dev);
        device.type = d2xxTypeOf(descriptor.bcdDevice);
        device.kind = ftdiChipKindOfRelease(descriptor.bcdDevice);
        device.id = static_cast<std::uint32_t>(descriptor.idVendor) << 16 | descriptor.idProduct;
        device.locId = static_cast<std::uint32_t>(bus) << 8 | address;
        device.location = std::to_string(bus);
        std::array<std::uint8_t, 8> ports {};
        const int depth = m_lib->f.portNumbers(dev, ports.data(), static_cast<int>(ports.size()));
        for (int i = 0; i < depth; ++i)
            device.location += (i == 0 ? "-" : ".") + std::to_string(ports[static_cast<std::size_t>(i)]);
        readStrings(dev, device);
        return true;
    }

    // ftdi_usb_get_strings: -9 only the serial number failed (a chip
    // without one); -4 the device could not be opened (permissions); the
    // rest, a string that could not be read.
    void readStrings(libusb_device* dev, FtdiDevice& device)
    {
        std::array<char, 128> description {};
        std::array<char, 128> serial {};
        const int code = m_lib->f.getStrings(m_listing, dev, nullptr, 0, description.data(),
                                             static_cast<int>(description.size()), serial.data(),
                                             static_cast<int>(serial.size()));
        if (code == 0 || code == -9) {
            device.description = description.data();
            device.serialNumber = code == 0 ? serial.data() : "";
            return;
        }
        device.description = "(not accessible: " + m_lib->ftdiFailure(m_listing, code, Status::Other).detail + ")";
    }

    void freeFound()
    {
        if (m_found)
            m_lib->f.listFree(&m_found);
        m_found = nullptr;
    }

    std::shared_ptr<const LoadedLibftdi> m_lib;
    ftdi_context* m_listing;
    std::string m_nameOrPath;
    std::string m_version;
    ftdi_device_list* m_found = nullptr;
};

} // namespace

std::string defaultLibftdiLibraryName()
{
    return "libftdi1.so.2";
}

FtdiLoadResult loadLibftdi(const std::string& nameOrPath)
{
    auto lib = std::make_shared<LoadedLibftdi>();
    if (!lib->library.load(nameOrPath)) {
        return {nullptr,
                "libftdi (" + nameOrPath + ") could not be loaded (" +
                    lib->library.error() + "). Install the package libftdi1-2.",
                {}};
    }
    if (const char* missing = resolveAll(lib->library, lib->f)) {
        return {nullptr,
                "libftdi (" + nameOrPath + ") has no entry point " + missing +
                    ". Install libftdi 1.5 or later.",
                {}};
    }
    // Older versions leave ftdi_sio bound to the chip after a write.
    const ftdi_version_info version = lib->f.libraryVersion();
    const std::string versionText = std::to_string(version.major) + "." + std::to_string(version.minor);
    if (version.major < 1 || (version.major == 1 && version.minor < 5)) {
        return {nullptr,
                "libftdi " + versionText + " (" + nameOrPath +
                    ") is too old; the USB serial number needs libftdi 1.5 or later.",
                {}};
    }
    ftdi_context* listing = lib->f.ftdiNew();
    if (!listing) {
        return {nullptr, "libftdi (" + nameOrPath + ") could not start libusb.", {}};
    }
    return {std::make_shared<LibftdiBackend>(std::move(lib), listing, nameOrPath, versionText), {}, {}};
}

} // namespace talvex
