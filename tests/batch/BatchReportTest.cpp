#include "batch/BatchReport.h"
#include "firmware/UploadBench.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace talvex::test {
namespace {

std::vector<std::string> linesOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(file, line))
        lines.push_back(line);
    return lines;
}

std::vector<BatchRecord> twoRecords()
{
    BatchRecord ok;
    ok.position = 1;
    ok.ports = "COM3/COM4";
    ok.usbLocation = "2-1";
    ok.serialNumber = "0123456789ABCDEF0123456789ABCDEF";
    ok.versionBefore = "1.10";
    ok.versionAfter = "1.11";
    ok.usbSerial = "EF012345";
    ok.confirmed = true;
    ok.duration = std::chrono::milliseconds(31250);
    BatchRecord failed = ok;
    failed.position = 2;
    failed.ports = "COM5/COM6";
    failed.usbSerial.clear();
    failed.confirmed = false;
    failed.reason = "Programming ERROR, \"flash\"\nUnplug";
    return {ok, failed};
}

const ReportHeader kHeader {"2026-12-06T15:04:05Z", "1.05.01", "fw.bin", std::string(64, 'a')};

TEST(BatchReport, CsvGetsItsHeaderOnceAndQuotesWhatNeedsIt)
{
    TempFolder folder;
    const std::string path = folder.path("line.CSV");
    std::string error;
    ASSERT_TRUE(appendReport(path, kHeader, twoRecords(), error)) << error;
    ASSERT_TRUE(appendReport(path, kHeader, twoRecords(), error)) << error;

    const std::vector<std::string> lines = linesOf(path);
    // The quoted reason spans two lines of the file, as RFC 4180 allows.
    ASSERT_EQ(lines.size(), 1u + 2 * 3);
    EXPECT_EQ(lines[0], csvHeaderLine());
    EXPECT_EQ(lines[1], "2026-12-06T15:04:05Z,1.05.01,fw.bin," + std::string(64, 'a') +
                            ",1,COM3/COM4,2-1,0123456789ABCDEF0123456789ABCDEF,1.10,1.11,EF012345,ok,,31.3");
    EXPECT_EQ(lines[2], "2026-12-06T15:04:05Z,1.05.01,fw.bin," + std::string(64, 'a') +
                            ",2,COM5/COM6,2-1,0123456789ABCDEF0123456789ABCDEF,1.10,1.11,,failed,"
                            "\"Programming ERROR, \"\"flash\"\"");
    EXPECT_EQ(lines[3], "Unplug\",31.3");
    EXPECT_EQ(lines[4].rfind("2026-12-06T15:04:05Z,", 0), 0u) << "no second header";
}

TEST(BatchReport, JsonLinesCarryEveryFieldAndSurviveBadBytes)
{
    TempFolder folder;
    const std::string path = folder.path("line.jsonl");
    std::vector<BatchRecord> records = twoRecords();
    records[1].ports = "COM\xff";
    std::string error;
    ASSERT_TRUE(appendReport(path, kHeader, records, error)) << error;

    const std::vector<std::string> lines = linesOf(path);
    ASSERT_EQ(lines.size(), 2u);
    const auto first = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(first["firmware_sha256"], std::string(64, 'a'));
    EXPECT_EQ(first["tool_version"], "1.05.01");
    EXPECT_EQ(first["usb_serial"], "EF012345");
    EXPECT_EQ(first["verdict"], "ok");
    EXPECT_DOUBLE_EQ(first["seconds"].get<double>(), 31.25);
    const auto second = nlohmann::json::parse(lines[1]);
    EXPECT_EQ(second["verdict"], "failed");
    EXPECT_EQ(second["reason"], "Programming ERROR, \"flash\"\nUnplug");
    EXPECT_EQ(second["ports"], "COM\xEF\xBF\xBD");
}

TEST(BatchReport, OtherExtensionsAndUnwritablePlacesAreRefused)
{
    TempFolder folder;
    std::string error;
    EXPECT_FALSE(reportFormatFor("report.txt"));
    EXPECT_EQ(reportFormatFor("a/b.ndjson"), ReportFormat::JsonLines);
    EXPECT_FALSE(appendReport(folder.path("report.txt"), kHeader, twoRecords(), error));
    EXPECT_NE(error.find(".csv or a .jsonl"), std::string::npos);
    EXPECT_FALSE(appendReport(folder.path("no/such/dir/r.csv"), kHeader, twoRecords(), error));
    EXPECT_NE(error.find("cannot be written"), std::string::npos);
}

} // namespace
} // namespace talvex::test
