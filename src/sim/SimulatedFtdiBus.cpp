#include "sim/SimulatedFtdiBus.h"

#include <algorithm>

namespace talvex {

SimulatedFtdiBus::SimulatedFtdiBus(std::vector<std::shared_ptr<SimulatedFtdi>> chips)
    : m_chips(std::move(chips))
{
}

FtStatus SimulatedFtdiBus::createDeviceInfoList(std::uint32_t& count)
{
    std::lock_guard lock(m_mutex);
    m_list.clear();
    m_origin.clear();
    for (const std::shared_ptr<SimulatedFtdi>& chip : m_chips) {
        std::uint32_t chipCount = 0;
        if (const FtStatus status = chip->createDeviceInfoList(chipCount); status != ftstatus::kOk)
            return status;
        std::vector<FtDeviceListInfoNode> records(chipCount);
        if (chipCount > 0) {
            if (const FtStatus status = chip->getDeviceInfoList(records.data(), chipCount); status != ftstatus::kOk)
                return status;
        }
        for (std::uint32_t i = 0; i < chipCount; ++i) {
            m_list.push_back(records[i]);
            m_origin.emplace_back(chip.get(), static_cast<int>(i));
        }
    }
    count = static_cast<std::uint32_t>(m_list.size());
    return ftstatus::kOk;
}

FtStatus SimulatedFtdiBus::getDeviceInfoList(FtDeviceListInfoNode* records, std::uint32_t& count)
{
    std::lock_guard lock(m_mutex);
    return copyDeviceList(m_list, records, count);
}

FtStatus SimulatedFtdiBus::open(int index, FtHandle& handle)
{
    std::pair<SimulatedFtdi*, int> origin;
    {
        std::lock_guard lock(m_mutex);
        if (index < 0 || static_cast<std::size_t>(index) >= m_origin.size())
            return ftstatus::kDeviceNotFound;
        origin = m_origin[static_cast<std::size_t>(index)];
    }
    return origin.first->open(origin.second, handle);
}

FtStatus SimulatedFtdiBus::openBySerial(const std::string& serial, FtHandle& handle)
{
    // The first chip with such a record answers, as the library opens the first match.
    for (const std::shared_ptr<SimulatedFtdi>& chip : m_chips) {
        if (const FtStatus status = chip->openBySerial(serial, handle); status != ftstatus::kDeviceNotFound)
            return status;
    }
    return ftstatus::kDeviceNotFound;
}

FtStatus SimulatedFtdiBus::openByLocation(std::uint32_t locId, FtHandle& handle)
{
    for (const std::shared_ptr<SimulatedFtdi>& chip : m_chips) {
        if (const FtStatus status = chip->openByLocation(locId, handle); status != ftstatus::kDeviceNotFound)
            return status;
    }
    return ftstatus::kDeviceNotFound;
}

FtStatus SimulatedFtdiBus::getDeviceInfo(FtHandle handle, FtOpenedDevice& device)
{
    SimulatedFtdi* chip = owner(handle);
    return chip ? chip->getDeviceInfo(handle, device) : ftstatus::kInvalidHandle;
}

SimulatedFtdi* SimulatedFtdiBus::owner(FtHandle handle) const
{
    for (const std::shared_ptr<SimulatedFtdi>& chip : m_chips) {
        if (chip->ownsHandle(handle))
            return chip.get();
    }
    return nullptr;
}

FtStatus SimulatedFtdiBus::eraseEe(FtHandle handle)
{
    SimulatedFtdi* chip = owner(handle);
    return chip ? chip->eraseEe(handle) : ftstatus::kInvalidHandle;
}

FtStatus SimulatedFtdiBus::writeEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t value)
{
    SimulatedFtdi* chip = owner(handle);
    return chip ? chip->writeEe(handle, wordOffset, value) : ftstatus::kInvalidHandle;
}

FtStatus SimulatedFtdiBus::readEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t& value)
{
    SimulatedFtdi* chip = owner(handle);
    return chip ? chip->readEe(handle, wordOffset, value) : ftstatus::kInvalidHandle;
}

FtStatus SimulatedFtdiBus::close(FtHandle handle)
{
    SimulatedFtdi* chip = owner(handle);
    return chip ? chip->close(handle) : ftstatus::kInvalidHandle;
}

} // namespace talvex
