// ATR decoding after ISO/IEC 7816-3: publicly documented cards with their
// published fields, malformed answers, the inverse convention, and the
// Fi/Di tables with the bit rates they give.

#include "smartcard/Atr.h"
#include "smartcard/AtrReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace talvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes hex(const std::string& text)
{
    const auto bytes = parseHexBytes(text);
    EXPECT_TRUE(bytes.has_value()) << text;
    return bytes.value_or(Bytes{});
}

std::vector<int> objectTags(const DecodedAtr& atr)
{
    std::vector<int> tags;
    for (const CompactTlv& object : atr.historical.objects)
        tags.push_back(object.tag);
    return tags;
}

struct DocumentedCard {
    const char* name;
    const char* atr;
    int historicalCount;
    std::vector<int> protocols;
    std::optional<int> f, d; ///< from TA1, or the defaults 372 and 1
    int extraGuardTime;
    bool tckRequired;
    int category;
    std::vector<int> tags;
    std::optional<int> ifsc, bwi, cwi; ///< the first TA and TB for T=1, when there are
};

// Publicly documented ATRs (pcsc-tools' list and its manual's example,
// PC/SC's contactless storage cards) with what their documents say they carry.
const DocumentedCard kDocumentedCards[] = {
    {"Schlumberger Multiflex 3k", "3B 02 14 50", 2, {0}, 372, 1, 0, false, 0x14, {}, {}, {}, {}},
    {"Gemplus GPK8000 (ATR_analysis manual)", "3B A7 00 40 18 80 65 A2 08 01 01 52", 7, {0}, 372, 1, 0, false,
     0x80, {6}, {}, {}, {}},
    {"stored-value card, TB1 only", "3B 2A 00 80 65 24 B0 00 02 00 82 90 00", 10, {0}, 372, 1, 0, false, 0x80,
     {6, 8}, {}, {}, {}},
    {"EstEID 3.0", "3B FE 18 00 00 80 31 FE 45 80 31 80 66 40 90 A4 16 2A 00 83 0F 90 00 EF", 14, {0, 1}, 372,
     12, 0, true, 0x80, {3, 6, 8}, 254, 4, 5},
    {"OpenPGP card", "3B FA 13 00 FF 81 31 80 45 00 31 C1 73 C0 01 00 00 90 00 B1", 10, {1}, 372, 4, 255, true,
     0x00, {3, 7}, 128, 4, 5},
    {"PC/SC contactless storage card", "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A", 15, {0, 1},
     372, 1, 0, true, 0x80, {}, {}, {}, {}},
    {"YubiKey 4", "3B F8 13 00 00 81 31 FE 15 59 75 62 69 6B 65 79 34 D4", 8, {1}, 372, 4, 0, true, 0x59, {}, 254,
     1, 5},
    {"Estonian ID 1.0, global T=15", "3B FE 94 00 FF 80 B1 FA 45 1F 03 45 73 74 45 49 44 20 76 65 72 20 31 2E 30 43",
     14, {0, 1}, 512, 8, 255, true, 0x45, {}, 250, 4, 5},
};

} // namespace

