#include "sim/SimulatedProgrammer.h"

#include "protocol/CommandText.h"
#include "sim/SimulatedPortHost.h"

#include <algorithm>

namespace talvex {
namespace {

constexpr std::uint32_t kNormalBaud = 115200;
constexpr std::uint32_t kLowSpeedBaud = 9600;
// How long DTR must stay off for a low-speed-1 build to take the pulse.
constexpr Micros kDtrPulseMinimum = Millis(100);
// A command left incomplete this long is dropped.
constexpr Micros kCommandGap = Millis(100);
// The device's thinking time before it answers an identification.
constexpr Micros kIdentifyProcessing = Millis(5);

} // namespace

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

    void hostOpened(TimePoint) override
    {
        std::lock_guard lock(m_device.m_mutex);
        m_pending.clear();
        m_armed = false;
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
        if (m_dtr && !dtrOn) {
            m_dtrOffSince = time;
            m_armed = false;
        } else if (!m_dtr && dtrOn && time - m_dtrOffSince >= kDtrPulseMinimum) {
            m_armed = true;
        }
        m_dtr = dtrOn;
        m_rts = rtsOn;
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
            take(in);
        }
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

    void take(const Inbound& in)
    {
        if (!m_pending.empty() && in.arrival - m_lastArrival > kCommandGap)
            m_pending.clear();
        m_lastArrival = in.arrival;
        if (!listening(in.baudRate)) {
            m_pending.clear();
            return;
        }
        m_pending.push_back(in.byte);
        const std::size_t length = m_device.commandLength(m_pending);
        if (length == 0) {
            m_pending.clear();
            return;
        }
        if (m_pending.size() < length)
            return;

        ReceivedCommand command{m_index, m_pending, in.baudRate};
        m_pending.clear();
        m_device.m_received.push_back(command);
        std::vector<std::uint8_t> answer = m_device.answerFor(m_index, command.bytes);
        if (m_device.m_filter)
            answer = m_device.m_filter(command, std::move(answer));
        if (m_device.m_silent)
            answer.clear();
        m_output.emit(answer.data(), answer.size(), in.arrival + kIdentifyProcessing, in.baudRate);
    }

    SimulatedProgrammer& m_device;
    int m_index;
    std::deque<Inbound> m_inbound;
    std::vector<std::uint8_t> m_pending;
    TimePoint m_lastArrival{};
    OutputQueue m_output;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_armed = false;
    TimePoint m_dtrOffSince{};
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

void SimulatedProgrammer::setCardPresent(int reader, bool present)
{
    std::lock_guard lock(m_mutex);
    m_cards.at(static_cast<std::size_t>(reader - 1)) = present;
}

void SimulatedProgrammer::setPlugged(bool plugged)
{
    std::lock_guard lock(m_mutex);
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

SimulatedProgrammer::ReaderSettings SimulatedProgrammer::readerSettings(int reader) const
{
    std::lock_guard lock(m_mutex);
    return m_settings.at(static_cast<std::size_t>(reader - 1));
}

void SimulatedProgrammer::setReaderSettings(int reader, const ReaderSettings& settings)
{
    std::lock_guard lock(m_mutex);
    m_settings.at(static_cast<std::size_t>(reader - 1)) = settings;
}

std::vector<SimulatedProgrammer::ReceivedCommand> SimulatedProgrammer::receivedCommands() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

void SimulatedProgrammer::clearReceivedCommands()
{
    std::lock_guard lock(m_mutex);
    m_received.clear();
}

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

std::size_t SimulatedProgrammer::commandLength(const std::vector<std::uint8_t>& start) const
{
    if (start.empty())
        return 0;
    const std::uint8_t code = start[0];
    if (m_firmware == Firmware::BootLoader)
        return code == 0xA5 ? 1 : 0;
    switch (code) {
    case 0xA5:
    case 0x00:
        return 1;
    default:
        return 0;
    }
}

std::vector<std::uint8_t> SimulatedProgrammer::answerFor(int reader, const std::vector<std::uint8_t>& command)
{
    std::lock_guard lock(m_mutex);
    if (command.empty())
        return {};
    const std::uint8_t code = command[0];
    if (m_firmware == Firmware::BootLoader) {
        if (code == 0xA5 && reader == 1)
            return bootLoaderAnswer(reader);
        return {};
    }
    switch (code) {
    case 0xA5:
        return {static_cast<std::uint8_t>(reader == 1 ? 0xC1 : 0xC2), 0x00};
    case 0x00:
        return identityAnswer(reader);
    default:
        return {};
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
    const ReaderSettings& settings = m_settings[static_cast<std::size_t>(reader - 1)];
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
