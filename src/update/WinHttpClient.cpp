#include "update/HttpClient.h"

// std::min and std::max, not the Windows header's macros.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <string>
#include <vector>

namespace talvex {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Absent from older MinGW-w64 headers (Windows 8.1 and later).
#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif
#ifndef ERROR_WINHTTP_SECURE_FAILURE_PROXY
#define ERROR_WINHTTP_SECURE_FAILURE_PROXY (WINHTTP_ERROR_BASE + 188)
#endif

class Handle {
public:
    explicit Handle(HINTERNET handle = nullptr) : m_handle(handle) {}
    ~Handle()
    {
        if (m_handle != nullptr)
            ::WinHttpCloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    HINTERNET m_handle;
};

std::wstring wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

std::string errorText(DWORD code)
{
    char buffer[512] = {};
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                          ::GetModuleHandleA("winhttp.dll"), code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return "WinHTTP error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
}

int milliseconds(std::chrono::milliseconds value)
{
    return static_cast<int>(std::clamp<long long>(value.count(), 1, INT_MAX));
}

// Wine passes a socket's time-out through as Winsock's code.
constexpr DWORD kSocketTimedOut = 10060; // WSAETIMEDOUT

struct Stop {
    HttpStep step;
    Status status;
};

// Every WinHTTP failure becomes a step and a Status here and nowhere else.
// `call` is the step the failed call stands for: sending resolves and
// connects as well, so its codes say how far it got.
Stop stopOf(HttpStep call, DWORD code)
{
    switch (call) {
    case HttpStep::Start: return {call, Status::Unsupported};
    case HttpStep::Request:
        return {call, code == ERROR_WINHTTP_INVALID_URL || code == ERROR_WINHTTP_UNRECOGNIZED_SCHEME
                          ? Status::BadInput
                          : Status::Other};
    case HttpStep::Receive:
        switch (code) {
        case ERROR_WINHTTP_TIMEOUT:
        case kSocketTimedOut: return {call, Status::TimedOut};
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return {call, Status::Gone};
        default: return {call, Status::Other};
        }
    default: break;
    }
    switch (code) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return {HttpStep::Resolve, Status::Gone};
    case kSocketTimedOut:
    case ERROR_WINHTTP_TIMEOUT: return {HttpStep::Connect, Status::TimedOut};
    case ERROR_WINHTTP_CANNOT_CONNECT:
    // No secure channel is no connection, as with curl.
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_FAILURE_PROXY:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return {HttpStep::Connect, Status::Refused};
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE: return {HttpStep::Connect, Status::Denied};
    default: return {HttpStep::Send, Status::Other};
    }
}

struct Url {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;
    bool secure = false;
};

// Split by hand: WinHttpCrackUrl in Wine cannot read an IPv6 literal.
bool crack(const std::string& text, Url& url)
{
    const auto marker = text.find("://");
    if (marker == std::string::npos)
        return false;
    const std::string scheme = text.substr(0, marker);
    url.secure = scheme == "https";
    if (!url.secure && scheme != "http")
        return false;
    const auto pathStart = text.find('/', marker + 3);
    const std::string authority = text.substr(marker + 3, pathStart - marker - 3);
    url.path = wide(pathStart == std::string::npos ? "/" : text.substr(pathStart));
    std::string host = authority;
    std::string port;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos)
            return false;
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size() && authority[close + 1] == ':')
            port = authority.substr(close + 2);
    } else if (const auto colon = authority.rfind(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    unsigned number = url.secure ? 443 : 80;
    if (!port.empty()) {
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (error != std::errc() || end != port.data() + port.size() || number == 0 || number > 65535)
            return false;
    }
    if (host.empty())
        return false;
    url.host = wide(host);
    url.port = static_cast<INTERNET_PORT>(number);
    return true;
}

// WinHTTP names a proxy as host:port; a leading "http://" is the proxy's
// scheme in the environment's form.
std::string proxyName(std::string proxy)
{
    if (proxy.rfind("http://", 0) == 0)
        proxy.erase(0, 7);
    while (!proxy.empty() && proxy.back() == '/')
        proxy.pop_back();
    return proxy;
}

HINTERNET openSession(const std::string& proxy)
{
    if (!proxy.empty()) {
        const std::wstring name = wide(proxyName(proxy));
        return ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, name.c_str(), WINHTTP_NO_PROXY_BYPASS, 0);
    }
    // The system's proxy: its automatic setting where Windows has one (8.1
    // and later), else WinHTTP's own (netsh winhttp).
    HINTERNET session = ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr)
        session = ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0);
    return session;
}

