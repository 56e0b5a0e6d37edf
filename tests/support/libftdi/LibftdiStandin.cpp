// A stand-in for libftdi (and the few libusb entry points the tool takes
// from beneath it), for tests: the same C entry points, declared by
// libftdi's and libusb's own headers, over FTDI chips emulated in a state
// file that the test names in TALVEX_LIBFTDI_STATE (the D2XX stand-in's
// format). Every call reads the file and writes back what it changed.
//
// What it models of the real library: one device per chip; strings read
// with the kernel driver bound; a chip without a serial string fails only
// that string (-9); the open's detach modes (ftdi_sio lets go of the
// claimed interface; with AUTO_DETACH_REATACH_SIO_MODULE it takes it back
// when the interface is released, otherwise not; with DONT_DETACH the
// claim fails); the open's codes (-3 not found, -4 libusb_open failed, -5
// claim failed); the EEPROM word requests of libusb_control_transfer.

#include "support/ftd2xx/StandinState.h"

#include <libftdi1/ftdi.h>
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#define TALVEX_STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace standin = talvex::standin;

namespace {

// Device and handle pointers are small numbers no allocation takes, so a
// stale or foreign one is recognised instead of dereferenced.
constexpr std::uintptr_t kDeviceBase = 0x7D000000;
constexpr std::uintptr_t kHandleBase = 0x7E000000;
constexpr std::uint8_t kVendorOut = static_cast<std::uint8_t>(LIBUSB_REQUEST_TYPE_VENDOR)
    | static_cast<std::uint8_t>(LIBUSB_RECIPIENT_DEVICE) | static_cast<std::uint8_t>(LIBUSB_ENDPOINT_OUT);
constexpr std::uint8_t kWriteEepromRequest = 0x91;

std::optional<standin::State> load()
{
    const char* path = std::getenv(standin::kLibftdiStateVariable);
    return path ? standin::loadState(path) : std::nullopt;
}

void save(const standin::State& state)
{
    if (const char* path = std::getenv(standin::kLibftdiStateVariable))
        standin::saveState(path, state);
}

int fail(ftdi_context* ftdi, int code, const char* text)
{
    if (ftdi)
        ftdi->error_str = text;
    return code;
}

template<typename Pointer>
std::size_t indexOf(Pointer pointer, std::uintptr_t base)
{
    return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(pointer) - base);
}

// The chip behind a device or handle pointer, when it is still there.
standin::Chip* chipAt(standin::State& state, std::size_t index)
{
    if (index >= state.chips.size() || state.chips[index].unplugged)
        return nullptr;
    return &state.chips[index];
}

std::uint16_t productOf(const standin::Chip& chip)
{
    return static_cast<std::uint16_t>(chip.id & 0xFFFF);
}

std::uint32_t interfaceBit(const ftdi_context* ftdi)
{
    return 1u << ftdi->interface;
}

// ftdi_usb_open_dev's part: open, let the kernel driver go as the mode
// says, claim the interface.
int claim(ftdi_context* ftdi, standin::State& state, std::size_t index, const char* by)
{
    standin::Chip& chip = state.chips[index];
    if (chip.noAccess)
        return fail(ftdi, -4, "libusb_open() failed");
    const std::uint32_t bit = interfaceBit(ftdi);
    const bool driverBound = (chip.sioDetached & bit) == 0;
    if (chip.heldElsewhere || chip.opened || (driverBound && ftdi->module_detach_mode == DONT_DETACH_SIO_MODULE))
        return fail(ftdi, -5, "unable to claim usb device. Make sure the default FTDI driver is not in use");
    if (driverBound) {
        chip.sioDetached |= bit;
        ++chip.detaches;
    }
    chip.reattachOnClose = ftdi->module_detach_mode == AUTO_DETACH_REATACH_SIO_MODULE;
    chip.opened = true;
    chip.openedBy = by;
    ftdi->usb_dev = reinterpret_cast<libusb_device_handle*>(kHandleBase + index);
    ftdi->type = TYPE_2232C;
    return fail(ftdi, 0, "all fine");
}

int openChip(ftdi_context* ftdi, standin::State& state, std::size_t index, const char* by)
{
    const int code = claim(ftdi, state, index, by);
    save(state);
    return code;
}

} // namespace

TALVEX_STANDIN_EXPORT ftdi_context* ftdi_new(void)
{
    auto* ftdi = static_cast<ftdi_context*>(std::calloc(1, sizeof(ftdi_context)));
    if (!ftdi)
        return nullptr;
    ftdi->usb_read_timeout = 5000;
    ftdi->usb_write_timeout = 5000;
    ftdi->type = TYPE_BM;
    ftdi->module_detach_mode = AUTO_DETACH_SIO_MODULE;
    ftdi->interface = 0;
    ftdi->index = INTERFACE_A;
    return ftdi;
}

