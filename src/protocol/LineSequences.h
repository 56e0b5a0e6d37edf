#pragma once

#include "protocol/LineSequence.h"
#include "protocol/SpeedVariant.h"

#include <string_view>

namespace talvex {

/// Every DTR/RTS preparation the tool uses, by name. The device's builds
/// tell a command meant for them by these sequences, so they are one
/// table (LineSequences.cpp), where sequences that differ on purpose sit
/// side by side.
enum class LinePreparation {
    // Identification during a scan; the normal build's last wait is the
    // configurable answer delay.
    ScanNormal,
    ScanLowSpeed1,
    ScanLowSpeed2,
    // The shortened sequences before each identification byte.
    ShortLowSpeed1,
    ShortLowSpeed2,
    // Before identifying on a port the user selected.
    SelectedNormal,
    SelectedLowSpeed1,
    SelectedLowSpeed2,
    // The settings commands.
    Standard, ///< DTR on, 200 ms: the exchange's and most commands' own
    DtrOn50,
    PhoenixPulse,
    UniprogLines,
    // Before the boot-mode check, back-to-boot and each unplug poll.
    BootNormal,
    BootLowSpeed1,
    BootLowSpeed2,
};

/// The steps of a preparation; a scan's answer delay fills its last wait.
LineSequence lineSequence(LinePreparation preparation, int answerDelayMs = 0);

/// The name the table gives it, for test output and the docs.
std::string_view linePreparationName(LinePreparation preparation);

/// The preparation of each speed variant for one purpose.
LinePreparation scanPreparationOf(SpeedVariant variant);
LinePreparation selectedPortPreparationOf(SpeedVariant variant);
LinePreparation bootPreambleOf(SpeedVariant variant);

} // namespace talvex
