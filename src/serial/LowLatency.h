#pragma once

#include <memory>
#include <optional>
#include <string>

namespace talvex {

/// The serial driver flags of a Linux tty (TIOCGSERIAL / TIOCSSERIAL), as
/// a seam so tests can see what is asked of the kernel.
class SerialFlagsAccess {
public:
    virtual ~SerialFlagsAccess() = default;
    /// Nothing when the driver has no such flags (a pseudo-terminal).
    virtual std::optional<int> read(int fd) = 0;
    virtual bool write(int fd, int flags) = 0;
};

/// The kernel's own, through ioctl.
SerialFlagsAccess& kernelSerialFlags();

/// The flag that makes ftdi_sio use a 1 ms latency timer instead of 16 ms,
/// so a short answer is not held back in the chip.
inline constexpr int kLowLatencyFlag = 1 << 13; // ASYNC_LOW_LATENCY

/// Asks for low latency while it lives and puts back what was there. A
/// driver that has no serial flags is left as it is, silently.
class LowLatencyHold {
public:
    LowLatencyHold(int fd, SerialFlagsAccess& access);
    ~LowLatencyHold();
    LowLatencyHold(const LowLatencyHold&) = delete;
    LowLatencyHold& operator=(const LowLatencyHold&) = delete;

    /// True when this hold changed the flags (and will restore them).
    bool changed() const { return m_restore.has_value(); }

private:
    int m_fd;
    SerialFlagsAccess& m_access;
    std::optional<int> m_restore;
};

} // namespace talvex
