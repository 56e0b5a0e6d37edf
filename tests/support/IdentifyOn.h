#pragma once

#include "common/RealClock.h"
#include "protocol/Identification.h"
#include "serial/NativePortHost.h"
#include "serial/PortSlot.h"

#include <gtest/gtest.h>

#include <string>

namespace talvex::test {

/// Identifies, in real time through the platform's port, what answers on
/// `port` opened in `mode`, and closes the port again. A short answer delay
/// suits the simulator program, which answers within milliseconds.
inline IdentifyResult identifyOn(const std::string& port, const char* mode, SpeedVariant variant = SpeedVariant::Normal,
                                 int answerDelayMs = 150)
{
    RealClock clock;
    auto host = makeNativePortHost();
    PortSlot slot;
    const Result<void> opened = slot.open(*host, port, mode);
    EXPECT_TRUE(opened) << opened.failure().detail;
    return identify(slot, clock, variant, answerDelayMs);
}

} // namespace talvex::test