TALVEX_STANDIN_EXPORT int ftdi_set_interface(ftdi_context* ftdi, enum ftdi_interface interface)
{
    if (!ftdi)
        return -2;
    if (ftdi->usb_dev)
        return fail(ftdi, -3, "Interface can not be changed on an already open device");
    ftdi->interface = interface == INTERFACE_B ? 1 : 0;
    ftdi->index = interface == INTERFACE_B ? INTERFACE_B : INTERFACE_A;
    return 0;
}

TALVEX_STANDIN_EXPORT int ftdi_usb_find_all(ftdi_context* ftdi, ftdi_device_list** devlist, int vendor, int product)
{
    *devlist = nullptr;
    auto state = load();
    if (!state || state->createFailure != 0)
        return fail(ftdi, -5, "libusb_get_device_list() failed");
    ftdi_device_list** tail = devlist;
    int count = 0;
    for (std::size_t i = 0; i < state->chips.size(); ++i) {
        const standin::Chip& chip = state->chips[i];
        const int chipVendor = static_cast<int>(chip.id >> 16);
        const int chipProduct = productOf(chip);
        const bool wanted = vendor == 0 && product == 0
            ? chipVendor == 0x0403
                && (chipProduct == 0x6001 || chipProduct == 0x6010 || chipProduct == 0x6011 || chipProduct == 0x6014
                    || chipProduct == 0x6015)
            : chipVendor == vendor && chipProduct == product;
        if (chip.unplugged || !wanted)
            continue;
        *tail = new ftdi_device_list {nullptr, reinterpret_cast<libusb_device*>(kDeviceBase + i)};
        tail = &(*tail)->next;
        ++count;
    }
    return count;
}

TALVEX_STANDIN_EXPORT void ftdi_list_free(ftdi_device_list** devlist)
{
    for (ftdi_device_list* entry = *devlist; entry;) {
        ftdi_device_list* next = entry->next;
        delete entry;
        entry = next;
    }
    *devlist = nullptr;
}

TALVEX_STANDIN_EXPORT int ftdi_usb_get_strings(ftdi_context* ftdi, libusb_device* dev, char* manufacturer, int mnf_len,
                                               char* description, int desc_len, char* serial, int serial_len)
{
    auto state = load();
    standin::Chip* chip = state ? chipAt(*state, indexOf(dev, kDeviceBase)) : nullptr;
    if (!chip || chip->noAccess)
        return fail(ftdi, -4, "libusb_open() failed");
    const auto copy = [](char* to, int size, const std::string& text) {
        if (to && size > 0) {
            std::strncpy(to, text.c_str(), static_cast<std::size_t>(size) - 1);
            to[size - 1] = '\0';
        }
    };
    copy(manufacturer, mnf_len, "FTDI");
    copy(description, desc_len, chip->description);
    if (serial && chip->serial.empty())
        return fail(ftdi, -9, "libusb_get_string_descriptor_ascii() failed");
    copy(serial, serial_len, chip->serial);
    return 0;
}

TALVEX_STANDIN_EXPORT int ftdi_usb_open_desc_index(ftdi_context* ftdi, int vendor, int product,
                                                   const char* description, const char* serial, unsigned int index)
{
    if (!ftdi)
        return -11;
    auto state = load();
    if (!state)
        return fail(ftdi, -12, "libusb_get_device_list() failed");
    for (std::size_t i = 0; i < state->chips.size(); ++i) {
        const standin::Chip& chip = state->chips[i];
        if (chip.unplugged || static_cast<int>(chip.id >> 16) != vendor || productOf(chip) != product)
            continue;
        // Strings are read from each device in turn; the first one that
        // will not open ends the search, whichever chip it is.
        if ((description || serial) && chip.noAccess)
            return fail(ftdi, -4, "usb_open() failed");
        if ((description && chip.description != description) || (serial && chip.serial != serial))
            continue;
        if (index > 0) {
            --index;
            continue;
        }
        return openChip(ftdi, *state, i, "serial");
    }
    return fail(ftdi, -3, "device not found");
}

TALVEX_STANDIN_EXPORT int ftdi_usb_open_bus_addr(ftdi_context* ftdi, uint8_t bus, uint8_t addr)
{
    if (!ftdi)
        return -11;
    auto state = load();
    if (!state)
        return fail(ftdi, -12, "libusb_get_device_list() failed");
    for (std::size_t i = 0; i < state->chips.size(); ++i) {
        const standin::Chip& chip = state->chips[i];
        if (!chip.unplugged && chip.bus == bus && chip.address == addr)
            return openChip(ftdi, *state, i, "bus");
    }
    return fail(ftdi, -3, "device not found");
}

