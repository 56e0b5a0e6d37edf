#include "serial/D2xxLatency.h"

#include "ftdi/D2xxListing.h"
#include "ftdi/DynamicLibrary.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace talvex {
namespace {

// The guide gives some libraries' lowest accepted value as 2 ms.
constexpr std::uint8_t kFallbackLatencyMs = 2;

std::string keepsDriverSetting(const std::string& port, const std::string& why)
{
    return port + " keeps the driver's latency setting: " + why
        + ". Answers may wait up to its latency timer; set \"Latency Timer\" to 1 ms in Device Manager "
          "(the port's Properties, Port Settings, Advanced) to avoid that.";
}

struct OpenedChannel {
    FtHandle handle = nullptr;
    std::string problem; ///< why there is no handle
};

OpenedChannel openChannel(D2xxApi& api, int comNumber, const UsbIdentity& usb)
{
    const Result<std::vector<FtDeviceListInfoNode>> listed = listD2xxDevices(api);
    if (!listed)
        return {nullptr, listed.failure().detail};
    const std::vector<FtDeviceListInfoNode>& records = *listed;
    const std::string serial = channelSerial(usb);
    for (std::size_t index = 0; index < records.size(); ++index) {
        const FtDeviceListInfoNode& record = records[index];
        // Held by another program: FT_Open would refuse it.
        if ((record.Flags & kFtFlagOpened) != 0)
            continue;
        const bool candidate = serial.empty()
            ? (record.ID >> 16) == kFtdiVendorId
            : d2xxFieldText(record.SerialNumber, sizeof record.SerialNumber) == serial;
        if (!candidate)
            continue;
        FtHandle handle = nullptr;
        if (api.open(static_cast<int>(index), handle) != ftstatus::kOk)
            continue;
        std::int32_t number = -1;
        if (api.getComPortNumber(handle, number) == ftstatus::kOk && number == comNumber)
            return {handle, {}};
        api.close(handle);
    }
    const std::string which = serial.empty() ? "no FTDI D2XX device" : "no FTDI D2XX device " + serial;
    return {nullptr, which + " could be opened as COM" + std::to_string(comNumber)};
}

FtStatus setLowLatency(D2xxApi& api, FtHandle handle)
{
    const FtStatus status = api.setLatencyTimer(handle, kLowLatencyTimerMs);
    if (status == ftstatus::kInvalidParameter)
        return api.setLatencyTimer(handle, kFallbackLatencyMs);
    return status;
}

} // namespace

std::optional<int> comPortNumber(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6)
        return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return std::nullopt;
    }
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return std::nullopt;
        number = number * 10 + (name[i] - '0');
    }
    if (number < 1 || name[3] == '0')
        return std::nullopt;
    return number;
}

D2xxLatencyHold::D2xxLatencyHold(std::shared_ptr<D2xxApi> api, int comNumber, UsbIdentity usb, std::uint8_t savedMs)
    : m_api(std::move(api))
    , m_comNumber(comNumber)
    , m_usb(std::move(usb))
    , m_savedMs(savedMs)
{
}

D2xxLatencyHold::~D2xxLatencyHold()
{
    // The list is read again: indexes change when devices come and go.
    // A chip unplugged meanwhile is left alone; it starts at its default.
    const OpenedChannel channel = openChannel(*m_api, m_comNumber, m_usb);
    if (!channel.handle)
        return;
    m_api->setLatencyTimer(channel.handle, m_savedMs);
    m_api->close(channel.handle);
}

LatencyRequest lowerLatencyTimer(const std::shared_ptr<D2xxApi>& api, const PortInfo& port)
{
    LatencyRequest request;
    const std::optional<int> comNumber = comPortNumber(port.name);
    if (!port.usb || !isFtdi(port.usb->vendorId) || !comNumber)
        return request;
    if (!api) {
        request.logLine = keepsDriverSetting(port.name, "the FTDI D2XX library (" + defaultD2xxLibraryName() + ") is not loaded");
        return request;
    }
    if (!api->hasLatencyTimer()) {
        request.logLine = keepsDriverSetting(
            port.name, api->name() + " lacks FT_GetComPortNumber, FT_GetLatencyTimer or FT_SetLatencyTimer");
        return request;
    }
    const OpenedChannel channel = openChannel(*api, *comNumber, *port.usb);
    if (!channel.handle) {
        request.logLine = keepsDriverSetting(port.name, channel.problem);
        return request;
    }
    std::uint8_t saved = 0;
    FtStatus status = api->getLatencyTimer(channel.handle, saved);
    if (status == ftstatus::kOk && saved > kLowLatencyTimerMs) {
        status = setLowLatency(*api, channel.handle);
        if (status == ftstatus::kOk)
            request.hold = std::make_unique<D2xxLatencyHold>(api, *comNumber, *port.usb, saved);
        else
            request.logLine = keepsDriverSetting(port.name, "FT_SetLatencyTimer answered " + d2xxStatusName(status));
    } else if (status != ftstatus::kOk) {
        request.logLine = keepsDriverSetting(port.name, "FT_GetLatencyTimer answered " + d2xxStatusName(status));
    }
    api->close(channel.handle);
    return request;
}

} // namespace talvex
