#include "sim/SimulatedFtdi.h"

#include <algorithm>
#include <cstring>

namespace talvex {
namespace {

constexpr std::uint32_t kDefaultId = 0x04036010; // FTDI's vendor ID, dual-channel product ID
constexpr char kChannelLetters[] = {'A', 'B'};
// What a dual-channel chip calls itself when its EEPROM holds no valid image.
constexpr const char* kBlankProduct = "Dual RS232";

void copyField(char* field, std::size_t size, const std::string& text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

} // namespace

SimulatedFtdi::SimulatedFtdi(const std::string& usbSerial, int hubPort)
    : m_hubPort(hubPort)
    , m_eeprom(buildEepromImage(usbSerial))
{
    enumerate();
}

std::string SimulatedFtdi::usbLocation() const
{
    return "2-" + std::to_string(m_hubPort);
}

bool SimulatedFtdi::ownsHandle(FtHandle handle) const
{
    std::lock_guard lock(m_mutex);
    return channelOf(handle) >= 0;
}

void SimulatedFtdi::enumerate()
{
    const bool valid = ftdiEepromChecksum(m_eeprom) == m_eeprom[kEepromChecksumWord] && m_eeprom[1] != 0xFFFF;
    const bool serialEnabled = (m_eeprom[5] & 0x0008) != 0;
    std::string serial;
    std::string product = kBlankProduct;
    std::uint32_t id = kDefaultId;
    if (valid) {
        if (serialEnabled)
            serial = eepromString(m_eeprom, kSerialPointerWord).value_or("");
        product = eepromString(m_eeprom, kProductPointerWord).value_or(kBlankProduct);
        id = static_cast<std::uint32_t>(m_eeprom[1]) << 16 | m_eeprom[2];
    }
    for (int i = 0; i < kChannels; ++i) {
        FtDeviceListInfoNode& record = m_records[static_cast<std::size_t>(i)];
        record = FtDeviceListInfoNode{};
        record.Type = fttype::kFt2232C;
        record.ID = id;
        // Bus 2, the hub port, then the interface from 1.
        record.LocId = 0x2000u | static_cast<std::uint32_t>(m_hubPort & 0xF) << 8 | 0x10u
                     | static_cast<std::uint32_t>(i + 1);
        // The driver tells the channels apart by a letter after each name.
        copyField(record.SerialNumber, sizeof record.SerialNumber, serial.empty() ? "" : serial + kChannelLetters[i]);
        copyField(record.Description, sizeof record.Description, product + ' ' + kChannelLetters[i]);
    }
}

FtStatus copyDeviceList(const std::vector<FtDeviceListInfoNode>& list, FtDeviceListInfoNode* records,
                        std::uint32_t& count)
{
    if (!records)
        return ftstatus::kInvalidParameter;
    const std::size_t n = std::min<std::size_t>(count, list.size());
    std::copy_n(list.begin(), n, records);
    count = static_cast<std::uint32_t>(n);
    return ftstatus::kOk;
}

int SimulatedFtdi::channelOf(FtHandle handle) const
{
    for (int i = 0; i < kChannels; ++i) {
        if (handle == &m_channels[static_cast<std::size_t>(i)] && m_channels[static_cast<std::size_t>(i)].open)
            return i;
    }
    return -1;
}

FtStatus SimulatedFtdi::createDeviceInfoList(std::uint32_t& count)
{
    std::lock_guard lock(m_mutex);
    m_list.clear();
    if (m_plugged) {
        for (int i = 0; i < kChannels; ++i) {
            FtDeviceListInfoNode record = m_records[static_cast<std::size_t>(i)];
            if (m_channels[static_cast<std::size_t>(i)].open) {
                record.Flags |= kFtFlagOpened;
                record.ftHandle = &m_channels[static_cast<std::size_t>(i)];
            }
            m_list.push_back(record);
        }
    }
    count = static_cast<std::uint32_t>(m_list.size());
    return ftstatus::kOk;
}

FtStatus SimulatedFtdi::getDeviceInfoList(FtDeviceListInfoNode* records, std::uint32_t& count)
{
    std::lock_guard lock(m_mutex);
    return copyDeviceList(m_list, records, count);
}

FtStatus SimulatedFtdi::open(int index, FtHandle& handle)
{
    std::lock_guard lock(m_mutex);
    if (!m_plugged || index < 0 || index >= kChannels)
        return ftstatus::kDeviceNotFound;
    Channel& channel = m_channels[static_cast<std::size_t>(index)];
    if (channel.openFailure != ftstatus::kOk)
        return channel.openFailure;
    if (channel.open)
        return ftstatus::kDeviceNotOpened;
    channel.open = true;
    handle = &channel;
    return ftstatus::kOk;
}

FtStatus SimulatedFtdi::eraseEe(FtHandle handle)
{
    std::lock_guard lock(m_mutex);
    if (channelOf(handle) < 0)
        return ftstatus::kInvalidHandle;
    m_eeprom.fill(0xFFFF); // an erased 93C46 reads all ones
    return ftstatus::kOk;
}

FtStatus SimulatedFtdi::writeEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t value)
{
    std::lock_guard lock(m_mutex);
    if (channelOf(handle) < 0)
        return ftstatus::kInvalidHandle;
    if (wordOffset >= kEepromWords)
        return ftstatus::kInvalidParameter;
    if (static_cast<int>(wordOffset) == m_failWord)
        return m_failWriteStatus;
    m_eeprom[wordOffset] = value;
    return ftstatus::kOk;
}

FtStatus SimulatedFtdi::readEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t& value)
{
    std::lock_guard lock(m_mutex);
    if (channelOf(handle) < 0)
        return ftstatus::kInvalidHandle;
    if (wordOffset >= kEepromWords)
        return ftstatus::kInvalidParameter;
    value = m_eeprom[wordOffset];
    return ftstatus::kOk;
}

FtStatus SimulatedFtdi::close(FtHandle handle)
{
    std::lock_guard lock(m_mutex);
    const int channel = channelOf(handle);
    if (channel < 0)
        return ftstatus::kInvalidHandle;
    m_channels[static_cast<std::size_t>(channel)].open = false;
    return ftstatus::kOk;
}

void SimulatedFtdi::setPlugged(bool plugged)
{
    std::lock_guard lock(m_mutex);
    if (plugged && !m_plugged)
        enumerate();
    if (!plugged) {
        for (Channel& channel : m_channels)
            channel.open = false;
    }
    m_plugged = plugged;
}

void SimulatedFtdi::replug()
{
    setPlugged(false);
    setPlugged(true);
}

EepromWords SimulatedFtdi::eeprom() const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom;
}

void SimulatedFtdi::setEeprom(const EepromWords& words)
{
    std::lock_guard lock(m_mutex);
    m_eeprom = words;
}

void SimulatedFtdi::failOpen(int channel, FtStatus status)
{
    std::lock_guard lock(m_mutex);
    if (channel >= 0 && channel < kChannels)
        m_channels[static_cast<std::size_t>(channel)].openFailure = status;
}

void SimulatedFtdi::failWrite(int word, FtStatus status)
{
    std::lock_guard lock(m_mutex);
    m_failWord = status == ftstatus::kOk ? -1 : word;
    m_failWriteStatus = status;
}

} // namespace talvex
