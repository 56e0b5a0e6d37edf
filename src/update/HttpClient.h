#pragma once

#include "common/Result.h"

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

/// The step a request was at when it stopped: how far it got.
enum class HttpStep {
    Start,   ///< starting the client library
    Request, ///< making the request: its address, the library's options
    Resolve, ///< looking up the server's (or the proxy's) name
    Connect, ///< connecting, secure channel included
    Send,    ///< sending the request
    Receive, ///< receiving the reply; where a reply that came in ends too
};

struct HttpResponse {
    int status = 0;   ///< of the last reply after redirects; 0 when none came
    std::string body; ///< what arrived of it, at most the body limit, also when it broke off
    /// Ok when the reply came in whole (or up to the body limit); else the
    /// kind and the client's own words.
    Failure failure{Status::Ok, {}};
    HttpStep step = HttpStep::Receive;

    bool received() const { return failure.status == Status::Ok; }
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