TEST(AtrDecoding, DocumentedCardsGiveTheirPublishedFields)
{
    for (const DocumentedCard& card : kDocumentedCards) {
        SCOPED_TRACE(card.name);
        const Bytes bytes = hex(card.atr);
        const DecodedAtr atr = decodeAtr(bytes);
        EXPECT_TRUE(atr.wellFormed()) << (atr.problems.empty() ? "" : atr.problems.front());
        EXPECT_EQ(atr.convention, Convention::Direct);
        EXPECT_EQ(atr.length, bytes.size());
        EXPECT_EQ(atr.historicalCount, card.historicalCount);
        EXPECT_EQ(atr.historical.bytes.size(), static_cast<std::size_t>(card.historicalCount));
        EXPECT_EQ(atr.protocols, card.protocols);
        const AtrTiming timing = atrTiming(atr);
        EXPECT_EQ(timing.f, card.f);
        EXPECT_EQ(timing.d, card.d);
        EXPECT_EQ(timing.extraGuardTime, card.extraGuardTime);
        EXPECT_EQ(atr.tckRequired, card.tckRequired);
        EXPECT_EQ(atr.tckValid(), card.tckRequired);
        EXPECT_EQ(atr.historical.category(), card.category);
        EXPECT_EQ(objectTags(atr), card.tags);
        const auto ta = atr.firstFor(1, 'A');
        const auto tb = atr.firstFor(1, 'B');
        EXPECT_EQ(ta ? std::optional<int>(*ta) : std::nullopt, card.ifsc);
        EXPECT_EQ(tb ? std::optional<int>(*tb >> 4) : std::nullopt, card.bwi);
        EXPECT_EQ(tb ? std::optional<int>(*tb & 0x0F) : std::nullopt, card.cwi);
        // Writing the parts back gives the very bytes.
        EXPECT_EQ(encodeAtr(atr), bytes);
    }
}

TEST(AtrDecoding, InterfaceBytesKeepTheirGroupsAndMeaning)
{
    // GPK8000: TC2 is the waiting time integer of T=0.
    const DecodedAtr gpk = decodeAtr(hex("3B A7 00 40 18 80 65 A2 08 01 01 52"));
    EXPECT_EQ(gpk.tb(1), 0x00);
    EXPECT_EQ(gpk.td(1), 0x40);
    EXPECT_EQ(gpk.tc(2), 0x18);
    EXPECT_EQ(atrTiming(gpk).waitingTimeInteger, 24);
    ASSERT_EQ(gpk.historical.objects.size(), 1u);
    EXPECT_EQ(gpk.historical.objects[0].value, hex("A2 08 01 01 52"));

    // OpenPGP: category 00 ends with the status indicator.
    const DecodedAtr pgp = decodeAtr(hex("3B FA 13 00 FF 81 31 80 45 00 31 C1 73 C0 01 00 00 90 00 B1"));
    ASSERT_TRUE(pgp.historical.statusIndicator.has_value());
    EXPECT_EQ((*pgp.historical.statusIndicator)[1], 0x90);
    EXPECT_EQ(pgp.historical.objects[1].value, hex("C0 01 00"));
}

