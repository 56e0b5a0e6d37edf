#include "sim/SimulatedProgrammer.h"

#include "firmware/BootModeSwitch.h"
#include "firmware/FirmwareProtocol.h"
#include "protocol/CommandText.h"
#include "protocol/Identification.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammerCommands.h"

#include <algorithm>

namespace talvex {

using namespace simdevice;

/// One reader's UART of the device.
class SimulatedProgrammer::Interface final : public SimEndpoint {
public:
    Interface(SimulatedProgrammer& device, int index)
        : m_device(device)
        , m_index(index)
    {
    }

    bool present() const override
    {
        std::lock_guard lock(m_device.m_mutex);
        return m_device.m_plugged;
    }

    void openAttempted(TimePoint) override
    {
        std::lock_guard lock(m_device.m_mutex);
        m_device.openAttempted();
    }

    void hostOpened(TimePoint) override
    {
        std::lock_guard lock(m_device.m_mutex);
        m_pending.clear();
        m_armed = false;
        m_lowLatency = false; // each open starts with the driver's timer
    }

    void lowLatencyRequested() override
    {
        std::lock_guard lock(m_device.m_mutex);
        m_lowLatency = true;
    }

    // How long the chip holds a short answer back.
    Micros holdBack() const
    {
        if (m_device.m_latencyTimer <= Micros::zero())
            return Micros::zero();
        return m_lowLatency ? Millis(1) : m_device.m_latencyTimer;
    }

    void hostClosed(TimePoint time) override
    {
        std::lock_guard lock(m_device.m_mutex);
        m_pending.clear();
        m_output.clear();
        // A closed port drops its lines.
        m_dtr = false;
        m_rts = false;
        m_armed = false;
        m_dtrOffSince = time;
    }

    void linesChanged(bool dtrOn, bool rtsOn, TimePoint time) override
    {
        std::lock_guard lock(m_device.m_mutex);
        m_device.m_lineChanges.push_back({m_index, dtrOn, rtsOn, time});
        if (m_dtr && !dtrOn) {
            m_dtrOffSince = time;
            m_armed = false;
        } else if (!m_dtr && dtrOn && time - m_dtrOffSince >= kDtrPulseMinimum) {
            m_armed = true;
        }
        if (!m_rts && rtsOn) {
            m_rtsOnSince = time;
        } else if (m_rts && !rtsOn) {
            const Micros held = time - m_rtsOnSince;
            if (held >= kResetPulseMinimum && held <= kResetPulseMaximum)
                answerReset(time);
        }
        m_dtr = dtrOn;
        m_rts = rtsOn;
    }

    // The card in this reader answers the end of its reset with its ATR.
    void answerReset(TimePoint time)
    {
        const std::size_t slot = static_cast<std::size_t>(m_index - 1);
        if (!m_device.m_cards[slot] || m_device.m_firmware != Firmware::Application || m_device.m_silent)
            return;
        const std::vector<std::uint8_t>& atr = m_device.m_cardModels[slot].atr();
        m_output.emit(atr.data(), atr.size(), time + kAtrDelay, m_device.listeningBaud(), holdBack());
    }

    bool refusesWrite() override
    {
        std::lock_guard lock(m_device.m_mutex);
        return m_device.m_firmware == Firmware::BootLoader && m_device.m_bootLoader.takeWriteRefusal();
    }

    void receive(std::uint8_t byte, TimePoint arrival, std::uint32_t baudRate) override
    {
        std::lock_guard lock(m_device.m_mutex);
        m_inbound.push_back({byte, arrival, baudRate});
    }

    void advanceTo(TimePoint time) override
    {
        std::lock_guard lock(m_device.m_mutex);
        while (!m_inbound.empty() && m_inbound.front().arrival <= time) {
            const Inbound in = m_inbound.front();
            m_inbound.pop_front();
            settle(in.arrival);
            take(in);
        }
        settle(time);
    }

