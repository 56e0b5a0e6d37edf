#include "serial/ReaderPortOperations.h"

#include "common/Clock.h"

namespace talvex {
namespace {

constexpr int kBeforeCloseMs = 500;
constexpr const char* kReaderMode = "115200,N,8,1";

} // namespace

Result<void> openReaderPort(PortSlot& slot, PortHost& host, const std::optional<std::string>& selectedName)
{
    if (!selectedName || selectedName->empty())
        return fail(Status::BadInput, "no port selected");
    return slot.open(host, *selectedName, kReaderMode);
}

Result<void> closeReaderPort(PortSlot& slot, Clock& clock)
{
    if (!slot.isOpen())
        return fail(Status::Other, "the port is not open");
    clock.sleepMs(kBeforeCloseMs);
    slot.close();
    return {};
}

PortParametersResult setPortParameters(PortSlot& slot, const std::string& baud, const std::string& parity,
                                       const std::string& dataBits, const std::string& stopBits)
{
    PortParametersResult result;
    if (const auto before = slot.currentSettings())
        result.printout += describeLineSettings("Old COM port settings:", *before);
    result.applied = slot.applyMode(baud + "," + parity + "," + dataBits + "," + stopBits);
    if (const auto after = slot.currentSettings())
        result.printout += describeLineSettings("New COM port settings:", *after);
    return result;
}

} // namespace talvex
