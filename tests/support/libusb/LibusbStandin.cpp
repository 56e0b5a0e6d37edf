// A stand-in for libusb-1.0, for tests: built as libusb-1.0.so.0 so that
// the real libftdi, loaded on top of it, talks to FT2232 chips described
// in the state file that TALVEX_USB_STATE names (no file: no devices).
// It answers at the level of USB requests, as the chip and the kernel
// would: descriptors, the FTDI vendor requests, kernel driver binding and
// interface claims. Every call that reaches a chip loads the file, acts
// and saves it, so a test and the programs it spawns share the chips.

#include "sim/FtdiChipModel.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

using talvex::ChipAnswer;
using talvex::Ft2232Bus;
using talvex::Ft2232Chip;
using talvex::Ft2232Kind;
using talvex::FtdiEnumeration;

struct libusb_context {
    int unused = 0;
};

struct libusb_device {
    int refs = 1;
    std::size_t chip = 0;
    int plugCount = 0; ///< the plug-in this device object belongs to
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    std::vector<std::uint8_t> ports;
    Ft2232Kind kind = Ft2232Kind::Ft2232C;
    FtdiEnumeration seen; ///< libusb reads the descriptors once, at enumeration
};

struct libusb_device_handle {
    libusb_device* device = nullptr;
    bool autoDetach = false;
    std::array<bool, 2> claimed{false, false};
    std::array<bool, 2> autoDetached{false, false};
};

