#pragma once

#include "protocol/DetectionResults.h"
#include "protocol/LineSequence.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvex {

class Clock;
class PortSlot;

/// Identification byte, sent first on a freshly opened port.
inline constexpr std::uint8_t kIdentifyCode = 0xA5;
/// Asks the application firmware for its 32-byte identity.
inline constexpr std::uint8_t kApplicationIdentityCode = 0x00;
/// First answer bytes by which the application firmware introduces itself.
inline constexpr std::uint8_t kApplicationAnswer1 = 0xC1;
inline constexpr std::uint8_t kApplicationAnswer2 = 0xC2;

inline constexpr std::size_t kBootAnswerLength = 23;
inline constexpr std::size_t kApplicationAnswerLength = 32;
/// Answer buffer of the discovery routines.
inline constexpr std::size_t kDiscoveryAnswerCapacity = 256;

enum class ProgrammerMode { None = 0, BootLoader = 1, Application = 2 };

/// The fields cut out of an identification answer's hexadecimal text.
struct IdentityFields {
    char readerDigit = 0;       ///< character 3: low half of byte 1
    std::string serialNumber;   ///< 32 characters
    std::string versionDigits;  ///< 3 characters
    std::string answerText;     ///< at most 64 characters
};

/// Reader 1 or 2 from an identity's reader digit. The Phoenix build
/// (low-speed 1) numbers its readers from 0, the others from 1.
std::optional<int> readerOfDigit(SpeedVariant variant, char readerDigit);

bool isBootLoaderAnswer(const std::vector<std::uint8_t>& answer);
bool isApplicationGreeting(const std::vector<std::uint8_t>& answer);
bool isApplicationIdentity(const std::vector<std::uint8_t>& answer);

/// Fields of the 23-byte boot loader answer (serial bytes 5-20, version 21-22).
IdentityFields bootLoaderFields(const std::vector<std::uint8_t>& answer);
/// Fields of the 32-byte application answer (serial bytes 6-21, version 30-31).
IdentityFields applicationFields(const std::vector<std::uint8_t>& answer);

/// Line sequences of the speed variants.
LineSequence scanPreparation(SpeedVariant variant, int answerDelayMs);
LineSequence shortenedPreparation(SpeedVariant variant);
LineSequence selectedPortPreparation(SpeedVariant variant);
/// Wait after an identification byte.
int identificationWaitMs(SpeedVariant variant, int answerDelayMs);

struct IdentifyResult {
    ProgrammerMode mode = ProgrammerMode::None;
    IdentityFields fields;
    std::string versionText;
    std::vector<std::uint8_t> answer; ///< the answer the fields came from
};

/// Identifies the device on an open port: 0xA5, and for the application
/// 0x00 after it. Leaves the port open.
IdentifyResult identify(PortSlot& port, Clock& clock, SpeedVariant variant, int answerDelayMs);

} // namespace talvex
