// Built where libudev is not: ports are listed by name only.

#include "serial/UdevPorts.h"

namespace talvex {

UdevPorts::UdevPorts() = default;
UdevPorts::~UdevPorts() = default;

UdevTty UdevPorts::describeNode(const std::string&) const
{
    return {};
}

} // namespace talvex
