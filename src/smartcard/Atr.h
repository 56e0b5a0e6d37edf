#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex {

/// A card's answer to reset, decoded after ISO/IEC 7816-3. The decoder
/// takes whatever bytes a reader delivered: it never reads past them, and
/// says what is missing, extra or inconsistent instead of refusing.

enum class Convention { Direct, Inverse, Unknown };

/// The interface bytes of one group i (TAi, TBi, TCi, TDi).
struct InterfaceGroup {
    int index = 1;
    /// The T of TD(i-1), which the group's bytes belong to from group 3
    /// on; kGlobal for group 1.
    int protocol = kGlobal;
    std::optional<std::uint8_t> ta, tb, tc, td;

    static constexpr int kGlobal = -1;
};

/// The historical bytes of a contactless storage card as a PC/SC reader
/// builds them: 80 4F 0C, the registered identifier, standard, card name
/// and four bytes for future use.
struct ContactlessCard {
    std::array<std::uint8_t, 5> rid{};
    std::uint8_t standard = 0;
    std::uint16_t cardName = 0;
    std::array<std::uint8_t, 4> rfu{};
};

/// One compact-TLV data object of the historical bytes.
struct CompactTlv {
    std::uint8_t tag = 0;
    std::vector<std::uint8_t> value;
};

struct HistoricalBytes {
    std::vector<std::uint8_t> bytes;
    /// Objects when the category indicator is 0x00 or 0x80.
    std::vector<CompactTlv> objects;
    /// Category 0x00 ends with the status indicator: LCS, SW1, SW2.
    std::optional<std::array<std::uint8_t, 3>> statusIndicator;
    /// An object's length runs past the historical bytes.
    bool objectOverrun = false;
    /// Category 80 holding one application identifier in BER form (tag 4F).
    std::optional<std::vector<std::uint8_t>> berApplicationIdentifier;
    /// That identifier as a PC/SC contactless storage card's.
    std::optional<ContactlessCard> contactless;

    std::optional<std::uint8_t> category() const
    {
        return bytes.empty() ? std::nullopt : std::optional<std::uint8_t>(bytes.front());
    }
};

struct DecodedAtr {
    /// The bytes as decoded (an inverse-convention card read as direct,
    /// first byte 03, is turned into its logical values here).
    std::vector<std::uint8_t> bytes;
    Convention convention = Convention::Unknown;
    bool convertedFromDirectReading = false;
    std::optional<std::uint8_t> t0;
    int historicalCount = 0; ///< K, as T0 announces it
    std::vector<InterfaceGroup> groups;
    /// Protocols TD1, TD2 … offer, in order, without T=15; {0} without TD1.
    std::vector<int> protocols;
    bool globalT15 = false; ///< some TDi names T=15
    HistoricalBytes historical;

    bool tckRequired = false;
    std::optional<std::uint8_t> tck;
    std::optional<std::uint8_t> tckExpected; ///< the value that makes T0…TCK XOR to 0

    std::size_t length = 0;         ///< bytes of the input that belong to the ATR
    std::size_t expectedLength = 0; ///< what T0 and the TDi announce (at least)
    std::size_t extraBytes = 0;     ///< input bytes after the ATR's end
    bool truncated = false;
    std::string firstMissing; ///< "T0", "TA1", "historical byte 3", "TCK" …

    /// Errors of the ATR's frame: each a sentence, none when well formed.
    std::vector<std::string> problems;
    /// Oddities of the historical bytes' content, which cards in use show
    /// (an AID object written the BER way behind category 80).
    std::vector<std::string> notes;

    bool wellFormed() const { return problems.empty(); }
    bool tckValid() const { return tck && tckExpected && *tck == *tckExpected; }

    /// TAi, TBi, TCi, TDi of group i (1-based); nothing when absent.
    std::optional<std::uint8_t> ta(int i) const;
    std::optional<std::uint8_t> tb(int i) const;
    std::optional<std::uint8_t> tc(int i) const;
    std::optional<std::uint8_t> td(int i) const;
    /// The group of the first TA, TB or TC (kind 'A', 'B', 'C') for protocol
    /// T, from group 3 on: the clause gives only that one byte its meaning.
    /// 0 when there is none.
    int firstIndexFor(int protocol, char kind) const;
    std::optional<std::uint8_t> firstFor(int protocol, char kind) const;
    bool offers(int protocol) const;
};

/// ISO/IEC 7816-3 allows TS and at most 32 more bytes.
inline constexpr std::size_t kMaxAtrLength = 33;

DecodedAtr decodeAtr(const std::vector<std::uint8_t>& input);

/// Writes the ATR back from its parts (TS, T0, the groups, the historical
/// bytes, TCK): equal to the input for every well-formed ATR.
std::vector<std::uint8_t> encodeAtr(const DecodedAtr& atr);

/// A byte as an inverse-convention card sends it, read in direct convention.
std::uint8_t inverseConventionByte(std::uint8_t raw);

/// Hex bytes as a technician types or copies them: "3B021450",
/// "3B 02 14 50", "3b:02:14:50". Nothing for an odd digit count or any
/// other character.
std::optional<std::vector<std::uint8_t>> parseHexBytes(std::string_view text);
/// "3B 02 14 50".
std::string spacedHex(const std::vector<std::uint8_t>& bytes);
std::string hexByte(std::uint8_t byte);

// Clock rate conversion and baud adjustment (ISO/IEC 7816-3, tables 7 and 8).

/// F for Fi; nothing for the reserved values.
std::optional<int> clockRateConversion(int fi);
/// The card's maximum clock for Fi, in Hz; nothing for reserved values.
std::optional<std::uint32_t> maxClockHz(int fi);
/// D for Di; nothing for the reserved values.
std::optional<int> baudAdjustment(int di);

/// T=1's parameters, the defaults where the ATR is silent.
struct T1Parameters {
    int ifsc = 32;
    int bwi = 4;
    int cwi = 13;
    bool crc = false;
    bool defaults = true; ///< no byte for T=1 says anything
};
T1Parameters t1Parameters(const DecodedAtr& atr);

/// The standard and the card's name of a contactless storage card; empty
/// for codes the tool does not know.
std::string contactlessStandardName(std::uint8_t standard);
std::string contactlessCardName(std::uint16_t cardName);

/// What the ATR says about timing, with the defaults where it is silent.
struct AtrTiming {
    int fi = 1, di = 1;
    bool ta1Present = false;
    std::optional<int> f = 372, d = 1;
    std::optional<std::uint32_t> maxClockHz = 5000000;
    int extraGuardTime = 0; ///< N of TC1; 255 is the minimum guard time
    int waitingTimeInteger = 10; ///< WI of TC2 (T=0)
    /// TA2 puts the card in specific mode: it works in one protocol right
    /// after the ATR, with TA1's F and D or, with bit 5 set, implicit ones,
    /// and takes no PPS.
    bool specificMode = false;
    int specificProtocol = 0;
    bool implicitParameters = false;
    bool modeChangeable = false;
};
AtrTiming atrTiming(const DecodedAtr& atr);

/// The clock a card is assumed to run at when the reader's is not known:
/// with F=372, D=1 it gives 9600 bit/s.
inline constexpr std::uint32_t kDefaultCardClockHz = 3571200;

/// Bit rate f·D/F, or nothing without F or D.
std::optional<double> bitRate(double clockHz, std::optional<int> f, std::optional<int> d);

} // namespace talvex
