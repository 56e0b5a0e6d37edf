#include "usbserial/LibftdiBackend.h"

#include "usbserial/DynamicLibrary.h"
#include "usbserial/EepromImage.h"

#include <libftdi1/ftdi.h>
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace talvex {
namespace {

constexpr int kFtdiVendor = 0x0403;

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
struct LibftdiFunctions {
    decltype(&::ftdi_new) ftdiNew = nullptr;
    decltype(&::ftdi_free) ftdiFree = nullptr;
    decltype(&::ftdi_set_interface) setInterface = nullptr;
    decltype(&::ftdi_usb_find_all) findAll = nullptr;
    decltype(&::ftdi_list_free) listFree = nullptr;
    decltype(&::ftdi_usb_get_strings) getStrings = nullptr;
    decltype(&::ftdi_usb_open_desc_index) openDescIndex = nullptr;
    decltype(&::ftdi_usb_open_bus_addr) openBusAddr = nullptr;
    decltype(&::ftdi_usb_close) usbClose = nullptr;
    decltype(&::ftdi_erase_eeprom) eraseEeprom = nullptr;
    decltype(&::ftdi_read_eeprom_location) readLocation = nullptr;
    decltype(&::ftdi_get_error_string) errorString = nullptr;
    // From libusb, which libftdi loads: the device's IDs and place, and
    // the word write (ftdi_write_eeprom_location refuses words below 0x80).
    decltype(&::libusb_get_device_descriptor) deviceDescriptor = nullptr;
    decltype(&::libusb_get_bus_number) busNumber = nullptr;
    decltype(&::libusb_get_device_address) deviceAddress = nullptr;
    decltype(&::libusb_control_transfer) controlTransfer = nullptr;
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
        {resolve(library, "ftdi_new", f.ftdiNew), "ftdi_new"},
        {resolve(library, "ftdi_free", f.ftdiFree), "ftdi_free"},
        {resolve(library, "ftdi_set_interface", f.setInterface), "ftdi_set_interface"},
        {resolve(library, "ftdi_usb_find_all", f.findAll), "ftdi_usb_find_all"},
        {resolve(library, "ftdi_list_free", f.listFree), "ftdi_list_free"},
        {resolve(library, "ftdi_usb_get_strings", f.getStrings), "ftdi_usb_get_strings"},
        {resolve(library, "ftdi_usb_open_desc_index", f.openDescIndex), "ftdi_usb_open_desc_index"},
        {resolve(library, "ftdi_usb_open_bus_addr", f.openBusAddr), "ftdi_usb_open_bus_addr"},
        {resolve(library, "ftdi_usb_close", f.usbClose), "ftdi_usb_close"},
        {resolve(library, "ftdi_erase_eeprom", f.eraseEeprom), "ftdi_erase_eeprom"},
        {resolve(library, "ftdi_read_eeprom_location", f.readLocation), "ftdi_read_eeprom_location"},
        {resolve(library, "ftdi_get_error_string", f.errorString), "ftdi_get_error_string"},
        {resolve(library, "libusb_get_device_descriptor", f.deviceDescriptor), "libusb_get_device_descriptor"},
        {resolve(library, "libusb_get_bus_number", f.busNumber), "libusb_get_bus_number"},
        {resolve(library, "libusb_get_device_address", f.deviceAddress), "libusb_get_device_address"},
        {resolve(library, "libusb_control_transfer", f.controlTransfer), "libusb_control_transfer"},
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

    FtdiResult result(ftdi_context* context, int code, FtdiError error) const
    {
        const char* text = context ? f.errorString(context) : nullptr;
        return {error, code, std::string(text ? text : "libftdi error") + " (" + std::to_string(code) + ")"};
    }
};

// libftdi's open codes: -3 no such device; -4 libusb_open failed (in
// practice the permissions); -5 the interface is claimed by another
// program; -8 "inappropriate permissions on device!".
FtdiError openError(int code)
{
    switch (code) {
    case -3: return FtdiError::NotFound;
    case -4:
    case -8: return FtdiError::Denied;
    case -5: return FtdiError::Busy;
    default: return FtdiError::Other;
    }
}

FtdiError libusbError(int code)
{
    switch (code) {
    case LIBUSB_ERROR_NO_DEVICE: return FtdiError::Disconnected;
    case LIBUSB_ERROR_ACCESS: return FtdiError::Denied;
    case LIBUSB_ERROR_BUSY: return FtdiError::Busy;
    default: return FtdiError::Other;
    }
}

class LibftdiSession final : public FtdiSession {
public:
    LibftdiSession(std::shared_ptr<const LoadedLibftdi> lib, ftdi_context* context)
        : m_lib(std::move(lib))
        , m_context(context)
    {
    }
    ~LibftdiSession() override
    {
        if (m_context) {
            m_lib->f.usbClose(m_context);
            m_lib->f.ftdiFree(m_context);
        }
    }

    FtdiResult erase() override
    {
        const int code = m_lib->f.eraseEeprom(m_context);
        return code == 0 ? FtdiResult {} : m_lib->result(m_context, code, FtdiError::Other);
    }

    FtdiResult readWord(std::size_t word, std::uint16_t& value) override
    {
        unsigned short read = 0;
        const int code = m_lib->f.readLocation(m_context, static_cast<int>(word), &read);
        if (code != 0)
            return m_lib->result(m_context, code, code == -2 ? FtdiError::Disconnected : FtdiError::Other);
        value = read;
        return {};
    }

    // The request ftdi_write_eeprom sends for each word, sent for one word.
    FtdiResult writeWord(std::size_t word, std::uint16_t value) override
    {
        const int code = m_lib->f.controlTransfer(m_context->usb_dev, FTDI_DEVICE_OUT_REQTYPE,
                                                  SIO_WRITE_EEPROM_REQUEST, value, static_cast<std::uint16_t>(word),
                                                  nullptr, 0, static_cast<unsigned>(m_context->usb_write_timeout));
        if (code >= 0)
            return {};
        return {libusbError(code), code, "libusb error " + std::to_string(code)};
    }

    // Releasing the interface is what gives it back to ftdi_sio.
    FtdiResult close() override
    {
        const int code = m_lib->f.usbClose(m_context);
        FtdiResult result = code == 0 ? FtdiResult {} : m_lib->result(m_context, code, FtdiError::Other);
        m_lib->f.ftdiFree(m_context);
        m_context = nullptr;
        return result;
    }

private:
    std::shared_ptr<const LoadedLibftdi> m_lib;
    ftdi_context* m_context;
};

class LibftdiBackend final : public FtdiBackend {
public:
    LibftdiBackend(std::shared_ptr<const LoadedLibftdi> lib, ftdi_context* listing, std::string nameOrPath)
        : m_lib(std::move(lib))
        , m_listing(listing)
        , m_nameOrPath(std::move(nameOrPath))
    {
    }
    ~LibftdiBackend() override
    {
        freeFound();
        m_lib->f.ftdiFree(m_listing);
    }

    std::string name() const override { return "libftdi (" + m_nameOrPath + ")"; }

    FtdiResult countDevices(std::uint32_t& count) override
    {
        freeFound();
        count = 0;
        // 0:0 is libftdi's own list of FTDI's product IDs.
        const int found = m_lib->f.findAll(m_listing, &m_found, 0, 0);
        if (found < 0)
            return m_lib->result(m_listing, found, FtdiError::Other);
        for (ftdi_device_list* entry = m_found; entry; entry = entry->next)
            ++count;
        return {};
    }

    FtdiResult listDevices(std::vector<FtdiDevice>& devices) override
    {
        devices.clear();
        m_chips.clear();
        for (ftdi_device_list* entry = m_found; entry; entry = entry->next) {
            libusb_device_descriptor descriptor {};
            if (m_lib->f.deviceDescriptor(entry->dev, &descriptor) < 0)
                continue; // gone since it was counted
            Chip chip;
            chip.productId = descriptor.idProduct;
            chip.bus = m_lib->f.busNumber(entry->dev);
            chip.address = m_lib->f.deviceAddress(entry->dev);
            FtdiDevice device;
            device.type = d2xxTypeOf(descriptor.bcdDevice);
            device.id = static_cast<std::uint32_t>(descriptor.idVendor) << 16 | descriptor.idProduct;
            device.locId = static_cast<std::uint32_t>(chip.bus) << 8 | chip.address;
            readStrings(entry->dev, device);
            chip.serial = device.serialNumber;
            devices.push_back(device);
            m_chips.push_back(chip);
        }
        freeFound();
        return {};
    }

    bool canReadEeprom() const override { return true; }

    std::unique_ptr<FtdiSession> open(int index, FtdiResult& result) override
    {
        if (index < 0 || static_cast<std::size_t>(index) >= m_chips.size()) {
            result = {FtdiError::NotFound, -3, "no such device in the last listing"};
            return nullptr;
        }
        const Chip& chip = m_chips[static_cast<std::size_t>(index)];
        ftdi_context* context = m_lib->f.ftdiNew();
        if (!context) {
            result = {FtdiError::Other, 0, "ftdi_new failed"};
            return nullptr;
        }
        // Interface A only: reader 2's port stays with ftdi_sio throughout.
        m_lib->f.setInterface(context, INTERFACE_A);
        context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
        const bool serialIsUnique = !chip.serial.empty()
            && std::count_if(m_chips.begin(), m_chips.end(), [&](const Chip& other) {
                   return other.serial == chip.serial;
               }) == 1;
        int code = serialIsUnique
            ? m_lib->f.openDescIndex(context, kFtdiVendor, chip.productId, nullptr, chip.serial.c_str(), 0)
            : m_lib->f.openBusAddr(context, chip.bus, chip.address);
        // The search by serial gives up at the first FTDI device the user
        // may not open, even another chip; this one's strings were read.
        if (serialIsUnique && code == -4)
            code = m_lib->f.openBusAddr(context, chip.bus, chip.address);
        if (code != 0) {
            result = m_lib->result(context, code, openError(code));
            m_lib->f.ftdiFree(context);
            return nullptr;
        }
        result = {};
        return std::make_unique<LibftdiSession>(m_lib, context);
    }

private:
    struct Chip {
        int productId = 0;
        std::uint8_t bus = 0;
        std::uint8_t address = 0;
        std::string serial;
    };

    // A chip without a serial string fails only that string (-9); one the
    // user may not open is listed with the reason instead of its name.
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
        device.description = "(not accessible: " + m_lib->result(m_listing, code, FtdiError::Other).text + ")";
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
    ftdi_device_list* m_found = nullptr;
    std::vector<Chip> m_chips;
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
                "USB serial tool unavailable: libftdi (" + nameOrPath + ") could not be loaded (" +
                    lib->library.error() + "). Install the package libftdi1-2.",
                {}};
    }
    if (const char* missing = resolveAll(lib->library, lib->f)) {
        return {nullptr,
                "USB serial tool unavailable: libftdi (" + nameOrPath + ") has no entry point " + missing +
                    ". Install libftdi 1.4 or later.",
                {}};
    }
    ftdi_context* listing = lib->f.ftdiNew();
    if (!listing) {
        return {nullptr, "USB serial tool unavailable: libftdi (" + nameOrPath + ") could not start libusb.", {}};
    }
    return {std::make_shared<LibftdiBackend>(std::move(lib), listing, nameOrPath), {}, {}};
}

} // namespace talvex
