// The version check through the platform's HTTP client against real
// servers on the loopback addresses: plain, redirecting, silent, refusing,
// on IPv6, and behind a forwarding proxy named in http_proxy.
#include "update/LoopbackServer.h"
#include "update/ScopedEnvironment.h"
#include "update/VersionCheck.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "win32/WineAware.h"
#endif

#include <string>
#include <vector>

using namespace talvex;
using talvex::test::LoopbackServer;
using talvex::test::RefusingPort;
using talvex::test::ScopedEnvironment;

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kHeaders = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";

// Short waits: a server that never answers costs the test a fraction of a second.
VersionServer loopback(std::uint16_t port, const std::string& host = "127.0.0.1")
{
    VersionServer server;
    server.host = host;
    server.port = port;
    server.connectTimeout = 2000ms;
    server.receiveTimeout = 2000ms;
    return server;
}

const auto answering = &LoopbackServer::answering;

std::string ok(const std::string& body)
{
    return kHeaders + body;
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

bool startsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

// The proxy of these tests: reads a request in absolute form, asks the
// origin server on `originPort` for it whatever host the request names,
// and hands back the origin's reply.
LoopbackServer::Script forwardingTo(std::uint16_t originPort)
{
    return [originPort](LoopbackServer::Client& client) {
        const std::string request = client.readRequest();
        const auto space = request.find(' ');
        const auto pathStart = request.find('/', request.find("://") + 3);
        const auto lineEnd = request.find(' ', space + 1);
        if (space == std::string::npos || pathStart == std::string::npos || lineEnd == std::string::npos)
            return request;
        const std::string path = request.substr(pathStart, lineEnd - pathStart);
        client.send(test::exchange(originPort, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                                   "Connection: close\r\n\r\n"));
        return request;
    };
}

class VersionCheckOverHttp : public ::testing::Test {
protected:
    // A proxy set on this machine must not come between the tests and their servers.
    ScopedEnvironment environment;
    void SetUp() override { environment.withoutProxies(); }
};

} // namespace

TEST_F(VersionCheckOverHttp, StoresAndLogsTheNamedVersions)
{
    LoopbackServer server(answering(ok("<html><body>fwversion=105<br>swversion=10502</body></html>")));
    LatestVersions latest;
    const Check check = checkAgainst(latest, loopback(server.port()));

    EXPECT_EQ(check.status, VersionCheckStatus::Checked);
    EXPECT_EQ(latest.latestFwVersion, 105);
    EXPECT_EQ(latest.latestSwVersion, 10502);
    EXPECT_EQ(check.log, (Lines{"Checking last version ...",
                                "Latest version available for Talvex firmware rev. 1.5",
                                "Latest version available for TalvexUSB-Setting Manager software 1.05.02"}));
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
    EXPECT_TRUE(startsWith(server.request(), "GET /version.html HTTP/1.1\r\n")) << server.request();
    EXPECT_NE(server.request().find(host), std::string::npos) << server.request();
#ifndef _WIN32
    // libcurl sends the tool's own request, the port added to the host as HTTP asks.
    EXPECT_EQ(server.request(), "GET /version.html HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n");
#endif
}

TEST_F(VersionCheckOverHttp, OnlyTheFirstTenThousandBodyBytesAreRead)
{
    const std::string padding(10000 - 12, ' ');
    LoopbackServer inside(answering(ok(padding + "fwversion=1")));
    LatestVersions latest;
    checkAgainst(latest, loopback(inside.port()));
    EXPECT_EQ(latest.latestFwVersion, 1) << "the key and one digit lie inside the first 10,000 bytes";

    LoopbackServer beyond(answering(ok(std::string(10000, ' ') + "fwversion=105")));
    LatestVersions unchanged{103, 10301};
    const VersionCheckResult result = checkVersionDetailed(unchanged, {}, loopback(beyond.port()));
    EXPECT_EQ(result.reply, VersionReply::NoVersion);
    EXPECT_EQ(unchanged.latestFwVersion, 103);
}

