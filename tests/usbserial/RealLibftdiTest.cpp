// The installed libftdi 1.5, unchanged, on the stand-in libusb: lists,
// opens and decodes the modelled chips. It checks the stand-in against
// the library the tool uses on Linux, and the model's image builder
// against libftdi's own EEPROM decoder.
#if defined(TALVEX_LIBUSB_STANDIN) && defined(TALVEX_REAL_LIBFTDI)

#include "support/libusb/UsbBench.h"

#include <libftdi1/ftdi.h>
#include <libusb-1.0/libusb.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <string>

using namespace talvex;
using test::UsbBench;

namespace {

struct Libftdi {
    void* usb = nullptr;
    void* ftdi = nullptr;
    decltype(&::ftdi_new) newContext = nullptr;
    decltype(&::ftdi_free) freeContext = nullptr;
    decltype(&::ftdi_set_interface) setInterface = nullptr;
    decltype(&::ftdi_usb_find_all) findAll = nullptr;
    decltype(&::ftdi_list_free) listFree = nullptr;
    decltype(&::ftdi_usb_get_strings) getStrings = nullptr;
    decltype(&::ftdi_usb_open_bus_addr) openBusAddr = nullptr;
    decltype(&::ftdi_usb_close) close = nullptr;
    decltype(&::ftdi_read_eeprom) readEeprom = nullptr;
    decltype(&::ftdi_eeprom_decode) decode = nullptr;
    decltype(&::ftdi_get_eeprom_value) value = nullptr;
    decltype(&::ftdi_eeprom_get_strings) eepromStrings = nullptr;
    decltype(&::ftdi_get_error_string) errorString = nullptr;
    decltype(&::libusb_control_transfer) controlTransfer = nullptr;

    template<typename Fn>
    void resolve(const char* name, Fn& target)
    {
        target = reinterpret_cast<Fn>(::dlsym(ftdi, name));
        ASSERT_NE(target, nullptr) << name;
    }
};

// The stand-in first, so libftdi's libusb-1.0.so.0 is it. A process that
// already holds the real pair gets a namespace of its own for the two.
void load(Libftdi& lib)
{
    if (void* loaded = ::dlopen(TALVEX_REAL_LIBFTDI, RTLD_NOW | RTLD_NOLOAD)) {
        ::dlclose(loaded);
        lib.usb = ::dlmopen(LM_ID_NEWLM, TALVEX_LIBUSB_STANDIN, RTLD_NOW);
        ASSERT_NE(lib.usb, nullptr) << ::dlerror();
        Lmid_t space = LM_ID_BASE;
        ASSERT_EQ(::dlinfo(lib.usb, RTLD_DI_LMID, &space), 0);
        lib.ftdi = ::dlmopen(space, TALVEX_REAL_LIBFTDI, RTLD_NOW);
    } else {
        lib.usb = ::dlopen(TALVEX_LIBUSB_STANDIN, RTLD_NOW | RTLD_GLOBAL);
        ASSERT_NE(lib.usb, nullptr) << ::dlerror();
        lib.ftdi = ::dlopen(TALVEX_REAL_LIBFTDI, RTLD_NOW);
    }
    ASSERT_NE(lib.ftdi, nullptr) << ::dlerror();
    ASSERT_EQ(::dlsym(lib.ftdi, "libusb_open"), ::dlsym(lib.usb, "libusb_open"))
        << "libftdi is bound to another libusb";
    lib.resolve("ftdi_new", lib.newContext);
    lib.resolve("ftdi_free", lib.freeContext);
    lib.resolve("ftdi_set_interface", lib.setInterface);
    lib.resolve("ftdi_usb_find_all", lib.findAll);
    lib.resolve("ftdi_list_free", lib.listFree);
    lib.resolve("ftdi_usb_get_strings", lib.getStrings);
    lib.resolve("ftdi_usb_open_bus_addr", lib.openBusAddr);
    lib.resolve("ftdi_usb_close", lib.close);
    lib.resolve("ftdi_read_eeprom", lib.readEeprom);
    lib.resolve("ftdi_eeprom_decode", lib.decode);
    lib.resolve("ftdi_get_eeprom_value", lib.value);
    lib.resolve("ftdi_eeprom_get_strings", lib.eepromStrings);
    lib.resolve("ftdi_get_error_string", lib.errorString);
    lib.resolve("libusb_control_transfer", lib.controlTransfer);
}

struct Strings {
    std::string manufacturer, product, serial;
};

int eepromValue(const Libftdi& lib, ftdi_context* context, ftdi_eeprom_value name)
{
    int value = -1;
    EXPECT_EQ(lib.value(context, name, &value), 0) << name;
    return value;
}

} // namespace

