#include "update/HttpClient.h"
#include "update/VersionCheck.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace talvex;

TEST(VersionReply, RequestBytesNameTheVendorHost)
{
    const std::string request = versionRequest(kVendorHost);
    EXPECT_EQ(request, "GET /version.html HTTP/1.1\r\nHost: www.talvex.example\r\nConnection: close\r\n\r\n");
}

TEST(VersionReply, KeysAreFoundAnywhereAndValuesAreDigitsOnly)
{
    using Text = std::optional<std::string>;
    struct Case {
        std::string reply;
        std::optional<int> firmware;
        std::optional<int> software;
        Text firmwareNotANumber = std::nullopt;
        Text softwareNotANumber = std::nullopt;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\n<p>fwversion=105</p><p>swversion=10502</p>", 105, 10502},
        // In a header too, and the first occurrence counts.
        {"X-fwversion=120\r\n\r\nfwversion=130 swversion 10600 swversion=10700", 120, 10600},
        // One separator, then 3 characters: a blank after the separator is one
        // of them, and "12" read from " 120" would be another version.
        {"X-fwversion: 120\r\n\r\nfwversion=130", std::nullopt, std::nullopt, " 12"},
        // Only 3 and 5 characters are read.
        {"fwversion=1234 swversion=123456", 123, 12345},
        // The software number is read, but a firmware number that is none ends the reading.
        {"fwversion=-99 swversion=10502", std::nullopt, 10502, "-99", std::nullopt},
        {"fwversion=+99 swversion=10502", std::nullopt, 10502, "+99", std::nullopt},
        {"fwversion=-0 swversion=10502", std::nullopt, 10502, "-0 ", std::nullopt},
        {"fwversion=1.5 swversion=10502", std::nullopt, 10502, "1.5", std::nullopt},
        {"fwversion=1x5 swversion=10502", std::nullopt, 10502, "1x5", std::nullopt},
        {"fwversion=x10 swversion=10502", std::nullopt, 10502, "x10", std::nullopt},
        {"fwversion= 12 swversion=10502", std::nullopt, 10502, " 12", std::nullopt},
        {"fwversion=", std::nullopt, std::nullopt, "", std::nullopt},
        {"fwversion", std::nullopt, std::nullopt, "", std::nullopt},
        {"fwversion=105 swversion=-1050", 105, std::nullopt, std::nullopt, "-1050"},
        {"fwversion=105 swversion=1.5.0", 105, std::nullopt, std::nullopt, "1.5.0"},
        {"fwversion=105 swversion=", 105, std::nullopt, std::nullopt, ""},
        // Digits up to the end of the field, the data, a line or markup.
        {"fwversion=105 swversion=10502", 105, 10502},
        {"fwversion=99\r\nswversion=10501\r\n", 99, 10501},
        {"fwversion=105<br>swversion=105<br>", 105, 105},
        {"fwversion=7;swversion=1 ", 7, 1},
        {"fwversion=10", 10, std::nullopt},
        {"fwversion=000 swversion=00000", 0, 0},
        // No firmware key (the case counts), nothing is taken; values cut by the end of the data.
        {"", std::nullopt, std::nullopt},
        {"f", std::nullopt, std::nullopt},
        {"swversion=10502", std::nullopt, std::nullopt},
        {"Fwversion=105", std::nullopt, std::nullopt},
        {"fwversion=105", 105, std::nullopt},
        {"fwversion=105swversion=1", 105, 1},
        {"fwversion=105swversion", 105, std::nullopt, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const NamedVersions named = parseVersionReply(c.reply);
        EXPECT_EQ(named.firmware, c.firmware) << c.reply;
        EXPECT_EQ(named.software, c.software) << c.reply;
        EXPECT_EQ(named.firmwareNotANumber, c.firmwareNotANumber) << c.reply;
        EXPECT_EQ(named.softwareNotANumber, c.softwareNotANumber) << c.reply;
    }
}

TEST(VersionReply, NumberIsTheDigitsAtTheStartOfTheField)
{
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"105", 105},     {"99\r", 99},   {"7", 7},          {"12<", 12},       {"1 2", 1},
        {"10502", 10502}, {"0", 0},       {"12;", 12},       {"-12", std::nullopt}, {"+12", std::nullopt},
        {" 7", std::nullopt}, {"\t7", std::nullopt}, {"x1", std::nullopt}, {"", std::nullopt},
        {"1.5", std::nullopt}, {"1,5", std::nullopt}, {"12a", std::nullopt}, {"12-", std::nullopt},
        {"1+2", std::nullopt}, {"\xC3\xA9", std::nullopt},
    };
    for (const auto& [field, number] : cases)
        EXPECT_EQ(versionNumber(field), number) << '"' << field << '"';
}

TEST(VersionReply, FirmwareRevisionIsMajorPointMinorUnpadded)
{
    EXPECT_EQ(firmwareRevisionText(105), "1.5");
    EXPECT_EQ(firmwareRevisionText(110), "1.10");
    EXPECT_EQ(firmwareRevisionText(100), "1.0");
    EXPECT_EQ(firmwareRevisionText(99), "0.99");
    EXPECT_EQ(firmwareRevisionText(0), "0.0");
}

namespace {

// A client that ends as told: the endings no loopback server brings about.
struct EndingClient final : HttpClient {
    HttpResponse response;
    HttpResponse get(const HttpRequest&) override { return response; }
};

} // namespace

TEST(VersionReply, EndingsNoServerCanCauseKeepTheirCodeAndLog)
{
    struct Case {
        const char* what;
        HttpStep step;
        VersionCheckStatus status;
        VersionReply reply;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"library not started", HttpStep::Start, VersionCheckStatus::SocketsNotStarted, VersionReply::NotConnected,
         {"WSAStartup failed.", "Could not connect ! "}},
        {"option refused", HttpStep::Request, VersionCheckStatus::Checked, VersionReply::Failed,
         {"Checking last version ..."}},
        {"request not sent", HttpStep::Send, VersionCheckStatus::Checked, VersionReply::NotSent,
         {"Checking last version ..."}},
    };
    for (const Case& c : cases) {
        EndingClient client;
        client.response.step = c.step;
        client.response.failure = fail(Status::Unsupported, c.what);
        LatestVersions latest{105, 10501};
        std::vector<std::string> log;
        const VersionCheckResult result
            = checkVersionDetailed(client, latest, [&log](const std::string& line) { log.push_back(line); }, {});
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(result.reply, c.reply) << c.what;
        EXPECT_EQ(result.error, c.what);
        EXPECT_EQ(log, c.log) << c.what;
        EXPECT_EQ(latest.latestFwVersion, 105) << c.what;
        EXPECT_EQ(latest.latestSwVersion, 10501) << c.what;
        EXPECT_EQ(CheckVersion(client, latest, {}, {}), c.status) << c.what;
    }
    EXPECT_EQ(static_cast<int>(VersionCheckStatus::SocketsNotStarted), 1);
}