// Releasing the interface: the kernel driver comes back only when the
// open asked for it; a chip that went away cannot be released.
TALVEX_STANDIN_EXPORT int ftdi_usb_close(ftdi_context* ftdi)
{
    if (!ftdi)
        return -3;
    if (!ftdi->usb_dev)
        return 0;
    const std::size_t index = indexOf(ftdi->usb_dev, kHandleBase);
    ftdi->usb_dev = nullptr;
    auto state = load();
    if (!state || index >= state->chips.size())
        return fail(ftdi, -1, "usb_release failed");
    standin::Chip& chip = state->chips[index];
    chip.opened = false;
    int code = 0;
    if (chip.unplugged) {
        code = fail(ftdi, -1, "usb_release failed");
    } else {
        if (chip.reattachOnClose && (chip.sioDetached & interfaceBit(ftdi))) {
            chip.sioDetached &= ~interfaceBit(ftdi);
            ++chip.reattaches;
        }
        if (chip.closeFailure != 0)
            code = fail(ftdi, -1, "usb_release failed");
    }
    save(*state);
    return code;
}

TALVEX_STANDIN_EXPORT void ftdi_free(ftdi_context* ftdi)
{
    if (!ftdi)
        return;
    ftdi_usb_close(ftdi);
    std::free(ftdi);
}

TALVEX_STANDIN_EXPORT int ftdi_erase_eeprom(ftdi_context* ftdi)
{
    if (!ftdi || !ftdi->usb_dev)
        return fail(ftdi, -2, "USB device unavailable");
    auto state = load();
    standin::Chip* chip = state ? chipAt(*state, indexOf(ftdi->usb_dev, kHandleBase)) : nullptr;
    if (!chip)
        return fail(ftdi, -1, "unable to erase eeprom");
    chip->eeprom.fill(0xFFFF);
    ++chip->erases;
    save(*state);
    return 0;
}

TALVEX_STANDIN_EXPORT int ftdi_read_eeprom_location(ftdi_context* ftdi, int eeprom_addr, unsigned short* eeprom_val)
{
    if (!ftdi || !ftdi->usb_dev)
        return fail(ftdi, -2, "USB device unavailable");
    auto state = load();
    standin::Chip* chip = state ? chipAt(*state, indexOf(ftdi->usb_dev, kHandleBase)) : nullptr;
    if (!chip || eeprom_addr < 0)
        return fail(ftdi, -1, "reading eeprom failed");
    // A 93C46 answers any address, wrapping at its 64 words.
    *eeprom_val = chip->eeprom[static_cast<std::size_t>(eeprom_addr) % chip->eeprom.size()];
    return 0;
}

TALVEX_STANDIN_EXPORT const char* ftdi_get_error_string(ftdi_context* ftdi)
{
    return ftdi && ftdi->error_str ? ftdi->error_str : "";
}

TALVEX_STANDIN_EXPORT int libusb_get_device_descriptor(libusb_device* dev, libusb_device_descriptor* desc)
{
    auto state = load();
    const standin::Chip* chip = state ? chipAt(*state, indexOf(dev, kDeviceBase)) : nullptr;
    if (!chip)
        return LIBUSB_ERROR_NO_DEVICE;
    *desc = libusb_device_descriptor {};
    desc->idVendor = static_cast<std::uint16_t>(chip->id >> 16);
    desc->idProduct = productOf(*chip);
    desc->bcdDevice = static_cast<std::uint16_t>(chip->bcdDevice);
    desc->iSerialNumber = chip->serial.empty() ? 0 : 3;
    return 0;
}

TALVEX_STANDIN_EXPORT uint8_t libusb_get_bus_number(libusb_device* dev)
{
    auto state = load();
    const std::size_t index = indexOf(dev, kDeviceBase);
    return state && index < state->chips.size() ? static_cast<std::uint8_t>(state->chips[index].bus) : 0;
}

TALVEX_STANDIN_EXPORT uint8_t libusb_get_device_address(libusb_device* dev)
{
    auto state = load();
    const std::size_t index = indexOf(dev, kDeviceBase);
    return state && index < state->chips.size() ? static_cast<std::uint8_t>(state->chips[index].address) : 0;
}

// Only the EEPROM word write is known; a chip set to vanish goes after
// that many writes, as if unplugged.
TALVEX_STANDIN_EXPORT int libusb_control_transfer(libusb_device_handle* dev_handle, uint8_t request_type,
                                                  uint8_t bRequest, uint16_t wValue, uint16_t wIndex,
                                                  unsigned char* /*data*/, uint16_t /*wLength*/,
                                                  unsigned int /*timeout*/)
{
    auto state = load();
    standin::Chip* chip = state ? chipAt(*state, indexOf(dev_handle, kHandleBase)) : nullptr;
    if (!chip || !chip->opened)
        return LIBUSB_ERROR_NO_DEVICE;
    if (request_type != kVendorOut || bRequest != kWriteEepromRequest)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    if (static_cast<int>(wIndex) == chip->failWriteWord)
        return LIBUSB_ERROR_PIPE;
    ++chip->wordWrites;
    if (static_cast<int>(wIndex) != chip->stuckWord)
        chip->eeprom[wIndex % chip->eeprom.size()] = wValue;
    if (chip->vanishAfterWrites >= 0 && chip->wordWrites >= chip->vanishAfterWrites)
        chip->unplugged = true;
    save(*state);
    return 0;
}
