#include "usbserial/EepromImage.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace talvex;

namespace {

std::uint16_t character(char c)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(c));
}

} // namespace

TEST(EepromImage, FixedWordsFollowTheFtdiLayout)
{
    const EepromWords image = buildEepromImage("EF012345");
    EXPECT_EQ(image[0], 0x0808);
    EXPECT_EQ(image[1], 0x0403);
    EXPECT_EQ(image[2], 0x6010);
    EXPECT_EQ(image[3], 0x0500);
    EXPECT_EQ(image[4], 0x3280);
    EXPECT_EQ(image[5], 0x0008);
    EXPECT_EQ(image[6], 0x0200);
    EXPECT_EQ(image[10], 0x0046);
}

TEST(EepromImage, DescriptorsFollowEachOtherFromWordElevenWithTheirPointers)
{
    const EepromWords image = buildEepromImage("EF012345");

    // Manufacturer at byte 22: pointer 0x80 + 22 = 0x96, 10 bytes.
    EXPECT_EQ(image[7], 0x0A96);
    EXPECT_EQ(image[11], 0x030A);
    const char manufacturer[] = "FTDI";
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(image[12 + static_cast<std::size_t>(i)], character(manufacturer[i])) << "word " << 12 + i;

    // Product at byte 32 (0xA0): 2 + 2 × 9 = 20 bytes.
    EXPECT_EQ(image[8], 0x14A0);
    EXPECT_EQ(image[16], 0x0314);
    const char product[] = "TalvexUSB";
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(image[17 + static_cast<std::size_t>(i)], character(product[i])) << "word " << 17 + i;

    // Serial number at byte 52 (0xB4): header 0x0312, 8 slots.
    EXPECT_EQ(image[9], 0x12B4);
    EXPECT_EQ(image[26], 0x0312);
    const char serial[] = "EF012345";
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(image[27 + static_cast<std::size_t>(i)], character(serial[i])) << "word " << 27 + i;

    for (std::size_t word = 35; word <= 62; ++word)
        EXPECT_EQ(image[word], 0) << "free word " << word;
}

TEST(EepromImage, ShortSerialIsPaddedWithSpacesAndLongOneCut)
{
    const EepromWords shortOne = buildEepromImage("AB12");
    const EepromWords longOne = buildEepromImage("ABCDEFGHIJ");
    const char padded[] = "AB12    ";
    const char cut[] = "ABCDEFGH";
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(shortOne[27 + static_cast<std::size_t>(i)], character(padded[i]));
        EXPECT_EQ(longOne[27 + static_cast<std::size_t>(i)], character(cut[i]));
    }
    EXPECT_EQ(longOne[35], 0) << "the descriptor must not run past its 8 slots";
}

TEST(EepromImage, ChecksumFollowsFtdiRule)
{
    // Hand-worked values: with all words zero, 0xAAAA is rotated 63 times,
    // i.e. right by one: 0x5555.
    EepromWords words{};
    EXPECT_EQ(ftdiEepromChecksum(words), 0x5555);
    // 0xAAAA ^ 0x5555 = 0xFFFF, which every rotation keeps.
    words[0] = 0x5555;
    EXPECT_EQ(ftdiEepromChecksum(words), 0xFFFF);
    // After 62 rotations 0xAAAA is itself again; ^1 gives 0xAAAB, rotated 0x5557.
    words = {};
    words[62] = 0x0001;
    EXPECT_EQ(ftdiEepromChecksum(words), 0x5557);
    // Word 63 is the checksum's own place and does not count.
    words[63] = 0x1234;
    EXPECT_EQ(ftdiEepromChecksum(words), 0x5557);
}

TEST(EepromImage, StringDescriptorsReadBack)
{
    const EepromWords image = buildEepromImage("AB12");
    EXPECT_EQ(eepromString(image, kManufacturerPointerWord), "FTDI");
    EXPECT_EQ(eepromString(image, kProductPointerWord), "TalvexUSB");
    EXPECT_EQ(eepromString(image, kSerialPointerWord), "AB12    ");

    EepromWords blank;
    blank.fill(0xFFFF);
    EXPECT_FALSE(eepromString(blank, kSerialPointerWord).has_value());

    EepromWords brokenHeader = image;
    brokenHeader[26] = 0x0310; // length no longer matches the pointer word
    EXPECT_FALSE(eepromString(brokenHeader, kSerialPointerWord).has_value());

    EepromWords pastTheEnd = image;
    pastTheEnd[kSerialPointerWord] = 0x12FC; // would run into the checksum
    EXPECT_FALSE(eepromString(pastTheEnd, kSerialPointerWord).has_value());
}
