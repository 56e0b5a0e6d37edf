#include "smartcard/Atr.h"

#include <algorithm>
#include <cstdio>

namespace talvex {
namespace {

constexpr std::uint8_t kDirectTs = 0x3B;
constexpr std::uint8_t kInverseTs = 0x3F;
// TS of an inverse-convention card as a direct-convention UART reads it.
constexpr std::uint8_t kInverseReadDirectTs = 0x03;
constexpr int kProtocolT1 = 1;
constexpr int kProtocolT15 = 15;
constexpr std::uint8_t kBerAidTag = 0x4F;
constexpr std::size_t kContactlessAidLength = 12;
constexpr std::array<std::uint8_t, 5> kPcscRid = {0xA0, 0x00, 0x00, 0x03, 0x06};

// ISO/IEC 7816-3 tables 7 and 8; 0 marks a reserved value.
constexpr int kFiTable[16] = {372, 372, 558, 744, 1116, 1488, 1860, 0, 0, 512, 768, 1024, 1536, 2048, 0, 0};
constexpr std::uint32_t kFmaxTable[16] = {4000000, 5000000,  6000000,  8000000,  12000000, 16000000,
                                          20000000, 0,       0,        5000000,  7500000,  10000000,
                                          15000000, 20000000, 0,       0};
constexpr int kDiTable[16] = {0, 1, 2, 4, 8, 16, 32, 64, 12, 20, 0, 0, 0, 0, 0, 0};

const char* const kInterfaceNames[4] = {"TA", "TB", "TC", "TD"};

std::string elementName(const char* kind, int group)
{
    return std::string(kind) + std::to_string(group);
}

// Compact-TLV objects in [begin, end): one byte tag and length, then the value.
void readObjects(HistoricalBytes& historical, std::size_t begin, std::size_t end)
{
    const std::vector<std::uint8_t>& bytes = historical.bytes;
    std::size_t at = begin;
    while (at < end) {
        CompactTlv object;
        object.tag = static_cast<std::uint8_t>(bytes[at] >> 4);
        const std::size_t length = bytes[at] & 0x0F;
        ++at;
        const std::size_t available = std::min(length, end - at);
        if (available < length)
            historical.objectOverrun = true;
        object.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(at + available));
        at += available;
        historical.objects.push_back(std::move(object));
    }
}

// PC/SC readers put a contactless card's identifier behind category 80 as
// one BER object, 4F and a length byte, not as compact-TLV.
bool readBerApplicationIdentifier(HistoricalBytes& historical)
{
    const std::vector<std::uint8_t>& bytes = historical.bytes;
    if (bytes.size() < 3 || bytes[1] != kBerAidTag || bytes[2] + 3u != bytes.size())
        return false;
    historical.berApplicationIdentifier.emplace(bytes.begin() + 3, bytes.end());
    const std::vector<std::uint8_t>& aid = *historical.berApplicationIdentifier;
    if (aid.size() == kContactlessAidLength && std::equal(kPcscRid.begin(), kPcscRid.end(), aid.begin())) {
        ContactlessCard card;
        std::copy(aid.begin(), aid.begin() + 5, card.rid.begin());
        card.standard = aid[5];
        card.cardName = static_cast<std::uint16_t>(aid[6] << 8 | aid[7]);
        std::copy(aid.begin() + 8, aid.end(), card.rfu.begin());
        historical.contactless = card;
    }
    return true;
}

void readHistorical(DecodedAtr& atr)
{
    HistoricalBytes& historical = atr.historical;
    const auto category = historical.category();
    if (!category)
        return;
    const std::size_t count = historical.bytes.size();
    if (*category == 0x80) {
        if (!readBerApplicationIdentifier(historical))
            readObjects(historical, 1, count);
    } else if (*category == 0x00) {
        if (count < 4) {
            atr.notes.push_back("category 00 needs the three status bytes at the end of the historical bytes");
            return;
        }
        readObjects(historical, 1, count - 3);
        historical.statusIndicator = {historical.bytes[count - 3], historical.bytes[count - 2],
                                      historical.bytes[count - 1]};
    }
    if (historical.objectOverrun)
        atr.notes.push_back("a compact-TLV object of the historical bytes runs past their end");
}

class Reader {
public:
    Reader(DecodedAtr& atr, const std::vector<std::uint8_t>& bytes)
        : m_atr(atr)
        , m_bytes(bytes)
    {
    }

    // The next byte, or nothing (and the first missing element noted).
    std::optional<std::uint8_t> take(const std::string& name)
    {
        ++m_atr.expectedLength;
        if (m_at < m_bytes.size())
            return m_bytes[m_at++];
        if (!m_atr.truncated) {
            m_atr.truncated = true;
            m_atr.firstMissing = name;
        }
        return std::nullopt;
    }

