#include "firmware/BootModeSwitch.h"

#include "common/Clock.h"
#include "firmware/FirmwareProtocol.h"
#include "firmware/UploadObserver.h"
#include "protocol/Identification.h"
#include "protocol/LineSequences.h"
#include "serial/PortSlot.h"

namespace talvex {
namespace {

constexpr std::size_t kSerialLength = 32;

} // namespace

LineSequence bootModePreamble(SpeedVariant variant)
{
    return lineSequence(bootPreambleOf(variant));
}

std::vector<std::uint8_t> backToBootCommand(SpeedVariant variant)
{
    switch (variant) {
    case SpeedVariant::LowSpeed1:
        return std::vector<std::uint8_t>(kBackToBootLowSpeed1Repeats, kBackToBootLowSpeed1);
    case SpeedVariant::LowSpeed2:
        return {kBackToBootLowSpeed2};
    case SpeedVariant::Normal:
        break;
    }
    return {kBackToBootNormal};
}

bool isBackToBootAnswer(const std::vector<std::uint8_t>& answer)
{
    if (answer.size() < 2 || answer[1] != kBackToBootDone)
        return false;
    return answer[0] == kBackToBootNormal || answer[0] == kBackToBootLowSpeed1 || answer[0] == kBackToBootLowSpeed2;
}

int waitForUnplug(PortSlot& port, Clock& clock, SpeedVariant variant, const std::function<void()>& pump,
                  int passLimit)
{
    port.setDtr(true);
    int passes = 0;
    std::size_t count = 0;
    do {
        runLineSequence(port, clock, bootModePreamble(variant));
        if (variant != SpeedVariant::Normal)
            port.readAll(kUploadAnswerCapacity);
        port.sendByte(kBootCheckCode);
        clock.sleepMs(kUnplugPollWaitMs);
        count = port.readAll(kUploadAnswerCapacity).size();
        if (pump)
            pump();
        ++passes;
        if (passLimit > 0 && count > 0 && passes >= passLimit)
            return passLimit + 1;
    } while (count > 0);
    return passes;
}

BootModeSwitch::BootModeSwitch(UploadRequest request, UploadObserver& observer)
    : m_request(std::move(request))
    , m_observer(observer)
{
}

std::vector<std::uint8_t> BootModeSwitch::checkBootMode()
{
    m_observer.logLine("Checking boot mode.");
    runLineSequence(m_request.port, m_request.clock, bootModePreamble(m_request.programmer.variant));
    m_request.port.readAll(kUploadAnswerCapacity);
    m_request.port.sendByte(kBootCheckCode);
    m_request.clock.sleepMs(kCheckBootModeWaitMs);
    return m_request.port.readAll(kUploadAnswerCapacity);
}

std::vector<std::uint8_t> BootModeSwitch::returnToBootMode()
{
    m_observer.logLine("Returning to boot mode.");
    runLineSequence(m_request.port, m_request.clock, bootModePreamble(m_request.programmer.variant));
    m_request.port.readAll(kUploadAnswerCapacity);
    for (const std::uint8_t byte : backToBootCommand(m_request.programmer.variant))
        m_request.port.sendByte(byte);
    m_request.clock.sleepMs(kBackToBootWaitMs);
    return m_request.port.readAll(kUploadAnswerCapacity);
}

int BootModeSwitch::waitForUnplug(int passLimit)
{
    return talvex::waitForUnplug(m_request.port, m_request.clock, m_request.programmer.variant, [this] { m_observer.pump(); },
                                 passLimit);
}

ReconnectResult BootModeSwitch::waitForReconnect(const std::string& portName, const std::string& expectedSerial)
{
    m_observer.logLine("waiting to connect programmer...");
    bool opened = false;
    for (int attempt = 0; attempt < kReconnectAttempts && !opened; ++attempt) {
        m_request.clock.sleepMs(kReconnectAttemptWaitMs);
        const std::string name = m_request.portAfterReplug ? m_request.portAfterReplug(portName) : portName;
        opened = m_request.port.open(m_request.host, name, kNormalMode).ok();
    }
    if (!opened)
        return ReconnectResult::PortNotBack;

    m_observer.logLine("serching for Talvex ...");
    m_request.clock.sleepMs(kReconnectSettleMs);
    m_request.port.setDtr(true);
    // The boot loader answers at 115200 baud after the plain preamble.
    const IdentifyResult identity =
        identify(m_request.port, m_request.clock, SpeedVariant::Normal, m_request.programmer.answerDelayMs);
    const std::string& serial = identity.fields.serialNumber;
    if (serial.size() != kSerialLength)
        return ReconnectResult::NoSerial;
    if (serial.find(expectedSerial) != std::string::npos) {
        m_observer.logLine("Ok, found Talvex ...");
        return ReconnectResult::Found;
    }
    m_observer.logLine("not the right Talvex ...");
    return ReconnectResult::OtherDevice;
}

std::vector<std::uint8_t> BootModeSwitch::eraseApplication()
{
    m_observer.logLine("Erasing Application.");
    m_request.port.setDtr(true);
    m_request.port.sendByte(kEraseCode);
    m_request.clock.sleepMs(kEraseWaitMs);
    return m_request.port.readAll(kUploadAnswerCapacity);
}

} // namespace talvex
