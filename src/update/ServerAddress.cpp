#include "update/ServerAddress.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>

namespace talvex {
namespace {

constexpr const char* kSettingVariable = "TALVEX_VERSION_SERVER";
constexpr const char* kDocumentPath = "/version.html";

std::uint16_t defaultPort(std::string_view scheme)
{
    return scheme == "https" ? 443 : 80;
}

std::optional<std::uint16_t> portNumber(std::string_view text)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// "host", "host:port", "[v6]", "[v6]:port", or a bare IPv6 address
// (several colons, so none of them ends the host).
bool splitHostPort(std::string_view text, std::string& host, std::optional<std::uint16_t>& port)
{
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos)
            return false;
        host = std::string(text.substr(1, close - 1));
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return false;
            portText = rest.substr(1);
            if (portText.empty())
                return false;
        }
    } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos && text.find(':') == colon) {
        host = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
        if (portText.empty())
            return false;
    } else {
        host = std::string(text);
    }
    if (host.empty())
        return false;
    if (!portText.empty()) {
        port = portNumber(portText);
        if (!port)
            return false;
    }
    return true;
}

bool hasBlankOrControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return c <= ' ' || c == 0x7f; });
}

std::string trimmed(std::string text)
{
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    return text;
}

} // namespace

std::string serverUrl(const VersionServer& server)
{
    std::string url = server.scheme + "://";
    url += server.host.find(':') != std::string::npos ? "[" + server.host + "]" : server.host;
    if (server.port != defaultPort(server.scheme))
        url += ":" + std::to_string(server.port);
    return url + server.path;
}

std::optional<VersionServer> parseServerAddress(std::string_view text, const VersionServer& base)
{
    if (text.empty() || hasBlankOrControl(text))
        return std::nullopt;
    VersionServer server = base;
    server.scheme = "http";
    server.path = kDocumentPath;
    std::string_view authority = text;
    if (const auto marker = text.find("://"); marker != std::string_view::npos) {
        std::string scheme(text.substr(0, marker));
        std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (scheme != "http" && scheme != "https")
            return std::nullopt;
        server.scheme = scheme;
        const std::string_view rest = text.substr(marker + 3);
        const auto pathStart = rest.find_first_of("/?#");
        authority = rest.substr(0, pathStart);
        if (pathStart != std::string_view::npos) {
            std::string_view tail = rest.substr(pathStart);
            // A fragment is never sent.
            tail = tail.substr(0, tail.find('#'));
            std::string path;
            if (tail.empty() || tail.front() != '/')
                path += '/';
            path.append(tail);
            if (path != "/")
                server.path = path;
        }
    }
    // User names and passwords do not belong in a setting that is printed.
    if (authority.find('@') != std::string_view::npos || authority.find('/') != std::string_view::npos)
        return std::nullopt;
    std::optional<std::uint16_t> port;
    if (!splitHostPort(authority, server.host, port))
        return std::nullopt;
    server.port = port.value_or(defaultPort(server.scheme));
    return server;
}

VersionServerSetting readVersionServerSetting(const EnvironmentLookup& env, const std::vector<std::string>& files)
{
    VersionServerSetting setting;
    std::string text;
    if (const auto value = env(kSettingVariable); value && !value->empty()) {
        setting.source = kSettingVariable;
        text = trimmed(*value);
    } else {
        for (const std::string& file : files) {
            std::ifstream in(file);
            if (!in)
                continue;
            setting.source = file;
            std::getline(in, text);
            text = trimmed(text);
            break;
        }
    }
    if (setting.source.empty())
        return setting;
    setting.server = parseServerAddress(text);
    if (!setting.server)
        setting.error = setting.source + " holds \"" + text + "\", which is no server address";
    return setting;
}

std::vector<std::string> versionServerSettingFiles(const EnvironmentLookup& env)
{
    std::vector<std::string> files;
    std::string directory;
    if (const auto xdg = env("XDG_CONFIG_HOME"); xdg && !xdg->empty())
        directory = *xdg;
    else if (const auto home = env("HOME"); home && !home->empty())
        directory = *home + "/.config";
    else if (const auto appData = env("APPDATA"); appData && !appData->empty())
        directory = *appData;
    if (!directory.empty())
        files.push_back(directory + "/talvex/version-server");
#ifndef _WIN32
    files.emplace_back("/etc/talvex/version-server");
#endif
    return files;
}

VersionServer configuredVersionServer(const VersionServer& fallback,
                                      const std::function<void(const std::string&)>& problem)
{
    const EnvironmentLookup env = processEnvironment();
    const VersionServerSetting setting = readVersionServerSetting(env, versionServerSettingFiles(env));
    if (!setting.error.empty() && problem)
        problem(setting.error);
    if (!setting.server)
        return fallback;
    VersionServer server = *setting.server;
    server.connectTimeout = fallback.connectTimeout;
    server.receiveTimeout = fallback.receiveTimeout;
    return server;
}

} // namespace talvex
