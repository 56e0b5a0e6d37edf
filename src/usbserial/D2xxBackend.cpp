#include "usbserial/D2xxBackend.h"

#include "usbserial/DynamicD2xx.h"
#include "usbserial/UsbSerialText.h"

#include <algorithm>

namespace talvex {
namespace {

// No host carries this many FTDI devices; a library that claims more is
// not believed with an allocation of its size.
constexpr std::uint32_t kMaxDevices = 1024;

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

    FtdiResult erase() override { return sessionResult(m_api->eraseEe(m_handle)); }
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
        for (const FtDeviceListInfoNode& node : nodes) {
            devices.push_back({node.Flags, node.Type, node.ID, node.LocId,
                               d2xxFieldText(node.SerialNumber, sizeof node.SerialNumber),
                               d2xxFieldText(node.Description, sizeof node.Description)});
        }
        return {};
    }

    bool canReadEeprom() const override { return m_api->canReadEe(); }

    std::unique_ptr<FtdiSession> open(int index, FtdiResult& result) override
    {
        FtHandle handle = nullptr;
        result = d2xxResult(m_api->open(index, handle));
        if (!result.ok())
            return nullptr;
        return std::make_unique<D2xxSession>(m_api, handle);
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
