#pragma once

#include "protocol/DetectionResults.h"
#include "sim/SimEndpoint.h"

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace talvex {

class SimulatedPortHost;

/// A model of the programmer: two reader interfaces behind one FTDI chip,
/// both answering with the device's serial number, running either its
/// boot loader or its application firmware.
///
/// Where the device's behaviour is not pinned down by the host protocol,
/// the model makes a plausible choice (see docs/ARCHITECTURE.md): the
/// greeting to 0xA5 is 0xC1 on reader 1 and 0xC2 on reader 2; the boot
/// loader listens on reader 1 only; a low-speed build listens at 9600 baud
/// only, the first after a DTR pulse, the second while RTS is on and DTR off.
class SimulatedProgrammer {
public:
    enum class Firmware { Application, BootLoader };

    struct ReaderSettings {
        std::uint32_t clockHz = 4000000;
        std::uint8_t speedCode = 0x02;
        std::uint8_t parityCode = 0x00;
        std::uint8_t addedStopBits = 0x00;
    };

    /// One command as the device took it in.
    struct ReceivedCommand {
        int reader = 0;
        std::vector<std::uint8_t> bytes;
        std::uint32_t baudRate = 0;
    };

    /// Lets a test replace the device's answer: given the command and the
    /// answer the device would give, returns what it gives instead.
    using AnswerFilter = std::function<std::vector<std::uint8_t>(const ReceivedCommand&, std::vector<std::uint8_t>)>;

    explicit SimulatedProgrammer(SpeedVariant variant = SpeedVariant::Normal,
                                 std::string serialNumber = "0123456789ABCDEF0123456789ABCDEF");

    /// The endpoint of reader 1 or 2, to attach to a port. The device must
    /// outlive every host it is attached to.
    std::shared_ptr<SimEndpoint> reader(int index);
    void attachTo(SimulatedPortHost& host, const std::string& reader1Port, const std::string& reader2Port);

    void setSerialNumber(const std::string& hex32);
    std::string serialNumber() const;
    void setFirmwareVersion(std::uint8_t major, std::uint8_t minor);
    void setFirmware(Firmware firmware);
    Firmware firmware() const;
    void setVariant(SpeedVariant variant);
    SpeedVariant variant() const;

    void setCardPresent(int reader, bool present);
    void setPlugged(bool plugged);
    bool plugged() const;
    /// For a pseudo-terminal, which carries no modem lines: listen as if
    /// the line sequence of the device's variant had been given.
    void setIgnoreLines(bool ignore);
    void setSilent(bool silent);
    void setAnswerFilter(AnswerFilter filter);

    ReaderSettings readerSettings(int reader) const;
    void setReaderSettings(int reader, const ReaderSettings& settings);

    std::vector<ReceivedCommand> receivedCommands() const;
    void clearReceivedCommands();

    /// Answers a complete command as the device would (no timing); empty
    /// when it stays silent. Public so tests and the pty server share it.
    std::vector<std::uint8_t> answerFor(int reader, const std::vector<std::uint8_t>& command);

    /// How many bytes the command starting with these bytes has; 0 when
    /// the device does not know it.
    std::size_t commandLength(const std::vector<std::uint8_t>& start) const;

private:
    class Interface;
    friend class Interface;

    std::vector<std::uint8_t> identityAnswer(int reader) const;
    std::vector<std::uint8_t> bootLoaderAnswer(int reader) const;
    std::uint8_t readerDigit(int reader) const;
    std::uint32_t listeningBaud() const;

    mutable std::recursive_mutex m_mutex;
    std::array<std::shared_ptr<Interface>, 2> m_interfaces;
    std::array<std::uint8_t, 16> m_serial{};
    std::uint8_t m_major = 1;
    std::uint8_t m_minor = 0x0A;
    Firmware m_firmware = Firmware::Application;
    SpeedVariant m_variant;
    std::array<ReaderSettings, 2> m_settings{};
    std::array<bool, 2> m_cards{};
    bool m_plugged = true;
    bool m_ignoreLines = false;
    bool m_silent = false;
    AnswerFilter m_filter;
    std::vector<ReceivedCommand> m_received;
};

} // namespace talvex