TEST_F(VersionCheckOverHttp, RedirectIsFollowed)
{
    LoopbackServer target(answering(ok("fwversion=109 swversion=10504")));
    const std::string location = "http://127.0.0.1:" + std::to_string(target.port()) + "/moved/version.html";
    LoopbackServer first(answering("HTTP/1.1 302 Found\r\nLocation: " + location
                                   + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"));
    LatestVersions latest;
    const Check check = checkAgainst(latest, loopback(first.port()));
    EXPECT_EQ(check.status, VersionCheckStatus::Checked);
    EXPECT_EQ(latest.latestFwVersion, 109);
    EXPECT_EQ(latest.latestSwVersion, 10504);
    EXPECT_TRUE(startsWith(target.request(), "GET /moved/version.html HTTP/1.1\r\n")) << target.request();
}

TEST_F(VersionCheckOverHttp, ServerThatNeverAnswersEndsWithinTheTimeOut)
{
    LoopbackServer server(LoopbackServer::silent());
    VersionServer target = loopback(server.port());
    target.connectTimeout = 500ms;
    target.receiveTimeout = 500ms;
    LatestVersions latest{103, 10301};
    std::vector<std::string> log;
    const auto started = SteadyClock::now();
    const VersionCheckResult result
        = checkVersionDetailed(latest, [&log](const std::string& line) { log.push_back(line); }, target);
    const auto took = SteadyClock::now() - started;
    EXPECT_EQ(result.status, VersionCheckStatus::Checked);
    EXPECT_EQ(result.reply, VersionReply::TimedOut);
    EXPECT_EQ(latest.latestFwVersion, 103);
    EXPECT_EQ(latest.latestSwVersion, 10301);
    EXPECT_EQ(log, kNothingFound);
    EXPECT_GE(took, 400ms);
    // Both time-outs, with room for a loaded machine, and far below the server's own 5 s limit.
    EXPECT_LT(took, 3000ms);
}

TEST_F(VersionCheckOverHttp, RefusedConnectionIsStatusThree)
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

TEST_F(VersionCheckOverHttp, UnresolvableNameIsStatusTwo)
{
    // An empty label: the resolver refuses the name without asking a server.
    VersionServer target = loopback(1, "unresolvable..example");
    LatestVersions latest{105, 10501};
    const Check check = checkAgainst(latest, target);
    EXPECT_EQ(check.status, VersionCheckStatus::HostNotResolved);
    EXPECT_EQ(static_cast<int>(check.status), 2);
    EXPECT_EQ(check.log, (Lines{"Could not connect ! "}));
    EXPECT_EQ(latest.latestFwVersion, 105);
}

TEST_F(VersionCheckOverHttp, ServerOnIpv6Loopback)
{
    std::unique_ptr<LoopbackServer> server;
    try {
        server = std::make_unique<LoopbackServer>(answering(ok("fwversion=112 swversion=10506")), AF_INET6);
    } catch (const std::runtime_error&) {
        GTEST_SKIP() << "this machine has no IPv6 loopback address";
    }
    LatestVersions latest;
    const Check check = checkAgainst(latest, loopback(server->port(), "::1"));
    EXPECT_EQ(check.status, VersionCheckStatus::Checked);
    EXPECT_EQ(latest.latestFwVersion, 112);
    EXPECT_EQ(latest.latestSwVersion, 10506);
#ifdef _WIN32
    if (test::runningUnderWine()) {
        test::noteSkippedUnderWine("the Host line of an IPv6 server", "Wine's WinHTTP leaves out the brackets");
        return;
    }
#endif
    EXPECT_NE(server->request().find("Host: [::1]:"), std::string::npos) << server->request();
}

TEST_F(VersionCheckOverHttp, ProxyNamedInTheEnvironmentCarriesTheRequest)
{
    LoopbackServer origin(answering(ok("fwversion=113 swversion=10507")));
    LoopbackServer proxy(forwardingTo(origin.port()));
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.port());
    environment.set("http_proxy", proxyUrl);
    // A name only the proxy knows: the check must not look it up itself.
    VersionServer target = loopback(80, "versions.talvex.invalid");
    LatestVersions latest;
    const VersionCheckResult result = checkVersionDetailed(latest, {}, target);
    EXPECT_EQ(result.status, VersionCheckStatus::Checked) << result.error;
    EXPECT_EQ(result.reply, VersionReply::Named);
    EXPECT_EQ(result.proxy, proxyUrl);
    EXPECT_EQ(latest.latestFwVersion, 113);
    EXPECT_EQ(latest.latestSwVersion, 10507);
    // In absolute form; WinHTTP writes the port even when it is the scheme's own.
    const std::string line = proxy.request().substr(0, proxy.request().find("\r\n"));
    EXPECT_TRUE(line == "GET http://versions.talvex.invalid/version.html HTTP/1.1"
                || line == "GET http://versions.talvex.invalid:80/version.html HTTP/1.1")
        << line;
    EXPECT_TRUE(startsWith(origin.request(), "GET /version.html HTTP/1.1\r\n")) << origin.request();
}

TEST_F(VersionCheckOverHttp, NoProxyListGoesStraightToTheServer)
{
    RefusingPort deadProxy;
    environment.set("http_proxy", "http://127.0.0.1:" + std::to_string(deadProxy.port()));
    environment.set("no_proxy", "example.org,localhost");
    LoopbackServer server(answering(ok("fwversion=114")));
    LatestVersions latest;
    // "localhost" is in the list and loopback besides; the dead proxy is never asked.
    const VersionCheckResult result = checkVersionDetailed(latest, {}, loopback(server.port(), "localhost"));
    EXPECT_EQ(result.reply, VersionReply::Named) << result.error;
    EXPECT_TRUE(result.proxy.empty());
    EXPECT_EQ(latest.latestFwVersion, 114);
}

TEST_F(VersionCheckOverHttp, ProxyThatRefusesIsAConnectFailure)
{
    RefusingPort deadProxy;
    environment.set("http_proxy", "http://127.0.0.1:" + std::to_string(deadProxy.port()));
    LatestVersions latest{105, 10501};
    std::vector<std::string> log;
    const VersionCheckResult result = checkVersionDetailed(
        latest, [&log](const std::string& line) { log.push_back(line); }, loopback(80, "versions.talvex.invalid"));
    EXPECT_EQ(result.status, VersionCheckStatus::ConnectFailed);
    EXPECT_EQ(log, (Lines{"Checking last version ...", "Could not connect ! "}));
    EXPECT_EQ(latest.latestFwVersion, 105);
}

TEST_F(VersionCheckOverHttp, HttpsToAPlainServerIsNoConnection)
{
    LoopbackServer server(answering(ok("fwversion=115")));
    VersionServer target = loopback(server.port());
    target.scheme = "https";
    LatestVersions latest{105, 10501};
    const VersionCheckResult result = checkVersionDetailed(latest, {}, target);
    EXPECT_EQ(result.status, VersionCheckStatus::ConnectFailed) << result.error;
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(latest.latestFwVersion, 105) << "a plain reply never counts for a secure address";
}

// What talvexctl's check-version does not show apart: a key outside the
// body, an empty body, and a refused connection.
TEST_F(VersionCheckOverHttp, ResultSaysWhyNothingWasStored)
{
    const std::pair<const char*, std::string> replies[] = {
        {"key in a header only", "HTTP/1.1 200 OK\r\nX-Info: fwversion=120\r\nConnection: close\r\n\r\nno keys"},
        {"empty body", kHeaders},
    };
    for (const auto& [what, reply] : replies) {
        LoopbackServer server(answering(reply));
        LatestVersions latest{103, 10301};
        const VersionCheckResult result = checkVersionDetailed(latest, {}, loopback(server.port()));
        EXPECT_EQ(result.status, VersionCheckStatus::Checked) << what;
        EXPECT_EQ(result.reply, VersionReply::NoVersion) << what << ": " << result.error;
        EXPECT_EQ(latest.latestFwVersion, 103) << what;
    }

    RefusingPort refusing;
    LatestVersions latest;
    const VersionCheckResult refused = checkVersionDetailed(latest, {}, loopback(refusing.port()));
    EXPECT_EQ(refused.status, VersionCheckStatus::ConnectFailed);
    EXPECT_EQ(refused.reply, VersionReply::NotConnected);
}

#ifndef _WIN32
// libcurl's client chooses the proxy again for a redirect's address (WinHTTP keeps its session's).
TEST_F(VersionCheckOverHttp, RedirectGoesThroughTheProxyOfItsOwnAddress)
{
    const auto redirectTo = [](const std::string& location) {
        return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    };
    // Through http_proxy to the first server, from there straight to a loopback address.
    LoopbackServer moved(answering(ok("fwversion=115")));
    LoopbackServer first(answering(redirectTo("http://127.0.0.1:" + std::to_string(moved.port()) + "/moved/v.html")));
    LoopbackServer proxy(forwardingTo(first.port()));
    environment.set("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.port()));
    LatestVersions latest;
    VersionCheckResult result = checkVersionDetailed(latest, {}, loopback(80, "versions.talvex.invalid"));
    EXPECT_EQ(result.reply, VersionReply::Named) << result.error;
    EXPECT_EQ(latest.latestFwVersion, 115);
    EXPECT_TRUE(startsWith(moved.request(), "GET /moved/v.html HTTP/1.1\r\n")) << moved.request();

    // To https through https_proxy, not http_proxy.
    LoopbackServer secureProxy(answering("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"));
    LoopbackServer toHttps(answering(redirectTo("https://secure.talvex.invalid/version.html")));
    LoopbackServer plainProxy(forwardingTo(toHttps.port()));
    environment.set("http_proxy", "http://127.0.0.1:" + std::to_string(plainProxy.port()));
    environment.set("https_proxy", "http://127.0.0.1:" + std::to_string(secureProxy.port()));
    result = checkVersionDetailed(latest, {}, loopback(80, "versions.talvex.invalid"));
    EXPECT_NE(result.reply, VersionReply::Named);
    EXPECT_TRUE(startsWith(secureProxy.request(), "CONNECT secure.talvex.invalid:443 HTTP/1.1\r\n"))
        << secureProxy.request();
}
#endif
