#include "update/VersionCheck.h"

#include "protocol/VersionText.h"
#include "update/TcpConnection.h"

#include <algorithm>
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

std::chrono::milliseconds remaining(SteadyClock::time_point until)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - SteadyClock::now());
    return std::max(left, std::chrono::milliseconds{0});
}

struct Received {
    std::string bytes;
    bool timedOut = false; ///< nothing came, and the connection stayed open
};

// What arrives within the reply window, or else the first piece that
// arrives before the receive time-out; at most kReplyCapacity bytes.
Received receiveReply(TcpConnection& connection, const VersionServer& server)
{
    const auto sent = SteadyClock::now();
    const auto windowEnd = sent + std::min(server.replyWindow, server.receiveTimeout);
    const auto deadline = sent + server.receiveTimeout;

    std::vector<char> buffer(kReplyCapacity);
    Received received;
    std::string& reply = received.bytes;
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
    if (reply.empty() && !ended) {
        const TcpConnection::Wait wait = connection.waitReadable(remaining(deadline));
        if (wait == TcpConnection::Wait::Readable) {
            const std::ptrdiff_t count = connection.receive(buffer.data(), kReplyCapacity);
            if (count > 0)
                reply.append(buffer.data(), static_cast<std::size_t>(count));
        } else if (wait == TcpConnection::Wait::TimedOut) {
            received.timedOut = true;
        }
    }
    return received;
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

VersionCheckStatus CheckVersion(TcpConnection& connection, LatestVersions& latest,
                                const VersionLog& log, const VersionServer& server)
{
    return checkVersionDetailed(connection, latest, log, server).status;
}

VersionCheckResult checkVersionDetailed(LatestVersions& latest, const VersionLog& log, const VersionServer& server)
{
    const std::unique_ptr<TcpConnection> connection = makePlatformConnection();
    return checkVersionDetailed(*connection, latest, log, server);
}

VersionCheckResult checkVersionDetailed(TcpConnection& connection, LatestVersions& latest,
                                        const VersionLog& log, const VersionServer& server)
{
    VersionCheckResult result;
    if (!connection.startup()) {
        say(log, "WSAStartup failed.");
        result.status = VersionCheckStatus::SocketsNotStarted;
    } else if (!connection.resolve(server.host, server.port)) {
        result.status = VersionCheckStatus::HostNotResolved;
    } else {
        say(log, "Checking last version ...");
        if (!connection.connect(server.connectTimeout))
            result.status = VersionCheckStatus::ConnectFailed;
    }
    if (result.status != VersionCheckStatus::Checked) {
        say(log, "Could not connect ! ");
        return result;
    }

    if (!connection.send(versionRequest(server.host), server.connectTimeout)) {
        result.reply = VersionReply::NotSent;
        return result;
    }
    const Received received = receiveReply(connection, server);
    result.named = parseVersionReply(received.bytes);
    const NamedVersions& named = result.named;
    if (received.timedOut)
        result.reply = VersionReply::TimedOut;
    else if (received.bytes.size() < 2)
        result.reply = VersionReply::NoReply;
    else if (named.firmwareNotANumber)
        result.reply = VersionReply::NotANumber;
    else if (!named.firmware)
        result.reply = VersionReply::NoVersion;
    else
        result.reply = VersionReply::Named;
    if (result.reply != VersionReply::Named)
        return result;

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
