#include "protocol/CardToolCommands.h"

#include "common/Clock.h"
#include "protocol/CommandText.h"
#include "protocol/Exchange.h"
#include "serial/PortSlot.h"

namespace talvex {
namespace {

// The card reset pulse on RTS and the time a card gets to answer.
constexpr int kResetPulseMs = 200;
constexpr int kAtrWaitMs = 2000;
// "Send" gives the card less time: its ATR is dropped anyway.
constexpr int kSendAtrWaitMs = 600;
constexpr int kCommandSettleMs = 200;
constexpr int kSlowCommandWaitMs = 3000;
constexpr int kFrameWaitMs = 200;

std::vector<std::uint8_t> sendAndRead(PortSlot& port, Clock& clock, const char* text, int waitMs)
{
    sendCommandText(port, text);
    clock.sleepMs(waitMs);
    return port.readAll(kAnswerCapacity);
}

std::string receivedBytesInDecimal(const std::vector<std::uint8_t>& answer)
{
    std::string log;
    for (std::uint8_t byte : answer)
        log += "Received:" + std::to_string(byte) + "\r\n";
    return log;
}

std::string slowCommand(PortSlot& port, Clock& clock, const char* text)
{
    port.setRts(true);
    clock.sleepMs(kCommandSettleMs);
    return receivedBytesInDecimal(sendAndRead(port, clock, text, kSlowCommandWaitMs));
}

void resetPulse(PortSlot& port, Clock& clock)
{
    port.setRts(false);
    clock.sleepMs(kResetPulseMs);
    port.setRts(true);
    clock.sleepMs(kResetPulseMs);
    port.setRts(false);
}

} // namespace

AtrResult readAtr(PortSlot& port, Clock& clock, bool cardPresent, const std::function<void()>& repaint)
{
    AtrResult result;
    if (!cardPresent) {
        result.status = "ERROR: Please insert Smartcard!\r\n";
        return result;
    }
    if (repaint)
        repaint();
    resetPulse(port, clock);
    if (repaint)
        repaint();
    clock.sleepMs(kAtrWaitMs);
    const std::vector<std::uint8_t> atr = port.readAll(kAnswerCapacity);
    if (atr.empty()) {
        result.status = "ERROR: NO ATR from Smartcard\r\n";
        return result;
    }
    result.ok = true;
    result.status = "OK";
    result.atrText = toHexText(atr);
    port.setRts(true);
    return result;
}

std::string atrLogLine(const AtrResult& result)
{
    if (result.status.find("ERROR") != std::string::npos)
        return result.status;
    return "ATR: " + result.atrText + "\r\n";
}

std::string clockChangeCommand(PortSlot& port, Clock& clock)
{
    return slowCommand(port, clock, "020003");
}

std::string command04(PortSlot& port, Clock& clock)
{
    return slowCommand(port, clock, "04");
}

std::string serialNumberCommand(PortSlot& port, Clock& clock)
{
    port.setRts(true);
    clock.sleepMs(kCommandSettleMs);
    const std::vector<std::uint8_t> answer = sendAndRead(port, clock, "00", kFrameWaitMs);
    return "Answer lenght: " + std::to_string(answer.size()) + " bytes.\r\nReceived: " + toHexText(answer) + "\r\n";
}

std::string sendTestFrames(PortSlot& port, Clock& clock)
{
    resetPulse(port, clock);
    clock.sleepMs(kSendAtrWaitMs);
    port.readAll(kAnswerCapacity);

    std::string log;
    bool first = true;
    for (const char* frame : kCardTestFrames) {
        const std::vector<std::uint8_t> answer = sendAndRead(port, clock, frame, kFrameWaitMs);
        const std::string count = std::to_string(answer.size());
        if (first)
            log += "Answer lenght: " + count + " bytes.\r\nReceived: " + toHexText(answer) + "\r\n";
        else
            log += "\r\n\r\nAnswer lenght: " + count + " bytes.\r\nReceived: " + toHexText(answer);
        first = false;
    }
    return log;
}

std::string setResetLine(PortSlot& port, bool asserted)
{
    port.setRts(asserted);
    return asserted ? "RTS = 0\r\n" : "RTS = 1\r\n";
}

} // namespace talvex