namespace {

constexpr const char* kStateVariable = "TALVEX_USB_STATE";
constexpr int kInterfaces = 2;
constexpr std::uint8_t kManufacturerIndex = 1;
constexpr std::uint8_t kProductIndex = 2;
constexpr std::uint8_t kSerialIndex = 3;

std::mutex g_mutex;
std::set<libusb_device_handle*> g_handles;

const char* statePath()
{
    return std::getenv(kStateVariable);
}

// Runs `action` on the device's chip while it is the same plug-in of it;
// LIBUSB_ERROR_NO_DEVICE otherwise. The file is written back after.
template<typename Action>
int withChip(const libusb_device* device, Action action)
{
    const char* path = statePath();
    if (!path)
        return LIBUSB_ERROR_NO_DEVICE;
    auto bus = talvex::loadFt2232Bus(path);
    if (!bus)
        return LIBUSB_ERROR_IO;
    if (device->chip >= bus->chips.size())
        return LIBUSB_ERROR_NO_DEVICE;
    Ft2232Chip& chip = bus->chips[device->chip];
    if (!chip.plugged || chip.plugCount != device->plugCount)
        return LIBUSB_ERROR_NO_DEVICE;
    const int result = action(chip);
    if (!talvex::saveFt2232Bus(path, *bus))
        return LIBUSB_ERROR_IO;
    return result;
}

// Another program holding interface A has usbfs bound there, which libusb
// does not count as a kernel driver.
bool driverBound(const Ft2232Chip& chip, int interface)
{
    return chip.kernelDriver[static_cast<std::size_t>(interface)] && !(interface == 0 && chip.heldElsewhere);
}

bool claimedElsewhereInProcess(const libusb_device_handle* handle, int interface)
{
    return std::any_of(g_handles.begin(), g_handles.end(), [&](const libusb_device_handle* other) {
        return other != handle && other->device->chip == handle->device->chip
            && other->device->plugCount == handle->device->plugCount
            && other->claimed[static_cast<std::size_t>(interface)];
    });
}

std::uint16_t maxPacket(Ft2232Kind kind)
{
    return kind == Ft2232Kind::Ft2232H ? 512 : 64;
}

libusb_device_descriptor deviceDescriptor(const libusb_device* device)
{
    libusb_device_descriptor d{};
    d.bLength = LIBUSB_DT_DEVICE_SIZE;
    d.bDescriptorType = LIBUSB_DT_DEVICE;
    d.bcdUSB = device->seen.bcdUsb;
    d.bMaxPacketSize0 = device->kind == Ft2232Kind::Ft2232H ? 64 : 8;
    d.idVendor = device->seen.vendorId;
    d.idProduct = device->seen.productId;
    d.bcdDevice = talvex::ftdiBcdDevice(device->kind);
    d.iManufacturer = device->seen.manufacturer.empty() ? 0 : kManufacturerIndex;
    d.iProduct = device->seen.product.empty() ? 0 : kProductIndex;
    d.iSerialNumber = device->seen.serial ? kSerialIndex : 0;
    d.bNumConfigurations = 1;
    return d;
}

// The configuration, laid out as libusb hands it over: one block that
// libusb_free_config_descriptor gives back whole.
struct ConfigBlock {
    libusb_config_descriptor config;
    std::array<libusb_interface, kInterfaces> interfaces;
    std::array<libusb_interface_descriptor, kInterfaces> settings;
    std::array<std::array<libusb_endpoint_descriptor, 2>, kInterfaces> endpoints;
};
static_assert(offsetof(ConfigBlock, config) == 0);

constexpr std::uint16_t kConfigTotalLength = LIBUSB_DT_CONFIG_SIZE
    + kInterfaces * (LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE);

ConfigBlock* newConfig(const libusb_device* device)
{
    auto* block = new ConfigBlock{};
    libusb_config_descriptor& c = block->config;
    c.bLength = LIBUSB_DT_CONFIG_SIZE;
    c.bDescriptorType = LIBUSB_DT_CONFIG;
    c.wTotalLength = kConfigTotalLength;
    c.bNumInterfaces = kInterfaces;
    c.bConfigurationValue = 1;
    c.bmAttributes = static_cast<std::uint8_t>(0x80 | (device->seen.selfPowered ? 0x40 : 0)
                                               | (device->seen.remoteWakeup ? 0x20 : 0));
    c.MaxPower = device->seen.maxPowerUnits;
    c.interface = block->interfaces.data();
    for (int i = 0; i < kInterfaces; ++i) {
        libusb_interface_descriptor& s = block->settings[static_cast<std::size_t>(i)];
        s.bLength = LIBUSB_DT_INTERFACE_SIZE;
        s.bDescriptorType = LIBUSB_DT_INTERFACE;
        s.bInterfaceNumber = static_cast<std::uint8_t>(i);
        s.bNumEndpoints = 2;
        s.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
        s.bInterfaceSubClass = 0xFF;
        s.bInterfaceProtocol = 0xFF;
        s.iInterface = kProductIndex;
        // A: IN 0x81, OUT 0x02; B: IN 0x83, OUT 0x04.
        auto& endpoints = block->endpoints[static_cast<std::size_t>(i)];
        for (int e = 0; e < 2; ++e) {
            libusb_endpoint_descriptor& ep = endpoints[static_cast<std::size_t>(e)];
            ep.bLength = LIBUSB_DT_ENDPOINT_SIZE;
            ep.bDescriptorType = LIBUSB_DT_ENDPOINT;
            ep.bEndpointAddress = static_cast<std::uint8_t>(e == 0 ? 0x81 + 2 * i : 0x02 + 2 * i);
            ep.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
            ep.wMaxPacketSize = maxPacket(device->kind);
        }
        s.endpoint = endpoints.data();
        block->interfaces[static_cast<std::size_t>(i)].altsetting = &s;
        block->interfaces[static_cast<std::size_t>(i)].num_altsetting = 1;
    }
    return block;
}

std::vector<std::uint8_t> stringDescriptor(const libusb_device* device, std::uint8_t index)
{
    std::string text;
    if (index == 0)
        return {4, LIBUSB_DT_STRING, 0x09, 0x04}; // US English only
    if (index == kManufacturerIndex && !device->seen.manufacturer.empty())
        text = device->seen.manufacturer;
    else if (index == kProductIndex && !device->seen.product.empty())
        text = device->seen.product;
    else if (index == kSerialIndex && device->seen.serial)
        text = *device->seen.serial;
    else
        return {};
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), LIBUSB_DT_STRING};
    for (char ch : text) {
        bytes.push_back(static_cast<std::uint8_t>(ch));
        bytes.push_back(0);
    }
    return bytes;
}

int copyOut(const std::vector<std::uint8_t>& bytes, unsigned char* data, std::uint16_t length)
{
    if (bytes.empty())
        return LIBUSB_ERROR_PIPE; // the device stalls a request for what it has not
    const std::size_t n = std::min<std::size_t>(bytes.size(), length);
    if (n > 0 && data)
        std::memcpy(data, bytes.data(), n);
    return static_cast<int>(n);
}

