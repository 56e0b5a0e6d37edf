#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace talvex {

/// FTDI's USB vendor ID: the programmer's readers sit behind an FTDI chip.
inline constexpr std::uint16_t kFtdiVendorId = 0x0403;
/// The programmer's chip, an FT2232 (C/D or H): two interfaces, A and B.
inline constexpr std::uint16_t kProgrammerProductId = 0x6010;

/// The USB device behind a port, as far as the system tells.
struct UsbIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    /// The device's own serial number; without the channel letter that
    /// FTDI's Windows driver appends, so both interfaces of a chip agree.
    std::string serial;
    /// 0 for an FTDI chip's interface A, 1 for B; nothing when unknown.
    std::optional<int> interfaceNumber;
    std::string manufacturer;
    std::string product;
    /// Where the device sits on the bus ("1-2.3" on Linux), the same for
    /// all its interfaces.
    std::string location;

    bool operator==(const UsbIdentity&) const = default;
};

/// The one test of "is this an FTDI chip".
inline bool isFtdi(std::uint16_t vendorId)
{
    return vendorId == kFtdiVendorId;
}

/// The chip the programmer is built on.
inline bool isProgrammerChip(std::uint16_t vendorId, std::uint16_t productId)
{
    return isFtdi(vendorId) && productId == kProgrammerProductId;
}

/// FTDI's chips with more than one interface (FT2232, FT4232, FT4232HA),
/// whose driver tells the interfaces apart by a letter after the serial.
inline bool hasChannelLetters(std::uint16_t vendorId, std::uint16_t productId)
{
    return isFtdi(vendorId) && (productId == 0x6010 || productId == 0x6011 || productId == 0x6048);
}

/// The letter of an interface (0: 'A'); nothing beyond 'Z'.
inline std::optional<char> channelLetter(int interfaceNumber)
{
    if (interfaceNumber < 0 || interfaceNumber >= 26)
        return std::nullopt;
    return static_cast<char>('A' + interfaceNumber);
}

/// The interface a channel letter names ('A'…'D', either case: an FTDI
/// chip has at most four); nothing for any other character.
inline std::optional<int> interfaceOfChannelLetter(char letter)
{
    if (letter >= 'a' && letter <= 'd')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'D')
        return std::nullopt;
    return letter - 'A';
}

/// The channel letter of a D2XX record: the last letter of its description
/// ("TalvexUSB A") when its serial number, if any, ends in it too; 0 when
/// the record carries none.
inline char d2xxChannelLetter(const std::string& serialNumber, const std::string& description)
{
    if (description.size() < 2 || description[description.size() - 2] != ' '
        || !interfaceOfChannelLetter(description.back()) || description.back() > 'D')
        return 0;
    const char letter = description.back();
    return serialNumber.empty() || serialNumber.back() == letter ? letter : 0;
}

/// A port's serial as FTDI's driver and D2XX name the channel: the chip's
/// serial and the interface's letter ("TLVX0001A"); the plain serial for
/// a chip with one interface or when the interface is not known.
inline std::string channelSerial(const UsbIdentity& usb)
{
    if (usb.serial.empty() || !hasChannelLetters(usb.vendorId, usb.productId) || !usb.interfaceNumber)
        return usb.serial;
    const std::optional<char> letter = channelLetter(*usb.interfaceNumber);
    return letter ? usb.serial + *letter : usb.serial;
}

/// The family of a USB-serial chip ("FT2232", "CP210x" …); the product
/// string for one not known.
std::string serialChipName(const UsbIdentity& usb);

} // namespace talvex
