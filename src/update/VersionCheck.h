#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace talvex {

class HttpClient;

/// The vendor's web server: the one name used for the look-up, the
/// request's "Host:" line and the notice text.
inline constexpr const char* kVendorHost = "www.talvex.example";
inline constexpr std::uint16_t kVendorPort = 80;

/// What the server named last; a failed check keeps the values of an
/// earlier one. Process-wide: the application context holds one.
struct LatestVersions {
    int latestFwVersion = 0; ///< major × 100 + minor
    int latestSwVersion = 0; ///< major × 10000 + minor × 100 + patch
};

/// Where the check asks and how long it waits. Tests point it at a server
/// of their own on loopback with short waits.
struct VersionServer {
    std::string scheme = "http"; ///< or "https"
    std::string host = kVendorHost;
    std::uint16_t port = kVendorPort;
    std::string path = "/version.html";
    std::chrono::milliseconds connectTimeout{5000};
    /// The longest wait for the reply, counted from the connection.
    std::chrono::milliseconds receiveTimeout{5000};
};

/// The status of a check; the codes are the tool's own.
enum class VersionCheckStatus : int {
    Checked = 0,           ///< reply examined (also when it named no version)
    SocketsNotStarted = 1, ///< the socket library did not start
    HostNotResolved = 2,
    ConnectFailed = 3,
};

/// Receives the check's messages (without time stamps or line ends). An
/// empty function is the silent check.
using VersionLog = std::function<void(const std::string& message)>;

/// The numbers a reply names; firmware is empty when "fwversion" is absent
/// or not followed by a number, software likewise. The text after a key
/// that is there but names no number is kept, to say what came.
struct NamedVersions {
    std::optional<int> firmware;
    std::optional<int> software;
    std::optional<std::string> firmwareNotANumber;
    std::optional<std::string> softwareNotANumber;
};

/// What became of the request, so that a check that stored nothing can
/// say why.
enum class VersionReply {
    NotConnected, ///< the status says why
    NotSent,      ///< the request could not be sent
    TimedOut,     ///< no reply within the receive time-out
    NoReply,      ///< the server closed before a reply, or sent under two bytes
    NotOk,        ///< a reply other than 200 OK (its body is not looked at)
    Failed,       ///< the exchange went wrong otherwise (see the error)
    NoVersion,    ///< a reply without "fwversion"
    NotANumber,   ///< "fwversion" followed by something that is no number
    Named,        ///< the reply named the firmware version (stored)
};

struct VersionCheckResult {
    VersionCheckStatus status = VersionCheckStatus::Checked;
    VersionReply reply = VersionReply::NotConnected;
    NamedVersions named;
    int httpStatus = 0;  ///< of the last reply; 0 when none came
    std::string proxy;   ///< the proxy asked, empty when none
    std::string error;   ///< the HTTP client's words when it failed
};

/// Asks the server for the latest versions, through the proxy the
/// environment names, and stores those a 200 reply's body names. Blocks
/// the calling thread for at most the connect time-out plus the receive
/// time-out (plus the name look-up).
VersionCheckStatus CheckVersion(LatestVersions& latest, const VersionLog& log = {},
                                const VersionServer& server = {});

/// The same through a given client (tests use one that fails to start).
VersionCheckStatus CheckVersion(HttpClient& client, LatestVersions& latest,
                                const VersionLog& log, const VersionServer& server);

/// CheckVersion, answering also what came back.
VersionCheckResult checkVersionDetailed(LatestVersions& latest, const VersionLog& log,
                                        const VersionServer& server);
VersionCheckResult checkVersionDetailed(HttpClient& client, LatestVersions& latest,
                                        const VersionLog& log, const VersionServer& server);

/// The request bytes: "GET /version.html HTTP/1.1", "Host: " + host,
/// "Connection: close" and an empty line, each ended by CR LF. What the
/// HTTP client sends to a server on its scheme's own port, straight.
std::string versionRequest(std::string_view host);

/// Finds the first "fwversion" and "swversion" anywhere in the reply and
/// reads the 3 and 5 characters after the key and one separator, as far as
/// the reply goes (see versionNumber). A reply under two bytes names nothing.
NamedVersions parseVersionReply(std::string_view reply);

/// The number a value field holds: digits from its first character to its
/// end or to a character that ends a number (white space, markup,
/// punctuation). Nothing when it starts with anything but a digit (a sign,
/// a blank, a letter, nothing at all) or when its digits run into a
/// letter, a point, a comma or a sign ("1.5", "1x5"), which would make
/// another number than the one read.
std::optional<int> versionNumber(std::string_view field);

/// "1.5" for 105, "1.10" for 110: major and minor, neither padded.
std::string firmwareRevisionText(int version);

} // namespace talvex
