#include "sim/FtdiChipModel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

#if !defined(_WIN32)
#include <unistd.h>
#else
#include <process.h>
#endif

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

constexpr std::uint32_t kD2xxTypeFt2232C = 4;
constexpr std::uint32_t kD2xxTypeFt2232H = 6;

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

FtdiImageSpec FtdiImageSpec::nonDefault(Ft2232Kind kind, EepromPart part, const std::string& serial,
                                        const std::string& product)
{
    FtdiImageSpec spec;
    spec.kind = kind;
    spec.part = part;
    spec.product = product;
    spec.serial = serial;
    spec.channelAVcp = false;
    spec.channelBVcp = false;
    spec.channelBMode = 1; // FIFO
    spec.selfPowered = true;
    spec.maxPowerMilliamps = 500;
    spec.suspendPullDowns = true;
    if (kind == Ft2232Kind::Ft2232C) {
        spec.usbVersion = 0x0110;
        spec.highCurrentA = true;
    } else {
        spec.groupDriveLow = 0x13;  // AL 16 mA, AH 8 mA
        spec.groupDriveHigh = 0x4A; // BL 12 mA Schmitt, BH 4 mA slow slew
    }
    spec.userWords = {0x5A17, 0x0042, 0xC0DE};
    return spec;
}

std::vector<std::uint16_t> buildFtdiImage(const FtdiImageSpec& spec)
{
    const std::size_t checkedBytes = eepromCheckedWords(spec.part) * 2;
    const std::size_t mask = checkedBytes - 1;
    std::vector<std::uint16_t> words(eepromPartWords(spec.part), 0xFFFF);
    std::fill_n(words.begin(), eepromCheckedWords(spec.part), 0x0000);
    const bool c = spec.kind == Ft2232Kind::Ft2232C;

    setByte(words, kChannelAByte, static_cast<std::uint8_t>(channelBits(spec.channelAMode) | (spec.channelAVcp ? kDriverVcp : 0)
                                                            | (c && spec.highCurrentA ? kHighCurrent : 0)));
    setByte(words, kChannelBByte, static_cast<std::uint8_t>(channelBits(spec.channelBMode) | (spec.channelBVcp ? kDriverVcp : 0)));
    words[1] = spec.vendorId;
    words[2] = spec.productId;
    words[3] = ftdiBcdDevice(spec.kind);
    setByte(words, kPowerByte, static_cast<std::uint8_t>(0x80 | (spec.selfPowered ? kSelfPowered : 0)
                                                         | (spec.remoteWakeup ? kRemoteWakeup : 0)));
    setByte(words, kMaxPowerByte, static_cast<std::uint8_t>(std::clamp(spec.maxPowerMilliamps, 0, 510) / 2));
    std::uint8_t config = spec.suspendPullDowns ? kSuspendPullDowns : 0;
    if (spec.useSerial)
        config |= kUseSerial;
    if (c && spec.usbVersion)
        config |= kUseUsbVersion;
    setByte(words, kConfigByte, config);
    if (c) {
        words[kUsbVersionByte / 2] = spec.usbVersion.value_or(0x0200);
        setByte(words, 0x14, eepromPartCode(spec.part));
    } else {
        setByte(words, 0x0C, spec.groupDriveLow);
        setByte(words, 0x0D, spec.groupDriveHigh);
        setByte(words, 0x18, eepromPartCode(spec.part));
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
    putString(kManufacturerPointer, spec.manufacturer);
    putString(kProductPointer, spec.product);
    if (spec.useSerial)
        putString(kSerialPointer, spec.serial);
    // The legacy port name and PnP bytes FTD2XX writes after the strings.
    put(0x02);
    put(0x03);
    put(0x00);
    at += at % 2;
    for (std::uint16_t word : spec.userWords) {
        put(static_cast<std::uint8_t>(word & 0xFF));
        put(static_cast<std::uint8_t>(word >> 8));
    }
    // Room: from the first string byte up to the checksum word.
    const std::size_t room = (checkedBytes - 2) - firstFree;
    if (at - (c ? 0x96 : 0x9A) > room)
        throw std::invalid_argument("strings and user words do not fit the " + eepromPartName(spec.part));

    const std::size_t checked = eepromCheckedWords(spec.part);
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

// ---- the state file ----

namespace {

template<typename T>
std::string joined(const T& values, bool hex = false)
{
    std::ostringstream out;
    if (hex)
        out << std::hex;
    bool first = true;
    for (const auto& value : values) {
        out << (first ? "" : " ") << static_cast<long long>(value);
        first = false;
    }
    return out.str();
}

std::vector<long long> numbers(const std::string& text, int base = 0)
{
    std::istringstream in(text);
    std::vector<long long> values;
    std::string item;
    while (in >> item)
        values.push_back(std::stoll(item, nullptr, base));
    return values;
}

template<typename T, std::size_t N>
bool intoArray(std::array<T, N>& target, const std::string& text)
{
    const auto values = numbers(text);
    if (values.size() != N)
        return false;
    for (std::size_t i = 0; i < N; ++i)
        target[i] = static_cast<T>(values[i]);
    return true;
}

bool intoWords(std::vector<std::uint16_t>& target, const std::string& text)
{
    target.clear();
    for (long long value : numbers(text, 16)) {
        if (value < 0 || value > 0xFFFF)
            return false;
        target.push_back(static_cast<std::uint16_t>(value));
    }
    return true;
}

struct Field {
    const char* key;
    std::function<std::string(const Ft2232Chip&)> write;
    std::function<bool(Ft2232Chip&, const std::string&)> read;
};

template<typename T>
Field number(const char* key, T Ft2232Chip::*member)
{
    return {key, [member](const Ft2232Chip& chip) { return std::to_string(static_cast<long long>(chip.*member)); },
            [member](Ft2232Chip& chip, const std::string& text) {
                chip.*member = static_cast<T>(std::stoll(text, nullptr, 0));
                return true;
            }};
}

template<typename T, std::size_t N>
Field pair(const char* key, std::array<T, N> Ft2232Chip::*member)
{
    return {key, [member](const Ft2232Chip& chip) { return joined(chip.*member); },
            [member](Ft2232Chip& chip, const std::string& text) { return intoArray(chip.*member, text); }};
}

Field wordList(const char* key, std::vector<std::uint16_t> Ft2232Chip::*member)
{
    return {key, [member](const Ft2232Chip& chip) { return joined(chip.*member, true); },
            [member](Ft2232Chip& chip, const std::string& text) { return intoWords(chip.*member, text); }};
}

Field latencySets(const char* key, int channel)
{
    return {key, [channel](const Ft2232Chip& chip) { return joined(chip.latencySets[channel]); },
            [channel](Ft2232Chip& chip, const std::string& text) {
                chip.latencySets[channel].clear();
                for (long long value : numbers(text))
                    chip.latencySets[channel].push_back(static_cast<int>(value));
                return true;
            }};
}

const std::vector<Field>& fields()
{
    static const std::vector<Field> table = {
        {"kind", [](const Ft2232Chip& chip) { return ft2232KindName(chip.kind); },
         [](Ft2232Chip& chip, const std::string& text) {
             const auto kind = ft2232KindFromName(text);
             chip.kind = kind.value_or(chip.kind);
             return kind.has_value();
         }},
        {"part", [](const Ft2232Chip& chip) { return eepromPartName(chip.part); },
         [](Ft2232Chip& chip, const std::string& text) {
             const auto part = eepromPartFromName(text);
             chip.part = part.value_or(chip.part);
             return part.has_value();
         }},
        number("bus", &Ft2232Chip::bus),
        number("address", &Ft2232Chip::address),
        {"ports",
         [](const Ft2232Chip& chip) {
             std::string text;
             for (std::size_t i = 0; i < chip.ports.size(); ++i)
                 text += (i == 0 ? "" : ".") + std::to_string(chip.ports[i]);
             return text;
         },
         [](Ft2232Chip& chip, const std::string& text) {
             std::string spaced = text;
             std::replace(spaced.begin(), spaced.end(), '.', ' ');
             chip.ports.clear();
             for (long long port : numbers(spaced))
                 chip.ports.push_back(static_cast<int>(port));
             return !chip.ports.empty() && chip.ports.size() <= 7;
         }},
        number("plugged", &Ft2232Chip::plugged),
        number("plug_count", &Ft2232Chip::plugCount),
        wordList("eeprom", &Ft2232Chip::eeprom),
        wordList("enumerated", &Ft2232Chip::enumeratedImage),
        number("fail_write_word", &Ft2232Chip::failWriteWord),
        number("vanish_at_word", &Ft2232Chip::vanishAtWord),
        number("stuck_word", &Ft2232Chip::stuckWord),
        number("held_elsewhere", &Ft2232Chip::heldElsewhere),
        number("no_access", &Ft2232Chip::noAccess),
        number("eeprom_reads", &Ft2232Chip::eepromReads),
        number("eeprom_writes", &Ft2232Chip::eepromWrites),
        number("eeprom_erases", &Ft2232Chip::eepromErases),
        {"words_written", [](const Ft2232Chip& chip) { return joined(chip.wordsWritten); },
         [](Ft2232Chip& chip, const std::string& text) {
             chip.wordsWritten.clear();
             for (long long word : numbers(text))
                 chip.wordsWritten.push_back(static_cast<int>(word));
             return true;
         }},
        pair("kernel_driver", &Ft2232Chip::kernelDriver),
        number("detaches", &Ft2232Chip::detaches),
        number("attaches", &Ft2232Chip::attaches),
        pair("latency", &Ft2232Chip::latency),
        pair("bitmode", &Ft2232Chip::bitmode),
        number("resets", &Ft2232Chip::resets),
        pair("d2xx_open", &Ft2232Chip::d2xxOpen),
        pair("d2xx_open_failure", &Ft2232Chip::d2xxOpenFailure),
        number("d2xx_write_failure", &Ft2232Chip::d2xxWriteFailure),
        number("d2xx_close_failure", &Ft2232Chip::d2xxCloseFailure),
        pair("com_port", &Ft2232Chip::comPort),
        number("lowest_latency", &Ft2232Chip::lowestLatency),
        latencySets("latency_sets_a", 0),
        latencySets("latency_sets_b", 1),
    };
    return table;
}

constexpr const char* kHeader = "talvex-ftdi-bus 1";

} // namespace

std::string formatFt2232Bus(const Ft2232Bus& bus)
{
    std::ostringstream out;
    out << kHeader << '\n'
        << "d2xx_create_failure " << bus.d2xxCreateFailure << '\n'
        << "d2xx_list_failure " << bus.d2xxListFailure << '\n';
    for (const Ft2232Chip& chip : bus.chips) {
        out << "chip\n";
        for (const Field& field : fields())
            out << field.key << ' ' << field.write(chip) << '\n';
    }
    return out.str();
}

std::optional<Ft2232Bus> parseFt2232Bus(const std::string& text, std::string& error)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader) {
        error = "not a bus state file";
        return std::nullopt;
    }
    Ft2232Bus bus;
    int number = 1;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty())
            continue;
        const auto space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
        bool good = true;
        try {
            if (key == "chip") {
                bus.chips.emplace_back();
            } else if (key == "d2xx_create_failure") {
                bus.d2xxCreateFailure = static_cast<FtStatus>(std::stoul(value, nullptr, 0));
            } else if (key == "d2xx_list_failure") {
                bus.d2xxListFailure = static_cast<FtStatus>(std::stoul(value, nullptr, 0));
            } else {
                const auto& table = fields();
                const auto field = std::find_if(table.begin(), table.end(),
                                                [&](const Field& entry) { return key == entry.key; });
                good = field != table.end() && !bus.chips.empty() && field->read(bus.chips.back(), value);
            }
        } catch (const std::exception&) {
            good = false;
        }
        if (!good) {
            error = "line " + std::to_string(number) + " unreadable: " + line;
            return std::nullopt;
        }
    }
    for (const Ft2232Chip& chip : bus.chips) {
        const std::size_t words = eepromPartWords(chip.part);
        if (chip.eeprom.size() != words || chip.enumeratedImage.size() != words) {
            error = "a chip's EEPROM is not the size of its " + eepromPartName(chip.part);
            return std::nullopt;
        }
    }
    return bus;
}