namespace {

struct DecodingCase {
    const char* name;
    const char* atr;
    std::vector<const char*> lines; ///< in the readable decoding
};

void expectLines(const DecodingCase& c, bool wellFormed)
{
    SCOPED_TRACE(c.name);
    const AtrDiagnosis diagnosis = diagnoseAtr(hex(c.atr), std::nullopt, {});
    EXPECT_EQ(diagnosis.atr.wellFormed(), wellFormed);
    const std::string text = formatLines(describeDiagnosis(diagnosis));
    for (const char* line : c.lines)
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

} // namespace

// Each ATR is worked out by hand below from the interface bytes' chain.
TEST(AtrDecoding, OnlyTheFirstTaTbTcForT1AndT15CarryTheirParameters)
{
    const DecodingCase cases[] = {
        // TD1 81, TD2 A1 (TB3, TD3, T=1), TB3 45, TD3 11 (TA4, T=1), TA4 FE; TCK 0A.
        {"IFSC in TA4 after a group with TB3 only", "3B 80 81 A1 45 11 FE 0A",
         {"TB3: 45: BWI=4, CWI=5 (T=1)\n", "TA4: FE: IFSC 254 bytes (T=1)\n", "T=1: IFSC 254, BWI 4, CWI 5, LRC\n"}},
        // TD2 91 (TA3, TD3, T=1), TA3 80, TD3 11 (TA4, T=1), TA4 FE; TCK FF.
        {"a second TA for T=1 is no IFSC", "3B 80 81 91 80 11 FE FF",
         {"TA3: 80: IFSC 128 bytes (T=1)\n", "TA4: FE: for T=1\n", "T=1: IFSC 128, BWI 4, CWI 13, LRC\n"}},
        // TD2 AF (TB3, TD3, T=15), TB3 00, TD3 9F (TA4, TD4, T=15), TA4 03, TD4 1F (TA5, T=15), TA5 07; TCK 2B.
        {"T=15: the first TB in group 3, the first TA in group 4", "3B 80 80 AF 00 9F 03 1F 07 2B",
         {"TB3: 00: use of C6 (SPU) 00 (global)\n", "Protocols: T=0, global bytes (T=15)\n",
          "TA4: 03: clock stop not supported; classes A (5 V), B (3 V) (global)\n", "TA5: 07: for T=15\n"}},
    };
    for (const DecodingCase& c : cases)
        expectLines(c, true);
    const T1Parameters t1 = t1Parameters(decodeAtr(hex("3B 80 81 A1 45 11 FE 0A")));
    EXPECT_EQ(t1.ifsc, 254);
    EXPECT_EQ(t1.bwi, 4);
    EXPECT_FALSE(t1.defaults);
}

TEST(AtrDecoding, ReservedValuesAreProblems)
{
    const DecodingCase cases[] = {
        {"Fi 7", "3B 10 71", {"Problem: TA1 71: Fi=7 is reserved\n"}},
        {"Di 0", "3B 10 10", {"Problem: TA1 10: Di=0 is reserved\n"}},
        // TD1 10 (TA2, T=0), TA2 40: bit 7 set.
        {"TA2 bit 7", "3B 80 10 40", {"Problem: TA2 40: bits 7 and 6 are reserved and must be 0\n"}},
        // TD1 40 (TC2, T=0), TC2 00.
        {"WI 0", "3B 80 40 00", {"Problem: TC2 00: WI=0 is reserved\n"}},
        // TD1 05 names T=5; TCK 80^05 = 85.
        {"T=5", "3B 80 05 85", {"Problem: TD1 05 names T=5, which is reserved for future use\n"}},
        // TD1 81, TD2 11 (TA3, T=1): TCK 80^81^11^TA3.
        {"IFSC 00", "3B 80 81 11 00 10", {"Problem: TA3 00: IFSC 0 is reserved (1 to 254)\n"}},
        {"IFSC FF", "3B 80 81 11 FF EF", {"Problem: TA3 FF: IFSC 255 is reserved (1 to 254)\n"}},
        // TD2 21 (TB3, T=1), TB3 A5; TCK 85.
        {"BWI 10", "3B 80 81 21 A5 85", {"Problem: TB3 A5: BWI=10 is reserved (0 to 9)\n"}},
        // TD2 41 (TC3, T=1), TC3 03; TCK 43.
        {"TC3 bit 2", "3B 80 81 41 03 43", {"Problem: TC3 03: bits 8 to 2 are reserved and must be 0\n"}},
        // TD2 1F (TA3, T=15), TA3 05: classes A and C; TCK 1A.
        {"class indicator 5", "3B 80 80 1F 05 1A", {"Problem: TA3 05: class indicator 5 is reserved\n"}},
    };
    for (const DecodingCase& c : cases) {
        expectLines(c, false);
        EXPECT_EQ(decodeAtr(hex(c.atr)).problems.size(), 1u) << c.name;
    }
}

TEST(AtrDecoding, PcscContactlessCardsNameTheirStandardAndCard)
{
    // 80, then 4F 0C: RID A0 00 00 03 06, standard, two bytes of card name, four RFU bytes.
    const DecodingCase cases[] = {
        {"MIFARE 1K", "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A",
         {"  Category: 80: one BER object, the application identifier\n",
          "    RID: A0 00 00 03 06 (PC/SC contactless storage card)\n", "    Standard: 03: ISO 14443 A, part 3\n",
          "    Card name: 00 01: MIFARE Standard 1K\n", "    RFU: 00 00 00 00\n"}},
        {"MIFARE Ultralight", "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 03 00 00 00 00 68",
         {"    Card name: 00 03: MIFARE Ultralight\n"}},
        // Card name 00 FF: TCK 6A ^ 01 ^ FF = 94.
        {"a name the tool does not know", "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 FF 00 00 00 00 94",
         {"    Card name: 00 FF: not known to the tool\n"}},
    };
    for (const DecodingCase& c : cases) {
        expectLines(c, true);
        const DecodedAtr atr = decodeAtr(hex(c.atr));
        EXPECT_TRUE(atr.notes.empty()) << c.name;
        EXPECT_TRUE(atr.historical.objects.empty()) << c.name;
    }
}

namespace {

struct MalformedCase {
    const char* name;
    Bytes bytes;
    bool truncated;
    const char* firstMissing;
    const char* problem; ///< a part of the first problem sentence
};

// T0 FF and groups chained by TD F1, ended by TD 01, with a right TCK.
Bytes overLongAtr(int groups)
{
    Bytes atr{0x3B, 0xFF};
    for (int i = 0; i < groups; ++i)
        atr.insert(atr.end(), {0x11, 0x00, 0x00, static_cast<std::uint8_t>(i + 1 < groups ? 0xF1 : 0x01)});
    atr.insert(atr.end(), 15, 0x41);
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < atr.size(); ++i)
        check ^= atr[i];
    atr.push_back(check);
    return atr;
}

} // namespace

