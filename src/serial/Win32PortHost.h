#pragma once

#include "serial/PortHost.h"

namespace talvex {

/// The COM ports of a Windows machine.
class Win32PortHost final : public PortHost {
public:
    std::vector<std::string> candidateNames() override;
    OpenResult open(const std::string& name, const std::string& mode) override;
};

} // namespace talvex
