#pragma once

#include "serial/SerialPort.h"
#include "sim/SimEndpoint.h"

#include <functional>
#include <memory>

namespace talvex {

/// A port whose far end is a simulated device. Bytes take their time on
/// the wire at the port's baud rate; reads wait through the clock, so the
/// same code runs in virtual time (tests) and real time (demo).
class SimulatedSerialPort final : public SerialPort {
public:
    SimulatedSerialPort(std::shared_ptr<SimEndpoint> endpoint, Clock& clock, LineSettings settings,
                        std::function<void()> onClose);
    ~SimulatedSerialPort() override;

    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool sendByte(std::uint8_t byte) override;
    bool writeBlock(const std::uint8_t* data, std::size_t length) override;
    ReadResult read(std::uint8_t* buffer, std::size_t capacity) override;
    std::optional<std::uint32_t> modemStatus() override;
    Status presence() override;
    LineSettings currentSettings() const override { return m_settings; }
    bool applyMode(const std::string& mode) override;

private:
    void transmit(std::uint8_t byte);
    int bitsPerCharacter() const;

    std::shared_ptr<SimEndpoint> m_endpoint;
    Clock& m_clock;
    LineSettings m_settings;
    std::function<void()> m_onClose;
    bool m_dtr = true;
    bool m_rts = true;
    TimePoint m_lineFreeAt{};
};

} // namespace talvex
