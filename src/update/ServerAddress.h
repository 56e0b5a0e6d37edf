#pragma once

#include "update/Environment.h"
#include "update/VersionCheck.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// "http://www.talvex.example/version.html": the address the check asks,
/// the port left out when it is the scheme's own, an IPv6 host in brackets.
std::string serverUrl(const VersionServer& server);

/// A server address as a user writes it: a URL (http:// or https://, the
/// path /version.html when none is given), or HOST, HOST:PORT or
/// [IPv6]:PORT for plain HTTP. The time-outs are kept from `base`.
/// Nothing when the text is no such address.
std::optional<VersionServer> parseServerAddress(std::string_view text, const VersionServer& base = {});

/// Where the windows and talvexctl take the server from when nobody names
/// one: the environment variable TALVEX_VERSION_SERVER, else the first line
/// of the first of `files` that exists.
struct VersionServerSetting {
    std::optional<VersionServer> server; ///< nothing set, or not an address
    std::string source;                  ///< the variable or file it came from
    std::string error;                   ///< set when the source holds no address
};

VersionServerSetting readVersionServerSetting(const EnvironmentLookup& env, const std::vector<std::string>& files);

/// The setting files: the user's ($XDG_CONFIG_HOME or ~/.config, on
/// Windows %APPDATA%, then talvex/version-server), then /etc/talvex/version-server.
std::vector<std::string> versionServerSettingFiles(const EnvironmentLookup& env);

/// The server to use: the setting when there is one, else `fallback`. A
/// setting that is no address is reported through `problem` and ignored.
VersionServer configuredVersionServer(const VersionServer& fallback = {},
                                      const std::function<void(const std::string&)>& problem = {});

} // namespace talvex
