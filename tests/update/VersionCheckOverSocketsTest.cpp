// The version check over real sockets against servers on 127.0.0.1.
#include "update/LoopbackServer.h"
#include "update/VersionCheck.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace talvex;
using talvex::test::LoopbackServer;
using talvex::test::RefusingPort;

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr const char* kHeaders = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";

// Short waits: a server that never answers costs the test a fraction of a second.
VersionServer loopback(std::uint16_t port)
{
    VersionServer server;
    server.host = "127.0.0.1";
    server.port = port;
    server.connectTimeout = 2000ms;
    server.receiveTimeout = 2000ms;
    server.replyWindow = 2000ms;
    return server;
}

// Answers the request with the reply and closes.
LoopbackServer::Script answering(std::string reply)
{
    return [reply](LoopbackServer::Client& client) {
        std::string request = client.readRequest();
        client.send(reply);
        return request;
    };
}

struct Check {
    VersionCheckStatus status;
    Lines log;
};

Check checkAgainst(LatestVersions& latest, const VersionServer& server)
{
    Check check{};
    check.status = CheckVersion(latest, [&check](const std::string& line) { check.log.push_back(line); }, server);
    return check;
}

const Lines kNothingFound{"Checking last version ..."};

} // namespace

TEST(VersionCheckOverSockets, StoresAndLogsTheNamedVersionsAfterTheExactRequest)
{
    LoopbackServer server(answering(std::string(kHeaders) + "<html><body>fwversion=105<br>swversion=10502</body></html>"));
    LatestVersions latest;
    const Check check = checkAgainst(latest, loopback(server.port()));

    EXPECT_EQ(check.status, VersionCheckStatus::Checked);
    EXPECT_EQ(latest.latestFwVersion, 105);
    EXPECT_EQ(latest.latestSwVersion, 10502);
    EXPECT_EQ(check.log, (Lines{"Checking last version ...",
                                "Latest version available for Talvex firmware rev. 1.5",
                                "Latest version available for TalvexUSB-Setting Manager software 1.05.02"}));
    const std::string expected = "GET /version.html HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(server.request(), expected);
    EXPECT_EQ(server.request().size(), 57u + std::string("127.0.0.1").size());
}

TEST(VersionCheckOverSockets, SilentCheckStoresWithoutWriting)
{
    LoopbackServer server(answering(std::string(kHeaders) + "fwversion=110 swversion=10600"));
    LatestVersions latest;
    EXPECT_EQ(CheckVersion(latest, {}, loopback(server.port())), VersionCheckStatus::Checked);
    EXPECT_EQ(latest.latestFwVersion, 110);
    EXPECT_EQ(latest.latestSwVersion, 10600);
}

TEST(VersionCheckOverSockets, ShortAndTwoDigitMinorValues)
{
    {
        // Conversion stops at the line end after two digits.
        LoopbackServer server(answering(std::string(kHeaders) + "fwversion=99\r\nswversion=10501\r\n"));
        LatestVersions latest;
        const Check check = checkAgainst(latest, loopback(server.port()));
        EXPECT_EQ(latest.latestFwVersion, 99);
        EXPECT_EQ(latest.latestSwVersion, 10501);
        ASSERT_EQ(check.log.size(), 3u);
        EXPECT_EQ(check.log[1], "Latest version available for Talvex firmware rev. 0.99");
    }
    {
        LoopbackServer server(answering(std::string(kHeaders) + "fwversion:110;swversion:10010;"));
        LatestVersions latest;
        const Check check = checkAgainst(latest, loopback(server.port()));
        EXPECT_EQ(latest.latestFwVersion, 110);
        ASSERT_EQ(check.log.size(), 3u);
        EXPECT_EQ(check.log[1], "Latest version available for Talvex firmware rev. 1.10");
        EXPECT_EQ(check.log[2], "Latest version available for TalvexUSB-Setting Manager software 1.00.10");
    }
}

TEST(VersionCheckOverSockets, WithoutSoftwareKeyTheToolVersionIsKept)
{
    LoopbackServer server(answering(std::string(kHeaders) + "fwversion=106\n"));
    LatestVersions latest{100, 10400};
    const Check check = checkAgainst(latest, loopback(server.port()));
    EXPECT_EQ(check.status, VersionCheckStatus::Checked);
    EXPECT_EQ(latest.latestFwVersion, 106);
    EXPECT_EQ(latest.latestSwVersion, 10400);
    ASSERT_EQ(check.log.size(), 3u);
    EXPECT_EQ(check.log[2], "Latest version available for TalvexUSB-Setting Manager software 1.04.00");
}

