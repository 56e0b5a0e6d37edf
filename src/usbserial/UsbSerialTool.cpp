#include "usbserial/UsbSerialTool.h"

#include "usbserial/UsbSerialText.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace talvex {
namespace {

// No host carries this many FTDI devices; a library that claims more is
// not believed with an allocation of its size.
constexpr std::uint32_t kMaxDevices = 1024;

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string format(const char* pattern, ...)
{
    std::va_list args;
    va_start(args, pattern);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, pattern, again);
    va_end(again);
    return text;
}

FtdiDevice deviceFrom(const FtDeviceListInfoNode& node)
{
    return {node.Flags,
            node.Type,
            node.ID,
            node.LocId,
            d2xxFieldText(node.SerialNumber, sizeof node.SerialNumber),
            d2xxFieldText(node.Description, sizeof node.Description)};
}

} // namespace

UsbSerialTool::UsbSerialTool(D2xxLoadResult library)
    : m_api(std::move(library.api))
    , m_unavailableReason(std::move(library.error))
{
    if (!m_api && m_unavailableReason.empty())
        m_unavailableReason = "USB serial tool unavailable: no FTDI D2XX library.";
}

std::vector<std::string> UsbSerialTool::unavailableNotice()
{
    if (m_unavailableSaid)
        return {};
    m_unavailableSaid = true;
    return {m_unavailableReason};
}

UsbSerialListing UsbSerialTool::readSerial()
{
    UsbSerialListing result;
    m_selected = kNoDevice;
    if (!m_api) {
        result.outcome = UsbSerialListing::Outcome::Unavailable;
        result.logLines = unavailableNotice();
        return result;
    }

    std::uint32_t count = 0;
    result.status = m_api->createDeviceInfoList(count);
    if (result.status != ftstatus::kOk) {
        result.outcome = UsbSerialListing::Outcome::ListFailed;
        return result;
    }
    if (count == 0) {
        result.outcome = UsbSerialListing::Outcome::NoDevice;
        return result;
    }

    result.listingText = std::string();
    m_devices.clear();
    std::vector<FtDeviceListInfoNode> nodes(std::min(count, kMaxDevices), FtDeviceListInfoNode{});
    auto filled = static_cast<std::uint32_t>(nodes.size());
    result.status = m_api->getDeviceInfoList(nodes.data(), filled);
    if (result.status != ftstatus::kOk) {
        result.outcome = UsbSerialListing::Outcome::ListFailed;
        return result;
    }
    nodes.resize(std::min<std::size_t>(filled, nodes.size()));

    result.outcome = UsbSerialListing::Outcome::Listed;
    result.devicesListed = true;
    std::string& pane = *result.listingText;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const FtdiDevice device = deviceFrom(nodes[i]);
        pane += format("Device %d:\n ", static_cast<int>(i));
        pane += format("  ID=0x%x\n ", static_cast<unsigned>(device.id));
        pane += format("  LocId=0x%x\n ", static_cast<unsigned>(device.locId));
        pane += format("  SerialNumber=%s\n ", device.serialNumber.c_str());
        // An empty serial number names no device the user could mean; one
        // with a leading blank does (an earlier write may have left it), and
        // must stay selectable so it can be written again.
        const bool named = std::any_of(device.serialNumber.begin(), device.serialNumber.end(),
                                       [](char c) { return static_cast<unsigned char>(c) > 0x20; });
        if (named) {
            result.serialText = padUsbSerial(device.serialNumber);
            m_selected = static_cast<int>(i);
        }
        pane += format("  Description=%s\n\n", device.description.c_str());
        m_devices.push_back(device);
    }
    return result;
}

UsbSerialGenerated UsbSerialTool::generate(std::string_view programmerSerial) const
{
    UsbSerialGenerated result;
    result.serialText = usbSerialFromProgrammerSerial(programmerSerial);
    if (!result.serialText) {
        result.logLines.push_back("generate: no programmer serial number of 32 hexadecimal digits to derive the USB "
                                  "serial number from. Connect to the programmer first; nothing was changed.");
        return result;
    }
    result.canWrite = true;
    return result;
}

