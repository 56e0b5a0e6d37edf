#include "ftdi/D2xxListing.h"

#include <algorithm>

namespace talvex {
namespace {

// No host carries this many FTDI devices.
constexpr std::uint32_t kMaxDevices = 1024;

} // namespace

Status statusOfD2xx(FtStatus status)
{
    switch (status) {
    case ftstatus::kOk: return Status::Ok;
    case ftstatus::kDeviceNotFound: return Status::Gone;
    case ftstatus::kDeviceNotOpened: return Status::Busy;
    case ftstatus::kNotSupported: return Status::Unsupported;
    case ftstatus::kInvalidParameter: return Status::BadInput;
    default: return Status::Other;
    }
}

Failure d2xxFailure(const char* call, FtStatus status)
{
    return fail(statusOfD2xx(status), std::string(call) + " answered " + d2xxStatusName(status));
}

Result<std::vector<FtDeviceListInfoNode>> listD2xxDevices(D2xxApi& api)
{
    std::uint32_t count = 0;
    FtStatus status = api.createDeviceInfoList(count);
    if (status != ftstatus::kOk)
        return d2xxFailure("FT_CreateDeviceInfoList", status);
    std::vector<FtDeviceListInfoNode> records(std::min(count, kMaxDevices), FtDeviceListInfoNode {});
    if (records.empty())
        return records;
    std::uint32_t filled = static_cast<std::uint32_t>(records.size());
    status = api.getDeviceInfoList(records.data(), filled);
    if (status != ftstatus::kOk)
        return d2xxFailure("FT_GetDeviceInfoList", status);
    records.resize(std::min<std::size_t>(filled, records.size()));
    return records;
}

} // namespace talvex