TEST(VersionCheckOverSockets, ReplyWithoutFirmwareKeyChangesNothing)
{
    // The key is case-sensitive; the software key alone does not count.
    LoopbackServer server(answering(std::string(kHeaders) + "FWVERSION=200 swversion=20000"));
    LatestVersions latest{101, 10101};
    const Check check = checkAgainst(latest, loopback(server.port()));
    EXPECT_EQ(check.status, VersionCheckStatus::Checked);
    EXPECT_EQ(latest.latestFwVersion, 101);
    EXPECT_EQ(latest.latestSwVersion, 10101);
    EXPECT_EQ(check.log, kNothingFound);
}

TEST(VersionCheckOverSockets, ValueThatIsNoNumberKeepsTheStoredVersion)
{
    {
        LoopbackServer server(answering(std::string(kHeaders) + "fwversion=-99 swversion=10502"));
        LatestVersions latest{104, 10401};
        const Check check = checkAgainst(latest, loopback(server.port()));
        EXPECT_EQ(check.status, VersionCheckStatus::Checked);
        EXPECT_EQ(latest.latestFwVersion, 104);
        EXPECT_EQ(latest.latestSwVersion, 10401);
        EXPECT_EQ(check.log, kNothingFound);
    }
    {
        LoopbackServer server(answering(std::string(kHeaders) + "fwversion=112 swversion=+1050"));
        LatestVersions latest{104, 10401};
        const Check check = checkAgainst(latest, loopback(server.port()));
        EXPECT_EQ(latest.latestFwVersion, 112);
        EXPECT_EQ(latest.latestSwVersion, 10401);
        ASSERT_EQ(check.log.size(), 3u);
        EXPECT_EQ(check.log[2], "Latest version available for TalvexUSB-Setting Manager software 1.04.01");
    }
}

TEST(VersionCheckOverSockets, ValueCutByTheEndOfTheDataTakesWhatArrived)
{
    {
        LoopbackServer server(answering(std::string(kHeaders) + "fwversion=107 swversion=10"));
        LatestVersions latest;
        checkAgainst(latest, loopback(server.port()));
        EXPECT_EQ(latest.latestFwVersion, 107);
        EXPECT_EQ(latest.latestSwVersion, 10);
    }
    {
        LoopbackServer server(answering(std::string(kHeaders) + "swversion=10502 fwversion=1"));
        LatestVersions latest;
        checkAgainst(latest, loopback(server.port()));
        EXPECT_EQ(latest.latestFwVersion, 1);
        EXPECT_EQ(latest.latestSwVersion, 10502);
    }
    {
        // The key ends the data: no number arrived, nothing is stored.
        LoopbackServer server(answering(std::string(kHeaders) + "swversion=10502 fwversion"));
        LatestVersions latest{104, 0};
        checkAgainst(latest, loopback(server.port()));
        EXPECT_EQ(latest.latestFwVersion, 104);
        EXPECT_EQ(latest.latestSwVersion, 0);
    }
}

TEST(VersionCheckOverSockets, PiecesWithinTheReplyWindowAreOneReply)
{
    LoopbackServer server([](LoopbackServer::Client& client) {
        std::string request = client.readRequest();
        client.send(kHeaders);
        client.send("fwversion=108 swversion=10503");
        return request;
    });
    LatestVersions latest;
    checkAgainst(latest, loopback(server.port()));
    EXPECT_EQ(latest.latestFwVersion, 108);
    EXPECT_EQ(latest.latestSwVersion, 10503);
}

TEST(VersionCheckOverSockets, FirstPieceWithOnlyHeadersFindsNothing)
{
    // The body would come only after the client has gone.
    LoopbackServer server([](LoopbackServer::Client& client) {
        std::string request = client.readRequest();
        client.send(kHeaders);
        client.waitForClose();
        client.send("fwversion=109 swversion=10504");
        return request;
    });
    VersionServer target = loopback(server.port());
    target.replyWindow = 150ms;
    LatestVersions latest{102, 10201};
    const Check check = checkAgainst(latest, target);
    EXPECT_EQ(check.status, VersionCheckStatus::Checked);
    EXPECT_EQ(latest.latestFwVersion, 102);
    EXPECT_EQ(latest.latestSwVersion, 10201);
    EXPECT_EQ(check.log, kNothingFound);
}

TEST(VersionCheckOverSockets, LateFirstPieceIsStillRead)
{
    // With no reply window the client waits for the first piece instead.
    LoopbackServer server([](LoopbackServer::Client& client) {
        std::string request = client.readRequest();
        client.send("fwversion=111 swversion=10505");
        return request;
    });
    VersionServer target = loopback(server.port());
    target.replyWindow = 0ms;
    LatestVersions latest;
    checkAgainst(latest, target);
    EXPECT_EQ(latest.latestFwVersion, 111);
    EXPECT_EQ(latest.latestSwVersion, 10505);
}