UsbSerialWrite UsbSerialTool::writeSerial(std::string_view serialText)
{
    UsbSerialWrite result;
    if (!m_api) {
        result.outcome = UsbSerialWrite::Outcome::Unavailable;
        result.logLines = unavailableNotice();
        return result;
    }
    // A leading blank hides the chip from listings that skip such serial
    // numbers, and from scripts that split on blanks.
    const bool leadingBlank = !serialText.empty() && serialText.front() == ' ';
    if (serialText.empty() || !isUsbSerialText(serialText) || leadingBlank) {
        result.outcome = UsbSerialWrite::Outcome::InvalidText;
        result.logLines.push_back("Write serial number ERROR: \"" + std::string(serialText)
                                  + "\" is not a USB serial number. Use 1 to 8 digits, letters or spaces, "
                                    "starting with a digit or letter; nothing was written.");
        return result;
    }
    // The listing pads a short serial number the same way.
    result.serial = padUsbSerial(serialText);
    result.image = buildEepromImage(result.serial);

    if (m_selected == kNoDevice) {
        result.outcome = UsbSerialWrite::Outcome::NoDeviceSelected;
        result.logLines.push_back("Write serial number ERROR: no FTDI device with a serial number is selected. "
                                  "Press \"Read Serial\" with the programmer plugged in; nothing was written.");
        return result;
    }
    result.device = m_selected;

    FtHandle handle = nullptr;
    result.status = m_api->open(m_selected, handle);
    if (result.status != ftstatus::kOk) {
        result.outcome = UsbSerialWrite::Outcome::OpenFailed;
        result.logLines.push_back(format("Write serial number ERROR: FTDI device %d could not be opened (%s). "
                                         "Close programs that use it, press \"Read Serial\" and try again; "
                                         "nothing was written.",
                                         m_selected, d2xxStatusName(result.status).c_str()));
        return result;
    }

    // Not judged: a chip whose EEPROM needs no erase may refuse it, and
    // every word is written and read back below anyway.
    m_api->eraseEe(handle);

    for (std::size_t word = 0; word < kEepromWords; ++word) {
        result.status = m_api->writeEe(handle, static_cast<std::uint32_t>(word), result.image[word]);
        if (result.status != ftstatus::kOk) {
            result.outcome = UsbSerialWrite::Outcome::WordWriteFailed;
            result.word = static_cast<int>(word);
            m_api->close(handle);
            result.logLines.push_back(format("Write serial number ERROR: EEPROM word %d of 64 was not written (%s); "
                                             "the EEPROM holds only part of the new contents. Write the serial "
                                             "number again before unplugging the programmer.",
                                             result.word, d2xxStatusName(result.status).c_str()));
            return result;
        }
    }

    verify(handle, result);
    const FtStatus closed = m_api->close(handle);
    if (result.outcome != UsbSerialWrite::Outcome::Verified
        && result.outcome != UsbSerialWrite::Outcome::WrittenUnverified)
        return result;
    if (closed != ftstatus::kOk) {
        result.outcome = UsbSerialWrite::Outcome::CloseFailed;
        result.status = closed;
        result.logLines.push_back("Write serial number ERROR !\n");
        return result;
    }
    result.logLines.push_back(
        format("Write serial number: %s OK. Please, unplug and restart Talvex !\n", result.serial.c_str()));
    return result;
}

void UsbSerialTool::verify(FtHandle handle, UsbSerialWrite& result)
{
    if (!m_api->canReadEe()) {
        result.outcome = UsbSerialWrite::Outcome::WrittenUnverified;
        result.logLines.push_back("EEPROM not verified: this FTDI D2XX library has no FT_ReadEE.");
        return;
    }
    int differing = 0;
    std::uint16_t firstRead = 0;
    for (std::size_t word = 0; word < kEepromWords; ++word) {
        std::uint16_t value = 0;
        const FtStatus status = m_api->readEe(handle, static_cast<std::uint32_t>(word), value);
        if (status != ftstatus::kOk) {
            result.outcome = UsbSerialWrite::Outcome::ReadBackFailed;
            result.status = status;
            result.word = static_cast<int>(word);
            result.logLines.push_back(format("Write serial number ERROR: EEPROM word %d could not be read back (%s), "
                                             "so the write is not verified. Write the serial number again.",
                                             result.word, d2xxStatusName(status).c_str()));
            return;
        }
        if (value != result.image[word] && differing++ == 0) {
            result.word = static_cast<int>(word);
            firstRead = value;
        }
    }
    if (differing > 0) {
        result.outcome = UsbSerialWrite::Outcome::Mismatch;
        result.logLines.push_back(format("Write serial number ERROR: the EEPROM does not hold what was written "
                                         "(%d of 64 words differ; word %d reads 0x%04X, 0x%04X was written). "
                                         "Write the serial number again.",
                                         differing, result.word, static_cast<unsigned>(firstRead),
                                         static_cast<unsigned>(result.image[static_cast<std::size_t>(result.word)])));
        return;
    }
    result.outcome = UsbSerialWrite::Outcome::Verified;
    result.logLines.push_back("EEPROM verified: all 64 words read back as written.");
}

} // namespace talvex
