// The libcurl client against servers on 127.0.0.1: only http and https
// also where the library lacks CURLOPT_PROTOCOLS_STR, nothing sent when an
// option is refused, and the no_proxy list.
#include "update/CurlHttpClient.h"
#include "update/LoopbackServer.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <set>

#include <unistd.h>

using namespace talvex;
using namespace std::chrono_literals;

namespace {

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

} // namespace

TEST(CurlHttpClient, OlderLibcurlStillSpeaksOnlyHttpAndARefusedOptionSendsNothing)
{
    const std::filesystem::path file
        = std::filesystem::temp_directory_path() / ("talvex-curl-" + std::to_string(::getpid()) + ".html");
    std::ofstream(file) << "fwversion=101";
    HttpRequest request;
    request.url = "file://" + file.string();

    // Before 7.85: no string options; the bitmask keeps file:// out.
    g_unknown = {CURLOPT_PROTOCOLS_STR, CURLOPT_REDIR_PROTOCOLS_STR};
    HttpResponse response = makeCurlHttpClient(&olderLibcurl)->get(request);
    EXPECT_EQ(response.step, HttpStep::Request);
    EXPECT_EQ(response.failure.status, Status::BadInput) << response.failure.detail;
    EXPECT_EQ(response.body, "");

    // A library that takes neither: the request is not made at all.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    g_unknown.insert(CURLOPT_PROTOCOLS);
#pragma GCC diagnostic pop
    response = makeCurlHttpClient(&olderLibcurl)->get(request);
    g_unknown.clear();
    std::filesystem::remove(file);
    EXPECT_EQ(response.step, HttpStep::Request);
    EXPECT_EQ(response.failure, fail(Status::Unsupported, "libcurl refused CURLOPT_PROTOCOLS (An unknown option was passed in to libcurl)"));
    EXPECT_EQ(response.body, "");
}

TEST(CurlHttpClient, HostInTheNoProxyListIsAskedDirectly)
{
    test::RefusingPort deadProxy;
    test::LoopbackServer server(test::LoopbackServer::answering("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nfw"));
    HttpRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(server.port()) + "/version.html";
    request.proxy = "http://127.0.0.1:" + std::to_string(deadProxy.port());
    request.noProxy = "example.org,127.0.0.1";
    const HttpResponse response = makeCurlHttpClient()->get(request);
    EXPECT_TRUE(response.received()) << response.failure.detail;
    EXPECT_EQ(response.body, "fw");
}
