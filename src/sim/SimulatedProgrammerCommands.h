#pragma once

#include "common/Clock.h"

#include <cstddef>
#include <cstdint>

// What the simulated programmer's two source files share: its speeds, its
// timing, and the application's command codes and lengths.
namespace talvex::simdevice {

inline constexpr std::uint32_t kNormalBaud = 115200;
inline constexpr std::uint32_t kLowSpeedBaud = 9600;
// How long DTR must stay off for a low-speed-1 build to take the pulse.
inline constexpr Micros kDtrPulseMinimum = Millis(100);
// A command left incomplete this long is dropped.
inline constexpr Micros kCommandGap = Millis(100);
// Silence that ends a command which may end early ("FD 00" / "FD 01"). The
// host sends a command's bytes back to back, so within a command the gap
// is one character time (about 1 ms at 9600 baud).
inline constexpr Micros kCommandEndSilence = Millis(10);
// The device's thinking time before it answers an identification.
inline constexpr Micros kIdentifyProcessing = Millis(5);
// The application answers back-to-boot, then restarts into its boot loader.
inline constexpr Micros kBackToBootProcessing = Millis(20);

inline constexpr std::uint8_t kModeCode = 0xFD;
// A card frame (01 02 …, seven bytes) goes through to the card in the reader.
inline constexpr std::uint8_t kCardFrameCode = 0x01;
inline constexpr std::uint8_t kTestCommandCode = 0x04;
// RTS held on this long, then dropped, resets the card (a level held for
// longer, as from opening the port, is no reset pulse).
inline constexpr Micros kResetPulseMinimum = Millis(100);
inline constexpr Micros kResetPulseMaximum = Millis(1000);
inline constexpr Micros kAtrDelay = Millis(20);
inline constexpr std::size_t kAtrModeLength = 10;
inline constexpr std::size_t kDebugModeLength = 5;

/// The length of an application command that has one fixed length; 0 for
/// any other.
std::size_t fixedLength(std::uint8_t code);

} // namespace talvex::simdevice