TEST(AtrDecoding, MalformedAtrsAreFlaggedAndNeverReadPastTheirEnd)
{
    const MalformedCase cases[] = {
        {"nothing", {}, true, "TS", "no bytes"},
        {"TS alone", {0x3B}, true, "T0", "T0 missing"},
        {"truncated after T0: TA1 announced", {0x3B, 0xF0}, true, "TA1", "TA1 missing (2 of 6 bytes)"},
        {"truncated after T0: historical bytes announced", {0x3B, 0x02}, true, "historical byte 1", "historical byte 1"},
        {"TDi chain longer than the data", {0x3B, 0x80, 0x81, 0x81, 0x81}, true, "TD4", "TD4 missing"},
        {"TCK missing where T=1 needs it", {0x3B, 0x81, 0x01, 0xAA}, true, "TCK", "TCK missing"},
        {"wrong TCK", hex("3B FE 18 00 00 80 31 FE 45 80 31 80 66 40 90 A4 16 2A 00 83 0F 90 00 EE"), false, "",
         "TCK is EE, expected EF"},
        {"a byte after the end", {0x3B, 0x02, 0x14, 0x50, 0x00}, false, "", "1 byte after the end"},
        {"no initial character", {0x3A, 0x00}, false, "", "TS 3A is no initial character"},
        {"T=15 in TD1", {0x3B, 0x80, 0x0F, 0x0F}, false, "", "TD1 names T=15"},
        {"longer than 33 bytes", overLongAtr(5), false, "", "longer than the 33 bytes"},
    };
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedAtr atr = decodeAtr(c.bytes);
        EXPECT_FALSE(atr.wellFormed());
        ASSERT_FALSE(atr.problems.empty());
        EXPECT_NE(atr.problems.front().find(c.problem), std::string::npos) << atr.problems.front();
        EXPECT_EQ(atr.truncated, c.truncated);
        EXPECT_EQ(atr.firstMissing, c.firstMissing);
        EXPECT_LE(atr.length, c.bytes.size());
        EXPECT_EQ(atr.length + atr.extraBytes, c.bytes.size());
        if (c.truncated)
            EXPECT_GT(atr.expectedLength, c.bytes.size());
    }
    // With the last byte XORed in, the TCK a wrong one was compared with is the right one.
    Bytes fixed = hex("3B FE 18 00 00 80 31 FE 45 80 31 80 66 40 90 A4 16 2A 00 83 0F 90 00 EE");
    fixed.back() = *decodeAtr(fixed).tckExpected;
    EXPECT_TRUE(decodeAtr(fixed).wellFormed());
}