    std::size_t position() const { return m_at; }

private:
    DecodedAtr& m_atr;
    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_at = 0;
};

// TS; turns the bytes of an inverse card read as direct into their values.
void readConvention(DecodedAtr& atr)
{
    const std::uint8_t ts = atr.bytes.front();
    if (ts == kInverseReadDirectTs) {
        for (std::uint8_t& byte : atr.bytes)
            byte = inverseConventionByte(byte);
        atr.convertedFromDirectReading = true;
    }
    switch (atr.bytes.front()) {
    case kDirectTs: atr.convention = Convention::Direct; break;
    case kInverseTs: atr.convention = Convention::Inverse; break;
    default:
        atr.problems.push_back("TS " + hexByte(ts) + " is no initial character (3B direct, 3F inverse convention)");
        break;
    }
}

std::string byteName(char kind, int group, std::uint8_t value)
{
    return std::string("T") + kind + std::to_string(group) + " " + hexByte(value);
}

// Codes the clause leaves reserved: an ATR that uses them is not well formed.
void checkReservedValues(DecodedAtr& atr)
{
    std::vector<std::string>& problems = atr.problems;
    if (const auto ta1 = atr.ta(1)) {
        if (!clockRateConversion(*ta1 >> 4))
            problems.push_back(byteName('A', 1, *ta1) + ": Fi=" + std::to_string(*ta1 >> 4) + " is reserved");
        if (!baudAdjustment(*ta1 & 0x0F))
            problems.push_back(byteName('A', 1, *ta1) + ": Di=" + std::to_string(*ta1 & 0x0F) + " is reserved");
    }
    if (const auto ta2 = atr.ta(2); ta2 && (*ta2 & 0x60))
        problems.push_back(byteName('A', 2, *ta2) + ": bits 7 and 6 are reserved and must be 0");
    if (const auto tc2 = atr.tc(2); tc2 && *tc2 == 0)
        problems.push_back(byteName('C', 2, *tc2) + ": WI=0 is reserved");
    for (const InterfaceGroup& group : atr.groups) {
        const int t = group.td ? *group.td & 0x0F : 0;
        if (t >= 2 && t <= 13)
            problems.push_back(byteName('D', group.index, *group.td) + " names T=" + std::to_string(t) +
                               ", which is reserved for future use");
    }
    if (const int i = atr.firstIndexFor(kProtocolT1, 'A'); i && (*atr.ta(i) == 0x00 || *atr.ta(i) == 0xFF))
        problems.push_back(byteName('A', i, *atr.ta(i)) + ": IFSC " + std::to_string(*atr.ta(i)) +
                           " is reserved (1 to 254)");
    if (const int i = atr.firstIndexFor(kProtocolT1, 'B'); i && (*atr.tb(i) >> 4) > 9)
        problems.push_back(byteName('B', i, *atr.tb(i)) + ": BWI=" + std::to_string(*atr.tb(i) >> 4) +
                           " is reserved (0 to 9)");
    if (const int i = atr.firstIndexFor(kProtocolT1, 'C'); i && (*atr.tc(i) & 0xFE))
        problems.push_back(byteName('C', i, *atr.tc(i)) + ": bits 8 to 2 are reserved and must be 0");
    // Classes A, B, C and the neighbouring pairs; every other indicator is reserved.
    if (const int i = atr.firstIndexFor(kProtocolT15, 'A')) {
        const int y = *atr.ta(i) & 0x3F;
        if (y != 1 && y != 2 && y != 3 && y != 4 && y != 6 && y != 7)
            problems.push_back(byteName('A', i, *atr.ta(i)) + ": class indicator " + std::to_string(y) +
                               " is reserved");
    }
}

void addProtocol(DecodedAtr& atr, int protocol)
{
    if (protocol == kProtocolT15) {
        atr.globalT15 = true;
        return;
    }
    if (std::find(atr.protocols.begin(), atr.protocols.end(), protocol) == atr.protocols.end())
        atr.protocols.push_back(protocol);
}

} // namespace

std::optional<std::uint8_t> DecodedAtr::ta(int i) const
{
    return i >= 1 && static_cast<std::size_t>(i) <= groups.size() ? groups[i - 1].ta : std::nullopt;
}

std::optional<std::uint8_t> DecodedAtr::tb(int i) const
{
    return i >= 1 && static_cast<std::size_t>(i) <= groups.size() ? groups[i - 1].tb : std::nullopt;
}

