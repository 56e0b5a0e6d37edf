// The version check through the platform's HTTP client against real
// servers on the loopback addresses: each way an exchange ends, as the
// client reports it and as the check tells it; redirects, IPv6, and
// proxies named in the environment.
#include "update/HttpClient.h"
#include "update/LoopbackServer.h"
#include "update/ScopedEnvironment.h"
#include "update/VersionCheck.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "win32/WineAware.h"
#endif

#include <optional>
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
const Lines kNothingFound{"Checking last version ..."};

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

std::string local(std::uint16_t port)
{
    return "http://127.0.0.1:" + std::to_string(port);
}

bool startsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

// The platform's client, keeping its last response: what the client
// reported next to what the check made of it.
struct RecordingClient final : HttpClient {
    std::unique_ptr<HttpClient> platform = makePlatformHttpClient();
    HttpResponse last;
    HttpResponse get(const HttpRequest& request) override { return last = platform->get(request); }
};

struct Check {
    VersionCheckResult result;
    Lines log;
    HttpResponse response;
};

Check checkAgainst(LatestVersions& latest, const VersionServer& server)
{
    Check check;
    RecordingClient client;
    check.result = checkVersionDetailed(client, latest, [&check](const std::string& line) { check.log.push_back(line); },
                                        server);
    check.response = client.last;
    return check;
}

// The proxy of these tests: takes any request and hands back what the
// origin server on `originPort` answers to the tool's own.
LoopbackServer::Script forwardingTo(std::uint16_t originPort)
{
    return [originPort](LoopbackServer::Client& client) {
        std::string request = client.readRequest();
        client.send(test::exchange(originPort, versionRequest("127.0.0.1")));
        return request;
    };
}