TEST(RealLibftdi, ListsOpensAndDecodesTheModelledChips)
{
    UsbBench bench;
    bench.addChip(Ft2232Kind::Ft2232C, EepromPart::C46,
                  UsbBench::imageFor(Ft2232Kind::Ft2232C, EepromPart::C46, "TLVX0001", true), "2-1");
    bench.addChip(Ft2232Kind::Ft2232H, EepromPart::C56,
                  UsbBench::imageFor(Ft2232Kind::Ft2232H, EepromPart::C56, "HS000042", true), "1-4.2");
    // A blank EEPROM: the chip's own names and no serial number.
    bench.addChip(Ft2232Kind::Ft2232H, EepromPart::C66, std::vector<std::uint16_t>(256, 0xFFFF), "1-3");
    bench.save();

    Libftdi lib;
    ASSERT_NO_FATAL_FAILURE(load(lib));
    ftdi_context* context = lib.newContext();
    ASSERT_NE(context, nullptr);

    ftdi_device_list* list = nullptr;
    ASSERT_EQ(lib.findAll(context, &list, kFt2232VendorId, kFt2232ProductId), 3) << lib.errorString(context);
    std::vector<Strings> seen;
    for (ftdi_device_list* entry = list; entry; entry = entry->next) {
        std::array<char, 128> manufacturer{}, product{}, serial{};
        const int got = lib.getStrings(context, entry->dev, manufacturer.data(), 128, product.data(), 128,
                                       serial.data(), 128);
        if (seen.size() < 2) {
            EXPECT_EQ(got, 0) << lib.errorString(context);
        } else {
            // libftdi 1.5 asks libusb for string 0 when there is no serial
            // number, which libusb refuses: only without the serial it works.
            EXPECT_EQ(got, -9);
            EXPECT_EQ(lib.getStrings(context, entry->dev, manufacturer.data(), 128, product.data(), 128, nullptr, 0), 0)
                << lib.errorString(context);
        }
        seen.push_back({manufacturer.data(), product.data(), serial.data()});
    }
    lib.listFree(&list);
    ASSERT_EQ(seen.size(), 3U);
    EXPECT_EQ(seen[0].manufacturer, "FTDI");
    EXPECT_EQ(seen[0].product, "TalvexUSB");
    EXPECT_EQ(seen[0].serial, "TLVX0001");
    EXPECT_EQ(seen[1].serial, "HS000042");
    EXPECT_EQ(seen[2].manufacturer, "FTDI");
    EXPECT_EQ(seen[2].product, "Dual RS232-HS");

    struct Expected {
        std::size_t chip;
        const char* serial;
        int size;
        int chipType;
    };
    for (const Expected& expected : {Expected{0, "TLVX0001", 128, 0x46}, Expected{1, "HS000042", 256, 0x56}}) {
        SCOPED_TRACE(expected.serial);
        const Ft2232Chip before = bench.chip(expected.chip);
        ASSERT_EQ(lib.setInterface(context, INTERFACE_A), 0);
        context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
        ASSERT_EQ(lib.openBusAddr(context, static_cast<std::uint8_t>(before.bus),
                                  static_cast<std::uint8_t>(before.address)),
                  0)
            << lib.errorString(context);
        const Ft2232Chip opened = bench.chip(expected.chip);
        EXPECT_FALSE(opened.kernelDriver[0]) << "ftdi_sio let go of interface A";
        EXPECT_TRUE(opened.kernelDriver[1]);
        EXPECT_EQ(opened.resets, before.resets + 1);

        ASSERT_EQ(lib.readEeprom(context), 0) << lib.errorString(context);
        ASSERT_EQ(lib.decode(context, 0), 0) << lib.errorString(context) << ": the checksum libftdi computes";
        EXPECT_EQ(eepromValue(lib, context, CHIP_SIZE), expected.size) << "libftdi finds the EEPROM's size from the wrap";
        EXPECT_EQ(eepromValue(lib, context, CHIP_TYPE), expected.chipType);
        EXPECT_EQ(eepromValue(lib, context, SELF_POWERED), 1);
        EXPECT_EQ(eepromValue(lib, context, MAX_POWER), 500);
        EXPECT_EQ(eepromValue(lib, context, SUSPEND_PULL_DOWNS), 1);
        EXPECT_EQ(eepromValue(lib, context, CHANNEL_A_DRIVER), 0) << "D2XX";
        EXPECT_EQ(eepromValue(lib, context, CHANNEL_B_TYPE), CHANNEL_IS_FIFO);
        EXPECT_EQ(eepromValue(lib, context, USE_SERIAL), 1);
        if (expected.chip == 0) {
            EXPECT_EQ(eepromValue(lib, context, USE_USB_VERSION), 1);
            EXPECT_EQ(eepromValue(lib, context, USB_VERSION), 0x0110);
            EXPECT_EQ(eepromValue(lib, context, HIGH_CURRENT_A), 1);
        } else {
            EXPECT_EQ(eepromValue(lib, context, GROUP1_DRIVE), DRIVE_8MA);
            EXPECT_EQ(eepromValue(lib, context, GROUP2_SCHMITT), 1);
        }
        std::array<char, 64> manufacturer{}, product{}, serial{};
        ASSERT_EQ(lib.eepromStrings(context, manufacturer.data(), 64, product.data(), 64, serial.data(), 64), 0);
        EXPECT_EQ(std::string(manufacturer.data()), "FTDI");
        EXPECT_EQ(std::string(product.data()), "TalvexUSB");
        EXPECT_EQ(std::string(serial.data()), expected.serial);

        EXPECT_EQ(lib.close(context), 0);
        const Ft2232Chip closed = bench.chip(expected.chip);
        EXPECT_TRUE(closed.kernelDriver[0]) << "ftdi_sio has interface A back";
        EXPECT_EQ(closed.detaches, before.detaches + 1);
        EXPECT_EQ(closed.attaches, before.attaches + 1);
        EXPECT_EQ(closed.eepromReads, before.eepromReads + 128) << "libftdi reads 256 bytes, whatever the EEPROM";
        EXPECT_EQ(closed.eeprom, before.eeprom);
    }
    lib.freeContext(context);
}

