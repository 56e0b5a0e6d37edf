#include "usbserial/D2xxBackend.h"

#include "ftdi/D2xxListing.h"
#include "ftdi/DynamicD2xx.h"
#include "usbserial/UsbSerialText.h"

#include "usbserial/FtdiChipChoice.h"

#include <algorithm>
#include <cstdio>

namespace talvex {
namespace {

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

Failure d2xxResult(FtStatus status)
{
    return fail(statusOfD2xx(status), d2xxStatusName(status));
}

// On an open handle, these mean the device is no longer there.
Result<void> sessionResult(FtStatus status)
{
    if (status == ftstatus::kOk)
        return {};
    if (status == ftstatus::kDeviceNotFound || status == ftstatus::kInvalidHandle)
        return fail(Status::Gone, d2xxStatusName(status));
    return d2xxResult(status);
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

    Result<std::uint16_t> readWord(std::size_t word) override
    {
        if (!m_api->canReadEe())
            return d2xxResult(ftstatus::kNotSupported);
        std::uint16_t value = 0;
        if (Result<void> read = sessionResult(m_api->readEe(m_handle, static_cast<std::uint32_t>(word), value)); !read)
            return read.failure();
        return value;
    }
    Result<void> writeWord(std::size_t word, std::uint16_t value) override
    {
        return sessionResult(m_api->writeEe(m_handle, static_cast<std::uint32_t>(word), value));
    }
    Result<void> close() override
    {
        const FtStatus status = m_api->close(m_handle);
        m_handle = nullptr;
        return status == ftstatus::kOk ? Result<void>() : d2xxResult(status);
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

    Result<std::vector<FtdiDevice>> listDevices() override
    {
        const Result<std::vector<FtDeviceListInfoNode>> nodes = listD2xxDevices(*m_api);
        if (!nodes)
            return nodes.failure();
        std::vector<FtdiDevice> devices;
        for (const FtDeviceListInfoNode& node : *nodes)
            devices.push_back(deviceOf(node));
        // A chip's place is its first channel's LocId, all D2XX tells of it.
        const std::vector<FtdiChip> chips = groupFtdiChips(devices);
        for (const FtdiChip& chip : chips) {
            for (int i = chip.firstRecord; i <= chip.lastRecord; ++i)
                devices[static_cast<std::size_t>(i)].location = devices[static_cast<std::size_t>(chip.firstRecord)].location;
        }
        return devices;
    }

    bool canReadEeprom() const override { return m_api->canReadEe(); }

    Result<std::unique_ptr<FtdiSession>> open(const FtdiDevice& device) override
    {
        // The list again: an index or handle from an older one may name
        // another chip once one came or went.
        const Result<std::vector<FtDeviceListInfoNode>> nodes = listD2xxDevices(*m_api);
        if (!nodes)
            return nodes.failure();
        const auto same = std::find_if(nodes->begin(), nodes->end(), [&](const FtDeviceListInfoNode& node) {
            const FtdiDevice listed = deviceOf(node);
            return listed.locId == device.locId && listed.serialNumber == device.serialNumber && listed.id == device.id;
        });
        if (same == nodes->end())
            return fail(Status::Gone, "the chip is no longer attached as listed");
        FtHandle handle = nullptr;
        FtStatus status = ftstatus::kOk;
        if (m_api->canOpenEx())
            status = device.locId != 0 ? m_api->openByLocation(device.locId, handle)
                                       : m_api->openBySerial(device.serialNumber, handle);
        else
            status = m_api->open(static_cast<int>(same - nodes->begin()), handle);
        if (status != ftstatus::kOk)
            return d2xxResult(status);
        auto session = std::make_unique<D2xxSession>(m_api, handle);
        FtOpenedDevice opened;
        if (m_api->getDeviceInfo(handle, opened) == ftstatus::kOk
            && (opened.serialNumber != device.serialNumber || opened.id != device.id))
            return fail(Status::Gone, "the device opened is \"" + opened.serialNumber + "\", not the chip listed");
        return std::unique_ptr<FtdiSession>(std::move(session));
    }

private:
    std::shared_ptr<D2xxApi> m_api;
};

} // namespace

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
