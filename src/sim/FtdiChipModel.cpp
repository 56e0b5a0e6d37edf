#include "sim/FtdiChipModel.h"

#include <algorithm>
#include <stdexcept>

namespace talvex {
namespace {

// Byte addresses of the EEPROM's header, as libftdi's EEPROM-structure names them.
constexpr std::size_t kChannelAByte = 0x00;
constexpr std::size_t kChannelBByte = 0x01;
constexpr std::size_t kPowerByte = 0x08;
constexpr std::size_t kMaxPowerByte = 0x09;
constexpr std::size_t kConfigByte = 0x0A;
constexpr std::size_t kUsbVersionByte = 0x0C;
constexpr std::size_t kManufacturerPointer = 0x0E;
constexpr std::size_t kProductPointer = 0x10;
constexpr std::size_t kSerialPointer = 0x12;

constexpr std::uint8_t kDriverVcp = 0x08;
constexpr std::uint8_t kHighCurrent = 0x10;
constexpr std::uint8_t kSuspendPullDowns = 0x04;
constexpr std::uint8_t kUseSerial = 0x08;
constexpr std::uint8_t kUseUsbVersion = 0x10;
constexpr std::uint8_t kSelfPowered = 0x40;
constexpr std::uint8_t kRemoteWakeup = 0x20;
constexpr std::uint8_t kStringDescriptor = 0x03;


std::uint8_t byteAt(const std::vector<std::uint16_t>& words, std::size_t byte)
{
    const std::uint16_t word = words[byte / 2];
    return static_cast<std::uint8_t>(byte % 2 == 0 ? word & 0xFF : word >> 8);
}

void setByte(std::vector<std::uint16_t>& words, std::size_t byte, std::uint8_t value)
{
    std::uint16_t& word = words[byte / 2];
    word = byte % 2 == 0 ? static_cast<std::uint16_t>((word & 0xFF00) | value)
                         : static_cast<std::uint16_t>((word & 0x00FF) | value << 8);
}

// The text of the string descriptor a pointer/length pair names; the chip
// reads it within its checked area, wrapping as the address lines do.
std::string descriptorText(const std::vector<std::uint16_t>& words, std::size_t checkedBytes, std::size_t pointerByte)
{
    const std::size_t start = byteAt(words, pointerByte) & (checkedBytes - 1);
    const std::size_t length = byteAt(words, pointerByte + 1);
    std::string text;
    for (std::size_t i = 2; i + 1 < length; i += 2) {
        const std::uint8_t low = byteAt(words, (start + i) & (checkedBytes - 1));
        const std::uint8_t high = byteAt(words, (start + i + 1) & (checkedBytes - 1));
        text += high == 0 ? static_cast<char>(low) : '?';
    }
    return text;
}

std::uint8_t channelBits(std::uint8_t mode)
{
    // FTD2XX takes one mode per channel; unknown ones are UART.
    switch (mode) {
    case 1: return 0x01;
    case 2: return 0x02;
    case 4: return 0x04;
    default: return 0x00;
    }
}

} // namespace

std::size_t eepromPartWords(EepromPart part)
{
    switch (part) {
    case EepromPart::C46: return 64;
    case EepromPart::C56: return 128;
    case EepromPart::C66: return 256;
    }
    return 64;
}

std::size_t eepromCheckedWords(EepromPart part)
{
    return part == EepromPart::C46 ? 64 : 128;
}

std::uint8_t eepromPartCode(EepromPart part)
{
    switch (part) {
    case EepromPart::C46: return 0x46;
    case EepromPart::C56: return 0x56;
    case EepromPart::C66: return 0x66;
    }
    return 0x46;
}

std::string eepromPartName(EepromPart part)
{
    char name[8];
    std::snprintf(name, sizeof name, "93C%02X", eepromPartCode(part));
    return name;
}

std::optional<EepromPart> eepromPartFromName(const std::string& name)
{
    for (EepromPart part : {EepromPart::C46, EepromPart::C56, EepromPart::C66}) {
        if (eepromPartName(part) == name)
            return part;
    }
    return std::nullopt;
}

std::uint16_t ftdiBcdDevice(Ft2232Kind kind)
{
    return kind == Ft2232Kind::Ft2232C ? 0x0500 : 0x0700;
}

std::string ft2232KindName(Ft2232Kind kind)
{
    return kind == Ft2232Kind::Ft2232C ? "FT2232C" : "FT2232H";
}

std::optional<Ft2232Kind> ft2232KindFromName(const std::string& name)
{
    if (name == "FT2232C")
        return Ft2232Kind::Ft2232C;
    if (name == "FT2232H")
        return Ft2232Kind::Ft2232H;
    return std::nullopt;
}

std::uint16_t chipEepromChecksum(const std::vector<std::uint16_t>& words, std::size_t checkedWords)
{
    std::uint16_t checksum = 0xAAAA;
    for (std::size_t i = 0; i + 1 < checkedWords && i < words.size(); ++i) {
        checksum ^= words[i];
        checksum = static_cast<std::uint16_t>(checksum << 1 | checksum >> 15);
    }
    return checksum;
}

FtdiImageFields FtdiImageFields::nonDefault(Ft2232Kind kind, EepromPart part, const std::string& serial,
                                        const std::string& product)
{
    FtdiImageFields fields;
    fields.kind = kind;
    fields.part = part;
    fields.product = product;
    fields.serial = serial;
    fields.channelAVcp = false;
    fields.channelBVcp = false;
    fields.channelBMode = 1; // FIFO
    fields.selfPowered = true;
    fields.maxPowerMilliamps = 500;
    fields.suspendPullDowns = true;
    if (kind == Ft2232Kind::Ft2232C) {
        fields.usbVersion = 0x0110;
        fields.highCurrentA = true;
    } else {
        fields.groupDriveLow = 0x13;  // AL 16 mA, AH 8 mA
        fields.groupDriveHigh = 0x4A; // BL 12 mA Schmitt, BH 4 mA slow slew
    }
    fields.userWords = {0x5A17, 0x0042, 0xC0DE};
    return fields;
}

std::vector<std::uint16_t> buildFtdiImage(const FtdiImageFields& fields)
{
    const std::size_t checkedBytes = eepromCheckedWords(fields.part) * 2;
    const std::size_t mask = checkedBytes - 1;
    std::vector<std::uint16_t> words(eepromPartWords(fields.part), 0xFFFF);
    std::fill_n(words.begin(), eepromCheckedWords(fields.part), 0x0000);
    const bool c = fields.kind == Ft2232Kind::Ft2232C;

    setByte(words, kChannelAByte, static_cast<std::uint8_t>(channelBits(fields.channelAMode) | (fields.channelAVcp ? kDriverVcp : 0)
                                                            | (c && fields.highCurrentA ? kHighCurrent : 0)));
    setByte(words, kChannelBByte, static_cast<std::uint8_t>(channelBits(fields.channelBMode) | (fields.channelBVcp ? kDriverVcp : 0)));
    words[1] = fields.vendorId;
    words[2] = fields.productId;
    words[3] = ftdiBcdDevice(fields.kind);
    setByte(words, kPowerByte, static_cast<std::uint8_t>(0x80 | (fields.selfPowered ? kSelfPowered : 0)
                                                         | (fields.remoteWakeup ? kRemoteWakeup : 0)));
    setByte(words, kMaxPowerByte, static_cast<std::uint8_t>(std::clamp(fields.maxPowerMilliamps, 0, 510) / 2));
    std::uint8_t config = fields.suspendPullDowns ? kSuspendPullDowns : 0;
    if (fields.useSerial)
        config |= kUseSerial;
    if (c && fields.usbVersion)
        config |= kUseUsbVersion;
    setByte(words, kConfigByte, config);
    if (c) {
        words[kUsbVersionByte / 2] = fields.usbVersion.value_or(0x0200);
        setByte(words, 0x14, eepromPartCode(fields.part));
    } else {
        setByte(words, 0x0C, fields.groupDriveLow);
        setByte(words, 0x0D, fields.groupDriveHigh);
        setByte(words, 0x18, eepromPartCode(fields.part));
    }

    // Strings from 0x96 (FT2232C) or 0x9A (FT2232H), wrapped to the
    // checked area; the pointer keeps the unwrapped address.
    std::size_t at = c ? 0x96 : 0x9A;
    const std::size_t firstFree = at & mask;
    const auto put = [&](std::uint8_t value) { setByte(words, at++ & mask, value); };
    const auto putString = [&](std::size_t pointerByte, const std::string& text) {
        setByte(words, pointerByte, static_cast<std::uint8_t>(at | 0x80));
        setByte(words, pointerByte + 1, static_cast<std::uint8_t>(2 + 2 * text.size()));
        put(static_cast<std::uint8_t>(2 + 2 * text.size()));
        put(kStringDescriptor);
        for (char ch : text) {
            put(static_cast<std::uint8_t>(ch));
            put(0);
        }
    };
    putString(kManufacturerPointer, fields.manufacturer);
    putString(kProductPointer, fields.product);
    if (fields.useSerial)
        putString(kSerialPointer, fields.serial);
    // The legacy port name and PnP bytes FTD2XX writes after the strings.
    put(0x02);
    put(0x03);
    put(0x00);
    at += at % 2;
    for (std::uint16_t word : fields.userWords) {
        put(static_cast<std::uint8_t>(word & 0xFF));
        put(static_cast<std::uint8_t>(word >> 8));
    }
    // Room: from the first string byte up to the checksum word.
    const std::size_t room = (checkedBytes - 2) - firstFree;
    if (at - (c ? 0x96 : 0x9A) > room)
        throw std::invalid_argument("strings and user words do not fit the " + eepromPartName(fields.part));

    const std::size_t checked = eepromCheckedWords(fields.part);
    words[checked - 1] = chipEepromChecksum(words, checked);
    return words;
}

FtdiEnumeration enumerateFtdiEeprom(Ft2232Kind kind, EepromPart part, const std::vector<std::uint16_t>& image)
{
    FtdiEnumeration seen;
    std::vector<std::uint16_t> words = image;
    words.resize(eepromPartWords(part), 0xFFFF);
    const std::size_t checked = eepromCheckedWords(part);
    const bool valid = words[1] != 0xFFFF && chipEepromChecksum(words, checked) == words[checked - 1];
    if (!valid) {
        seen.manufacturer = "FTDI";
        seen.product = kind == Ft2232Kind::Ft2232C ? "Dual RS232" : "Dual RS232-HS";
        return seen;
    }
    const std::size_t checkedBytes = checked * 2;
    seen.fromEeprom = true;
    seen.vendorId = words[1];
    seen.productId = words[2];
    const std::uint8_t config = byteAt(words, kConfigByte);
    if (kind == Ft2232Kind::Ft2232C && (config & kUseUsbVersion) != 0)
        seen.bcdUsb = words[kUsbVersionByte / 2];
    seen.selfPowered = (byteAt(words, kPowerByte) & kSelfPowered) != 0;
    seen.remoteWakeup = (byteAt(words, kPowerByte) & kRemoteWakeup) != 0;
    seen.maxPowerUnits = byteAt(words, kMaxPowerByte);
    seen.manufacturer = descriptorText(words, checkedBytes, kManufacturerPointer);
    seen.product = descriptorText(words, checkedBytes, kProductPointer);
    if ((config & kUseSerial) != 0)
        seen.serial = descriptorText(words, checkedBytes, kSerialPointer);
    return seen;
}

Ft2232Chip Ft2232Chip::make(Ft2232Kind kind, EepromPart part, std::vector<std::uint16_t> image, int bus, int address,
                        std::vector<int> ports)
{
    Ft2232Chip chip;
    chip.kind = kind;
    chip.part = part;
    chip.eeprom = std::move(image);
    chip.eeprom.resize(eepromPartWords(part), 0xFFFF);
    chip.bus = bus;
    chip.address = address;
    chip.ports = std::move(ports);
    chip.enumeratedImage = chip.eeprom;
    return chip;
}

void Ft2232Chip::plugIn()
{
    if (plugged)
        return;
    plugged = true;
    ++plugCount;
    enumeratedImage = eeprom;
    // ftdi_sio binds both interfaces of a newly enumerated chip.
    kernelDriver = {true, true};
    latency = {16, 16};
    bitmode = {0, 0};
}

void Ft2232Chip::unplug()
{
    plugged = false;
    kernelDriver = {false, false};
    d2xxOpen = {false, false};
}

void Ft2232Chip::replug(int newAddress)
{
    unplug();
    address = newAddress;
    plugIn();
}

std::string Ft2232Chip::location() const
{
    std::string name = std::to_string(bus) + "-";
    for (std::size_t i = 0; i < ports.size(); ++i)
        name += (i == 0 ? "" : ".") + std::to_string(ports[i]);
    return name;
}

FtdiEnumeration Ft2232Chip::enumeration() const
{
    return enumerateFtdiEeprom(kind, part, enumeratedImage);
}

ChipAnswer Ft2232Chip::readWord(std::uint32_t requested, std::uint16_t& value)
{
    if (!plugged)
        return ChipAnswer::Gone;
    ++eepromReads;
    value = eeprom[requested & (eeprom.size() - 1)];
    return ChipAnswer::Ok;
}

ChipAnswer Ft2232Chip::writeWord(std::uint32_t requested, std::uint16_t value)
{
    if (!plugged)
        return ChipAnswer::Gone;
    const std::size_t word = requested & (eeprom.size() - 1);
    if (static_cast<int>(word) == vanishAtWord) {
        unplug();
        return ChipAnswer::Gone;
    }
    ++eepromWrites;
    if (static_cast<int>(word) == failWriteWord)
        return ChipAnswer::Failed;
    wordsWritten.push_back(static_cast<int>(requested));
    if (static_cast<int>(word) != stuckWord)
        eeprom[word] = value;
    return ChipAnswer::Ok;
}

ChipAnswer Ft2232Chip::erase()
{
    if (!plugged)
        return ChipAnswer::Gone;
    ++eepromErases;
    std::fill(eeprom.begin(), eeprom.end(), 0xFFFF);
    return ChipAnswer::Ok;
}

int Ft2232Bus::nextAddress(int busNumber) const
{
    int highest = 1; // the root hub's
    for (const Ft2232Chip& chip : chips) {
        if (chip.bus == busNumber)
            highest = std::max(highest, chip.address);
    }
    if (highest < 127)
        return highest + 1;
    for (int address = 2; address < 128; ++address) {
        const bool taken = std::any_of(chips.begin(), chips.end(), [&](const Ft2232Chip& chip) {
            return chip.bus == busNumber && chip.address == address;
        });
        if (!taken)
            return address;
    }
    return 127;
}

void Ft2232Bus::replug(std::size_t index)
{
    Ft2232Chip& chip = chips.at(index);
    chip.replug(nextAddress(chip.bus));
}

} // namespace talvex
