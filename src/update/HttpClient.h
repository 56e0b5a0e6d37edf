#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace talvex {

/// One GET through the platform's HTTP client.
struct HttpRequest {
    std::string url;
    /// The proxy's address, or empty to go direct. The caller decides, so
    /// that what is reported and what is done cannot differ.
    std::string proxy;
    /// The proxy for a redirect's target, chosen as for the first address;
    /// unset: `proxy` for every address.
    std::function<std::string(const std::string& scheme, const std::string& host)> proxyFor;
    /// Hosts never asked through a proxy, as a comma-separated no_proxy list.
    std::string noProxy;
    std::chrono::milliseconds connectTimeout{5000};
    /// The longest wait for the whole reply once the connection stands.
    std::chrono::milliseconds receiveTimeout{5000};
    /// Body bytes kept; the transfer ends when this many have come.
    std::size_t bodyLimit = 10000;
    /// Called once when the name is resolved and the connection starts
    /// (where the client can tell; otherwise after the fact).
    std::function<void()> connecting;
};

enum class HttpOutcome {
    Received,      ///< a reply came in whole (or up to the body limit)
    NotStarted,    ///< the client library would not start
    NotResolved,   ///< the server's (or the proxy's) name did not resolve
    ConnectFailed, ///< refused, unreachable, no secure channel, or not within the connect time-out
    NotSent,       ///< the request could not be sent
    TimedOut,      ///< the reply did not end within the receive time-out
    NoReply,       ///< the server closed without an HTTP reply
    Failed,        ///< anything else (too many redirects, a malformed reply)
};

struct HttpResponse {
    HttpOutcome outcome = HttpOutcome::Failed;
    int status = 0;     ///< of the last reply after redirects; 0 when none came
    std::string body;   ///< what arrived of it, at most the body limit
    std::string error;  ///< the client's own words when it failed
};

/// libcurl on Linux, WinHTTP on Windows. Follows redirects (at most 5,
/// http and https only); speaks HTTPS for https:// addresses.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResponse get(const HttpRequest& request) = 0;
};

std::unique_ptr<HttpClient> makePlatformHttpClient();

} // namespace talvex
