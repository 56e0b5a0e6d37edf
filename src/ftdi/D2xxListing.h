#pragma once

#include "common/Result.h"
#include "ftdi/D2xxApi.h"

#include <vector>

namespace talvex {

/// What a D2XX status means, in the tool's own words.
Status statusOfD2xx(FtStatus status);

/// A failure from a D2XX call: its status, with the call and code named.
Failure d2xxFailure(const char* call, FtStatus status);

/// The D2XX device list as it is now: FT_CreateDeviceInfoList, then
/// FT_GetDeviceInfoList. One record per channel; a count past any real
/// host's is not believed.
Result<std::vector<FtDeviceListInfoNode>> listD2xxDevices(D2xxApi& api);

} // namespace talvex