std::optional<std::uint8_t> DecodedAtr::tc(int i) const
{
    return i >= 1 && static_cast<std::size_t>(i) <= groups.size() ? groups[i - 1].tc : std::nullopt;
}

std::optional<std::uint8_t> DecodedAtr::td(int i) const
{
    return i >= 1 && static_cast<std::size_t>(i) <= groups.size() ? groups[i - 1].td : std::nullopt;
}

int DecodedAtr::firstIndexFor(int protocol, char kind) const
{
    for (const InterfaceGroup& group : groups) {
        const std::optional<std::uint8_t>& value = kind == 'A' ? group.ta : kind == 'B' ? group.tb : group.tc;
        if (group.index > 2 && group.protocol == protocol && value)
            return group.index;
    }
    return 0;
}

std::optional<std::uint8_t> DecodedAtr::firstFor(int protocol, char kind) const
{
    const int i = firstIndexFor(protocol, kind);
    if (i == 0)
        return std::nullopt;
    return kind == 'A' ? ta(i) : kind == 'B' ? tb(i) : tc(i);
}

bool DecodedAtr::offers(int protocol) const
{
    return std::find(protocols.begin(), protocols.end(), protocol) != protocols.end();
}

DecodedAtr decodeAtr(const std::vector<std::uint8_t>& input)
{
    DecodedAtr atr;
    atr.bytes = input;
    if (input.empty()) {
        atr.truncated = true;
        atr.firstMissing = "TS";
        atr.expectedLength = 2;
        atr.problems.push_back("no bytes: TS and T0 missing");
        return atr;
    }
    readConvention(atr);
    Reader reader(atr, atr.bytes);
    reader.take("TS");
    atr.t0 = reader.take("T0");
    if (!atr.t0) {
        atr.problems.push_back("truncated after TS: T0 missing");
        atr.length = reader.position();
        return atr;
    }
    atr.historicalCount = *atr.t0 & 0x0F;
    int presence = *atr.t0 >> 4;
    int protocol = InterfaceGroup::kGlobal;
    // Each further group needs a TD byte read, so the input length bounds this.
    for (int index = 1; presence != 0; ++index) {
        InterfaceGroup group;
        group.index = index;
        group.protocol = protocol;
        std::optional<std::uint8_t>* const slots[4] = {&group.ta, &group.tb, &group.tc, &group.td};
        for (int kind = 0; kind < 4; ++kind) {
            if (presence & (1 << kind))
                *slots[kind] = reader.take(elementName(kInterfaceNames[kind], index));
        }
        const bool more = (presence & 0x08) != 0 && group.td.has_value();
        atr.groups.push_back(group);
        if (!more)
            break;
        protocol = *group.td & 0x0F;
        presence = *group.td >> 4;
        if (protocol == kProtocolT15 && index == 1)
            atr.problems.push_back("TD1 names T=15, which only TD2 and later may");
        if (protocol != 0)
            atr.tckRequired = true;
        addProtocol(atr, protocol);
    }
    if (atr.protocols.empty())
        atr.protocols.push_back(0);

    for (int i = 0; i < atr.historicalCount; ++i) {
        if (const auto byte = reader.take("historical byte " + std::to_string(i + 1)))
            atr.historical.bytes.push_back(*byte);
    }
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < reader.position(); ++i)
        check ^= atr.bytes[i];
    if (atr.tckRequired) {
        atr.tck = reader.take("TCK");
        if (!atr.truncated)
            atr.tckExpected = check;
    }
    atr.length = reader.position();
    atr.extraBytes = atr.bytes.size() - atr.length;

    if (atr.truncated) {
        atr.problems.push_back("truncated: " + atr.firstMissing + " missing (" + std::to_string(atr.length) + " of " +
                               std::to_string(atr.expectedLength) + " bytes)");
    }
    if (atr.tck && atr.tckExpected && *atr.tck != *atr.tckExpected) {
        atr.problems.push_back("TCK is " + hexByte(*atr.tck) + ", expected " + hexByte(*atr.tckExpected) +
                               " (T0 to TCK must XOR to 00)");
    }
    if (atr.extraBytes > 0) {
        atr.problems.push_back(std::to_string(atr.extraBytes) + " byte" + (atr.extraBytes == 1 ? "" : "s") +
                               " after the end of the ATR");
    }
    if (atr.length > kMaxAtrLength) {
        atr.problems.push_back("longer than the " + std::to_string(kMaxAtrLength) + " bytes ISO/IEC 7816-3 allows (" +
                               std::to_string(atr.length) + ")");
    }
    checkReservedValues(atr);
    readHistorical(atr);
    return atr;
}