std::optional<Ft2232Bus> loadFt2232Bus(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    std::string ignored;
    std::string& why = error ? *error : ignored;
    if (!in) {
        why = path + ": cannot be read";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseFt2232Bus(text.str(), why);
}

bool saveFt2232Bus(const std::string& path, const Ft2232Bus& bus)
{
#if defined(_WIN32)
    const int pid = ::_getpid();
#else
    const int pid = static_cast<int>(::getpid());
#endif
    const std::string temporary = path + ".tmp" + std::to_string(pid);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << formatFt2232Bus(bus);
        if (!out.flush())
            return false;
    }
    std::error_code failure;
    std::filesystem::rename(temporary, path, failure);
    if (failure) {
        std::filesystem::remove(temporary, failure);
        return false;
    }
    return true;
}

std::uint32_t d2xxLocIdOf(const Ft2232Chip& chip, int channel)
{
    const std::uint32_t first = chip.ports.empty() ? 0 : static_cast<std::uint32_t>(chip.ports[0]);
    const std::uint32_t second = chip.ports.size() > 1 ? static_cast<std::uint32_t>(chip.ports[1]) : 1;
    return (static_cast<std::uint32_t>(chip.bus) & 0xF) << 12 | (first & 0xF) << 8 | (second & 0xF) << 4
         | static_cast<std::uint32_t>(channel + 1);
}

