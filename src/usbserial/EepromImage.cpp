#include "usbserial/EepromImage.h"

#include "usbserial/EepromLayout.h"

#include <algorithm>

namespace talvex {
namespace {

// String descriptors are addressed as 0x80 + byte offset inside the image
// (the 93C46 sits behind the chip's internal 0x80 byte window).
constexpr unsigned kPointerBase = 0x80;
constexpr std::uint16_t kStringDescriptorType = 0x03;

} // namespace

std::uint16_t ftdiEepromChecksum(const EepromWords& words)
{
    return ftdiChecksum(EepromContents(words.begin(), words.end()), kEepromWords);
}

EepromWords buildEepromImage(std::string_view serial)
{
    // The descriptor has exactly 8 slots; the caller checks the text, this
    // only keeps the image well-formed whatever it is given.
    std::string slots(serial.substr(0, kUsbSerialLength));
    slots.resize(kUsbSerialLength, ' ');
    const EepromContents image = eepromFixedImage(FtdiChipKind::Ft2232C, kEepromWords, slots, {});
    EepromWords words{};
    std::copy_n(image.begin(), kEepromWords, words.begin());
    return words;
}

std::optional<std::string> eepromString(const EepromWords& words, std::size_t pointerWord)
{
    if (pointerWord >= kEepromWords)
        return std::nullopt;
    const unsigned pointer = words[pointerWord] & 0xFF;
    const unsigned byteLength = words[pointerWord] >> 8;
    if (pointer < kPointerBase || pointer % 2 != 0 || byteLength < 2 || byteLength % 2 != 0)
        return std::nullopt;
    const std::size_t first = (pointer - kPointerBase) / 2;
    const std::size_t count = byteLength / 2; // header and characters
    if (first + count > kEepromChecksumWord)
        return std::nullopt;
    if (words[first] != (kStringDescriptorType << 8 | byteLength))
        return std::nullopt;
    std::string text;
    for (std::size_t i = first + 1; i < first + count; ++i)
        text.push_back(static_cast<char>(words[i] & 0xFF));
    return text;
}

} // namespace talvex
