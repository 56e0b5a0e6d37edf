#include "sim/SimulatedProgrammer.h"

#include "firmware/BootModeSwitch.h"
#include "firmware/FirmwareProtocol.h"
#include "protocol/CommandText.h"
#include "protocol/Identification.h"
#include "sim/SimulatedProgrammerCommands.h"

#include <algorithm>

// The device's side of the protocol: how it frames what it hears, how long
// it thinks, and what it answers.
namespace talvex {

namespace simdevice {

std::size_t fixedLength(std::uint8_t code)
{
    switch (code) {
    case 0xA5: // identification
    case 0x00: // identity
    case 0x05: // store in flash
    case 0x06: // factory default
    case 0x42: // Uniprog read
    case 0x45: // Uniprog reset
    case kTestCommandCode:
        return 1;
    case kCardFrameCode:
        return SimulatedCard::kFrameLength;
    case 0x02: // reader clock
    case 0x77: // reader Phoenix clock
        return 3;
    case 0x03: // reader speed parity stop
        return 5;
    case 0x44: // 00, six codes, 00 00
        return 10;
    default:
        return 0;
    }
}

} // namespace simdevice

using namespace simdevice;

std::uint32_t SimulatedProgrammer::listeningBaud() const
{
    if (m_firmware == Firmware::BootLoader || m_variant == SpeedVariant::Normal)
        return kNormalBaud;
    return kLowSpeedBaud;
}

std::uint8_t SimulatedProgrammer::readerDigit(int reader) const
{
    // The Phoenix build numbers its readers from 0.
    return static_cast<std::uint8_t>(m_variant == SpeedVariant::LowSpeed1 ? reader - 1 : reader);
}

SimulatedProgrammer::Framing SimulatedProgrammer::framing(const std::vector<std::uint8_t>& start) const
{
    std::lock_guard lock(m_mutex);
    if (start.empty())
        return Framing::Unknown;
    const std::uint8_t code = start[0];
    std::size_t length = 0;
    if (m_firmware == Firmware::BootLoader) {
        length = BootLoader::commandLength(code);
    } else if (const std::size_t backToBoot = backToBootLength(code)) {
        length = backToBoot;
    } else if (code != kModeCode) {
        length = fixedLength(code);
    } else if (start.size() < 2) {
        return Framing::Incomplete;
    } else if (start[1] <= 0x01) {
        // A mode switch, or the start of an ATR mode write.
        if (start.size() == 2)
            return Framing::CompleteAfterSilence;
        length = kAtrModeLength;
    } else {
        // The debug mode has its length; any other mode byte ends the
        // command, to be answered as invalid.
        length = start[1] == 0x02 ? kDebugModeLength : 2;
    }
    if (length == 0 || start.size() > length)
        return Framing::Unknown;
    return start.size() == length ? Framing::Complete : Framing::Incomplete;
}

Micros SimulatedProgrammer::thinkingTime(const std::vector<std::uint8_t>& command) const
{
    std::lock_guard lock(m_mutex);
    if (command.empty())
        return kIdentifyProcessing;
    if (m_firmware == Firmware::BootLoader) {
        switch (command[0]) {
        case kEraseCode: return m_bootLoader.eraseTime();
        case kProgramBlockCode: return m_bootLoader.flashTime();
        default: return kIdentifyProcessing;
        }
    }
    if (isBackToBoot(command))
        return kBackToBootProcessing;
    // Each stays below the host's wait for its command; the clock write
    // retunes the card clock and takes the longest.
    switch (command[0]) {
    case 0x02: return Millis(3000);
    case 0x03: return Millis(50);
    case 0x05: return Millis(300); // flash write
    case 0x06: return Millis(100);
    case kModeCode: return command.size() == 2 ? Millis(20) : Millis(100);
    case 0x77: return Millis(300);
    case 0x42: return Millis(20);
    case 0x44: // flash write
    case 0x45: return Millis(200);
    default: return kIdentifyProcessing;
    }
}

std::vector<std::uint8_t> SimulatedProgrammer::answerFor(int reader, const std::vector<std::uint8_t>& command)
{
    std::lock_guard lock(m_mutex);
    if (command.empty())
        return {};
    const std::uint8_t code = command[0];
    if (m_firmware == Firmware::BootLoader)
        return bootLoaderCommand(reader, command);
    if (isBackToBoot(command)) {
        m_firmware = Firmware::BootLoader;
        m_bootOnPowerUp = true;
        m_unplugArmed = true;
        m_pollsSinceBackToBoot = 0;
        return {code, kBackToBootDone};
    }
    switch (code) {
    case kIdentifyCode:
        return {reader == 1 ? kApplicationAnswer1 : kApplicationAnswer2, 0x00};
    case kApplicationIdentityCode:
        return identityAnswer(reader);
    case kCardFrameCode:
        // No card, no answer: the frame goes nowhere.
        if (!m_cards[static_cast<std::size_t>(reader - 1)])
            return {};
        return SimulatedCard::answerFrame(command);
    case kTestCommandCode:
        return {kTestCommandCode, 0x00};
    default:
        // Later command families (card readers, EEPROM) go before this.
        return m_memory.execute(command).value_or(std::vector<std::uint8_t>{});
    }
}

std::size_t SimulatedProgrammer::backToBootLength(std::uint8_t code) const
{
    const std::vector<std::uint8_t> own = backToBootCommand(m_variant);
    return code == own.front() ? own.size() : 0;
}

bool SimulatedProgrammer::isBackToBoot(const std::vector<std::uint8_t>& command) const
{
    return command == backToBootCommand(m_variant);
}

std::vector<std::uint8_t> SimulatedProgrammer::bootLoaderCommand(int reader, const std::vector<std::uint8_t>& command)
{
    // The boot loader listens on reader 1 only.
    if (reader != 1)
        return {};
    switch (command[0]) {
    case kIdentifyCode: return bootLoaderAnswer(reader);
    case kEraseCode: return m_bootLoader.erase();
    case kProgramBlockCode: {
        std::vector<std::uint8_t> answer = m_bootLoader.programBlock(command);
        if (m_bootLoader.acceptedBlocks() == kBlockCount)
            m_bootOnPowerUp = false; // a whole image: the application starts next time
        return answer;
    }
    default: return {};
    }
}

std::vector<std::uint8_t> SimulatedProgrammer::bootLoaderAnswer(int reader) const
{
    std::vector<std::uint8_t> answer(23, 0x00);
    answer[0] = 0xA5;
    answer[1] = static_cast<std::uint8_t>(reader);
    std::copy(m_serial.begin(), m_serial.end(), answer.begin() + 5);
    answer[21] = m_major & 0x0F;
    answer[22] = m_minor;
    return answer;
}

std::vector<std::uint8_t> SimulatedProgrammer::identityAnswer(int reader) const
{
    const ReaderSettings& settings = m_memory.current().readers[static_cast<std::size_t>(reader - 1)];
    std::vector<std::uint8_t> answer(32, 0x00);
    answer[0] = 0x00;
    answer[1] = readerDigit(reader);
    answer[2] = 'T';
    answer[3] = 'L';
    answer[4] = 'V';
    answer[5] = 'X';
    std::copy(m_serial.begin(), m_serial.end(), answer.begin() + 6);
    answer[22] = static_cast<std::uint8_t>(settings.clockHz >> 16);
    answer[23] = static_cast<std::uint8_t>(settings.clockHz >> 8);
    answer[24] = static_cast<std::uint8_t>(settings.clockHz);
    answer[25] = settings.speedCode;
    answer[26] = settings.parityCode;
    answer[27] = settings.addedStopBits;
    answer[30] = m_major & 0x0F;
    answer[31] = m_minor;
    return answer;
}

} // namespace talvex