int answerOf(ChipAnswer answer, int ok)
{
    switch (answer) {
    case ChipAnswer::Ok: return ok;
    case ChipAnswer::Failed: return LIBUSB_ERROR_PIPE;
    case ChipAnswer::Gone: return LIBUSB_ERROR_NO_DEVICE;
    }
    return LIBUSB_ERROR_OTHER;
}

// FTDI's vendor requests; wIndex names the channel (1 = A, 2 = B) for all
// but the EEPROM's, where it is the word address.
int vendorRequest(Ft2232Chip& chip, std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                  std::uint16_t index, unsigned char* data, std::uint16_t length)
{
    const bool in = (requestType & LIBUSB_ENDPOINT_IN) != 0;
    const std::size_t channel = (index & 0xFF) == 2 ? 1 : 0;
    switch (request) {
    case 0x00: // SIO_RESET: 0 resets, 1 and 2 purge
        if (value == 0)
            ++chip.resets;
        return 0;
    case 0x01: // modem control
    case 0x02: // flow control
    case 0x03: // baud rate
    case 0x04: // data characteristics
    case 0x06: // event character
    case 0x07: // error character
        return 0;
    case 0x05: { // poll modem status: CTS, DSR set, line clear
        if (!in)
            return LIBUSB_ERROR_PIPE;
        const std::vector<std::uint8_t> status{0x31, 0x60};
        return copyOut(status, data, length);
    }
    case 0x09:
        chip.latency[channel] = static_cast<std::uint8_t>(value & 0xFF);
        return 0;
    case 0x0A:
        return in ? copyOut({chip.latency[channel]}, data, length) : LIBUSB_ERROR_PIPE;
    case 0x0B:
        chip.bitmode[channel] = value;
        return 0;
    case 0x0C:
        return in ? copyOut({0xFF}, data, length) : LIBUSB_ERROR_PIPE;
    case 0x90: {
        if (!in || length < 2)
            return LIBUSB_ERROR_OVERFLOW;
        std::uint16_t word = 0;
        const ChipAnswer answer = chip.readWord(index, word);
        if (answer == ChipAnswer::Ok && data) {
            data[0] = static_cast<unsigned char>(word & 0xFF);
            data[1] = static_cast<unsigned char>(word >> 8);
        }
        return answerOf(answer, 2);
    }
    case 0x91:
        return answerOf(chip.writeWord(index, value), 0);
    case 0x92:
        return answerOf(chip.erase(), 0);
    default:
        return LIBUSB_ERROR_PIPE;
    }
}

int controlRequest(libusb_device_handle* handle, std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                   std::uint16_t index, unsigned char* data, std::uint16_t length)
{
    const libusb_device* device = handle->device;
    return withChip(device, [&](Ft2232Chip& chip) -> int {
        if ((requestType & LIBUSB_REQUEST_TYPE_VENDOR) == LIBUSB_REQUEST_TYPE_VENDOR)
            return vendorRequest(chip, requestType, request, value, index, data, length);
        // Of the standard requests only the string descriptors are asked for.
        if (requestType == LIBUSB_ENDPOINT_IN && request == LIBUSB_REQUEST_GET_DESCRIPTOR
            && value >> 8 == LIBUSB_DT_STRING)
            return copyOut(stringDescriptor(device, static_cast<std::uint8_t>(value & 0xFF)), data, length);
        if (requestType == LIBUSB_ENDPOINT_IN && request == LIBUSB_REQUEST_GET_CONFIGURATION)
            return copyOut({1}, data, length);
        return LIBUSB_ERROR_PIPE;
    });
}

libusb_device* newDevice(std::size_t index, const Ft2232Chip& chip)
{
    auto* device = new libusb_device;
    device->chip = index;
    device->plugCount = chip.plugCount;
    device->bus = static_cast<std::uint8_t>(chip.bus);
    device->address = static_cast<std::uint8_t>(chip.address);
    for (int port : chip.ports)
        device->ports.push_back(static_cast<std::uint8_t>(port));
    device->kind = chip.kind;
    device->seen = chip.enumeration();
    return device;
}

bool validInterface(int interface)
{
    return interface >= 0 && interface < kInterfaces;
}

