// libcurl as the version check drives it, against servers on 127.0.0.1:
// only http and https also where the library lacks CURLOPT_PROTOCOLS_STR,
// nothing sent when an option is refused, the no_proxy list, and the
// proxy chosen again for a redirect's address.
#include "update/CurlHttpClient.h"
#include "update/LoopbackServer.h"
#include "update/ScopedEnvironment.h"
#include "update/VersionCheck.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <set>

#include <unistd.h>

using namespace talvex;
using talvex::test::LoopbackServer;
using talvex::test::RefusingPort;
using talvex::test::ScopedEnvironment;

namespace {

using namespace std::chrono_literals;

/// The options the emulated library does not know.
std::set<CURLoption> g_unknown;

/// libcurl's own setter, but for the options an older library lacks.
CURLcode olderLibcurl(CURL* curl, CURLoption option, ...)
{
    if (g_unknown.count(option) != 0)
        return CURLE_UNKNOWN_OPTION;
    va_list arguments;
    va_start(arguments, option);
    CURLcode code;
    if (option < CURLOPTTYPE_OBJECTPOINT)
        code = (curl_easy_setopt)(curl, option, va_arg(arguments, long));
    else if (option < CURLOPTTYPE_OFF_T)
        code = (curl_easy_setopt)(curl, option, va_arg(arguments, void*));
    else
        code = (curl_easy_setopt)(curl, option, va_arg(arguments, curl_off_t));
    va_end(arguments);
    return code;
}

std::string ok(const std::string& body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n" + body;
}

std::string loopbackUrl(std::uint16_t port, const std::string& path = "/version.html")
{
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

bool startsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

VersionServer named(const std::string& host)
{
    VersionServer server;
    server.host = host;
    server.port = 80;
    server.connectTimeout = 2000ms;
    server.receiveTimeout = 2000ms;
    return server;
}

// Reads a request in absolute form and hands back what `originPort` answers to it.
LoopbackServer::Script forwardingTo(std::uint16_t originPort)
{
    return [originPort](LoopbackServer::Client& client) {
        const std::string request = client.readRequest();
        const auto pathStart = request.find('/', request.find("://") + 3);
        const auto lineEnd = request.find(' ', request.find(' ') + 1);
        if (pathStart == std::string::npos || lineEnd == std::string::npos)
            return request;
        client.send(test::exchange(originPort, "GET " + request.substr(pathStart, lineEnd - pathStart) +
                                                   " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"));
        return request;
    };
}

std::string redirectTo(const std::string& location)
{
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

class CurlHttpClientTest : public ::testing::Test {
protected:
    ScopedEnvironment environment;
    void SetUp() override { environment.withoutProxies(); }
    void TearDown() override { g_unknown.clear(); }
};

} // namespace

TEST_F(CurlHttpClientTest, OlderLibcurlStillSpeaksOnlyHttpAndARefusedOptionSendsNothing)
{
    const std::filesystem::path file
        = std::filesystem::temp_directory_path() / ("talvex-curl-" + std::to_string(::getpid()) + ".html");
    std::ofstream(file) << "fwversion=101";
    HttpRequest request;
    request.url = "file://" + file.string();
    request.connectTimeout = 1000ms;
    request.receiveTimeout = 1000ms;

    // Before 7.85: no string options, the bitmask keeps file:// out.
    g_unknown = {CURLOPT_PROTOCOLS_STR, CURLOPT_REDIR_PROTOCOLS_STR};
    HttpResponse response = makeCurlHttpClient(&olderLibcurl)->get(request);
    EXPECT_NE(response.outcome, HttpOutcome::Received);
    EXPECT_EQ(response.body, "");

    // A library that takes neither: the request is not made at all.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    g_unknown.insert(CURLOPT_PROTOCOLS);
#pragma GCC diagnostic pop
    response = makeCurlHttpClient(&olderLibcurl)->get(request);
    EXPECT_EQ(response.outcome, HttpOutcome::Failed);
    EXPECT_EQ(response.error, "libcurl refused CURLOPT_PROTOCOLS (An unknown option was passed in to libcurl)");
    EXPECT_EQ(response.body, "");
    std::filesystem::remove(file);
}

TEST_F(CurlHttpClientTest, HostInTheNoProxyListIsAskedDirectly)
{
    RefusingPort deadProxy;
    LoopbackServer server(LoopbackServer::answering(ok("fwversion=102")));
    HttpRequest request;
    request.url = loopbackUrl(server.port());
    request.proxy = "http://127.0.0.1:" + std::to_string(deadProxy.port());
    request.noProxy = "example.org,127.0.0.1";
    const HttpResponse response = makeCurlHttpClient()->get(request);
    EXPECT_EQ(response.outcome, HttpOutcome::Received) << response.error;
    EXPECT_EQ(response.body, "fwversion=102");
}

TEST_F(CurlHttpClientTest, RedirectGoesThroughTheProxyOfItsOwnAddress)
{
    // Through http_proxy to the first server; its redirect to a loopback
    // address goes straight there.
    LoopbackServer moved(LoopbackServer::answering(ok("fwversion=115")));
    LoopbackServer first(LoopbackServer::answering(redirectTo(loopbackUrl(moved.port(), "/moved/version.html"))));
    LoopbackServer proxy(forwardingTo(first.port()));
    environment.set("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.port()));
    LatestVersions latest;
    VersionCheckResult result = checkVersionDetailed(latest, {}, named("versions.talvex.invalid"));
    EXPECT_EQ(result.reply, VersionReply::Named) << result.error;
    EXPECT_EQ(latest.latestFwVersion, 115);
    EXPECT_TRUE(startsWith(moved.request(), "GET /moved/version.html HTTP/1.1\r\n")) << moved.request();

    // A redirect to https goes through https_proxy, not http_proxy.
    LoopbackServer secureProxy(LoopbackServer::answering("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"));
    LoopbackServer toHttps(LoopbackServer::answering(redirectTo("https://secure.talvex.invalid/version.html")));
    LoopbackServer plainProxy(forwardingTo(toHttps.port()));
    environment.set("http_proxy", "http://127.0.0.1:" + std::to_string(plainProxy.port()));
    environment.set("https_proxy", "http://127.0.0.1:" + std::to_string(secureProxy.port()));
    result = checkVersionDetailed(latest, {}, named("versions.talvex.invalid"));
    EXPECT_NE(result.reply, VersionReply::Named);
    EXPECT_TRUE(startsWith(secureProxy.request(), "CONNECT secure.talvex.invalid:443 HTTP/1.1\r\n"))
        << secureProxy.request();
}
