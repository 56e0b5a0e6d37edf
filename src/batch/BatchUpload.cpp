#include "batch/BatchUpload.h"

#include "batch/BatchWorker.h"
#include "batch/Sha256.h"
#include "common/ClockedThreads.h"
#include "firmware/FirmwareImage.h"
#include "usbserial/UsbSerialTool.h"

#include <algorithm>
#include <memory>

namespace talvex {

const char* phaseName(BatchPhase phase)
{
    switch (phase) {
    case BatchPhase::Waiting: return "waiting";
    case BatchPhase::Connecting: return "connecting";
    case BatchPhase::CheckingMode: return "checking mode";
    case BatchPhase::BackToBoot: return "back to boot loader";
    case BatchPhase::Unplug: return "unplug";
    case BatchPhase::Replug: return "plug in again";
    case BatchPhase::Erasing: return "erasing";
    case BatchPhase::Uploading: return "uploading";
    case BatchPhase::Confirming: return "confirming";
    case BatchPhase::Serializing: return "writing USB serial";
    case BatchPhase::Done: return "done";
    case BatchPhase::Failed: return "failed";
    }
    return "?";
}

bool BatchResult::allConfirmed() const
{
    return !error && !records.empty()
        && std::all_of(records.begin(), records.end(), [](const BatchRecord& record) { return record.confirmed; });
}

BatchUpload::BatchUpload(BatchEnvironment env, BatchSettings settings, BatchObserver& observer)
    : m_env(std::move(env))
    , m_settings(std::move(settings))
    , m_observer(observer)
{
}

BatchResult BatchUpload::run(const std::vector<FoundProgrammer>& programmers)
{
    BatchResult result;
    const std::string& path = m_settings.firmwarePath;
    if (const Result<void> usable = vetFirmwareFile(path); !usable) {
        result.error = usable.failure().detail;
        return result;
    }
    std::string reason;
    // One image for all: every programmer gets the bytes the hash names.
    const std::optional<FirmwareImage> image = readFirmwareImage(path);
    const auto sha256 = sha256OfFile(path, reason);
    if (!image || !sha256) {
        result.error = path + ": cannot be read" + (reason.empty() ? std::string() : " (" + reason + ")");
        return result;
    }
    result.firmwareSha256 = *sha256;
    if (programmers.empty()) {
        result.error = "no programmer was found";
        return result;
    }

    // Without the library no serial number could be written at the end:
    // say so before anything is erased.
    std::unique_ptr<UsbSerialTool> tool;
    if (m_settings.serialize) {
        if (!m_env.usbSerialLibrary) {
            result.error = "no FTDI library to write the USB serial numbers with";
            return result;
        }
        tool = std::make_unique<UsbSerialTool>(m_env.usbSerialLibrary());
        if (!tool->available()) {
            result.error = tool->unavailableReason();
            return result;
        }
    }
    SharedUsbSerial usbSerial;
    usbSerial.tool = tool.get();

    for (std::size_t i = 0; i < programmers.size(); ++i)
        m_observer.phaseChanged(i, BatchPhase::Waiting);
    result.records.resize(programmers.size());
    runOnClockedThreads(m_env.clock, programmers.size(), programmers.size(), [&](std::size_t i) {
        result.records[i] = runBatchWorker(m_env, m_settings, m_observer, i, programmers[i], *image, usbSerial);
    });
    return result;
}

} // namespace talvex