// Gives an interface back to ftdi_sio if libusb took it away on claim.
void releaseClaim(libusb_device_handle* handle, int interface, Ft2232Chip* chip)
{
    const auto i = static_cast<std::size_t>(interface);
    handle->claimed[i] = false;
    if (handle->autoDetached[i] && chip && !chip->kernelDriver[i]) {
        chip->kernelDriver[i] = true;
        ++chip->attaches;
    }
    handle->autoDetached[i] = false;
}

const char* errorName(int code)
{
    switch (code) {
#define STANDIN_ERROR(name) \
    case name: return #name;
        STANDIN_ERROR(LIBUSB_SUCCESS) STANDIN_ERROR(LIBUSB_ERROR_IO) STANDIN_ERROR(LIBUSB_ERROR_INVALID_PARAM)
        STANDIN_ERROR(LIBUSB_ERROR_ACCESS) STANDIN_ERROR(LIBUSB_ERROR_NO_DEVICE) STANDIN_ERROR(LIBUSB_ERROR_NOT_FOUND)
        STANDIN_ERROR(LIBUSB_ERROR_BUSY) STANDIN_ERROR(LIBUSB_ERROR_TIMEOUT) STANDIN_ERROR(LIBUSB_ERROR_OVERFLOW)
        STANDIN_ERROR(LIBUSB_ERROR_PIPE) STANDIN_ERROR(LIBUSB_ERROR_NO_MEM) STANDIN_ERROR(LIBUSB_ERROR_NOT_SUPPORTED)
#undef STANDIN_ERROR
    }
    return "LIBUSB_ERROR_OTHER";
}

} // namespace

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

STANDIN_EXPORT int LIBUSB_CALL libusb_init(libusb_context** context)
{
    if (context)
        *context = new libusb_context;
    return LIBUSB_SUCCESS;
}

STANDIN_EXPORT void LIBUSB_CALL libusb_exit(libusb_context* context)
{
    delete context;
}


STANDIN_EXPORT const char* LIBUSB_CALL libusb_error_name(int error)
{
    return errorName(error);
}

STANDIN_EXPORT ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context*, libusb_device*** list)
{
    std::lock_guard lock(g_mutex);
    std::vector<libusb_device*> devices;
    if (const char* path = statePath()) {
        const auto bus = talvex::loadFt2232Bus(path);
        if (!bus)
            return LIBUSB_ERROR_IO;
        for (std::size_t i = 0; i < bus->chips.size(); ++i) {
            if (bus->chips[i].plugged)
                devices.push_back(newDevice(i, bus->chips[i]));
        }
    }
    auto** array = static_cast<libusb_device**>(std::calloc(devices.size() + 1, sizeof(libusb_device*)));
    if (!array) {
        for (libusb_device* device : devices)
            delete device;
        return LIBUSB_ERROR_NO_MEM;
    }
    std::copy(devices.begin(), devices.end(), array);
    *list = array;
    return static_cast<ssize_t>(devices.size());
}

STANDIN_EXPORT libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* device)
{
    std::lock_guard lock(g_mutex);
    ++device->refs;
    return device;
}

static void unrefLocked(libusb_device* device)
{
    if (device && --device->refs == 0)
        delete device;
}

STANDIN_EXPORT void LIBUSB_CALL libusb_unref_device(libusb_device* device)
{
    std::lock_guard lock(g_mutex);
    unrefLocked(device);
}

STANDIN_EXPORT void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unrefDevices)
{
    if (!list)
        return;
    if (unrefDevices) {
        std::lock_guard lock(g_mutex);
        for (libusb_device** device = list; *device; ++device)
            unrefLocked(*device);
    }
    std::free(list);
}

