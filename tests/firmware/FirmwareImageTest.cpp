#include "firmware/FirmwareImage.h"
#include "firmware/UploadBench.h"

#include <gtest/gtest.h>

using namespace talvex;

TEST(FirmwareFile, MustExistAndEndInBinInAnyCase)
{
    test::TempFolder folder;
    const std::vector<std::uint8_t> some(10, 0x42);
    EXPECT_EQ(checkFirmwareFile(folder.write("app.bin", some)), FileCheck::Ok);
    EXPECT_EQ(checkFirmwareFile(folder.write("APP.BIN", some)), FileCheck::Ok);
    EXPECT_EQ(checkFirmwareFile(folder.write("app.Bin", some)), FileCheck::Ok);
    EXPECT_EQ(checkFirmwareFile(folder.write("v1.2.bin", some)), FileCheck::Ok);
    EXPECT_EQ(checkFirmwareFile(folder.write(".bin", some)), FileCheck::Ok);
    EXPECT_EQ(checkFirmwareFile(folder.write("app.hex", some)), FileCheck::NotBinFile);
    EXPECT_EQ(checkFirmwareFile(folder.write("app.bin.txt", some)), FileCheck::NotBinFile);
    EXPECT_EQ(checkFirmwareFile(folder.write("app", some)), FileCheck::NotBinFile);
    EXPECT_EQ(checkFirmwareFile(folder.path("missing.bin")), FileCheck::NotFound);
    EXPECT_EQ(checkFirmwareFile(""), FileCheck::NotFound);
    std::filesystem::create_directory(folder.path("folder.bin"));
    EXPECT_EQ(checkFirmwareFile(folder.path("folder.bin")), FileCheck::NotFound);
    // A point in a folder name is no extension.
    std::filesystem::create_directory(folder.path("v1.bin"));
    EXPECT_EQ(checkFirmwareFile(folder.write("v1.bin/image", some)), FileCheck::NotBinFile);
}

TEST(FirmwareFile, HugeFileIsNeverLoaded)
{
    // 1 GiB, sparse on disk: reading it whole would take a gigabyte of memory.
    test::TempFolder folder;
    const std::string path = folder.write("huge.bin", {0x01, 0x02});
    std::filesystem::resize_file(path, std::uintmax_t{1} << 30);
    const auto image = readFirmwareImage(path);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bytesRead, kImageSize);
    EXPECT_EQ(image->bytes.size(), kImageSize);
    EXPECT_EQ(image->bytes[0], 0x01);
    EXPECT_EQ(image->bytes[2], 0x00);
}
