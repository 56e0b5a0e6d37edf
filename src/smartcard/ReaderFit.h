#pragma once

#include "smartcard/Atr.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvex {

class Clock;
class PortSlot;

/// A reader's card port as the programmer's 32-byte identity reports it.
struct ReaderCardPort {
    std::optional<std::uint32_t> clockHz;
    std::optional<std::uint32_t> baud; ///< the card-port speed
    std::optional<int> parityCode;     ///< 0 none, 1 odd, 2 even
    std::optional<int> addedStopBits;
    char readerDigit = 0;
    std::string serialNumber; ///< 32 hex digits
    std::string versionText;  ///< "1.10"
    bool givenByUser = false; ///< typed in, not read from the programmer
};

/// The card port from an application identity; nothing for another answer.
std::optional<ReaderCardPort> readerCardPortFromIdentity(const std::vector<std::uint8_t>& answer);

/// Asks the programmer on an open reader port for its identity ("00", as
/// the card tool's "Serial #"), without touching the lines, so a card
/// that just answered its reset is left alone.
std::optional<ReaderCardPort> queryReaderCardPort(PortSlot& port, Clock& clock);

/// "9600", "38400", "115200" for the speed codes 0-2.
std::optional<std::uint32_t> cardPortBaud(int speedCode);
std::string parityName(int parityCode);

/// How the reader's settings suit the card.
struct ReaderFit {
    double clockHz = kDefaultCardClockHz;
    bool clockFromReader = false;
    /// Bit rate during the ATR (F=372, D=1), and the one TA1 offers.
    std::optional<double> initialRate;
    std::optional<double> offeredRate;
    /// In specific mode: the rate right after the ATR, when the ATR gives it.
    std::optional<double> specificRate;
    std::optional<std::uint32_t> readerBaud;

    enum class Speed { Unknown, MatchesInitial, MatchesOffered, Mismatch, MatchesSpecific };
    Speed speed = Speed::Unknown;
    /// Clock and speed choices of the reader that would suit the card.
    struct Setting {
        std::uint32_t clockHz;
        std::uint32_t baud;
        bool afterPps; ///< at the rate TA1 offers, not the ATR's (never in specific mode)
    };
    std::vector<Setting> suitableSettings;

    bool clockAboveMaximum = false;
    /// TC1 asks for more extra guard time than the reader's added stop bits.
    bool guardTimeShort = false;

    /// Sentences for the report: the verdict first, then warnings.
    std::vector<std::string> verdict;
    std::vector<std::string> warnings;
};

/// A UART samples mid-bit: a rate off by more than this drifts half a bit
/// over one ten-bit character.
inline constexpr double kRateTolerance = 0.05;

/// The card clocks and card-port speeds the reader can be set to.
inline constexpr std::uint32_t kReaderClocksHz[] = {3430000, 4000000, 4800000, 6000000, 8000000, 12000000};
inline constexpr std::uint32_t kReaderBauds[] = {9600, 38400, 115200};

ReaderFit assessReaderFit(const DecodedAtr& atr, const std::optional<ReaderCardPort>& reader);

/// "3.5712 MHz", "4 MHz".
std::string megahertz(double hz);
/// "9600 bit/s", "10752.7 bit/s".
std::string bitsPerSecond(double rate);

} // namespace talvex