FtDeviceListInfoNode d2xxRecordOf(const Ft2232Chip& chip, int channel)
{
    FtDeviceListInfoNode record{};
    const FtdiEnumeration seen = chip.enumeration();
    const char letter = channel == 0 ? 'A' : 'B';
    record.Type = chip.kind == Ft2232Kind::Ft2232C ? kD2xxTypeFt2232C : kD2xxTypeFt2232H;
    record.ID = static_cast<std::uint32_t>(seen.vendorId) << 16 | seen.productId;
    record.LocId = d2xxLocIdOf(chip, channel);
    const bool heldByOther = channel == 0 && chip.heldElsewhere;
    if (chip.d2xxOpen[static_cast<std::size_t>(channel)] || heldByOther)
        record.Flags |= kFtFlagOpened;
    // An open device's strings are not read again.
    if (heldByOther)
        return record;
    const std::string serial = seen.serial && !seen.serial->empty() ? *seen.serial + letter : std::string();
    const std::string description = seen.product + ' ' + letter;
    std::strncpy(record.SerialNumber, serial.c_str(), sizeof record.SerialNumber - 1);
    std::strncpy(record.Description, description.c_str(), sizeof record.Description - 1);
    return record;
}

FtStatus d2xxOpenChannel(Ft2232Chip& chip, int channel)
{
    const auto i = static_cast<std::size_t>(channel);
    if (!chip.plugged)
        return ftstatus::kDeviceNotFound;
    if (chip.d2xxOpenFailure[i] != ftstatus::kOk)
        return chip.d2xxOpenFailure[i];
    if (chip.d2xxOpen[i] || chip.noAccess || (channel == 0 && chip.heldElsewhere))
        return ftstatus::kDeviceNotOpened;
    chip.d2xxOpen[i] = true;
    return ftstatus::kOk;
}

