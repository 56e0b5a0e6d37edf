#include "update/Environment.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace talvex {
namespace {

std::string lowered(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::string withoutBrackets(std::string_view host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return lowered(host);
}

std::optional<ProxyChoice> firstSet(const EnvironmentLookup& env, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const std::optional<std::string> value = env(name);
        if (value && !value->empty())
            return ProxyChoice {*value, name};
    }
    return std::nullopt;
}

// A proxy would reach its own loopback, never this machine's.
bool isLoopback(const std::string& host)
{
    if (host == "localhost" || host == "::1")
        return true;
    const std::string suffix = ".localhost";
    if (host.size() > suffix.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0)
        return true;
    return host.rfind("127.", 0) == 0 && host.find_first_not_of("0123456789.") == std::string::npos;
}

} // namespace

EnvironmentLookup processEnvironment()
{
    return [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr)
            return std::nullopt;
        return std::string(value);
    };
}

bool noProxyCovers(std::string_view list, std::string_view host)
{
    const std::string name = withoutBrackets(host);
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t end = std::min(list.find_first_of(", \t", at), list.size());
        std::string entry = withoutBrackets(list.substr(at, end - at));
        at = end + 1;
        if (entry == "*")
            return true;
        while (!entry.empty() && entry.front() == '.')
            entry.erase(0, 1);
        if (entry.empty())
            continue;
        if (name == entry)
            return true;
        if (name.size() > entry.size() && name.compare(name.size() - entry.size(), entry.size(), entry) == 0
            && name[name.size() - entry.size() - 1] == '.')
            return true;
    }
    return false;
}

std::string noProxyFromEnvironment(const EnvironmentLookup& env)
{
    const auto list = firstSet(env, {"no_proxy", "NO_PROXY"});
    std::string entries;
    if (!list)
        return entries;
    for (std::size_t at = 0; at < list->url.size();) {
        const std::size_t end = std::min(list->url.find_first_of(", \t", at), list->url.size());
        if (end > at)
            entries += (entries.empty() ? "" : ",") + list->url.substr(at, end - at);
        at = end + 1;
    }
    return entries;
}

ProxyChoice proxyFromEnvironment(std::string_view scheme, std::string_view host, const EnvironmentLookup& env)
{
    if (isLoopback(withoutBrackets(host)))
        return {};
    if (const auto noProxy = firstSet(env, {"no_proxy", "NO_PROXY"}); noProxy && noProxyCovers(noProxy->url, host))
        return {};
    const bool secure = lowered(scheme) == "https";
    const auto chosen = secure ? firstSet(env, {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
                               : firstSet(env, {"http_proxy", "all_proxy", "ALL_PROXY"});
    return chosen.value_or(ProxyChoice {});
}

} // namespace talvex