STANDIN_EXPORT int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor)
{
    *descriptor = deviceDescriptor(device);
    return LIBUSB_SUCCESS;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_get_config_descriptor(libusb_device* device, uint8_t index,
                                                            libusb_config_descriptor** config)
{
    if (index != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    *config = &newConfig(device)->config;
    return LIBUSB_SUCCESS;
}

STANDIN_EXPORT void LIBUSB_CALL libusb_free_config_descriptor(libusb_config_descriptor* config)
{
    delete reinterpret_cast<ConfigBlock*>(config);
}

STANDIN_EXPORT uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device* device)
{
    return device->bus;
}

STANDIN_EXPORT uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* device)
{
    return device->address;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_get_port_numbers(libusb_device* device, uint8_t* ports, int length)
{
    if (length <= 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (static_cast<std::size_t>(length) < device->ports.size())
        return LIBUSB_ERROR_OVERFLOW;
    std::copy(device->ports.begin(), device->ports.end(), ports);
    return static_cast<int>(device->ports.size());
}

STANDIN_EXPORT int LIBUSB_CALL libusb_open(libusb_device* device, libusb_device_handle** handle)
{
    std::lock_guard lock(g_mutex);
    const int result = withChip(device, [](Ft2232Chip& chip) -> int {
        return chip.noAccess ? LIBUSB_ERROR_ACCESS : LIBUSB_SUCCESS;
    });
    if (result != LIBUSB_SUCCESS)
        return result;
    auto* opened = new libusb_device_handle;
    opened->device = device;
    ++device->refs;
    g_handles.insert(opened);
    *handle = opened;
    return LIBUSB_SUCCESS;
}

STANDIN_EXPORT void LIBUSB_CALL libusb_close(libusb_device_handle* handle)
{
    if (!handle)
        return;
    std::lock_guard lock(g_mutex);
    if (handle->claimed[0] || handle->claimed[1]) {
        const int result = withChip(handle->device, [&](Ft2232Chip& chip) -> int {
            for (int i = 0; i < kInterfaces; ++i) {
                if (handle->claimed[static_cast<std::size_t>(i)])
                    releaseClaim(handle, i, &chip);
            }
            return 0;
        });
        if (result != 0)
            handle->claimed = {false, false};
    }
    g_handles.erase(handle);
    unrefLocked(handle->device);
    delete handle;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_get_configuration(libusb_device_handle* handle, int* config)
{
    std::lock_guard lock(g_mutex);
    const int result = withChip(handle->device, [](Ft2232Chip&) -> int { return 0; });
    if (result == 0)
        *config = 1;
    return result;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* handle, int config)
{
    std::lock_guard lock(g_mutex);
    return withChip(handle->device, [&](Ft2232Chip& chip) -> int {
        if (config != 1)
            return LIBUSB_ERROR_NOT_FOUND;
        // The kernel refuses to change it while a driver or a program holds an interface.
        const bool held = driverBound(chip, 0) || driverBound(chip, 1) || chip.heldElsewhere
                       || claimedElsewhereInProcess(handle, 0) || claimedElsewhereInProcess(handle, 1);
        return held ? LIBUSB_ERROR_BUSY : LIBUSB_SUCCESS;
    });
}

STANDIN_EXPORT int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* handle, int interface)
{
    if (!validInterface(interface))
        return LIBUSB_ERROR_NOT_FOUND;
    std::lock_guard lock(g_mutex);
    return withChip(handle->device, [&](Ft2232Chip& chip) -> int {
        if (!driverBound(chip, interface))
            return LIBUSB_ERROR_NOT_FOUND;
        chip.kernelDriver[static_cast<std::size_t>(interface)] = false;
        ++chip.detaches;
        return LIBUSB_SUCCESS;
    });
}

STANDIN_EXPORT int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable)
{
    handle->autoDetach = enable != 0;
    return LIBUSB_SUCCESS;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* handle, int interface)
{
    if (!validInterface(interface))
        return LIBUSB_ERROR_NOT_FOUND;
    std::lock_guard lock(g_mutex);
    return withChip(handle->device, [&](Ft2232Chip& chip) -> int {
        const auto i = static_cast<std::size_t>(interface);
        if (handle->claimed[i])
            return LIBUSB_SUCCESS;
        if ((interface == 0 && chip.heldElsewhere) || claimedElsewhereInProcess(handle, interface))
            return LIBUSB_ERROR_BUSY;
        if (driverBound(chip, interface)) {
            if (!handle->autoDetach)
                return LIBUSB_ERROR_BUSY;
            chip.kernelDriver[i] = false;
            ++chip.detaches;
            handle->autoDetached[i] = true;
        }
        handle->claimed[i] = true;
        return LIBUSB_SUCCESS;
    });
}

STANDIN_EXPORT int LIBUSB_CALL libusb_release_interface(libusb_device_handle* handle, int interface)
{
    if (!validInterface(interface))
        return LIBUSB_ERROR_NOT_FOUND;
    std::lock_guard lock(g_mutex);
    if (!handle->claimed[static_cast<std::size_t>(interface)])
        return LIBUSB_ERROR_NOT_FOUND;
    const int result = withChip(handle->device, [&](Ft2232Chip& chip) -> int {
        releaseClaim(handle, interface, &chip);
        return LIBUSB_SUCCESS;
    });
    if (result != LIBUSB_SUCCESS)
        releaseClaim(handle, interface, nullptr); // the chip is gone: nothing to give back
    return result;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType,
                                                       uint8_t request, uint16_t value, uint16_t index,
                                                       unsigned char* data, uint16_t length, unsigned int)
{
    std::lock_guard lock(g_mutex);
    return controlRequest(handle, requestType, request, value, index, data, length);
}

STANDIN_EXPORT int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                                                  unsigned char* data, int length)
{
    // As libusb: index 0 is the language list, no string; the first
    // language is asked for and each UTF-16 unit outside ASCII reads '?'.
    if (length < 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (length == 0)
        return 0;
    if (index == 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    std::lock_guard lock(g_mutex);
    unsigned char languages[4];
    int result = controlRequest(handle, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR, LIBUSB_DT_STRING << 8, 0,
                                languages, sizeof languages);
    if (result < 0)
        return result;
    if (result < 4)
        return LIBUSB_ERROR_IO;
    unsigned char raw[255];
    result = controlRequest(handle, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                            static_cast<std::uint16_t>(LIBUSB_DT_STRING << 8 | index),
                            static_cast<std::uint16_t>(languages[2] | languages[3] << 8), raw, sizeof raw);
    if (result < 0)
        return result;
    if (result < 2 || raw[1] != LIBUSB_DT_STRING || raw[0] > result)
        return LIBUSB_ERROR_IO;
    int out = 0;
    for (int i = 2; i + 1 < raw[0] && out < length - 1; i += 2)
        data[out++] = raw[i + 1] != 0 || (raw[i] & 0x80) != 0 ? '?' : raw[i];
    data[out] = 0;
    return out;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint,
                                                    unsigned char* data, int length, int* transferred, unsigned int)
{
    std::lock_guard lock(g_mutex);
    return withChip(handle->device, [&](Ft2232Chip&) -> int {
        int moved = length;
        if ((endpoint & LIBUSB_ENDPOINT_IN) != 0) {
            // Every packet from the chip starts with its two modem status bytes.
            moved = std::min(length, 2);
            const unsigned char status[2] = {0x31, 0x60};
            std::memcpy(data, status, static_cast<std::size_t>(moved));
        }
        if (transferred)
            *transferred = moved;
        return LIBUSB_SUCCESS;
    });
}

// Asynchronous transfers are not modelled: allocated and freed as libusb
// does, refused on submission.
STANDIN_EXPORT struct libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int isoPackets)
{
    if (isoPackets < 0)
        return nullptr;
    const std::size_t size = sizeof(libusb_transfer)
        + static_cast<std::size_t>(isoPackets) * sizeof(libusb_iso_packet_descriptor);
    auto* transfer = static_cast<libusb_transfer*>(std::calloc(1, size));
    if (transfer)
        transfer->num_iso_packets = isoPackets;
    return transfer;
}

STANDIN_EXPORT void LIBUSB_CALL libusb_free_transfer(struct libusb_transfer* transfer)
{
    if (!transfer)
        return;
    if ((transfer->flags & LIBUSB_TRANSFER_FREE_BUFFER) != 0)
        std::free(transfer->buffer);
    std::free(transfer);
}

STANDIN_EXPORT int LIBUSB_CALL libusb_submit_transfer(struct libusb_transfer*)
{
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_cancel_transfer(struct libusb_transfer*)
{
    return LIBUSB_ERROR_NOT_FOUND;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_handle_events_timeout(libusb_context*, struct timeval*)
{
    return LIBUSB_SUCCESS;
}

STANDIN_EXPORT int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context*, struct timeval*, int* completed)
{
    // Nothing can be in flight; a caller waiting for a transfer stops waiting.
    if (completed)
        *completed = 1;
    return LIBUSB_SUCCESS;
}