std::string redirectTo(const std::string& location)
{
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
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

    EXPECT_EQ(check.result.status, VersionCheckStatus::Checked);
    EXPECT_EQ(check.result.reply, VersionReply::Named);
    EXPECT_EQ(check.response.failure, (Failure{Status::Ok, ""}));
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

// Every way the request ends before a reply: the step the client names,
// and the tool's own code and log lines, with nothing stored.
TEST_F(VersionCheckOverHttp, NoConnectionIsTheToolsOwnCode)
{
    const auto expect = [](const char* what, const VersionServer& server, VersionCheckStatus code,
                           std::optional<Status> status) {
        const bool resolved = code == VersionCheckStatus::ConnectFailed;
        LatestVersions latest{105, 10501};
        const Check check = checkAgainst(latest, server);
        EXPECT_EQ(check.response.step, resolved ? HttpStep::Connect : HttpStep::Resolve) << what;
        EXPECT_EQ(check.response.failure.status, status.value_or(check.response.failure.status)) << what;
        EXPECT_FALSE(check.result.error.empty()) << what;
        EXPECT_EQ(check.result.error, check.response.failure.detail) << what;
        EXPECT_EQ(check.result.status, code) << what << ": " << check.result.error;
        EXPECT_EQ(check.result.reply, VersionReply::NotConnected) << what;
        const Lines log = resolved ? Lines{"Checking last version ...", "Could not connect ! "}
                                   : Lines{"Could not connect ! "};
        EXPECT_EQ(check.log, log) << what;
        EXPECT_EQ(latest.latestFwVersion, 105) << what;
        EXPECT_EQ(latest.latestSwVersion, 10501) << what;
    };
    RefusingPort refusing;
    expect("refused", loopback(refusing.port()), VersionCheckStatus::ConnectFailed, Status::Refused);
    EXPECT_EQ(static_cast<int>(VersionCheckStatus::ConnectFailed), 3);
    // An empty label: the resolver refuses the name without asking a server.
    expect("unresolvable", loopback(1, "unresolvable..example"), VersionCheckStatus::HostNotResolved, Status::Gone);
    EXPECT_EQ(static_cast<int>(VersionCheckStatus::HostNotResolved), 2);
    // A plain reply never counts for a secure address; how the handshake
    // fails is the TLS library's to say.
    LoopbackServer plain(answering(ok("fwversion=115")));
    VersionServer secure = loopback(plain.port());
    secure.scheme = "https";
    expect("https to a plain server", secure, VersionCheckStatus::ConnectFailed, std::nullopt);

    // A name only the proxy would know: the check must not look it up itself.
    const VersionServer behindProxy = loopback(80, "versions.talvex.invalid");
    environment.set("http_proxy", local(refusing.port()));
    expect("refusing proxy", behindProxy, VersionCheckStatus::ConnectFailed, Status::Refused);
    environment.set("http_proxy", "http://unresolvable..example:8080");
    expect("unresolvable proxy", behindProxy, VersionCheckStatus::HostNotResolved, Status::Gone);
}

// Every way a reply that came, or never came, stores nothing, or stores
// what it names: the check says which, and what arrived of a 200 reply cut
// short is read.
TEST_F(VersionCheckOverHttp, EachReplyIsToldApart)
{
    struct Case {
        const char* what;
        std::optional<std::string> reply; ///< none: the server never answers
        VersionReply verdict;
        int httpStatus;
        int firmware; ///< stored; 103 is what was known before
        std::optional<Status> client = Status::Ok;
    };
    const std::string cutShort = "HTTP/1.1 200 OK\r\nContent-Length: 500\r\nConnection: close\r\n\r\n";
    const Case cases[] = {
        {"key within the first 10,000 bytes", ok(std::string(10000 - 12, ' ') + "fwversion=1"), VersionReply::Named,
         200, 1},
        {"key beyond them", ok(std::string(10000, ' ') + "fwversion=105"), VersionReply::NoVersion, 200, 103},
        {"key in a header only", "HTTP/1.1 200 OK\r\nX-Info: fwversion=120\r\nConnection: close\r\n\r\nno keys",
         VersionReply::NoVersion, 200, 103},
        {"empty body", kHeaders, VersionReply::NoVersion, 200, 103},
        {"no number", ok("fwversion=1.5"), VersionReply::NotANumber, 200, 103},
        {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 13\r\nConnection: close\r\n\r\nfwversion=112",
         VersionReply::NotOk, 404, 103},
        {"closed at once", "", VersionReply::NoReply, 0, 103, Status::Gone},
        {"never answers", std::nullopt, VersionReply::TimedOut, 0, 103, Status::TimedOut},
        // libcurl calls a body shorter than announced a failure, Wine's WinHTTP
        // its end; WinHTTP calls a reply that is no HTTP a closed connection.
        {"cut short after the key", cutShort + "fwversion=107", VersionReply::Named, 200, 107, std::nullopt},
#ifndef _WIN32
        {"cut short under two bytes", cutShort + "f", VersionReply::NoReply, 200, 103, Status::Gone},
        {"no HTTP", "fwversion=108\r\n\r\n", VersionReply::Failed, 0, 103, Status::Other},
#endif
    };
    for (const Case& c : cases) {
        LoopbackServer server(c.reply ? answering(*c.reply) : LoopbackServer::silent());
        VersionServer target = loopback(server.port());
        target.connectTimeout = target.receiveTimeout = 500ms;
        LatestVersions latest{103, 10301};
        const auto started = SteadyClock::now();
        const Check check = checkAgainst(latest, target);
        // Both time-outs, with room for a loaded machine, and far below the server's own 5 s limit.
        EXPECT_LT(SteadyClock::now() - started, 3000ms) << c.what;
        if (!c.reply) {
            EXPECT_GE(SteadyClock::now() - started, 400ms);
        }
        EXPECT_EQ(check.response.step, HttpStep::Receive) << c.what;
        EXPECT_EQ(check.response.failure.status, c.client.value_or(check.response.failure.status))
            << c.what << ": " << check.result.error;
        EXPECT_EQ(check.result.status, VersionCheckStatus::Checked) << c.what;
        EXPECT_EQ(check.result.reply, c.verdict) << c.what << ": " << check.result.error;
        EXPECT_EQ(check.result.httpStatus, c.httpStatus) << c.what;
        EXPECT_EQ(latest.latestFwVersion, c.firmware) << c.what;
        if (c.verdict != VersionReply::Named) {
            EXPECT_EQ(check.log, kNothingFound) << c.what;
        }
    }
}

TEST_F(VersionCheckOverHttp, FiveRedirectsAreFollowedASixthIsNot)
{
    // Servers in a row, the last asked first, each sending on to the one before.
    const auto redirecting = [](int redirects, LoopbackServer::Script last) {
        std::vector<std::unique_ptr<LoopbackServer>> servers;
        servers.push_back(std::make_unique<LoopbackServer>(std::move(last)));
        for (int i = 0; i < redirects; ++i)
            servers.push_back(std::make_unique<LoopbackServer>(
                answering(redirectTo(local(servers.back()->port()) + "/moved/version.html"))));
        return servers;
    };
    LatestVersions latest;
    auto servers = redirecting(5, answering(ok("fwversion=109 swversion=10504")));
    Check check = checkAgainst(latest, loopback(servers.back()->port()));
    EXPECT_EQ(check.result.reply, VersionReply::Named) << check.result.error;
    EXPECT_EQ(latest.latestFwVersion, 109);
    EXPECT_EQ(latest.latestSwVersion, 10504);
    EXPECT_TRUE(startsWith(servers.front()->request(), "GET /moved/version.html HTTP/1.1\r\n"))
        << servers.front()->request();
    servers = redirecting(5, answering(redirectTo("http://127.0.0.1:1/version.html")));
    check = checkAgainst(latest, loopback(servers.back()->port()));
    EXPECT_EQ(check.response.step, HttpStep::Receive);
    EXPECT_EQ(check.response.failure.status, Status::Other) << check.result.error;
#ifdef _WIN32
    EXPECT_EQ(check.result.reply, VersionReply::Failed); // WinHTTP keeps no reply
#else
    EXPECT_EQ(check.result.reply, VersionReply::NotOk); // the last reply, a redirect
    EXPECT_EQ(check.result.httpStatus, 302);
#endif
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
    EXPECT_EQ(check.result.status, VersionCheckStatus::Checked);
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

TEST_F(VersionCheckOverHttp, ProxyNamedInTheEnvironmentCarriesTheRequestUnlessNoProxyExemptsTheHost)
{
    LoopbackServer origin(answering(ok("fwversion=113 swversion=10507")));
    LoopbackServer proxy(forwardingTo(origin.port()));
    environment.set("http_proxy", local(proxy.port()));
    // A name only the proxy knows: the check must not look it up itself.
    LatestVersions latest;
    Check check = checkAgainst(latest, loopback(80, "versions.talvex.invalid"));
    EXPECT_EQ(check.result.reply, VersionReply::Named) << check.result.error;
    EXPECT_EQ(check.result.proxy, local(proxy.port()));
    EXPECT_EQ(latest.latestFwVersion, 113);
    EXPECT_EQ(latest.latestSwVersion, 10507);
    // In absolute form; WinHTTP writes the port even when it is the scheme's own.
    const std::string line = proxy.request().substr(0, proxy.request().find("\r\n"));
    EXPECT_TRUE(line == "GET http://versions.talvex.invalid/version.html HTTP/1.1"
                || line == "GET http://versions.talvex.invalid:80/version.html HTTP/1.1")
        << line;

    RefusingPort deadProxy;
    environment.set("http_proxy", local(deadProxy.port()));
    environment.set("no_proxy", "example.org,localhost");
    LoopbackServer server(answering(ok("fwversion=114")));
    // "localhost" is in the list and loopback besides; the dead proxy is never asked.
    check = checkAgainst(latest, loopback(server.port(), "localhost"));
    EXPECT_EQ(check.result.reply, VersionReply::Named) << check.result.error;
    EXPECT_TRUE(check.result.proxy.empty());
    EXPECT_EQ(latest.latestFwVersion, 114);
}

#ifndef _WIN32
// libcurl's client chooses the proxy again for a redirect's address (WinHTTP keeps its session's).
TEST_F(VersionCheckOverHttp, RedirectGoesThroughTheProxyOfItsOwnAddress)
{
    LatestVersions latest;
    // Through http_proxy to the first server, from there straight to a loopback address.
    LoopbackServer moved(answering(ok("fwversion=115")));
    LoopbackServer first(answering(redirectTo(local(moved.port()) + "/moved/v.html")));
    LoopbackServer proxy(forwardingTo(first.port()));
    environment.set("http_proxy", local(proxy.port()));
    Check check = checkAgainst(latest, loopback(80, "versions.talvex.invalid"));
    EXPECT_EQ(check.result.reply, VersionReply::Named) << check.result.error;
    EXPECT_EQ(latest.latestFwVersion, 115);
    EXPECT_TRUE(startsWith(moved.request(), "GET /moved/v.html HTTP/1.1\r\n")) << moved.request();

    // To https through https_proxy, not http_proxy.
    LoopbackServer secureProxy(answering("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"));
    LoopbackServer toHttps(answering(redirectTo("https://secure.talvex.invalid/version.html")));
    LoopbackServer plainProxy(forwardingTo(toHttps.port()));
    environment.set("http_proxy", local(plainProxy.port()));
    environment.set("https_proxy", local(secureProxy.port()));
    check = checkAgainst(latest, loopback(80, "versions.talvex.invalid"));
    EXPECT_NE(check.result.reply, VersionReply::Named);
    EXPECT_TRUE(startsWith(secureProxy.request(), "CONNECT secure.talvex.invalid:443 HTTP/1.1\r\n"))
        << secureProxy.request();
}
#endif
