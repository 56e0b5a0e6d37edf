// The image the tool writes, decoded by libftdi's own ftdi_eeprom_decode:
// a check that does not share the tool's reading of FTDI's layout.

#include "usbserial/EepromBackup.h"
#include "usbserial/EepromImage.h"
#include "usbserial/UsbSerialText.h"

#include <libftdi1/ftdi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace talvex;

namespace {

struct FreeFtdi {
    void operator()(ftdi_context* ftdi) const
    {
        ftdi_set_usbdev(ftdi, nullptr); // the stand-in handle below is no device to close
        ftdi_free(ftdi);
    }
};
using Ftdi = std::unique_ptr<ftdi_context, FreeFtdi>;

// An FT2232C context with a 128-byte EEPROM buffer holding `words`.
// libftdi sizes the buffer only for a connected device; a handle that is
// never used stands in for one (the defaults and the build of an FT2232C
// make no USB transfer), then the image replaces what the build made.
Ftdi decoderFor(const EepromWords& words)
{
    Ftdi ftdi(ftdi_new());
    if (!ftdi)
        return nullptr;
    ftdi->type = TYPE_2232C;
    ftdi_set_usbdev(ftdi.get(), reinterpret_cast<libusb_device_handle*>(0x1));
    char manufacturer[] = "x";
    char product[] = "x";
    char serial[] = "x";
    EXPECT_EQ(ftdi_eeprom_initdefaults(ftdi.get(), manufacturer, product, serial), 0);
    EXPECT_EQ(ftdi_set_eeprom_value(ftdi.get(), CHIP_TYPE, 0x46), 0);
    EXPECT_GE(ftdi_eeprom_build(ftdi.get()), 0) << ftdi_get_error_string(ftdi.get());
    int size = 0;
    ftdi_get_eeprom_value(ftdi.get(), CHIP_SIZE, &size);
    EXPECT_EQ(size, 128);
    const std::string bytes = eepromFileBytes(EepromContents(words.begin(), words.end()));
    EXPECT_EQ(ftdi_set_eeprom_buf(ftdi.get(), reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size())),
              0);
    return ftdi;
}

int value(ftdi_context* ftdi, ftdi_eeprom_value name)
{
    int result = -1;
    EXPECT_EQ(ftdi_get_eeprom_value(ftdi, name, &result), 0);
    return result;
}

struct Strings {
    std::string manufacturer;
    std::string product;
    std::string serial;
};

Strings strings(ftdi_context* ftdi)
{
    char manufacturer[64] {};
    char product[64] {};
    char serial[64] {};
    EXPECT_EQ(ftdi_eeprom_get_strings(ftdi, manufacturer, sizeof manufacturer, product, sizeof product, serial,
                                      sizeof serial),
              0);
    return {manufacturer, product, serial};
}

} // namespace

TEST(LibftdiDecode, TheToolsImageDecodesToItsIdsNamesSerialAndAValidChecksum)
{
    for (const char* typed : {"EF012345", "AB12", "z9 Q"}) {
        const std::string serial = padUsbSerial(typed);
        const Ftdi ftdi = decoderFor(buildEepromImage(serial));
        ASSERT_TRUE(ftdi);
        ASSERT_EQ(ftdi_eeprom_decode(ftdi.get(), 0), 0) << typed << ": " << ftdi_get_error_string(ftdi.get());
        EXPECT_EQ(value(ftdi.get(), VENDOR_ID), 0x0403);
        EXPECT_EQ(value(ftdi.get(), PRODUCT_ID), 0x6010);
        EXPECT_EQ(value(ftdi.get(), RELEASE_NUMBER), 0x0500);
        EXPECT_EQ(value(ftdi.get(), USE_SERIAL), 1);
        EXPECT_EQ(value(ftdi.get(), SELF_POWERED), 0);
        EXPECT_EQ(value(ftdi.get(), MAX_POWER), 100);
        EXPECT_EQ(value(ftdi.get(), CHIP_TYPE), 0x46);
        const Strings decoded = strings(ftdi.get());
        EXPECT_EQ(decoded.manufacturer, "FTDI");
        EXPECT_EQ(decoded.product, "TalvexUSB");
        EXPECT_EQ(decoded.serial, serial) << typed;
    }
}

TEST(LibftdiDecode, AnyWordChangedBreaksTheChecksumLibftdiChecks)
{
    const EepromWords good = buildEepromImage("EF012345");
    for (const std::size_t word : {std::size_t {0}, std::size_t {30}, std::size_t {62}, kEepromChecksumWord}) {
        EepromWords bad = good;
        bad[word] ^= 0x0100;
        const Ftdi ftdi = decoderFor(bad);
        ASSERT_TRUE(ftdi);
        EXPECT_EQ(ftdi_eeprom_decode(ftdi.get(), 0), -1) << "word " << word;
        EXPECT_STREQ(ftdi_get_error_string(ftdi.get()), "EEPROM checksum error");
    }
}
