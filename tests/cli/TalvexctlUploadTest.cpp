// talvexctl's upload in virtual time: the way back to the boot loader with
// the prompts to unplug and re-plug, the progress line, the endings and
// their exit codes, and the USB serial number written afterwards.

#include "cli/CliBench.h"
#include "firmware/UploadBench.h"
#include "usbserial/EepromImage.h"

#include <gtest/gtest.h>

using namespace talvex;
using talvex::test::CliBench;
using talvex::test::CliResult;
using talvex::test::contains;

namespace {

// The serial number's characters 15 to 22.
constexpr const char* kDerivedUsbSerial = "EF012345";

// A programmer on COM3/COM4 in its application, whose plug the user pulls
// after a few polls and puts back after a few tries to open the port.
struct UploadCliBench : CliBench {
    std::shared_ptr<SimulatedProgrammer> device = sim.addProgrammer("COM3", "COM4", SpeedVariant::Normal,
                                                                    test::kSerial);
    test::TempFolder folder;
    std::vector<std::uint8_t> image = test::patternImage();
    std::string file = folder.write("firmware.bin", image);

    UploadCliBench() { device->setPlugScript(test::plugScript(6, 6)); }

    CliResult upload(std::vector<std::string> more = {})
    {
        std::vector<std::string> arguments {"--answer-delay", "150", "upload", "--port", "COM3", file};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return run(arguments);
    }

    std::string usbSerial() const { return eepromString(ftdi->eeprom(), kSerialPointerWord).value_or("?"); }
};

// True when the parts come in this order in the text.
bool inOrder(const std::string& text, const std::vector<std::string>& parts)
{
    std::size_t at = 0;
    for (const std::string& part : parts) {
        at = text.find(part, at);
        if (at == std::string::npos)
            return false;
        at += part.size();
    }
    return true;
}

} // namespace

TEST(TalvexctlUpload, FromTheApplicationThroughTheReplugToSuccessAndSerialize)
{
    UploadCliBench bench;
    const CliResult result = bench.upload({"--serialize"});

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "Write serial number: EF012345 OK. Please, unplug and restart Talvex !\n"
              "Uploading firmware successfully finished ! Please, unplug the reader to restart-it.\n");
    EXPECT_TRUE(inOrder(
        result.err,
        {"Programmer in PROGRAM mode.\n", "Application Mode.\n", "Back to boot succesfull\n",
         "Please, unplug the reader ...\n", "COM port closed ...\n", "Ok, reconnect the reader to start upload ...\n",
         "Ok, found Talvex ...\n", "Erase Application successful.\n",
         "Uploading firmware in progress ! Please, wait some minutes ... !\n", "Uploading: block 10 of 3200 (0%), 0:",
         "Uploading: block 320 of 3200 (10%), 0:", "Uploading: block 2880 of 3200 (90%), 0:",
         "EEPROM verified: all 64 words read back as written.\n", "Programming Finished!\n"}))
        << result.err;
    // Without a terminal the progress shows every tenth of the way, not every block.
    EXPECT_FALSE(contains(result.err, "Uploading: block 20 of"));
    // The verdict is the result, said once.
    EXPECT_FALSE(contains(result.err, "successfully finished"));
    EXPECT_EQ(bench.device->programmedImage(), bench.image);
    EXPECT_EQ(bench.usbSerial(), kDerivedUsbSerial);
}

TEST(TalvexctlUpload, InjectedFaultsEndWithTheWindowsTextsAndExitSix)
{
    struct Fault {
        int block;
        BlockFault fault;
        int times;
        std::string message;
        std::string lastLog;
    };
    const Fault faults[] = {
        {1500, BlockFault::FlashError, 1,
         "Unplug the programmer and retry.Problem to writing in flash memory, uploading failed.\n",
         "UNRECOVERABLE ERROR !!!\n"},
        {kLastBlock, BlockFault::CompleteWithErrors, 1,
         "Uploading firmware finished with errors ! Please, unplug the reader to restart-it.\n",
         "Programming Finished with errors !\n"},
    };
    for (const Fault& fault : faults) {
        UploadCliBench bench;
        bench.device->injectBlockFault(fault.block, fault.fault, fault.times);
        const CliResult result = bench.upload({"--serialize"});
        EXPECT_EQ(result.status, 6) << fault.message;
        EXPECT_EQ(result.out, "") << fault.message;
        EXPECT_TRUE(contains(result.err, fault.lastLog)) << result.err;
        const std::string tail = result.err.substr(result.err.size() -
                                                   std::min(result.err.size(), fault.message.size()));
        EXPECT_EQ(tail, fault.message);
        // Serialize belongs to a good upload only.
        EXPECT_EQ(bench.usbSerial(), SimulatedFtdi::kFactorySerial);
    }
}

TEST(TalvexctlUpload, AnotherProgrammerAfterTheReplugStopsBeforeTheErase)
{
    UploadCliBench bench;
    bench.device->setPlugScript(test::plugScript(6, 6, "FFEEDDCCBBAA99887766554433221100"));
    const CliResult result = bench.upload();
    EXPECT_EQ(result.status, 6);
    EXPECT_TRUE(contains(result.err, "not the right Talvex ...\n"));
    EXPECT_TRUE(contains(result.err, "talvexctl: upload: another programmer came back on COM3; nothing was erased\n"));
    EXPECT_FALSE(contains(result.err, "Erasing Application."));
    EXPECT_EQ(bench.device->acceptedBlocks(), 0);
}

TEST(TalvexctlUpload, SerializeThatFailsAfterAGoodUploadSaysSo)
{
    UploadCliBench bench;
    bench.device->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    // Word 27 holds a character of the serial number that changes.
    bench.ftdi->failWrite(27, ftstatus::kEepromWriteFailed);
    const CliResult result = bench.upload({"--serialize"});
    EXPECT_EQ(result.status, 5);
    EXPECT_EQ(result.out, "Uploading firmware successfully finished ! Please, unplug the reader to restart-it.\n");
    EXPECT_TRUE(contains(result.err, "EEPROM word 27 was not written")) << result.err;
    EXPECT_TRUE(contains(result.err, "the firmware is uploaded, but the USB serial number was not written"));
    EXPECT_EQ(bench.device->programmedImage(), bench.image);
}

TEST(TalvexctlUpload, WhatWouldFailLaterStopsBeforeThePortIsOpened)
{
    UploadCliBench noLibrary;
    noLibrary.sim.context.setUsbSerialLibrary([] { return D2xxLoadResult {nullptr, "no D2XX library here"}; });
    const CliResult serialize = noLibrary.upload({"--serialize"});
    EXPECT_EQ(serialize.status, 1);
    EXPECT_TRUE(contains(serialize.err, "talvexctl: upload: USB serial tool unavailable: no D2XX library here"));
    EXPECT_EQ(noLibrary.sim.host.openAttempts("COM3"), 0);

    UploadCliBench wrongFile;
    wrongFile.file = wrongFile.folder.write("firmware.hex", wrongFile.image);
    const CliResult hex = wrongFile.upload();
    EXPECT_EQ(hex.status, 2);
    EXPECT_TRUE(contains(hex.err, "firmware.hex: not a .bin firmware file"));
    EXPECT_EQ(wrongFile.sim.host.openAttempts("COM3"), 0);
}
