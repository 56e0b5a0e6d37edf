#include "usbserial/D2xxBackend.h"

#include "usbserial/DynamicD2xx.h"
#include "usbserial/UsbSerialText.h"

#include "usbserial/FtdiChipChoice.h"

#include <algorithm>
#include <cstdio>

namespace talvex {
namespace {

// No host carries this many FTDI devices; a library that claims more is
// not believed with an allocation of its size.
constexpr std::uint32_t kMaxDevices = 1024;

FtdiDevice deviceOf(const FtDeviceListInfoNode& node)
{
    FtdiDevice device {node.Flags, node.Type, node.ID, node.LocId,
                       d2xxFieldText(node.SerialNumber, sizeof node.SerialNumber),
                       d2xxFieldText(node.Description, sizeof node.Description)};
    char location[16];
    std::snprintf(location, sizeof location, "0x%x", static_cast<unsigned>(node.LocId));
    device.location = location;
    device.kind = ftdiChipKindOfD2xxType(node.Type);
    return device;
}

FtdiError errorOf(FtStatus status)
{
    switch (status) {
    case ftstatus::kOk: return FtdiError::None;
    case ftstatus::kDeviceNotFound: return FtdiError::NotFound;
    // What FT_Open answers for a device another program has open.
    case ftstatus::kDeviceNotOpened: return FtdiError::Busy;
    case ftstatus::kNotSupported: return FtdiError::Unsupported;
    default: return FtdiError::Other;
    }
}

// On an open handle, these mean the device is no longer there.
FtdiResult sessionResult(FtStatus status)
{
    FtdiResult result = d2xxResult(status);
    if (status == ftstatus::kDeviceNotFound || status == ftstatus::kInvalidHandle)
        result.error = FtdiError::Disconnected;
    return result;
}

class D2xxSession final : public FtdiSession {
public:
    D2xxSession(std::shared_ptr<D2xxApi> api, FtHandle handle)
        : m_api(std::move(api))
        , m_handle(handle)
    {
    }
    ~D2xxSession() override
    {
        if (m_handle)
            m_api->close(m_handle);
    }

    FtdiResult readWord(std::size_t word, std::uint16_t& value) override
    {
        if (!m_api->canReadEe())
            return d2xxResult(ftstatus::kNotSupported);
        return sessionResult(m_api->readEe(m_handle, static_cast<std::uint32_t>(word), value));
    }
    FtdiResult writeWord(std::size_t word, std::uint16_t value) override
    {
        return sessionResult(m_api->writeEe(m_handle, static_cast<std::uint32_t>(word), value));
    }
    FtdiResult close() override
    {
        const FtStatus status = m_api->close(m_handle);
        m_handle = nullptr;
        return d2xxResult(status);
    }

private:
    std::shared_ptr<D2xxApi> m_api;
    FtHandle m_handle;
};

class D2xxBackend final : public FtdiBackend {
public:
    explicit D2xxBackend(std::shared_ptr<D2xxApi> api)
        : m_api(std::move(api))
    {
    }

    std::string name() const override { return m_api->name(); }

    FtdiResult countDevices(std::uint32_t& count) override
    {
        count = 0;
        const FtStatus status = m_api->createDeviceInfoList(count);
        m_counted = status == ftstatus::kOk ? std::min(count, kMaxDevices) : 0;
        return d2xxResult(status);
    }

    FtdiResult listDevices(std::vector<FtdiDevice>& devices) override
    {
        devices.clear();
        std::vector<FtDeviceListInfoNode> nodes(m_counted, FtDeviceListInfoNode {});
        std::uint32_t filled = m_counted;
        const FtStatus status = m_api->getDeviceInfoList(nodes.data(), filled);
        if (status != ftstatus::kOk)
            return d2xxResult(status);
        nodes.resize(std::min<std::size_t>(filled, nodes.size()));
        for (const FtDeviceListInfoNode& node : nodes)
            devices.push_back(deviceOf(node));
        // A chip's place is its first channel's LocId, all D2XX tells of it.
        const std::vector<FtdiChip> chips = groupFtdiChips(devices);
        for (const FtdiChip& chip : chips) {
            for (int i = chip.firstRecord; i <= chip.lastRecord; ++i)
                devices[static_cast<std::size_t>(i)].location = devices[static_cast<std::size_t>(chip.firstRecord)].location;
        }
        return {};
    }

    bool canReadEeprom() const override { return m_api->canReadEe(); }

    std::unique_ptr<FtdiSession> open(const FtdiDevice& device, FtdiResult& result) override
    {
        // The list again: an index or handle from an older one may name
        // another chip once one came or went.
        std::uint32_t count = 0;
        result = d2xxResult(m_api->createDeviceInfoList(count));
        if (!result.ok())
            return nullptr;
        std::vector<FtDeviceListInfoNode> nodes(std::min(count, kMaxDevices), FtDeviceListInfoNode {});
        std::uint32_t filled = static_cast<std::uint32_t>(nodes.size());
        result = d2xxResult(m_api->getDeviceInfoList(nodes.data(), filled));
        if (!result.ok())
            return nullptr;
        nodes.resize(std::min<std::size_t>(filled, nodes.size()));
        const auto same = std::find_if(nodes.begin(), nodes.end(), [&](const FtDeviceListInfoNode& node) {
            const FtdiDevice listed = deviceOf(node);
            return listed.locId == device.locId && listed.serialNumber == device.serialNumber && listed.id == device.id;
        });
        if (same == nodes.end()) {
            result = {FtdiError::NotFound, static_cast<int>(ftstatus::kDeviceNotFound),
                      "the chip is no longer attached as listed"};
            return nullptr;
        }
        FtHandle handle = nullptr;
        if (m_api->canOpenEx()) {
            result = d2xxResult(device.locId != 0 ? m_api->openByLocation(device.locId, handle)
                                                  : m_api->openBySerial(device.serialNumber, handle));
        } else {
            result = d2xxResult(m_api->open(static_cast<int>(same - nodes.begin()), handle));
        }
        if (!result.ok())
            return nullptr;
        auto session = std::make_unique<D2xxSession>(m_api, handle);
        FtOpenedDevice opened;
        if (m_api->getDeviceInfo(handle, opened) == ftstatus::kOk
            && (opened.serialNumber != device.serialNumber || opened.id != device.id)) {
            result = {FtdiError::NotFound, static_cast<int>(ftstatus::kDeviceNotFound),
                      "the device opened is \"" + opened.serialNumber + "\", not the chip listed"};
            return nullptr;
        }
        return session;
    }

private:
    std::shared_ptr<D2xxApi> m_api;
    std::uint32_t m_counted = 0;
};

} // namespace

FtdiResult d2xxResult(FtStatus status)
{
    return {errorOf(status), static_cast<int>(status), d2xxStatusName(status)};
}

FtdiLoadResult d2xxBackend(D2xxLoadResult library)
{
    if (!library.api)
        return {nullptr, std::move(library.error), {}};
    return {std::make_shared<D2xxBackend>(std::move(library.api)), {}, {}};
}

FtdiLoadResult loadD2xxBackend(const std::string& nameOrPath)
{
    return d2xxBackend(DynamicD2xx::load(nameOrPath));
}

} // namespace talvex
