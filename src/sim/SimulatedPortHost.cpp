#include "sim/SimulatedPortHost.h"

#include "sim/SimulatedFtdi.h"
#include "sim/SimulatedSerialPort.h"

#include <algorithm>
#include <vector>

namespace talvex {

namespace simusb {

UsbIdentity ft2232(const std::string& serial, int interfaceNumber, const std::string& location,
                   const std::string& product)
{
    return {kFtdiVendorId, 0x6010, serial, interfaceNumber, "FTDI", product, location};
}

UsbIdentity cp210x(const std::string& serial, const std::string& location)
{
    return {0x10c4, 0xea60, serial, 0, "Silicon Labs", "CP2102 USB to UART Bridge Controller", location};
}

UsbIdentity cdcAcmBoard(const std::string& serial, const std::string& location)
{
    return {0x2341, 0x0043, serial, 0, "Arduino (www.arduino.cc)", "Arduino Uno", location};
}

} // namespace simusb

namespace {

// What a system reads from the chip: the D2XX record of one channel, which
// carries the EEPROM's serial and product with the channel letter added.
std::optional<UsbIdentity> ftdiChannel(SimulatedFtdi& chip, int channel)
{
    std::uint32_t count = 0;
    if (chip.createDeviceInfoList(count) != ftstatus::kOk || count <= static_cast<std::uint32_t>(channel))
        return std::nullopt;
    std::vector<FtDeviceListInfoNode> records(count);
    if (chip.getDeviceInfoList(records.data(), count) != ftstatus::kOk || count <= static_cast<std::uint32_t>(channel))
        return std::nullopt;
    const FtDeviceListInfoNode& record = records[static_cast<std::size_t>(channel)];
    const auto field = [](const char* text, std::size_t size) {
        return std::string(text, std::find(text, text + size, '\0'));
    };
    std::string serial = field(record.SerialNumber, sizeof record.SerialNumber);
    std::string product = field(record.Description, sizeof record.Description);
    const char letter = static_cast<char>('A' + channel);
    if (!serial.empty() && serial.back() == letter)
        serial.pop_back();
    if (product.size() >= 2 && product.back() == letter && product[product.size() - 2] == ' ')
        product.resize(product.size() - 2);
    UsbIdentity usb = simusb::ft2232(serial, channel, chip.usbLocation(), product);
    usb.vendorId = static_cast<std::uint16_t>(record.ID >> 16);
    usb.productId = static_cast<std::uint16_t>(record.ID & 0xFFFF);
    return usb;
}

} // namespace

SimulatedPortHost::SimulatedPortHost(Clock& clock, int portCount)
    : m_clock(clock)
    , m_portCount(portCount)
{
}

void SimulatedPortHost::attach(const std::string& name, std::shared_ptr<SimEndpoint> endpoint)
{
    std::lock_guard lock(m_mutex);
    m_endpoints[name] = std::move(endpoint);
}

void SimulatedPortHost::detach(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    m_endpoints.erase(name);
}

void SimulatedPortHost::markBusy(const std::string& name, bool busy)
{
    std::lock_guard lock(m_mutex);
    if (busy)
        m_busy.insert(name);
    else
        m_busy.erase(name);
}

void SimulatedPortHost::setUsbIdentity(const std::string& name, std::optional<UsbIdentity> usb)
{
    std::lock_guard lock(m_mutex);
    if (usb)
        m_usb[name] = [usb] { return usb; };
    else
        m_usb.erase(name);
}

void SimulatedPortHost::attachFtdiChip(std::shared_ptr<SimulatedFtdi> chip, const std::string& interfaceA,
                                       const std::string& interfaceB)
{
    std::lock_guard lock(m_mutex);
    m_usb[interfaceA] = [chip] { return ftdiChannel(*chip, 0); };
    m_usb[interfaceB] = [chip] { return ftdiChannel(*chip, 1); };
}

std::vector<PortInfo> SimulatedPortHost::listPorts()
{
    std::map<std::string, std::function<std::optional<UsbIdentity>()>> usb;
    {
        std::lock_guard lock(m_mutex);
        usb = m_usb;
    }
    std::vector<PortInfo> ports;
    for (int n = 1; n <= m_portCount; ++n) {
        PortInfo port{"COM" + std::to_string(n), std::nullopt};
        if (const auto found = usb.find(port.name); found != usb.end())
            port.usb = found->second();
        ports.push_back(std::move(port));
    }
    return ports;
}

OpenResult SimulatedPortHost::open(const std::string& name, const std::string& mode)
{
    std::shared_ptr<SimEndpoint> endpoint;
    {
        std::lock_guard lock(m_mutex);
        ++m_openAttempts[name];
        const auto found = m_endpoints.find(name);
        if (found != m_endpoints.end())
            endpoint = found->second;
        if (endpoint)
            endpoint->openAttempted(m_clock.now());
        if (!endpoint || !endpoint->present())
            return fail(Status::Gone, name + ": The system cannot find the file specified.");
        if (m_busy.count(name) || m_open.count(name))
            return fail(Status::Busy, name + ": Access is denied (the port is in use).");
    }
    const auto settings = parseModeString(mode);
    if (!settings)
        return fail(Status::Other, name + ": invalid mode \"" + mode + "\"");

    std::lock_guard lock(m_mutex);
    m_open.insert(name);
    ++m_openCounts[name];
    auto port = std::make_unique<SimulatedSerialPort>(endpoint, m_clock, *settings, [this, name] {
        std::lock_guard closeLock(m_mutex);
        m_open.erase(name);
    });
    // As the native host does for an FTDI port; other endpoints ignore it.
    if (m_asksLowLatency)
        endpoint->lowLatencyRequested();
    return OpenResult(std::unique_ptr<SerialPort>(std::move(port)));
}

int SimulatedPortHost::openCount(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_openCounts.find(name);
    return found == m_openCounts.end() ? 0 : found->second;
}

int SimulatedPortHost::openAttempts(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_openAttempts.find(name);
    return found == m_openAttempts.end() ? 0 : found->second;
}

} // namespace talvex
