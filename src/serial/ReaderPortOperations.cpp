#include "serial/ReaderPortOperations.h"

#include "common/Clock.h"

namespace talvex {
namespace {

constexpr int kBeforeCloseMs = 500;
constexpr const char* kReaderMode = "115200,N,8,1";

} // namespace

ReaderPortResult openReaderPort(PortSlot& slot, PortHost& host, const std::optional<std::string>& selectedName)
{
    if (!selectedName || selectedName->empty())
        return ReaderPortResult::NotSelected;
    return slot.open(host, *selectedName, kReaderMode) ? ReaderPortResult::Ok : ReaderPortResult::Refused;
}

ReaderPortResult closeReaderPort(PortSlot& slot, Clock& clock)
{
    if (!slot.isOpen())
        return ReaderPortResult::Refused;
    clock.sleepMs(kBeforeCloseMs);
    slot.close();
    return slot.isOpen() ? ReaderPortResult::Refused : ReaderPortResult::Ok;
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
