#include "sim/SimulatedFtdi.h"

#include <algorithm>

namespace talvex {

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

namespace {

Ft2232Chip factoryChip(const std::string& usbSerial, int hubPort, Ft2232Kind kind, EepromPart part)
{
    FtdiImageFields fields;
    fields.kind = kind;
    fields.part = part;
    fields.product = "TalvexUSB";
    fields.serial = usbSerial;
    // Bus 2: the root hub has address 1, each chip the next after its port.
    return Ft2232Chip::make(kind, part, buildFtdiImage(fields), 2, hubPort + 1, {hubPort});
}

} // namespace

SimulatedFtdi::SimulatedFtdi(const std::string& usbSerial, int hubPort, Ft2232Kind kind, EepromPart part)
    : SimulatedFtdi(factoryChip(usbSerial, hubPort, kind, part))
{
}

SimulatedFtdi::SimulatedFtdi(Ft2232Chip chip)
    : m_chip(std::move(chip))
{
    for (int i = 0; i < kChannels; ++i)
        m_slots[static_cast<std::size_t>(i)].channel = i;
}

std::string SimulatedFtdi::usbLocation() const
{
    std::lock_guard lock(m_mutex);
    return m_chip.location();
}

bool SimulatedFtdi::ownsHandle(FtHandle handle) const
{
    std::lock_guard lock(m_mutex);
    return slotOf(handle) != nullptr;
}

const SimulatedFtdi::Slot* SimulatedFtdi::slotOf(FtHandle handle) const
{
    for (const Slot& slot : m_slots) {
        if (handle == &slot && slot.held)
            return &slot;
    }
    return nullptr;
}

bool SimulatedFtdi::stale(const Slot& slot) const
{
    return !m_chip.plugged || slot.plugCount != m_chip.plugCount;
}

template<typename Action>
FtStatus SimulatedFtdi::withChannel(FtHandle handle, Action action)
{
    std::lock_guard lock(m_mutex);
    const Slot* slot = slotOf(handle);
    if (!slot)
        return ftstatus::kInvalidHandle;
    return stale(*slot) ? ftstatus::kIoError : action(slot->channel);
}

FtStatus SimulatedFtdi::createDeviceInfoList(std::uint32_t& count)
{
    std::lock_guard lock(m_mutex);
    m_list.clear();
    if (m_chip.plugged) {
        for (int i = 0; i < kChannels; ++i) {
            FtDeviceListInfoNode record = d2xxRecordOf(m_chip, i);
            if (m_chip.d2xxOpen[static_cast<std::size_t>(i)])
                record.ftHandle = &m_slots[static_cast<std::size_t>(i)];
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

FtStatus SimulatedFtdi::openChannel(int channel, FtHandle& handle)
{
    const FtStatus status = d2xxOpenChannel(m_chip, channel);
    if (status != ftstatus::kOk)
        return status;
    Slot& slot = m_slots[static_cast<std::size_t>(channel)];
    slot.plugCount = m_chip.plugCount;
    slot.held = true;
    handle = &slot;
    return ftstatus::kOk;
}

FtStatus SimulatedFtdi::open(int index, FtHandle& handle)
{
    std::lock_guard lock(m_mutex);
    if (!m_chip.plugged || index < 0 || index >= kChannels)
        return ftstatus::kDeviceNotFound;
    return openChannel(index, handle);
}

FtStatus SimulatedFtdi::openBySerial(const std::string& serial, FtHandle& handle)
{
    std::lock_guard lock(m_mutex);
    for (int i = 0; m_chip.plugged && !serial.empty() && i < kChannels; ++i) {
        if (d2xxDeviceInfo(m_chip, i).serialNumber == serial)
            return openChannel(i, handle);
    }
    return ftstatus::kDeviceNotFound;
}

FtStatus SimulatedFtdi::openByLocation(std::uint32_t locId, FtHandle& handle)
{
    std::lock_guard lock(m_mutex);
    for (int i = 0; m_chip.plugged && i < kChannels; ++i) {
        if (d2xxLocIdOf(m_chip, i) == locId)
            return openChannel(i, handle);
    }
    return ftstatus::kDeviceNotFound;
}

FtStatus SimulatedFtdi::getDeviceInfo(FtHandle handle, FtOpenedDevice& device)
{
    return withChannel(handle, [&](int channel) {
        device = d2xxDeviceInfo(m_chip, channel);
        return ftstatus::kOk;
    });
}

FtStatus SimulatedFtdi::eraseEe(FtHandle handle)
{
    return withChannel(handle, [&](int) { return d2xxEraseEe(m_chip); });
}

FtStatus SimulatedFtdi::writeEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t value)
{
    return withChannel(handle, [&](int) { return d2xxWriteEe(m_chip, wordOffset, value); });
}

FtStatus SimulatedFtdi::readEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t& value)
{
    return withChannel(handle, [&](int) { return d2xxReadEe(m_chip, wordOffset, value); });
}

FtStatus SimulatedFtdi::close(FtHandle handle)
{
    std::lock_guard lock(m_mutex);
    const Slot* found = slotOf(handle);
    if (!found)
        return ftstatus::kInvalidHandle;
    Slot& slot = m_slots[static_cast<std::size_t>(found->channel)];
    // A handle outlives its chip until it is closed.
    if (stale(slot)) {
        slot.held = false;
        return ftstatus::kOk;
    }
    const FtStatus status = d2xxCloseChannel(m_chip, slot.channel);
    if (status == ftstatus::kOk)
        slot.held = false;
    return status;
}

void SimulatedFtdi::setPlugged(bool plugged)
{
    std::lock_guard lock(m_mutex);
    if (plugged)
        m_chip.plugIn();
    else
        m_chip.unplug();
}

void SimulatedFtdi::replug()
{
    std::lock_guard lock(m_mutex);
    m_chip.replug(m_chip.address);
}

EepromWords SimulatedFtdi::eeprom() const
{
    std::lock_guard lock(m_mutex);
    EepromWords words{};
    std::copy_n(m_chip.eeprom.begin(), std::min(words.size(), m_chip.eeprom.size()), words.begin());
    return words;
}

std::vector<std::uint16_t> SimulatedFtdi::eepromPart() const
{
    std::lock_guard lock(m_mutex);
    return m_chip.eeprom;
}

void SimulatedFtdi::setEeprom(const EepromWords& words)
{
    std::lock_guard lock(m_mutex);
    std::copy_n(words.begin(), std::min(words.size(), m_chip.eeprom.size()), m_chip.eeprom.begin());
}

void SimulatedFtdi::setEepromPart(const std::vector<std::uint16_t>& words)
{
    std::lock_guard lock(m_mutex);
    m_chip.eeprom = words;
    m_chip.eeprom.resize(eepromPartWords(m_chip.part), 0xFFFF);
}

void SimulatedFtdi::failOpen(int channel, FtStatus status)
{
    std::lock_guard lock(m_mutex);
    if (channel >= 0 && channel < kChannels)
        m_chip.d2xxOpenFailure[static_cast<std::size_t>(channel)] = status;
}

void SimulatedFtdi::failWrite(int word, FtStatus status)
{
    std::lock_guard lock(m_mutex);
    m_chip.failWriteWord = status == ftstatus::kOk ? -1 : word;
    m_chip.d2xxWriteFailure = status;
}

Ft2232Chip SimulatedFtdi::chip() const
{
    std::lock_guard lock(m_mutex);
    return m_chip;
}

} // namespace talvex