    std::optional<TimePoint> nextOutput() override
    {
        std::lock_guard lock(m_device.m_mutex);
        return m_output.nextArrival();
    }

    std::size_t takeOutput(TimePoint upTo, std::uint8_t* buffer, std::size_t capacity) override
    {
        std::lock_guard lock(m_device.m_mutex);
        return m_output.take(upTo, buffer, capacity);
    }

    bool cts() const override
    {
        std::lock_guard lock(m_device.m_mutex);
        return m_device.m_plugged && m_device.m_cards[m_index - 1];
    }

    void dropEverything()
    {
        m_inbound.clear();
        m_pending.clear();
        m_output.clear();
    }

private:
    struct Inbound {
        std::uint8_t byte;
        TimePoint arrival;
        std::uint32_t baudRate;
    };

    bool listening(std::uint32_t baudRate) const
    {
        if (baudRate != m_device.listeningBaud())
            return false;
        if (m_device.m_ignoreLines)
            return true;
        if (m_device.m_firmware == Firmware::BootLoader)
            return m_dtr;
        switch (m_device.m_variant) {
        case SpeedVariant::LowSpeed1: return m_armed && m_dtr;
        case SpeedVariant::LowSpeed2: return m_rts && !m_dtr;
        case SpeedVariant::Normal: break;
        }
        return m_dtr;
    }

    // What the silence up to `time` ends: a command that may stop early is
    // complete; a fragment left too long is dropped.
    void settle(TimePoint time)
    {
        if (m_pending.empty())
            return;
        const Micros silence = time - m_lastArrival;
        if (m_pendingFraming == Framing::CompleteAfterSilence && silence >= kCommandEndSilence)
            finish(m_lastArrival + kCommandEndSilence);
        else if (silence > kCommandGap)
            m_pending.clear();
    }

    void take(const Inbound& in)
    {
        m_lastArrival = in.arrival;
        if (!listening(in.baudRate)) {
            m_pending.clear();
            return;
        }
        m_pending.push_back(in.byte);
        m_pendingBaud = in.baudRate;
        m_pendingFraming = m_device.framing(m_pending);
        switch (m_pendingFraming) {
        case Framing::Unknown: m_pending.clear(); break;
        case Framing::Incomplete:
        case Framing::CompleteAfterSilence: break;
        case Framing::Complete: finish(in.arrival); break;
        }
    }

    void finish(TimePoint at)
    {
        ReceivedCommand command{m_index, m_pending, m_pendingBaud, at};
        m_pending.clear();
        m_device.m_received.push_back(command);
        if (m_device.unplugDueAt(command.bytes)) {
            m_device.setPlugged(false);
            return;
        }
        // Before the answer: back-to-boot changes the firmware that answers.
        const Micros thinking = m_device.thinkingTime(command.bytes);
        std::vector<std::uint8_t> answer = m_device.answerFor(m_index, command.bytes);
        const Micros late = m_device.m_bootLoader.takeAnswerDelay();
        if (m_device.m_filter)
            answer = m_device.m_filter(command, std::move(answer));
        if (m_device.m_silent)
            answer.clear();
        m_output.emit(answer.data(), answer.size(), at + thinking + late, command.baudRate, holdBack());
    }

