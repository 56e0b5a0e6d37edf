// The version check's reply: the keys found in it, the numbers read after
// them, and the whole check over a connection that delivers the input in
// pieces of a size taken from the input. An input "#", n (2 bytes), rest
// is checked whole as n blanks followed by the rest.

#include "FuzzCheck.h"

#include "protocol/VersionText.h"
#include "update/TcpConnection.h"
#include "update/VersionCheck.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace talvex;

namespace {

constexpr std::size_t kReplyCapacity = 10000;

// A version is plain digits: none, a sign first, or digits running into
// a letter, a point, a comma or a sign make no number.
std::optional<int> referenceNumber(std::string_view field)
{
    std::size_t digits = 0;
    int value = 0;
    while (digits < field.size() && std::isdigit(static_cast<unsigned char>(field[digits])))
        value = value * 10 + (field[digits++] - '0');
    if (digits == 0)
        return std::nullopt;
    if (digits < field.size()) {
        const char next = field[digits];
        if (std::isalpha(static_cast<unsigned char>(next)) || next == '.' || next == ',' || next == '+' || next == '-')
            return std::nullopt;
    }
    return value;
}

std::optional<int> referenceValue(std::string_view reply, std::string_view key, std::size_t digits)
{
    const std::size_t at = reply.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::size_t start = std::min(at + key.size() + 1, reply.size());
    return referenceNumber(reply.substr(start, digits));
}

// A server that sends the reply in pieces and then closes.
class PieceConnection : public TcpConnection {
public:
    PieceConnection(std::string_view reply, std::size_t piece)
        : m_reply(reply)
        , m_piece(piece)
    {
    }

    bool startup() override { return true; }
    bool resolve(const std::string&, std::uint16_t) override { return true; }
    bool connect(std::chrono::milliseconds) override { return true; }
    bool send(std::string_view bytes, std::chrono::milliseconds) override
    {
        m_request.append(bytes);
        return true;
    }
    Wait waitReadable(std::chrono::milliseconds) override { return Wait::Readable; }
    std::ptrdiff_t receive(char* buffer, std::size_t capacity) override
    {
        FUZZ_CHECK(capacity > 0);
        const std::size_t count = std::min({capacity, m_piece, m_reply.size() - m_at});
        std::copy_n(m_reply.data() + m_at, count, buffer);
        m_at += count;
        return static_cast<std::ptrdiff_t>(count);
    }

    const std::string& request() const { return m_request; }

private:
    std::string_view m_reply;
    std::size_t m_piece;
    std::size_t m_at = 0;
    std::string m_request;
};

void checkParse(std::string_view reply)
{
    const NamedVersions named = parseVersionReply(reply);
    if (reply.size() < 2) {
        FUZZ_CHECK(!named.firmware && !named.software);
        return;
    }
    FUZZ_CHECK(named.firmware == referenceValue(reply, "fwversion", 3));
    // The software number is only looked for in a reply that names the
    // firmware key, whether or not its value is a number.
    const bool firmwareKey = reply.find("fwversion") != std::string_view::npos;
    FUZZ_CHECK(named.software == (firmwareKey ? referenceValue(reply, "swversion", 5) : std::nullopt));
    // Three and five characters bound the numbers.
    FUZZ_CHECK(!named.firmware || (*named.firmware >= 0 && *named.firmware <= 999));
    FUZZ_CHECK(!named.software || (*named.software >= 0 && *named.software <= 99999));
}

void checkTexts(int firmware, int software)
{
    const std::string revision = firmwareRevisionText(firmware);
    FUZZ_CHECK(!revision.empty() && revision.size() <= 24);
    FUZZ_CHECK(revision == std::to_string(firmware / 100) + "." + std::to_string(firmware % 100));
    const std::string tool = toolVersionText(software);
    FUZZ_CHECK(!tool.empty() && tool.size() <= 31);
}

void checkWholeCheck(std::string_view reply, std::size_t piece)
{
    LatestVersions latest{-1, -1};
    std::vector<std::string> log;
    VersionServer server;
    // Nothing may depend on how fast this machine runs the check.
    server.replyWindow = std::chrono::hours(1);
    server.receiveTimeout = std::chrono::hours(1);
    PieceConnection connection(reply, piece);
    const VersionCheckStatus status =
        CheckVersion(connection, latest, [&](const std::string& line) { log.push_back(line); }, server);
    FUZZ_CHECK(status == VersionCheckStatus::Checked);
    FUZZ_CHECK(connection.request() == versionRequest(kVendorHost));

    // Only the first piece of the reply buffer's size is read.
    const NamedVersions named = parseVersionReply(reply.substr(0, kReplyCapacity));
    FUZZ_CHECK(latest.latestFwVersion == named.firmware.value_or(-1));
    // The software number is stored only with a firmware number.
    FUZZ_CHECK(latest.latestSwVersion == (named.firmware ? named.software.value_or(-1) : -1));
    FUZZ_CHECK(log.size() == (named.firmware ? 3u : 1u));
    for (const std::string& line : log)
        FUZZ_CHECK(line.size() <= 200);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    checkParse(reply);
    const NamedVersions named = parseVersionReply(reply);
    checkTexts(named.firmware.value_or(0), named.software.value_or(0));

    // "#" and two bytes put that many blanks (up to 12,000) before the rest,
    // so the keys can sit on either side of the end of the reply buffer.
    std::string padded;
    if (size >= 3 && data[0] == '#') {
        padded.assign(static_cast<std::size_t>((data[1] << 8 | data[2]) % 12000), ' ');
        padded.append(reply.substr(3));
    }
    const std::size_t piece = 1 + size % 4096;
    checkWholeCheck(size >= 3 && data[0] == '#' ? std::string_view(padded) : reply, piece);
    return 0;
}
