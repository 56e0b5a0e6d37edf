#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace talvex {

/// Reads one environment variable; nothing when it is not set. Tests hand
/// in a table instead of the process's environment.
using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;

EnvironmentLookup processEnvironment();

/// The proxy a request goes through, and where that choice came from.
struct ProxyChoice {
    std::string url;      ///< empty: straight to the server
    std::string variable; ///< the environment variable that named it
};

/// The proxy for `scheme`://`host`, chosen from the environment as curl
/// does: http_proxy for http (lower case only, as HTTP_PROXY can be set by
/// a web request to a CGI program), https_proxy or HTTPS_PROXY for https,
/// then all_proxy or ALL_PROXY; none when no_proxy or NO_PROXY covers the
/// host, or for a loopback host. Empty values count as unset.
ProxyChoice proxyFromEnvironment(std::string_view scheme, std::string_view host, const EnvironmentLookup& env);

/// no_proxy (or NO_PROXY) with its entries separated by commas alone, as
/// libcurl takes it; empty when unset.
std::string noProxyFromEnvironment(const EnvironmentLookup& env);

/// A no_proxy list ("*" or names and addresses, separated by commas or
/// blanks) covers the host: the same name, or a name inside a listed domain.
bool noProxyCovers(std::string_view list, std::string_view host);

} // namespace talvex