FtStatus d2xxCloseChannel(Ft2232Chip& chip, int channel)
{
    if (chip.d2xxCloseFailure != ftstatus::kOk)
        return chip.d2xxCloseFailure;
    chip.d2xxOpen[static_cast<std::size_t>(channel)] = false;
    return ftstatus::kOk;
}

namespace {

FtStatus d2xxStatusOf(ChipAnswer answer, FtStatus refused)
{
    switch (answer) {
    case ChipAnswer::Ok: return ftstatus::kOk;
    case ChipAnswer::Failed: return refused;
    case ChipAnswer::Gone: return ftstatus::kIoError;
    }
    return ftstatus::kOtherError;
}

} // namespace

FtStatus d2xxReadEe(Ft2232Chip& chip, std::uint32_t word, std::uint16_t& value)
{
    return d2xxStatusOf(chip.readWord(word, value), ftstatus::kEepromReadFailed);
}

FtStatus d2xxWriteEe(Ft2232Chip& chip, std::uint32_t word, std::uint16_t value)
{
    return d2xxStatusOf(chip.writeWord(word, value), chip.d2xxWriteFailure);
}

FtStatus d2xxEraseEe(Ft2232Chip& chip)
{
    return d2xxStatusOf(chip.erase(), ftstatus::kEepromEraseFailed);
}

FtStatus d2xxSetLatency(Ft2232Chip& chip, int channel, std::uint8_t milliseconds)
{
    const auto i = static_cast<std::size_t>(channel);
    if (!chip.plugged)
        return ftstatus::kIoError;
    if (milliseconds < chip.lowestLatency)
        return ftstatus::kInvalidParameter;
    chip.latency[i] = milliseconds;
    chip.latencySets[i].push_back(milliseconds);
    return ftstatus::kOk;
}

FtOpenedDevice d2xxDeviceInfo(const Ft2232Chip& chip, int channel)
{
    const FtDeviceListInfoNode record = d2xxRecordOf(chip, channel);
    const auto field = [](const char* text, std::size_t size) {
        return std::string(text, std::find(text, text + size, '\0'));
    };
    return {record.Type, record.ID, field(record.SerialNumber, sizeof record.SerialNumber),
            field(record.Description, sizeof record.Description)};
}

} // namespace talvex
