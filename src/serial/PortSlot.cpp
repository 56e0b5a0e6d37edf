#include "serial/PortSlot.h"

namespace talvex {
namespace {

// How much more than the caller's buffer we swallow from a device that
// will not stop, before giving up on it: a few answers' worth.
constexpr std::size_t kDrainLimit = 4096;

} // namespace

Result<void> PortSlot::open(PortHost& host, const std::string& name, const std::string& mode)
{
    close();
    OpenResult result = host.open(name, mode);
    if (!result)
        return result.failure();
    std::lock_guard lock(m_mutex);
    m_port = std::move(*result);
    m_name = name;
    return {};
}

void PortSlot::close()
{
    std::unique_ptr<SerialPort> closing;
    {
        std::lock_guard lock(m_mutex);
        closing = std::move(m_port);
    }
    // Destroyed outside the lock: closing a real port may take a while.
}

bool PortSlot::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_port != nullptr;
}

std::string PortSlot::name() const
{
    std::lock_guard lock(m_mutex);
    return m_name;
}

bool PortSlot::setDtr(bool on)
{
    std::lock_guard lock(m_mutex);
    return m_port && m_port->setDtr(on);
}

bool PortSlot::setRts(bool on)
{
    std::lock_guard lock(m_mutex);
    return m_port && m_port->setRts(on);
}

bool PortSlot::sendByte(std::uint8_t byte)
{
    std::lock_guard lock(m_mutex);
    return m_port && m_port->sendByte(byte);
}

bool PortSlot::writeBlock(const std::uint8_t* data, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    return m_port && m_port->writeBlock(data, length);
}

ReadResult PortSlot::read(std::uint8_t* buffer, std::size_t capacity)
{
    std::lock_guard lock(m_mutex);
    if (!m_port)
        return {0, Status::Other};
    return m_port->read(buffer, capacity);
}

PortSlot::Answer PortSlot::readAnswer(std::size_t capacity)
{
    Answer answer;
    std::size_t seen = 0;
    while (seen < capacity + kDrainLimit) {
        std::uint8_t byte = 0;
        const ReadResult result = read(&byte, 1);
        if (result.count == 0) {
            answer.end = result.status;
            break;
        }
        ++seen;
        if (answer.bytes.size() < capacity)
            answer.bytes.push_back(byte);
    }
    return answer;
}

std::optional<std::uint32_t> PortSlot::modemStatus()
{
    std::lock_guard lock(m_mutex);
    if (!m_port)
        return std::nullopt;
    return m_port->modemStatus();
}

Status PortSlot::presence()
{
    std::lock_guard lock(m_mutex);
    return m_port ? m_port->presence() : Status::Other;
}

bool PortSlot::ctsOn()
{
    const auto status = modemStatus();
    return status && (*status & kModemStatusCts) != 0;
}

std::optional<LineSettings> PortSlot::currentSettings() const
{
    std::lock_guard lock(m_mutex);
    if (!m_port)
        return std::nullopt;
    return m_port->currentSettings();
}

bool PortSlot::applyMode(const std::string& mode)
{
    std::lock_guard lock(m_mutex);
    return m_port && m_port->applyMode(mode);
}

} // namespace talvex
