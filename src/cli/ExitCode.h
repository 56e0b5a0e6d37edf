#pragma once

#include "common/Result.h"

namespace talvex::cli {

/// What talvexctl's exit status tells a script. Zero only when the device
/// (or the FTDI chip, or the version server) confirmed the operation.
enum class ExitCode : int {
    Ok = 0,
    /// Anything the other codes do not name: no FTDI library, a file that
    /// cannot be written, a version server out of reach.
    Failure = 1,
    BadArguments = 2,
    /// Nothing answered as a programmer (or no FTDI device is attached).
    NoProgrammer = 3,
    /// The port (or the FTDI device) would not open; the reason is printed.
    PortOpenFailed = 4,
    /// The device answered with an error, or cannot do this in its mode or build.
    DeviceRefused = 5,
    UploadFailed = 6,
    /// The reader holds no card.
    NoCard = 7,
    /// The programmer's port vanished (unplugged) before or during the command.
    ProgrammerGone = 8,
};

/// A step of a command: its value, or the exit status the command ends
/// with, its message already printed.
template <typename T = void>
using Step = Result<T, ExitCode>;

/// The one table from what became of a step to the exit status.
inline ExitCode exitCodeFor(Status status)
{
    switch (status) {
    case Status::Ok: return ExitCode::Ok;
    case Status::TimedOut: return ExitCode::NoProgrammer;
    case Status::Gone: return ExitCode::ProgrammerGone;
    case Status::Denied:
    case Status::Busy: return ExitCode::PortOpenFailed;
    case Status::Unsupported:
    case Status::Refused: return ExitCode::DeviceRefused;
    case Status::BadInput: return ExitCode::BadArguments;
    case Status::Other: break;
    }
    return ExitCode::Failure;
}

/// A port that would not open: gone when it is not there, else the port's.
inline ExitCode exitCodeForOpen(Status status)
{
    return status == Status::Gone ? ExitCode::ProgrammerGone : ExitCode::PortOpenFailed;
}

inline int exitStatus(ExitCode code)
{
    return static_cast<int>(code);
}

} // namespace talvex::cli
