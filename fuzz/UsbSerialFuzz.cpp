// The USB serial number's text and the FTDI EEPROM image made from it.
// The input is the text; its first 128 bytes are also read as an EEPROM
// image (each word low byte first, as "usb-serial image" writes it).

#include "FuzzCheck.h"

#include "ftdi/D2xxTypes.h"
#include "usbserial/EepromImage.h"
#include "usbserial/EepromLayout.h"
#include "usbserial/UsbSerialText.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using namespace talvex;

namespace {

constexpr std::size_t kFirstDescriptorWord = 11;

// FTDI's checksum written out afresh, to compare the tool's against.
std::uint16_t referenceChecksum(const EepromWords& words)
{
    unsigned checksum = 0xAAAA;
    for (std::size_t i = 0; i < 63; ++i) {
        checksum ^= words[i];
        checksum = ((checksum << 1) | (checksum >> 15)) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(checksum);
}

bool allowed(char c)
{
    return kUsbSerialCharacters.find(c) != std::string_view::npos;
}

void checkText(std::string_view text)
{
    const std::string padded = padUsbSerial(text);
    FUZZ_CHECK(padded.size() == kUsbSerialLength);
    const std::size_t kept = std::min(text.size(), kUsbSerialLength);
    FUZZ_CHECK(padded.substr(0, kept) == text.substr(0, kept));
    FUZZ_CHECK(padded.find_first_not_of(' ', kept) == std::string::npos);

    FUZZ_CHECK(isUsbSerialText(text) ==
               (text.size() <= kUsbSerialLength && std::all_of(text.begin(), text.end(), allowed)));
    // What the tool accepts stays itself once padded.
    if (isUsbSerialText(text))
        FUZZ_CHECK(isUsbSerialText(padded));

    const std::optional<std::string> derived = usbSerialFromProgrammerSerial(text);
    const bool hex =
        std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    FUZZ_CHECK(derived.has_value() == (text.size() == 32 && hex));
    if (derived) {
        FUZZ_CHECK(*derived == text.substr(14, kUsbSerialLength));
        FUZZ_CHECK(isUsbSerialText(*derived));
    }

    const std::string field = d2xxFieldText(text.data(), text.size());
    FUZZ_CHECK(field == text.substr(0, std::min(text.find('\0'), text.size())));
}

void checkImage(std::string_view serial)
{
    const EepromWords image = buildEepromImage(serial);
    FUZZ_CHECK(image[kEepromChecksumWord] == referenceChecksum(image));
    // Read back, the image names what was written, padded to its 8 slots.
    FUZZ_CHECK(eepromString(image, kSerialPointerWord) == padUsbSerial(serial));
    FUZZ_CHECK(eepromString(image, kManufacturerPointerWord) == std::string(kEepromManufacturer));
    FUZZ_CHECK(eepromString(image, kProductPointerWord) == std::string(kEepromProduct));
    FUZZ_CHECK(image == buildEepromImage(padUsbSerial(serial)));

    // The descriptors sit back to back from word 11 and leave zeros after them.
    const std::size_t used = kFirstDescriptorWord + 3 + kEepromManufacturer.size() + kEepromProduct.size() +
                             kUsbSerialLength;
    FUZZ_CHECK(std::all_of(image.begin() + static_cast<std::ptrdiff_t>(used), image.begin() + kEepromChecksumWord,
                           [](std::uint16_t word) { return word == 0; }));

    // Any one word changed shows in the checksum.
    if (!serial.empty()) {
        EepromWords changed = image;
        const std::size_t word = static_cast<unsigned char>(serial[0]) % kEepromChecksumWord;
        changed[word] = static_cast<std::uint16_t>(changed[word] ^ (1u << (serial.size() % 16)));
        FUZZ_CHECK(ftdiEepromChecksum(changed) != image[kEepromChecksumWord]);
    }
}

void checkForeignImage(const std::uint8_t* bytes)
{
    EepromWords words{};
    for (std::size_t i = 0; i < kEepromWords; ++i)
        words[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    FUZZ_CHECK(ftdiEepromChecksum(words) == referenceChecksum(words));
    for (std::size_t pointer = 0; pointer < kEepromWords + 2; ++pointer) {
        const std::optional<std::string> text = eepromString(words, pointer);
        if (!text)
            continue;
        FUZZ_CHECK(pointer < kEepromWords);
        // The descriptor's own length, and inside the words before the checksum.
        const unsigned byteLength = words[pointer] >> 8;
        FUZZ_CHECK(text->size() == byteLength / 2 - 1);
        const std::size_t first = ((words[pointer] & 0xFF) - 0x80) / 2;
        FUZZ_CHECK(first + 1 + text->size() <= kEepromChecksumWord);
        for (std::size_t i = 0; i < text->size(); ++i)
            FUZZ_CHECK((*text)[i] == static_cast<char>(words[first + 1 + i] & 0xFF));
    }
}

// Whatever a chip's EEPROM holds, changing its serial number stays inside
// the EEPROM, keeps the other strings and every word past the checked area,
// and leaves a checksum that holds.
void checkSerialChange(const std::uint8_t* data, std::size_t size)
{
    const std::size_t words = size >= 512 ? 256 : size >= 256 ? 128 : 64;
    const std::size_t checked = eepromCheckedWords(words);
    EepromContents image(words);
    for (std::size_t i = 0; i < words; ++i)
        image[i] = static_cast<std::uint16_t>(data[2 * i] | data[2 * i + 1] << 8);
    // Most inputs have no valid checksum: give half of them one.
    if (data[0] & 1)
        image[checked - 1] = ftdiChecksum(image, checked);
    const FtdiChipKind kind = data[1] & 1 ? FtdiChipKind::Ft2232H : FtdiChipKind::Ft2232C;
    const EepromPlan plan = eepromWithSerial(image, words, kind, "ABCDEFGH");
    if (!plan.ok())
        return;
    FUZZ_CHECK(plan.image.size() == words);
    FUZZ_CHECK(eepromState(plan.image, checked) == EepromState::Valid);
    FUZZ_CHECK(eepromDescriptorText(plan.image, checked, kSerialPointerByte) == std::string("ABCDEFGH"));
    for (const std::size_t pointer : {kManufacturerPointerByte, kProductPointerByte})
        FUZZ_CHECK(eepromDescriptorText(plan.image, checked, pointer) == eepromDescriptorText(image, checked, pointer));
    for (std::size_t i = checked; i < words; ++i)
        FUZZ_CHECK(plan.image[i] == image[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    checkText(text);
    checkImage(text);
    if (size >= 2 * kEepromWords) {
        checkForeignImage(data);
        checkSerialChange(data, size);
    }
    return 0;
}
