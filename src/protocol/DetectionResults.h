#pragma once

#include "protocol/SpeedVariant.h"

#include <string>

namespace talvex {

inline constexpr const char* kNormalMode = "115200,N,8,1";
inline constexpr const char* kLowSpeedMode = "9600,N,8,1";
inline constexpr int kDefaultAnswerDelayMs = 1000;

/// What a procedure needs to know of the programmer to talk to it, and
/// what it tells back about how it left it.
struct ProgrammerState {
    SpeedVariant variant = SpeedVariant::Normal;
    bool bootLoader = false;
    int answerDelayMs = kDefaultAnswerDelayMs;
};

/// What the last detection found; every window reads it.
struct DetectionResults {
    std::string reader1Port;   ///< "NOCOM" when no port could be opened
    std::string reader2Port;
    std::string serialNumber;  ///< 32 hexadecimal characters when found
    std::string versionDigits; ///< major digit, then minor as two digits
    std::string versionText;   ///< e.g. "1.10"
    int versionNumber = 0;     ///< major × 100 + minor, e.g. 110
    std::string answerText;    ///< first 64 hex characters of the answer
    bool bootLoader = false;
    SpeedVariant variant = SpeedVariant::Normal;
    int answerDelayMs = kDefaultAnswerDelayMs;

    /// Clears what a scan writes; the variant and answer delay persist.
    void clearFound();

    ProgrammerState programmer() const { return {variant, bootLoader, answerDelayMs}; }
    void setProgrammer(const ProgrammerState& state)
    {
        variant = state.variant;
        bootLoader = state.bootLoader;
        answerDelayMs = state.answerDelayMs;
    }
};

inline const char* modeFor(SpeedVariant variant)
{
    return variant == SpeedVariant::Normal ? kNormalMode : kLowSpeedMode;
}

} // namespace talvex
