// The version check's reply: the keys found in it, the numbers read after
// them, and the whole check over a client whose 200 reply's body is the
// input. An input "#", n (2 bytes), rest is checked whole as n blanks
// followed by the rest.

#include "FuzzCheck.h"

#include "protocol/VersionText.h"
#include "update/HttpClient.h"
#include "update/VersionCheck.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace talvex;

namespace {

constexpr std::size_t kReplyCapacity = 10000;

// The C library's own conversion, clamped to an int, as the reference.
int referenceAtoi(std::string_view text)
{
    const std::string copy(text); // stops at a NUL, as the C string would
    errno = 0;
    const long value = std::strtol(copy.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

// strtol's number, when the field starts with a digit and its digits do
// not run into a letter, a point, a comma or a sign (which would make it
// another number); else none.
std::optional<int> referenceValue(std::string_view reply, std::string_view key, std::size_t digits)
{
    const std::size_t at = reply.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::size_t start = std::min(at + key.size() + 1, reply.size());
    const std::string_view field = reply.substr(start, digits);
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (field.empty() || !digit(field.front()))
        return std::nullopt;
    const std::size_t end = field.find_first_not_of("0123456789");
    if (end != std::string_view::npos) {
        const char next = field[end];
        const bool letter = (next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z');
        if (letter || next == '.' || next == ',' || next == '+' || next == '-')
            return std::nullopt;
    }
    return referenceAtoi(field);
}

// A server whose 200 reply carries the input as its body, as much of it
// as the client keeps.
class BodyClient : public HttpClient {
public:
    explicit BodyClient(std::string_view body)
        : m_body(body)
    {
    }

    HttpResponse get(const HttpRequest& request) override
    {
        m_url = request.url;
        if (request.connecting)
            request.connecting();
        HttpResponse response;
        response.status = 200;
        response.body = std::string(m_body.substr(0, request.bodyLimit));
        return response;
    }

    const std::string& url() const { return m_url; }

private:
    std::string_view m_body;
    std::string m_url;
};

void checkParse(std::string_view reply)
{
    const NamedVersions named = parseVersionReply(reply);
    if (reply.size() < 2) {
        FUZZ_CHECK(!named.firmware && !named.software);
        return;
    }
    FUZZ_CHECK(named.firmware == referenceValue(reply, "fwversion", 3));
    // The software number is only read where the firmware key is.
    const bool firmwareKey = reply.find("fwversion") != std::string_view::npos;
    FUZZ_CHECK(named.software == (firmwareKey ? referenceValue(reply, "swversion", 5) : std::nullopt));
    // Three and five digits bound the numbers.
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

void checkWholeCheck(std::string_view reply)
{
    LatestVersions latest{-1, -1};
    std::vector<std::string> log;
    VersionServer server;
    BodyClient client(reply);
    const VersionCheckStatus status =
        CheckVersion(client, latest, [&](const std::string& line) { log.push_back(line); }, server);
    FUZZ_CHECK(status == VersionCheckStatus::Checked);
    FUZZ_CHECK(client.url() == "http://www.talvex.example/version.html");

    // Only the first bytes, up to the reply buffer's size, are read.
    const NamedVersions named = parseVersionReply(reply.substr(0, kReplyCapacity));
    // Nothing is stored unless the firmware number is; the software number only along with it.
    FUZZ_CHECK(latest.latestFwVersion == named.firmware.value_or(-1));
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
    checkWholeCheck(size >= 3 && data[0] == '#' ? std::string_view(padded) : reply);
    return 0;
}
