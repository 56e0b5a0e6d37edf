#pragma once

#include "firmware/UploadRequest.h"
#include "firmware/UploadOutcome.h"
#include "protocol/DetectionResults.h"
#include "protocol/LineSequence.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace talvex {

class UploadObserver;

/// The lines a build needs before it hears 0xA5 or back-to-boot.
LineSequence bootModePreamble(SpeedVariant variant);

/// The back-to-boot bytes of the build found by `variant`.
std::vector<std::uint8_t> backToBootCommand(SpeedVariant variant);

/// FF 00, AA 00 or BB 00, whichever command was sent.
bool isBackToBootAnswer(const std::vector<std::uint8_t>& answer);

/// Polls the device with 0xA5 until a pass reads nothing, which is what a
/// vanished (unplugged) port does. No time limit: the user unplugs. Returns
/// the number of passes. The settings window's "test unplug" runs it too.
/// With a `passLimit` above 0 it gives up after that many passes that
/// still read an answer, and returns the limit plus one.
int waitForUnplug(PortSlot& port, Clock& clock, SpeedVariant variant, const std::function<void()>& pump,
                  int passLimit = 0);

/// The device-side steps of the upload before the erase: which firmware
/// runs, back to the boot loader, unplug and re-plug, erase.
class BootModeSwitch {
public:
    BootModeSwitch(UploadRequest request, UploadObserver& observer);

    /// `CheckBootMode`: the answer to 0xA5 (C1/C2 application, A5 boot loader).
    std::vector<std::uint8_t> checkBootMode();
    /// `ReturnToBootMode`: the answer to the back-to-boot command.
    std::vector<std::uint8_t> returnToBootMode();
    /// `WaitForUnplug` with the detection's variant and the observer's pump:
    /// the number of passes, `passLimit` + 1 when it gave up.
    int waitForUnplug(int passLimit = 0);
    /// `WaitForReconnect`: opens `portName` again at 115200 baud (up to 200
    /// attempts, 500 ms apart), identifies and compares the serial number.
    /// The port stays open for the erase.
    ReconnectResult waitForReconnect(const std::string& portName, const std::string& expectedSerial);
    /// `EraseApplication`: the answer to 0xA8.
    std::vector<std::uint8_t> eraseApplication();

private:
    UploadRequest m_request;
    UploadObserver& m_observer;
};

} // namespace talvex
