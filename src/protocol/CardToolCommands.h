#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace talvex {

class Clock;
class PortSlot;

/// The fixed test frames "Send" puts to a card: 01 02, two command bytes,
/// 00 00, and a last byte that makes the exclusive-or of all seven 0x3F.
inline constexpr const char* kCardTestFrames[] = {
    "0102020300003D", "0102000300003F", "0102010000003D", "01020E02000030", "01020E03000031",
};

struct AtrResult {
    bool ok = false;
    std::string status;  ///< "OK" or the error line with its "\r\n"
    std::string atrText; ///< the ATR bytes as hex text when ok
};

/// Reads a card's answer to reset: an RTS pulse, 2 s for the card, then
/// whatever it sent. Refuses at once, lines untouched, without a card.
/// `repaint` runs around the pulse so the window shows its busy state.
AtrResult readAtr(PortSlot& port, Clock& clock, bool cardPresent, const std::function<void()>& repaint);

/// The log line of an ATR read for the reader's pane.
std::string atrLogLine(const AtrResult& result);

/// "SC Clock Change" (020003) and "Cmd 04" (04): each answer byte as
/// "Received:<decimal>\r\n".
std::string clockChangeCommand(PortSlot& port, Clock& clock);
std::string command04(PortSlot& port, Clock& clock);

/// "Serial #": 00 with RTS on; the answer's length and hex text.
std::string serialNumberCommand(PortSlot& port, Clock& clock);

/// "Send": resets the card, drops its ATR, then sends the five test frames
/// and logs each answer.
std::string sendTestFrames(PortSlot& port, Clock& clock);

/// "Reset Device": RTS on when asserting ("RTS = 0"), off otherwise ("RTS = 1").
std::string setResetLine(PortSlot& port, bool asserted);

} // namespace talvex