TEST(RealLibftdi, RefusalsAndAVanishingChipReachTheCallerAsLibftdiReportsThem)
{
    UsbBench bench;
    bench.addProgrammer("HELD0001").heldElsewhere = true;
    bench.addProgrammer("LOCK0001").noAccess = true;
    bench.addProgrammer("TLVX0001");
    Ft2232Chip& fragile = bench.addProgrammer("TLVX0002");
    fragile.failWriteWord = 3;
    fragile.vanishAtWord = 5;
    bench.save();

    Libftdi lib;
    ASSERT_NO_FATAL_FAILURE(load(lib));
    ftdi_context* context = lib.newContext();
    ASSERT_NE(context, nullptr);
    const auto open = [&](std::size_t chip, ftdi_module_detach_mode mode) {
        context->module_detach_mode = mode;
        const Ft2232Chip at = bench.chip(chip);
        return lib.openBusAddr(context, static_cast<std::uint8_t>(at.bus), static_cast<std::uint8_t>(at.address));
    };
    EXPECT_EQ(open(0, AUTO_DETACH_REATACH_SIO_MODULE), -5) << "interface A claimed by another program";
    EXPECT_EQ(open(1, AUTO_DETACH_REATACH_SIO_MODULE), -4) << "the device node is not the user's";
    EXPECT_EQ(open(2, DONT_DETACH_SIO_MODULE), -5) << "ftdi_sio still has interface A";
    EXPECT_TRUE(bench.chip(2).kernelDriver[0]);

    ASSERT_EQ(open(3, AUTO_DETACH_REATACH_SIO_MODULE), 0) << lib.errorString(context);
    const auto write = [&](std::uint16_t word) {
        return lib.controlTransfer(context->usb_dev, FTDI_DEVICE_OUT_REQTYPE, SIO_WRITE_EEPROM_REQUEST, 0x1234, word,
                                   nullptr, 0, 1000);
    };
    EXPECT_EQ(write(3), LIBUSB_ERROR_PIPE) << "the refused word";
    EXPECT_EQ(write(4), 0);
    EXPECT_EQ(write(5), LIBUSB_ERROR_NO_DEVICE) << "the chip left at this word";
    EXPECT_EQ(write(6), LIBUSB_ERROR_NO_DEVICE);
    EXPECT_EQ(lib.close(context), -1) << "nothing to release on a chip that is gone";
    const Ft2232Chip gone = bench.chip(3);
    EXPECT_FALSE(gone.plugged);
    EXPECT_EQ(gone.wordsWritten, std::vector<int>{4});
    EXPECT_EQ(gone.eepromWrites, 2);

    // Back on the bus it is a new device, at a new address.
    const int oldAddress = gone.address;
    bench.replug(3);
    ftdi_device_list* list = nullptr;
    EXPECT_EQ(lib.findAll(context, &list, kFt2232VendorId, kFt2232ProductId), 4);
    lib.listFree(&list);
    EXPECT_NE(bench.chip(3).address, oldAddress);
    EXPECT_EQ(open(3, AUTO_DETACH_REATACH_SIO_MODULE), 0) << lib.errorString(context);
    EXPECT_EQ(lib.close(context), 0);
    lib.freeContext(context);
}

#endif
