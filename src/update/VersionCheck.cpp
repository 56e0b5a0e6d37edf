#include "update/VersionCheck.h"

#include "protocol/VersionText.h"
#include "update/Environment.h"
#include "update/HttpClient.h"
#include "update/ServerAddress.h"

#include <algorithm>
#include <cstdio>

namespace talvex {
namespace {

constexpr std::size_t kReplyCapacity = 10000;
constexpr std::string_view kFirmwareKey = "fwversion";
constexpr std::string_view kSoftwareKey = "swversion";
// The value starts after the key and one separator character of any kind.
constexpr std::size_t kValueOffset = 10;
constexpr std::size_t kFirmwareDigits = 3;
constexpr std::size_t kSoftwareDigits = 5;

void say(const VersionLog& log, const std::string& message)
{
    if (log)
        log(message);
}

struct Value {
    std::optional<int> number;
    std::optional<std::string> notANumber;
};

std::optional<Value> valueAfter(std::string_view reply, std::string_view key, std::size_t digits)
{
    const std::size_t at = reply.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    // A value cut by the end of the data is what arrived of it.
    const std::size_t start = std::min(at + kValueOffset, reply.size());
    const std::string_view field = reply.substr(start, digits);
    Value value;
    value.number = versionNumber(field);
    if (!value.number)
        value.notANumber = std::string(field);
    return value;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Failing before the request was under way is the tool's own status code;
// later failures, and a reply that came in (at Receive), are told by the reply.
VersionCheckStatus statusOf(const HttpResponse& response)
{
    switch (response.step) {
    case HttpStep::Start: return VersionCheckStatus::SocketsNotStarted;
    case HttpStep::Resolve: return VersionCheckStatus::HostNotResolved;
    case HttpStep::Connect: return VersionCheckStatus::ConnectFailed;
    default: return VersionCheckStatus::Checked;
    }
}

VersionReply replyOf(const HttpResponse& response, const NamedVersions& named)
{
    // What arrived of a 200 reply before it broke off is still read.
    if (response.status == 200 && (response.received() || response.body.size() >= 2)) {
        if (named.firmwareNotANumber)
            return VersionReply::NotANumber;
        return named.firmware ? VersionReply::Named : VersionReply::NoVersion;
    }
    if (response.status != 0 && response.status != 200)
        return VersionReply::NotOk;
    if (response.step == HttpStep::Send)
        return VersionReply::NotSent;
    switch (response.failure.status) {
    case Status::TimedOut: return VersionReply::TimedOut;
    case Status::Ok:
    case Status::Gone: return VersionReply::NoReply;
    default: return VersionReply::Failed;
    }
}

} // namespace

std::optional<int> versionNumber(std::string_view field)
{
    // A sign or a blank first would let "-99" pass as a version, as atoi does.
    if (field.empty() || !isDigit(field.front()))
        return std::nullopt;
    int value = 0;
    std::size_t i = 0;
    for (; i < field.size() && isDigit(field[i]); ++i)
        value = value * 10 + (field[i] - '0');
    if (i < field.size()) {
        const char next = field[i];
        const bool letter = (next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z');
        if (letter || next == '.' || next == ',' || next == '+' || next == '-')
            return std::nullopt;
    }
    return value;
}

NamedVersions parseVersionReply(std::string_view reply)
{
    if (reply.size() < 2)
        return {};
    NamedVersions named;
    const auto firmware = valueAfter(reply, kFirmwareKey, kFirmwareDigits);
    if (!firmware)
        return named;
    named.firmware = firmware->number;
    named.firmwareNotANumber = firmware->notANumber;
    if (const auto software = valueAfter(reply, kSoftwareKey, kSoftwareDigits)) {
        named.software = software->number;
        named.softwareNotANumber = software->notANumber;
    }
    return named;
}

std::string versionRequest(std::string_view host)
{
    std::string request = "GET /version.html HTTP/1.1\r\nHost: ";
    request += host;
    request += "\r\nConnection: close\r\n\r\n";
    return request;
}

std::string firmwareRevisionText(int version)
{
    char text[32];
    std::snprintf(text, sizeof text, "%i.%i", version / 100, version % 100);
    return text;
}

VersionCheckStatus CheckVersion(LatestVersions& latest, const VersionLog& log, const VersionServer& server)
{
    return checkVersionDetailed(latest, log, server).status;
}

VersionCheckStatus CheckVersion(HttpClient& client, LatestVersions& latest, const VersionLog& log,
                                const VersionServer& server)
{
    return checkVersionDetailed(client, latest, log, server).status;
}

VersionCheckResult checkVersionDetailed(LatestVersions& latest, const VersionLog& log, const VersionServer& server)
{
    const std::unique_ptr<HttpClient> client = makePlatformHttpClient();
    return checkVersionDetailed(*client, latest, log, server);
}

VersionCheckResult checkVersionDetailed(HttpClient& client, LatestVersions& latest, const VersionLog& log,
                                        const VersionServer& server)
{
    VersionCheckResult result;
    HttpRequest request;
    request.url = serverUrl(server);
    const EnvironmentLookup environment = processEnvironment();
    request.proxy = proxyFromEnvironment(server.scheme, server.host, environment).url;
    request.proxyFor = [environment](const std::string& scheme, const std::string& host) {
        return proxyFromEnvironment(scheme, host, environment).url;
    };
    request.noProxy = noProxyFromEnvironment(environment);
    request.connectTimeout = server.connectTimeout;
    request.receiveTimeout = server.receiveTimeout;
    request.bodyLimit = kReplyCapacity;
    bool connecting = false;
    request.connecting = [&] {
        if (!connecting)
            say(log, "Checking last version ...");
        connecting = true;
    };
    result.proxy = request.proxy;

    const HttpResponse response = client.get(request);
    result.status = statusOf(response);
    result.httpStatus = response.status;
    result.error = response.failure.detail;
    if (result.status == VersionCheckStatus::SocketsNotStarted)
        say(log, "WSAStartup failed.");
    else if (result.status != VersionCheckStatus::HostNotResolved && !connecting)
        request.connecting();
    if (result.status != VersionCheckStatus::Checked) {
        say(log, "Could not connect ! ");
        return result;
    }

    if (response.status == 200)
        result.named = parseVersionReply(std::string_view(response.body).substr(0, kReplyCapacity));
    result.reply = replyOf(response, result.named);
    if (result.reply != VersionReply::Named)
        return result;

    const NamedVersions& named = result.named;
    latest.latestFwVersion = *named.firmware;
    // A reply without a software number says nothing about the tool: keep what was known.
    if (named.software)
        latest.latestSwVersion = *named.software;
    say(log, "Latest version available for Talvex firmware rev. " + firmwareRevisionText(latest.latestFwVersion));
    say(log, "Latest version available for TalvexUSB-Setting Manager software "
                 + toolVersionText(latest.latestSwVersion));
    return result;
}

} // namespace talvex
