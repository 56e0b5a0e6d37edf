#pragma once

#include "serial/PortHost.h"

namespace talvex {

/// The COM ports of a Windows machine.
class Win32PortHost final : public PortHost {
public:
    /// COM1…COM254, each with the USB identity SetupAPI gives for it.
    std::vector<PortInfo> listPorts() override;
    OpenResult open(const std::string& name, const std::string& mode) override;
};

} // namespace talvex