TEST(AtrDecoding, InverseConventionAsDeliveredAndAsReadInDirectConvention)
{
    for (const DocumentedCard& card : kDocumentedCards) {
        SCOPED_TRACE(card.name);
        // TS does not count in the TCK, so the logical inverse ATR is the same bytes after 3F.
        Bytes logical = hex(card.atr);
        logical.front() = 0x3F;
        const DecodedAtr delivered = decodeAtr(logical);
        EXPECT_EQ(delivered.convention, Convention::Inverse);
        EXPECT_TRUE(delivered.wellFormed());
        EXPECT_FALSE(delivered.convertedFromDirectReading);

        Bytes raw = logical;
        for (std::uint8_t& byte : raw)
            byte = inverseConventionByte(byte);
        EXPECT_EQ(raw.front(), 0x03);
        const DecodedAtr read = decodeAtr(raw);
        EXPECT_TRUE(read.convertedFromDirectReading);
        EXPECT_EQ(read.convention, Convention::Inverse);
        EXPECT_EQ(read.bytes, logical);
        EXPECT_EQ(read.protocols, delivered.protocols);
        EXPECT_EQ(read.historical.bytes, delivered.historical.bytes);
        EXPECT_EQ(encodeAtr(read), logical);
    }
}

TEST(AtrTiming, FiAndDiFollowTheTablesAndGiveTheBitRate)
{
    struct Case {
        std::uint8_t ta1;
        std::optional<int> f, d;
        std::optional<std::uint32_t> fmax;
        std::optional<double> rateAt3_5712MHz;
    };
    // ISO/IEC 7816-3 tables 7 and 8; the rates are f·D/F.
    const Case cases[] = {
        {0x11, 372, 1, 5000000, 9600.0},    {0x13, 372, 4, 5000000, 38400.0},
        {0x18, 372, 12, 5000000, 115200.0}, {0x01, 372, 1, 4000000, 9600.0},
        {0x96, 512, 32, 5000000, 223200.0}, {0xD4, 2048, 8, 20000000, 13950.0}, {0x19, 372, 20, 5000000, 192000.0},
        {0x71, std::nullopt, 1, std::nullopt, std::nullopt}, {0x1A, 372, std::nullopt, 5000000, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(hexByte(c.ta1));
        const DecodedAtr atr = decodeAtr({0x3B, 0x10, c.ta1});
        const AtrTiming timing = atrTiming(atr);
        EXPECT_TRUE(timing.ta1Present);
        EXPECT_EQ(timing.f, c.f);
        EXPECT_EQ(timing.d, c.d);
        EXPECT_EQ(timing.maxClockHz, c.fmax);
        const auto rate = bitRate(kDefaultCardClockHz, timing.f, timing.d);
        ASSERT_EQ(rate.has_value(), c.rateAt3_5712MHz.has_value());
        if (rate)
            EXPECT_NEAR(*rate, *c.rateAt3_5712MHz, 0.01);
    }
    // Without TA1 the card runs at F=372, D=1, at most 5 MHz.
    const AtrTiming defaults = atrTiming(decodeAtr({0x3B, 0x00}));
    EXPECT_FALSE(defaults.ta1Present);
    EXPECT_EQ(defaults.f, 372);
    EXPECT_EQ(defaults.maxClockHz, 5000000u);
}

TEST(AtrText, HexIsReadAsTechniciansWriteIt)
{
    EXPECT_EQ(parseHexBytes("3B021450"), (Bytes{0x3B, 0x02, 0x14, 0x50}));
    EXPECT_EQ(parseHexBytes("3b 02:14\t50"), (Bytes{0x3B, 0x02, 0x14, 0x50}));
    for (const char* bad : {"3B0", "3B 0G", "3B-02", "0x3B"})
        EXPECT_FALSE(parseHexBytes(bad).has_value()) << bad;
    EXPECT_EQ(spacedHex({0x3B, 0x0F}), "3B 0F");
}
