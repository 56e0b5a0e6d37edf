#include "update/VersionCheck.h"

#include "protocol/VersionText.h"
#include "update/TcpConnection.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <vector>

namespace talvex {
namespace {

using SteadyClock = std::chrono::steady_clock;

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

std::optional<int> valueAfter(std::string_view reply, std::string_view key, std::size_t digits)
{
    const std::size_t at = reply.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    // A value cut by the end of the data is what arrived of it.
    const std::size_t start = std::min(at + kValueOffset, reply.size());
    return leadingInteger(reply.substr(start, digits));
}

std::chrono::milliseconds remaining(SteadyClock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - SteadyClock::now());
    return std::max(left, std::chrono::milliseconds{0});
}

// What arrives within the reply window, or else the first piece that
// arrives before the receive time-out; at most kReplyCapacity bytes.
std::string receiveReply(TcpConnection& connection, const VersionServer& server)
{
    const auto sent = SteadyClock::now();
    const auto windowEnd = sent + std::min(server.replyWindow, server.receiveTimeout);
    const auto deadline = sent + server.receiveTimeout;

    std::vector<char> buffer(kReplyCapacity);
    std::string reply;
    bool ended = false; // closed by the peer, or a failure
    while (reply.size() < kReplyCapacity && SteadyClock::now() < windowEnd) {
        const TcpConnection::Wait wait = connection.waitReadable(remaining(windowEnd));
        if (wait == TcpConnection::Wait::TimedOut)
            break;
        const std::ptrdiff_t count = wait == TcpConnection::Wait::Readable
                                         ? connection.receive(buffer.data(), kReplyCapacity - reply.size())
                                         : -1;
        if (count <= 0) {
            ended = true;
            break;
        }
        reply.append(buffer.data(), static_cast<std::size_t>(count));
    }
    if (reply.empty() && !ended
        && connection.waitReadable(remaining(deadline)) == TcpConnection::Wait::Readable) {
        const std::ptrdiff_t count = connection.receive(buffer.data(), kReplyCapacity);
        if (count > 0)
            reply.append(buffer.data(), static_cast<std::size_t>(count));
    }
    return reply;
}

} // namespace

int leadingInteger(std::string_view text)
{
    std::size_t i = 0;
    // The C locale's white space, as atoi skips it.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Saturate where atoi would overflow (undefined there).
        value = std::min<long long>(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative)
        return static_cast<int>(-value);
    return static_cast<int>(std::min<long long>(value, INT_MAX));
}

NamedVersions parseVersionReply(std::string_view reply)
{
    if (reply.size() < 2)
        return {};
    NamedVersions named;
    named.firmware = valueAfter(reply, kFirmwareKey, kFirmwareDigits);
    if (named.firmware)
        named.software = valueAfter(reply, kSoftwareKey, kSoftwareDigits);
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
    const std::unique_ptr<TcpConnection> connection = makePlatformConnection();
    return CheckVersion(*connection, latest, log, server);
}

VersionCheckStatus CheckVersion(TcpConnection& connection, LatestVersions& latest,
                                const VersionLog& log, const VersionServer& server)
{
    VersionCheckStatus status = VersionCheckStatus::Checked;
    if (!connection.startup()) {
        say(log, "WSAStartup failed.");
        status = VersionCheckStatus::SocketsNotStarted;
    } else if (!connection.resolve(server.host, server.port)) {
        status = VersionCheckStatus::HostNotResolved;
    } else {
        say(log, "Checking last version ...");
        if (!connection.connect(server.connectTimeout))
            status = VersionCheckStatus::ConnectFailed;
    }
    if (status != VersionCheckStatus::Checked) {
        say(log, "Could not connect ! ");
        return status;
    }

    if (!connection.send(versionRequest(server.host), server.connectTimeout))
        return status;
    const NamedVersions named = parseVersionReply(receiveReply(connection, server));
    if (!named.firmware)
        return status;
    latest.latestFwVersion = *named.firmware;
    // A reply without "swversion" says nothing about the tool: keep what was known.
    if (named.software)
        latest.latestSwVersion = *named.software;
    say(log, "Latest version available for Talvex firmware rev. " + firmwareRevisionText(latest.latestFwVersion));
    say(log, "Latest version available for TalvexUSB-Setting Manager software "
                 + toolVersionText(latest.latestSwVersion));
    return status;
}

} // namespace talvex
