#include "update/TcpConnection.h"
#include "update/VersionCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace talvex;

TEST(VersionReply, RequestBytesNameTheVendorHost)
{
    const std::string request = versionRequest(kVendorHost);
    EXPECT_EQ(request, "GET /version.html HTTP/1.1\r\nHost: www.talvex.example\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(request.size(), 57u + std::string(kVendorHost).size());
    EXPECT_EQ(std::string(kVendorHost).substr(std::string(kVendorHost).size() - 8), ".example");
}

TEST(VersionReply, KeysAreFoundAnywhereWithOneSeparator)
{
    NamedVersions named = parseVersionReply("HTTP/1.1 200 OK\r\n\r\n<p>fwversion=105</p><p>swversion=10502</p>");
    EXPECT_EQ(named.firmware, 105);
    EXPECT_EQ(named.software, 10502);

    // In a header too, and the first occurrence counts.
    named = parseVersionReply("X-fwversion: 120\r\n\r\nfwversion=130 swversion 10600 swversion=10700");
    // One separator, then 3 characters: the blank is one of them.
    EXPECT_EQ(named.firmware, 12);
    EXPECT_EQ(named.software, 10600);

    // Only 3 and 5 characters are read.
    named = parseVersionReply("fwversion=1234 swversion=123456");
    EXPECT_EQ(named.firmware, 123);
    EXPECT_EQ(named.software, 12345);
}

TEST(VersionReply, MissingOrShortReplies)
{
    EXPECT_FALSE(parseVersionReply("").firmware);
    EXPECT_FALSE(parseVersionReply("f").firmware);
    EXPECT_FALSE(parseVersionReply("swversion=10502").firmware);
    EXPECT_FALSE(parseVersionReply("swversion=10502").software) << "no firmware key, nothing is taken";
    EXPECT_FALSE(parseVersionReply("Fwversion=105").firmware);

    const NamedVersions noSoftware = parseVersionReply("fwversion=105");
    EXPECT_EQ(noSoftware.firmware, 105);
    EXPECT_FALSE(noSoftware.software);

    // Values cut by the end of the data: only what arrived.
    EXPECT_EQ(parseVersionReply("fwversion=10").firmware, 10);
    EXPECT_EQ(parseVersionReply("fwversion=").firmware, 0);
    EXPECT_EQ(parseVersionReply("fwversion").firmware, 0);
    EXPECT_EQ(parseVersionReply("fwversion=105swversion=1").software, 1);
    EXPECT_EQ(parseVersionReply("fwversion=105swversion").software, 0);
}

TEST(VersionReply, ConversionReadsLikeAtoi)
{
    EXPECT_EQ(leadingInteger("105"), 105);
    EXPECT_EQ(leadingInteger("99\r"), 99);
    EXPECT_EQ(leadingInteger(" \t\n\v\f\r7x"), 7);
    EXPECT_EQ(leadingInteger("-12"), -12);
    EXPECT_EQ(leadingInteger("+12"), 12);
    EXPECT_EQ(leadingInteger("+-1"), 0);
    EXPECT_EQ(leadingInteger("x1"), 0);
    EXPECT_EQ(leadingInteger(""), 0);
    EXPECT_EQ(leadingInteger("1 2"), 1);
    EXPECT_EQ(leadingInteger("99999999999"), 2147483647);
    EXPECT_EQ(leadingInteger("-99999999999"), -2147483647 - 1);
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

// The socket library that will not start cannot be had on loopback.
class UnstartableConnection final : public TcpConnection {
public:
    bool startup() override { return false; }
    bool resolve(const std::string&, std::uint16_t) override
    {
        ++calls;
        return true;
    }
    bool connect(std::chrono::milliseconds) override
    {
        ++calls;
        return true;
    }
    bool send(std::string_view, std::chrono::milliseconds) override
    {
        ++calls;
        return true;
    }
    Wait waitReadable(std::chrono::milliseconds) override
    {
        ++calls;
        return Wait::Failed;
    }
    std::ptrdiff_t receive(char*, std::size_t) override
    {
        ++calls;
        return -1;
    }
    int calls = 0;
};

} // namespace

TEST(VersionReply, SocketsThatWillNotStartAreStatusOne)
{
    UnstartableConnection connection;
    LatestVersions latest{105, 10501};
    std::vector<std::string> log;
    const VersionCheckStatus status
        = CheckVersion(connection, latest, [&log](const std::string& line) { log.push_back(line); }, {});
    EXPECT_EQ(status, VersionCheckStatus::SocketsNotStarted);
    EXPECT_EQ(static_cast<int>(status), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"WSAStartup failed.", "Could not connect ! "}));
    EXPECT_EQ(connection.calls, 0);
    EXPECT_EQ(latest.latestFwVersion, 105);
    EXPECT_EQ(latest.latestSwVersion, 10501);
}
