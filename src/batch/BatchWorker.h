#pragma once

#include "batch/BatchUpload.h"
#include "firmware/FirmwareImage.h"

#include <mutex>

namespace talvex {

class UsbSerialTool;

/// The FTDI library a batch shares: one programmer's EEPROM at a time.
struct SharedUsbSerial {
    UsbSerialTool* tool = nullptr; ///< null: not asked for
    std::mutex mutex;
};

/// One programmer's part of a batch, on its own thread: connect, the
/// upload with its way back to the boot loader, the check of what runs
/// afterwards, the serial number. Everything it holds is its own, apart
/// from the host, the clock and the shared FTDI library.
BatchRecord runBatchWorker(const BatchEnvironment& env, const BatchSettings& settings, BatchObserver& observer,
                           std::size_t index, const FoundProgrammer& programmer, const FirmwareImage& image,
                           SharedUsbSerial& usbSerial);

} // namespace talvex