class WinHttpClient final : public HttpClient {
public:
    HttpResponse get(const HttpRequest& request) override
    {
        HttpResponse response;
        // Where the last call failed, with WinHTTP's code and words.
        const auto stopped = [&](HttpStep call) {
            const DWORD code = ::GetLastError();
            const Stop stop = stopOf(call, code);
            response.step = stop.step;
            response.failure = {stop.status, errorText(code)};
            return response;
        };
        const auto deadline = SteadyClock::now() + request.connectTimeout + request.receiveTimeout;

        const Handle session(openSession(request.proxy));
        if (!session)
            return stopped(HttpStep::Start);
        const int connectMs = milliseconds(request.connectTimeout);
        const int receiveMs = milliseconds(request.receiveTimeout);
        ::WinHttpSetTimeouts(session.get(), connectMs, connectMs, connectMs, receiveMs);
        Url url;
        if (!crack(request.url, url)) {
            ::SetLastError(ERROR_WINHTTP_INVALID_URL);
            return stopped(HttpStep::Request);
        }
        const Handle connection(::WinHttpConnect(session.get(), url.host.c_str(), url.port, 0));
        if (!connection)
            return stopped(HttpStep::Request);
        const Handle handle(::WinHttpOpenRequest(connection.get(), L"GET", url.path.c_str(), nullptr,
                                                 WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                 url.secure ? WINHTTP_FLAG_SECURE : 0));
        if (!handle)
            return stopped(HttpStep::Request);
        // Set again on the request, with the wait for the reply's headers,
        // which WinHTTP counts apart (90 s by default).
        ::WinHttpSetTimeouts(handle.get(), connectMs, connectMs, connectMs, receiveMs);
        DWORD headerMs = static_cast<DWORD>(receiveMs);
        ::WinHttpSetOption(handle.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerMs, sizeof headerMs);
        // One request, then the server may close: no keep-alive.
        DWORD feature = WINHTTP_DISABLE_KEEP_ALIVE;
        ::WinHttpSetOption(handle.get(), WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature);
#ifdef WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS
        DWORD redirects = 5;
        ::WinHttpSetOption(handle.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects, sizeof redirects);
#endif

        if (!::WinHttpSendRequest(handle.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
            return stopped(HttpStep::Send);
        if (request.connecting)
            request.connecting();
        if (!::WinHttpReceiveResponse(handle.get(), nullptr))
            return stopped(HttpStep::Receive);

        DWORD status = 0;
        DWORD size = sizeof status;
        if (::WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                  WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
            response.status = static_cast<int>(status);

        std::vector<char> buffer(4096);
        while (response.body.size() < request.bodyLimit) {
            if (SteadyClock::now() >= deadline) {
                ::SetLastError(ERROR_WINHTTP_TIMEOUT);
                return stopped(HttpStep::Receive);
            }
            const DWORD want = static_cast<DWORD>(std::min(buffer.size(), request.bodyLimit - response.body.size()));
            DWORD got = 0;
            if (!::WinHttpReadData(handle.get(), buffer.data(), want, &got))
                return stopped(HttpStep::Receive);
            if (got == 0)
                break;
            response.body.append(buffer.data(), got);
        }
        return response;
    }
};

} // namespace

std::unique_ptr<HttpClient> makePlatformHttpClient()
{
    return std::make_unique<WinHttpClient>();
}

} // namespace talvex