TEST(VersionCheckOverSockets, ServerThatNeverAnswersEndsAtTheTimeOut)
{
    LoopbackServer server([](LoopbackServer::Client& client) {
        std::string request = client.readRequest();
        client.waitForClose();
        return request;
    });
    VersionServer target = loopback(server.port());
    target.receiveTimeout = 300ms;
    target.replyWindow = 100ms;
    LatestVersions latest{103, 10301};
    const Check check = checkAgainst(latest, target);
    EXPECT_EQ(check.status, VersionCheckStatus::Checked);
    EXPECT_EQ(latest.latestFwVersion, 103);
    EXPECT_EQ(latest.latestSwVersion, 10301);
    EXPECT_EQ(check.log, kNothingFound);
    EXPECT_EQ(server.request(), versionRequest("127.0.0.1"));
}

TEST(VersionCheckOverSockets, ServerClosingWithoutReplyChangesNothing)
{
    for (const std::string reply : {"", "f"}) {
        LoopbackServer server(answering(reply));
        LatestVersions latest{104, 10401};
        const Check check = checkAgainst(latest, loopback(server.port()));
        EXPECT_EQ(check.status, VersionCheckStatus::Checked) << reply;
        EXPECT_EQ(latest.latestFwVersion, 104) << reply;
        EXPECT_EQ(latest.latestSwVersion, 10401) << reply;
        EXPECT_EQ(check.log, kNothingFound) << reply;
    }
}

TEST(VersionCheckOverSockets, RefusedConnectionIsStatusThree)
{
    RefusingPort port;
    LatestVersions latest{105, 10501};
    const Check check = checkAgainst(latest, loopback(port.port()));
    EXPECT_EQ(check.status, VersionCheckStatus::ConnectFailed);
    EXPECT_EQ(static_cast<int>(check.status), 3);
    EXPECT_EQ(check.log, (Lines{"Checking last version ...", "Could not connect ! "}));
    EXPECT_EQ(latest.latestFwVersion, 105);
    EXPECT_EQ(latest.latestSwVersion, 10501);
}

TEST(VersionCheckOverSockets, UnresolvableNameIsStatusTwo)
{
    // An empty label: the resolver refuses the name without asking a server.
    VersionServer target = loopback(1);
    target.host = "unresolvable..example";
    LatestVersions latest{105, 10501};
    const Check check = checkAgainst(latest, target);
    EXPECT_EQ(check.status, VersionCheckStatus::HostNotResolved);
    EXPECT_EQ(static_cast<int>(check.status), 2);
    EXPECT_EQ(check.log, (Lines{"Could not connect ! "}));
    EXPECT_EQ(latest.latestFwVersion, 105);
    EXPECT_EQ(latest.latestSwVersion, 10501);
}

TEST(VersionCheckOverSockets, ResultSaysWhyNothingWasStored)
{
    struct Case {
        std::string what;
        LoopbackServer::Script script;
        VersionReply reply;
    };
    const LoopbackServer::Script silent = [](LoopbackServer::Client& client) {
        std::string request = client.readRequest();
        client.waitForClose();
        return request;
    };
    const Case cases[] = {
        {"named", answering(std::string(kHeaders) + "fwversion=105 swversion=10502"), VersionReply::Named},
        {"silent", silent, VersionReply::TimedOut},
        {"closed", answering(""), VersionReply::NoReply},
        {"one byte", answering("f"), VersionReply::NoReply},
        {"no key", answering(std::string(kHeaders) + "<html></html>"), VersionReply::NoVersion},
        {"headers only", answering(kHeaders), VersionReply::NoVersion},
        {"negative", answering(std::string(kHeaders) + "fwversion=-99"), VersionReply::NotANumber},
    };
    for (const Case& c : cases) {
        LoopbackServer server(c.script);
        VersionServer target = loopback(server.port());
        target.receiveTimeout = 300ms;
        target.replyWindow = 100ms;
        LatestVersions latest{103, 10301};
        const VersionCheckResult result = checkVersionDetailed(latest, {}, target);
        EXPECT_EQ(result.status, VersionCheckStatus::Checked) << c.what;
        EXPECT_EQ(result.reply, c.reply) << c.what;
        const bool stored = c.reply == VersionReply::Named;
        EXPECT_EQ(latest.latestFwVersion, stored ? 105 : 103) << c.what;
    }

    RefusingPort refusing;
    LatestVersions latest;
    const VersionCheckResult refused = checkVersionDetailed(latest, {}, loopback(refusing.port()));
    EXPECT_EQ(refused.status, VersionCheckStatus::ConnectFailed);
    EXPECT_EQ(refused.reply, VersionReply::NotConnected);
}
