#include "usbserial/EepromLayout.h"

#include <algorithm>

namespace talvex {
namespace {

constexpr std::uint16_t kBlankWord = 0xFFFF;
constexpr unsigned kStringDescriptorType = 0x03;
// Byte 0x0A bit 3: the chip presents the serial number descriptor.
constexpr std::size_t kConfigWord = 5;
constexpr std::uint16_t kUseSerialBit = 0x0008;

unsigned byteAt(const EepromContents& words, std::size_t byte)
{
    return (words[byte / 2] >> (byte % 2 * 8)) & 0xFFu;
}

void setByte(EepromContents& words, std::size_t byte, unsigned value)
{
    std::uint16_t& word = words[byte / 2];
    const unsigned shift = byte % 2 * 8;
    word = static_cast<std::uint16_t>((word & ~(0xFFu << shift)) | (value & 0xFFu) << shift);
}

// Where the configuration ends and the strings may start.
std::size_t firstStringByte(FtdiChipKind kind)
{
    return kind == FtdiChipKind::Ft2232H ? 0x1A : 0x16;
}

// The words a descriptor covers, from the pointer and length bytes.
struct WordRange {
    std::size_t first = 0;
    std::size_t count = 0;
    bool contains(std::size_t word) const { return word >= first && word < first + count; }
};

std::optional<WordRange> descriptorRange(const EepromContents& words, std::size_t checkedWords,
                                         std::size_t pointerByte)
{
    const std::size_t mask = checkedWords * 2 - 1;
    const std::size_t address = byteAt(words, pointerByte) & mask;
    const std::size_t length = byteAt(words, pointerByte + 1);
    if (length < 2 || length % 2 != 0 || address % 2 != 0)
        return std::nullopt;
    const WordRange range {address / 2, length / 2};
    // The checksum word is never part of a string.
    if (range.first + range.count > checkedWords - 1)
        return std::nullopt;
    return range;
}

void putDescriptor(EepromContents& words, std::size_t word, std::string_view text)
{
    const auto length = static_cast<std::uint16_t>(2 + 2 * text.size());
    words[word++] = static_cast<std::uint16_t>(kStringDescriptorType << 8 | length);
    for (char c : text)
        words[word++] = static_cast<unsigned char>(c);
}

} // namespace

FtdiChipKind ftdiChipKindOfRelease(std::uint16_t bcdDevice)
{
    switch (bcdDevice) {
    case 0x0500: return FtdiChipKind::Ft2232C;
    case 0x0700: return FtdiChipKind::Ft2232H;
    default: return FtdiChipKind::Other;
    }
}

FtdiChipKind ftdiChipKindOfD2xxType(std::uint32_t type)
{
    switch (type) {
    case 4: return FtdiChipKind::Ft2232C;
    case 6: return FtdiChipKind::Ft2232H;
    default: return FtdiChipKind::Other;
    }
}

std::string_view ftdiChipKindName(FtdiChipKind kind)
{
    switch (kind) {
    case FtdiChipKind::Ft2232C: return "FT2232C/D";
    case FtdiChipKind::Ft2232H: return "FT2232H";
    case FtdiChipKind::Other: break;
    }
    return "other FTDI chip";
}

std::size_t eepromCheckedWords(std::size_t partWords)
{
    return std::min<std::size_t>(partWords, 128);
}

std::string eepromPartName(std::size_t partWords)
{
    switch (partWords) {
    case 64: return "93C46";
    case 128: return "93C56";
    case 256: return "93C66";
    default: return std::to_string(partWords) + "-word part";
    }
}

std::optional<std::size_t> eepromPartWordsFromWrap(const EepromContents& first256)
{
    if (first256.size() < 256)
        return std::nullopt;
    if (std::all_of(first256.begin(), first256.end(), [&](std::uint16_t w) { return w == first256.front(); }))
        return std::nullopt;
    const auto repeats = [&](std::size_t period) {
        for (std::size_t i = period; i < 256; ++i) {
            if (first256[i] != first256[i - period])
                return false;
        }
        return true;
    };
    if (repeats(64))
        return 64;
    if (repeats(128))
        return 128;
    return 256;
}

std::uint16_t ftdiChecksum(const EepromContents& words, std::size_t checkedWords)
{
    std::uint16_t checksum = 0xAAAA;
    for (std::size_t i = 0; i + 1 < checkedWords && i < words.size(); ++i) {
        checksum ^= words[i];
        checksum = static_cast<std::uint16_t>(checksum << 1 | checksum >> 15);
    }
    return checksum;
}

EepromState eepromState(const EepromContents& words, std::size_t checkedWords)
{
    if (words.size() < checkedWords || checkedWords < 2)
        return EepromState::Invalid;
    if (std::all_of(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(checkedWords),
                    [](std::uint16_t w) { return w == kBlankWord; }))
        return EepromState::Blank;
    if (words[1] != kBlankWord && ftdiChecksum(words, checkedWords) == words[checkedWords - 1])
        return EepromState::Valid;
    return EepromState::Invalid;
}

std::string_view eepromStateName(EepromState state)
{
    switch (state) {
    case EepromState::Valid: return "valid";
    case EepromState::Blank: return "blank";
    case EepromState::Invalid: break;
    }
    return "invalid checksum";
}

std::optional<std::string> eepromDescriptorText(const EepromContents& words, std::size_t checkedWords,
                                                std::size_t pointerByte)
{
    if (words.size() < checkedWords)
        return std::nullopt;
    const auto range = descriptorRange(words, checkedWords, pointerByte);
    if (!range || words[range->first] != (kStringDescriptorType << 8 | range->count * 2))
        return std::nullopt;
    std::string text;
    for (std::size_t i = range->first + 1; i < range->first + range->count; ++i)
        text.push_back(static_cast<char>(words[i] & 0xFF));
    return text;
}

EepromPlan eepromWithSerial(const EepromContents& chipImage, std::size_t partWords, FtdiChipKind kind,
                            std::string_view serial)
{
    EepromPlan plan;
    const std::size_t checked = eepromCheckedWords(partWords);
    if (kind == FtdiChipKind::Other) {
        plan.problem = "the chip is no FT2232C/D or FT2232H, whose EEPROM layout this tool knows";
        return plan;
    }
    if (chipImage.size() < checked || eepromState(chipImage, checked) != EepromState::Valid) {
        plan.problem = "the chip's EEPROM holds no valid image to change";
        return plan;
    }
    plan.image = chipImage;
    EepromContents& image = plan.image;
    const std::size_t newWords = 1 + serial.size();

    // Words the serial number may not take: configuration, the other two
    // strings, the checksum.
    std::vector<bool> taken(checked, false);
    for (std::size_t w = 0; w < firstStringByte(kind) / 2; ++w)
        taken[w] = true;
    taken[checked - 1] = true;
    for (std::size_t pointer : {kManufacturerPointerByte, kProductPointerByte}) {
        if (const auto range = descriptorRange(chipImage, checked, pointer)) {
            for (std::size_t w = range->first; w < range->first + range->count; ++w)
                taken[w] = true;
        }
    }
    const std::optional<WordRange> old = descriptorRange(chipImage, checked, kSerialPointerByte);
    const auto fitsAt = [&](std::size_t first) {
        if (first + newWords > checked - 1)
            return false;
        for (std::size_t w = first; w < first + newWords; ++w) {
            // Beyond the old descriptor only free (zero) words are used.
            if (taken[w] || (!(old && old->contains(w)) && chipImage[w] != 0x0000))
                return false;
        }
        return true;
    };
    std::optional<std::size_t> place;
    if (old && fitsAt(old->first))
        place = old->first;
    for (std::size_t w = firstStringByte(kind) / 2; !place && w < checked; ++w) {
        if (fitsAt(w))
            place = w;
    }
    if (!place) {
        plan.problem = "the chip's EEPROM has no room for a serial number of " + std::to_string(serial.size()) +
            " characters beside its other strings and data";
        return plan;
    }
    // The old descriptor's words are freed, but never those another string
    // shares with it in an image that overlaps them.
    if (old) {
        for (std::size_t w = old->first; w < old->first + old->count; ++w) {
            if (!taken[w])
                image[w] = 0x0000;
        }
    }
    putDescriptor(image, *place, serial);
    // The pointer keeps the form the chip's own pointer had when the place stays.
    const unsigned pointer = old && *place == old->first
        ? byteAt(chipImage, kSerialPointerByte)
        : static_cast<unsigned>(*place * 2) | (checked == 64 ? 0x80u : 0u);
    setByte(image, kSerialPointerByte, pointer);
    setByte(image, kSerialPointerByte + 1, static_cast<unsigned>(newWords * 2));
    image[kConfigWord] |= kUseSerialBit;
    image[checked - 1] = ftdiChecksum(image, checked);
    return plan;
}

EepromContents eepromFixedImage(FtdiChipKind kind, std::size_t partWords, std::string_view serial,
                                const EepromContents& chipImage)
{
    const std::size_t checked = eepromCheckedWords(partWords);
    EepromContents image = chipImage;
    image.resize(partWords, kBlankWord);
    std::fill(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(checked), 0x0000);
    const bool h = kind == FtdiChipKind::Ft2232H;
    const std::uint16_t partType = partWords == 64 ? 0x46 : partWords == 128 ? 0x56 : 0x66;
    image[0] = 0x0808;                  // chip options
    image[1] = 0x0403;                  // vendor ID (FTDI)
    image[2] = 0x6010;                  // product ID (dual-channel chip)
    image[3] = h ? 0x0700 : 0x0500;     // device release
    image[4] = 0x3280;                  // bus-powered, 0x32 × 2 mA = 100 mA
    image[kConfigWord] = kUseSerialBit; // serial number enabled
    image[6] = 0x0200;                  // USB 2.00
    image[h ? 12 : 10] = partType;      // EEPROM type

    // The strings follow the configuration; the pointer is 0x80 + their
    // byte offset, which an EEPROM of more than 128 bytes takes as it stands.
    const std::size_t mask = checked * 2 - 1;
    std::size_t pointer = 0x80 + firstStringByte(kind);
    const std::pair<std::size_t, std::string_view> strings[] = {
        {kManufacturerPointerByte, "FTDI"}, {kProductPointerByte, "TalvexUSB"}, {kSerialPointerByte, serial}};
    for (const auto& [pointerByte, text] : strings) {
        const std::size_t length = 2 + 2 * text.size();
        setByte(image, pointerByte, static_cast<unsigned>(pointer));
        setByte(image, pointerByte + 1, static_cast<unsigned>(length));
        putDescriptor(image, (pointer & mask) / 2, text);
        pointer += length;
    }
    image[checked - 1] = ftdiChecksum(image, checked);
    return image;
}

} // namespace talvex
