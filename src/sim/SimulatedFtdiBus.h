#pragma once

#include "sim/SimulatedFtdi.h"

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace talvex {

/// Several simulated FTDI chips behind one D2XX library, as a bench with
/// a hub shows them: one device list with every chip's channels, in the
/// order the chips were given.
class SimulatedFtdiBus final : public D2xxApi {
public:
    explicit SimulatedFtdiBus(std::vector<std::shared_ptr<SimulatedFtdi>> chips);

    std::string name() const override { return "the simulated programmers' FTDI chips (D2XX)"; }
    FtStatus createDeviceInfoList(std::uint32_t& count) override;
    FtStatus getDeviceInfoList(FtDeviceListInfoNode* records, std::uint32_t& count) override;
    FtStatus open(int index, FtHandle& handle) override;
    bool canOpenEx() const override { return true; }
    FtStatus openBySerial(const std::string& serial, FtHandle& handle) override;
    FtStatus openByLocation(std::uint32_t locId, FtHandle& handle) override;
    FtStatus getDeviceInfo(FtHandle handle, FtOpenedDevice& device) override;
    FtStatus eraseEe(FtHandle handle) override;
    FtStatus writeEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t value) override;
    bool canReadEe() const override { return true; }
    FtStatus readEe(FtHandle handle, std::uint32_t wordOffset, std::uint16_t& value) override;
    FtStatus close(FtHandle handle) override;

private:
    SimulatedFtdi* owner(FtHandle handle) const;

    std::vector<std::shared_ptr<SimulatedFtdi>> m_chips;
    mutable std::mutex m_mutex;
    std::vector<FtDeviceListInfoNode> m_list;
    /// For each record of m_list: its chip and its index there.
    std::vector<std::pair<SimulatedFtdi*, int>> m_origin;
};

} // namespace talvex