std::vector<std::uint8_t> encodeAtr(const DecodedAtr& atr)
{
    std::vector<std::uint8_t> bytes;
    if (atr.bytes.empty() || !atr.t0)
        return bytes;
    bytes.push_back(atr.convention == Convention::Inverse ? kInverseTs
                    : atr.convention == Convention::Direct ? kDirectTs
                                                            : atr.bytes.front());
    const auto presenceOf = [](const InterfaceGroup& group) {
        return (group.ta ? 0x1 : 0) | (group.tb ? 0x2 : 0) | (group.tc ? 0x4 : 0) | (group.td ? 0x8 : 0);
    };
    const int firstPresence = atr.groups.empty() ? 0 : presenceOf(atr.groups.front());
    bytes.push_back(static_cast<std::uint8_t>(firstPresence << 4 | (atr.historical.bytes.size() & 0x0F)));
    for (std::size_t i = 0; i < atr.groups.size(); ++i) {
        const InterfaceGroup& group = atr.groups[i];
        for (const auto& value : {group.ta, group.tb, group.tc}) {
            if (value)
                bytes.push_back(*value);
        }
        if (group.td) {
            const int next = i + 1 < atr.groups.size() ? presenceOf(atr.groups[i + 1]) : 0;
            bytes.push_back(static_cast<std::uint8_t>(next << 4 | (*group.td & 0x0F)));
        }
    }
    bytes.insert(bytes.end(), atr.historical.bytes.begin(), atr.historical.bytes.end());
    if (atr.tck)
        bytes.push_back(*atr.tck);
    return bytes;
}

std::uint8_t inverseConventionByte(std::uint8_t raw)
{
    std::uint8_t value = 0;
    const std::uint8_t inverted = static_cast<std::uint8_t>(~raw);
    for (int bit = 0; bit < 8; ++bit) {
        if (inverted & (1 << bit))
            value |= static_cast<std::uint8_t>(0x80 >> bit);
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (const char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c == ' ' || c == ':' || c == '\t')
            continue;
        else
            return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return bytes;
}

std::string hexByte(std::uint8_t byte)
{
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", byte);
    return digits;
}

std::string spacedHex(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += hexByte(byte);
    }
    return text;
}

std::optional<int> clockRateConversion(int fi)
{
    if (fi < 0 || fi > 15 || kFiTable[fi] == 0)
        return std::nullopt;
    return kFiTable[fi];
}

std::optional<std::uint32_t> maxClockHz(int fi)
{
    if (fi < 0 || fi > 15 || kFmaxTable[fi] == 0)
        return std::nullopt;
    return kFmaxTable[fi];
}

std::optional<int> baudAdjustment(int di)
{
    if (di < 0 || di > 15 || kDiTable[di] == 0)
        return std::nullopt;
    return kDiTable[di];
}

AtrTiming atrTiming(const DecodedAtr& atr)
{
    AtrTiming timing;
    if (const auto ta1 = atr.ta(1)) {
        timing.ta1Present = true;
        timing.fi = *ta1 >> 4;
        timing.di = *ta1 & 0x0F;
        timing.f = clockRateConversion(timing.fi);
        timing.d = baudAdjustment(timing.di);
        timing.maxClockHz = maxClockHz(timing.fi);
    }
    if (const auto tc1 = atr.tc(1))
        timing.extraGuardTime = *tc1;
    if (const auto tc2 = atr.tc(2))
        timing.waitingTimeInteger = *tc2;
    if (const auto ta2 = atr.ta(2)) {
        timing.specificMode = true;
        timing.specificProtocol = *ta2 & 0x0F;
        timing.implicitParameters = (*ta2 & 0x10) != 0;
        timing.modeChangeable = (*ta2 & 0x80) == 0;
    }
    return timing;
}

T1Parameters t1Parameters(const DecodedAtr& atr)
{
    T1Parameters parameters;
    if (const auto ta = atr.firstFor(kProtocolT1, 'A'))
        parameters.ifsc = *ta;
    if (const auto tb = atr.firstFor(kProtocolT1, 'B')) {
        parameters.bwi = *tb >> 4;
        parameters.cwi = *tb & 0x0F;
    }
    const auto tc = atr.firstFor(kProtocolT1, 'C');
    parameters.crc = tc && (*tc & 0x01);
    parameters.defaults = !atr.firstFor(kProtocolT1, 'A') && !atr.firstFor(kProtocolT1, 'B') && !tc;
    return parameters;
}

std::optional<double> bitRate(double clockHz, std::optional<int> f, std::optional<int> d)
{
    if (!f || !d || *f == 0)
        return std::nullopt;
    return clockHz * *d / *f;
}

} // namespace talvex
