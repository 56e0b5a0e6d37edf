#pragma once

#include "protocol/DetectionResults.h"
#include "sim/BootLoader.h"
#include "sim/SettingsMemory.h"
#include "sim/SimEndpoint.h"
#include "sim/SimulatedCard.h"

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
/// Every build knows the settings commands; its listening condition decides
/// whether it hears them. Settings live in a SettingsMemory: what the
/// device runs with and the copy in flash it starts from after a replug.
///
/// Each build goes back to its boot loader on its own back-to-boot command
/// (FF; AA AA AA for the first low-speed build; BB for the second), answered
/// with the code and 00. The boot loader (see BootLoader) then runs at once,
/// and again after every re-plug until an upload has programmed all blocks;
/// a device left with a half-written image also starts in its boot loader.
class SimulatedProgrammer {
public:
    enum class Firmware { Application, BootLoader };

    using ReaderSettings = SimReaderSettings;

    /// One command as the device took it in.
    struct ReceivedCommand {
        int reader = 0;
        std::vector<std::uint8_t> bytes;
        std::uint32_t baudRate = 0;
        TimePoint at{}; ///< when the device knew the command was complete
    };

    /// A change of the modem lines the host drives, as the device saw it.
    struct LineChange {
        int reader = 0;
        bool dtr = false;
        bool rts = false;
        TimePoint at{};
    };

    /// How far the bytes received so far make a command.
    enum class Framing {
        Unknown,              ///< no command starts like this: drop it
        Incomplete,           ///< more bytes must follow
        Complete,             ///< a whole command
        CompleteAfterSilence, ///< whole unless more bytes follow at once
    };

    /// Lets a test replace the device's answer: given the command and the
    /// answer the device would give, returns what it gives instead.
    using AnswerFilter = std::function<std::vector<std::uint8_t>(const ReceivedCommand&, std::vector<std::uint8_t>)>;

    /// The user's hands: pulling the plug while the tool waits for it, and
    /// plugging it back in while the tool tries to open the port.
    struct PlugScript {
        /// After a back-to-boot command, the plug is pulled once the boot
        /// loader has answered this many 0xA5 polls (negative: never).
        int unplugAfterPolls = -1;
        /// An unplugged device comes back after this many failed opens of
        /// one of its ports (negative: never); the next open finds it.
        int replugAfterOpenAttempts = -1;
        /// A device with this serial number is plugged in instead.
        std::string serialOnReplug;
        /// The plug is pulled as the frame of this block (0-based) comes
        /// in, once (negative: never): a cable knocked out mid-upload.
        int unplugAtBlock = -1;
    };

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
    /// The card in a reader: its ATR, sent after an RTS reset pulse.
    void setCardAtr(int reader, std::vector<std::uint8_t> atr);
    void setPlugged(bool plugged);
    bool plugged() const;
    /// For a pseudo-terminal, which carries no modem lines: listen as if
    /// the line sequence of the device's variant had been given.
    void setIgnoreLines(bool ignore);
    void setSilent(bool silent);
    void setAnswerFilter(AnswerFilter filter);
    void setPlugScript(PlugScript script);

    /// Boot loader timing and faults.
    void setEraseTime(Micros time);
    void setBlockFlashTime(Micros time);
    /// Models the FTDI chip between the device and the host: a short answer
    /// waits for the chip's latency timer (`timer`, 16 ms by default on a
    /// real chip) after its last byte, or 1 ms on a port whose host asked
    /// for low latency. Zero, the default, is an ideal link.
    void setFtdiLatencyTimer(Micros timer);
    /// The next `times` frames for block `block` (0-based) meet `fault`.
    void injectBlockFault(int block, BlockFault fault, int times = 1);
    /// The 102,400 bytes of flash the boot loader programs.
    std::vector<std::uint8_t> programmedImage() const;
    /// Blocks written since the last erase.
    int acceptedBlocks() const;

    /// Reader 1 or 2's card port as the device runs it.
    ReaderSettings readerSettings(int reader) const;
    /// Prepares a reader's card port, in use and in flash.
    void setReaderSettings(int reader, const ReaderSettings& settings);
    /// What the device runs with, and what its flash holds.
    DeviceSettings settings() const;
    DeviceSettings savedSettings() const;
    /// Prepares all settings, in use and in flash.
    void setSettings(const DeviceSettings& settings);

    std::vector<ReceivedCommand> receivedCommands() const;
    std::vector<LineChange> lineChanges() const;
    /// Forgets the commands and line changes seen so far.
    void clearReceivedCommands();

    /// Answers a complete command as the device would (no timing); empty
    /// when it stays silent. Public so tests and the pty server share it.
    std::vector<std::uint8_t> answerFor(int reader, const std::vector<std::uint8_t>& command);

    /// Frames commands by their known lengths. Only "FD 00" and "FD 01"
    /// are ambiguous (a mode switch, or the start of an ATR mode write):
    /// they end when no further byte follows within a short silence.
    Framing framing(const std::vector<std::uint8_t>& start) const;

    /// How long the device works on a command before it answers.
    Micros thinkingTime(const std::vector<std::uint8_t>& command) const;

private:
    class Interface;
    friend class Interface;

    std::vector<std::uint8_t> identityAnswer(int reader) const;
    std::vector<std::uint8_t> bootLoaderAnswer(int reader) const;
    std::uint8_t readerDigit(int reader) const;
    std::uint32_t listeningBaud() const;
    bool isBackToBoot(const std::vector<std::uint8_t>& command) const;
    std::size_t backToBootLength(std::uint8_t code) const;
    std::vector<std::uint8_t> bootLoaderCommand(int reader, const std::vector<std::uint8_t>& command);
    // The plug script's hands.
    bool unplugDueAt(const std::vector<std::uint8_t>& command);
    void openAttempted();

    mutable std::recursive_mutex m_mutex;
    std::array<std::shared_ptr<Interface>, 2> m_interfaces;
    std::array<std::uint8_t, 16> m_serial{};
    std::uint8_t m_major = 1;
    std::uint8_t m_minor = 0x0A;
    Firmware m_firmware = Firmware::Application;
    SpeedVariant m_variant;
    SettingsMemory m_memory;
    std::array<bool, 2> m_cards{};
    std::array<SimulatedCard, 2> m_cardModels{};
    bool m_plugged = true;
    BootLoader m_bootLoader;
    // Back-to-boot asked for the boot loader at the next start as well.
    bool m_bootOnPowerUp = false;
    PlugScript m_plugScript;
    bool m_unplugArmed = false;
    int m_pollsSinceBackToBoot = 0;
    int m_failedOpensWhileUnplugged = 0;
    bool m_ignoreLines = false;
    bool m_silent = false;
    Micros m_latencyTimer{};
    AnswerFilter m_filter;
    std::vector<ReceivedCommand> m_received;
    std::vector<LineChange> m_lineChanges;
};

} // namespace talvex
