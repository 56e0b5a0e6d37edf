#include "usbserial/EepromImage.h"

#include "usbserial/EepromLayout.h"

namespace talvex {
namespace {

// String descriptors are addressed as 0x80 + byte offset inside the image
// (the 93C46 sits behind the chip's internal 0x80 byte window).
constexpr unsigned kPointerBase = 0x80;
constexpr std::uint16_t kStringDescriptorType = 0x03;
constexpr std::size_t kFirstDescriptorWord = 11;

// Appends a string descriptor at `word` (header: type 3 high, total
// length low, then one 16-bit word per character) and points `pointerWord`
// at it. Returns the word after it.
std::size_t putDescriptor(EepromWords& words, std::size_t word, std::size_t pointerWord, std::string_view text)
{
    const auto byteLength = static_cast<std::uint16_t>(2 + 2 * text.size());
    const auto pointer = static_cast<std::uint16_t>(kPointerBase + 2 * word);
    words[pointerWord] = static_cast<std::uint16_t>(byteLength << 8 | pointer);
    words[word++] = static_cast<std::uint16_t>(kStringDescriptorType << 8 | byteLength);
    for (char c : text)
        words[word++] = static_cast<unsigned char>(c);
    return word;
}

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
    EepromWords words{};
    words[0] = 0x0808;  // chip options
    words[1] = 0x0403;  // vendor ID (FTDI)
    words[2] = 0x6010;  // product ID (dual-channel chip)
    words[3] = 0x0500;  // device release
    words[4] = 0x3280;  // bus-powered, 0x32 × 2 mA = 100 mA
    words[5] = 0x0008;  // serial number enabled
    words[6] = 0x0200;  // USB 2.00
    words[10] = 0x0046; // EEPROM type 93C46
    std::size_t word = kFirstDescriptorWord;
    word = putDescriptor(words, word, kManufacturerPointerWord, kEepromManufacturer);
    word = putDescriptor(words, word, kProductPointerWord, kEepromProduct);
    putDescriptor(words, word, kSerialPointerWord, slots);
    words[kEepromChecksumWord] = ftdiEepromChecksum(words);
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