    SimulatedProgrammer& m_device;
    int m_index;
    std::deque<Inbound> m_inbound;
    std::vector<std::uint8_t> m_pending;
    Framing m_pendingFraming = Framing::Unknown;
    std::uint32_t m_pendingBaud = 0;
    TimePoint m_lastArrival{};
    OutputQueue m_output;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_armed = false;
    bool m_lowLatency = false;
    TimePoint m_dtrOffSince{};
    TimePoint m_rtsOnSince{};
};

SimulatedProgrammer::SimulatedProgrammer(SpeedVariant variant, std::string serialNumber)
    : m_variant(variant)
{
    m_interfaces[0] = std::make_shared<Interface>(*this, 1);
    m_interfaces[1] = std::make_shared<Interface>(*this, 2);
    setSerialNumber(serialNumber);
}

std::shared_ptr<SimEndpoint> SimulatedProgrammer::reader(int index)
{
    return m_interfaces.at(static_cast<std::size_t>(index - 1));
}

void SimulatedProgrammer::attachTo(SimulatedPortHost& host, const std::string& reader1Port,
                                   const std::string& reader2Port)
{
    host.attach(reader1Port, reader(1));
    host.attach(reader2Port, reader(2));
}

void SimulatedProgrammer::setSerialNumber(const std::string& hex32)
{
    std::lock_guard lock(m_mutex);
    const auto bytes = commandFrame(hex32);
    m_serial.fill(0);
    if (bytes)
        std::copy_n(bytes->begin(), std::min<std::size_t>(bytes->size(), m_serial.size()), m_serial.begin());
}

std::string SimulatedProgrammer::serialNumber() const
{
    std::lock_guard lock(m_mutex);
    return toHexText(std::vector<std::uint8_t>(m_serial.begin(), m_serial.end()));
}

void SimulatedProgrammer::setFirmwareVersion(std::uint8_t major, std::uint8_t minor)
{
    std::lock_guard lock(m_mutex);
    m_major = major;
    m_minor = minor;
}

void SimulatedProgrammer::setFirmware(Firmware firmware)
{
    std::lock_guard lock(m_mutex);
    m_firmware = firmware;
    // A device parked in its boot loader stays there across a re-plug.
    m_bootOnPowerUp = firmware == Firmware::BootLoader;
}

SimulatedProgrammer::Firmware SimulatedProgrammer::firmware() const
{
    std::lock_guard lock(m_mutex);
    return m_firmware;
}

void SimulatedProgrammer::setVariant(SpeedVariant variant)
{
    std::lock_guard lock(m_mutex);
    m_variant = variant;
}

SpeedVariant SimulatedProgrammer::variant() const
{
    std::lock_guard lock(m_mutex);
    return m_variant;
}

void SimulatedProgrammer::setCardAtr(int reader, std::vector<std::uint8_t> atr)
{
    std::lock_guard lock(m_mutex);
    m_cardModels.at(static_cast<std::size_t>(reader - 1)).setAtr(std::move(atr));
}

void SimulatedProgrammer::setCardPresent(int reader, bool present)
{
    std::lock_guard lock(m_mutex);
    m_cards.at(static_cast<std::size_t>(reader - 1)) = present;
}

void SimulatedProgrammer::setPlugged(bool plugged)
{
    std::lock_guard lock(m_mutex);
    if (plugged && !m_plugged) {
        // Plugged in again: the device starts from flash.
        m_memory.powerUp();
        m_bootLoader.powerUp();
        const bool boot = m_bootOnPowerUp || !m_bootLoader.applicationIntact();
        m_firmware = boot ? Firmware::BootLoader : Firmware::Application;
    }
    if (!plugged && m_plugged)
        m_failedOpensWhileUnplugged = 0;
    m_plugged = plugged;
    if (!plugged) {
        for (auto& interface : m_interfaces)
            interface->dropEverything();
    }
}

bool SimulatedProgrammer::plugged() const
{
    std::lock_guard lock(m_mutex);
    return m_plugged;
}

void SimulatedProgrammer::setIgnoreLines(bool ignore)
{
    std::lock_guard lock(m_mutex);
    m_ignoreLines = ignore;
}

void SimulatedProgrammer::setSilent(bool silent)
{
    std::lock_guard lock(m_mutex);
    m_silent = silent;
}

void SimulatedProgrammer::setAnswerFilter(AnswerFilter filter)
{
    std::lock_guard lock(m_mutex);
    m_filter = std::move(filter);
}

void SimulatedProgrammer::setPlugScript(PlugScript script)
{
    std::lock_guard lock(m_mutex);
    m_plugScript = std::move(script);
}

void SimulatedProgrammer::setEraseTime(Micros time)
{
    std::lock_guard lock(m_mutex);
    m_bootLoader.setEraseTime(time);
}

void SimulatedProgrammer::setFtdiLatencyTimer(Micros timer)
{
    std::lock_guard lock(m_mutex);
    m_latencyTimer = timer;
}

void SimulatedProgrammer::setBlockFlashTime(Micros time)
{
    std::lock_guard lock(m_mutex);
    m_bootLoader.setFlashTime(time);
}

void SimulatedProgrammer::injectBlockFault(int block, BlockFault fault, int times)
{
    std::lock_guard lock(m_mutex);
    m_bootLoader.injectFault(block, fault, times);
}

std::vector<std::uint8_t> SimulatedProgrammer::programmedImage() const
{
    std::lock_guard lock(m_mutex);
    return m_bootLoader.image();
}

int SimulatedProgrammer::acceptedBlocks() const
{
    std::lock_guard lock(m_mutex);
    return m_bootLoader.acceptedBlocks();
}

bool SimulatedProgrammer::unplugDueAt(const std::vector<std::uint8_t>& command)
{
    if (m_plugScript.unplugAtBlock >= 0 && !command.empty() && command[0] == kProgramBlockCode
        && m_bootLoader.acceptedBlocks() == m_plugScript.unplugAtBlock) {
        m_plugScript.unplugAtBlock = -1;
        return true;
    }
    if (!m_unplugArmed || m_plugScript.unplugAfterPolls < 0 || m_firmware != Firmware::BootLoader)
        return false;
    if (command.size() != 1 || command[0] != kIdentifyCode)
        return false;
    if (m_pollsSinceBackToBoot < m_plugScript.unplugAfterPolls) {
        ++m_pollsSinceBackToBoot;
        return false;
    }
    m_unplugArmed = false;
    return true;
}

void SimulatedProgrammer::openAttempted()
{
    if (m_plugged || m_plugScript.replugAfterOpenAttempts < 0)
        return;
    if (m_failedOpensWhileUnplugged++ < m_plugScript.replugAfterOpenAttempts)
        return;
    if (!m_plugScript.serialOnReplug.empty())
        setSerialNumber(m_plugScript.serialOnReplug);
    setPlugged(true);
}

SimulatedProgrammer::ReaderSettings SimulatedProgrammer::readerSettings(int reader) const
{
    std::lock_guard lock(m_mutex);
    return m_memory.current().readers.at(static_cast<std::size_t>(reader - 1));
}

void SimulatedProgrammer::setReaderSettings(int reader, const ReaderSettings& settings)
{
    std::lock_guard lock(m_mutex);
    DeviceSettings all = m_memory.current();
    all.readers.at(static_cast<std::size_t>(reader - 1)) = settings;
    m_memory.preset(all);
}

DeviceSettings SimulatedProgrammer::settings() const
{
    std::lock_guard lock(m_mutex);
    return m_memory.current();
}

DeviceSettings SimulatedProgrammer::savedSettings() const
{
    std::lock_guard lock(m_mutex);
    return m_memory.saved();
}

void SimulatedProgrammer::setSettings(const DeviceSettings& settings)
{
    std::lock_guard lock(m_mutex);
    m_memory.preset(settings);
}

std::vector<SimulatedProgrammer::ReceivedCommand> SimulatedProgrammer::receivedCommands() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<SimulatedProgrammer::LineChange> SimulatedProgrammer::lineChanges() const
{
    std::lock_guard lock(m_mutex);
    return m_lineChanges;
}

void SimulatedProgrammer::clearReceivedCommands()
{
    std::lock_guard lock(m_mutex);
    m_received.clear();
    m_lineChanges.clear();
}

} // namespace talvex
