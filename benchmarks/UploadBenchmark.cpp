// Uploads a 102,400-byte image to the simulated programmer's boot loader at
// 115,200 baud with 4 ms of flash time per block and prints, for the 3,200
// block frames: the limit the link and the device set, the time with the
// fixed 50 ms wait before each answer is read, and the time when the wait
// ends with the answer's second byte.
//
//   talvex-bench-upload              simulated time (takes a moment)
//   talvex-bench-upload --pty PATH   real time, against `talvex-simulator
//                                    --boot` on its reader 1 terminal
//   talvex-bench-upload --pty PATH --fixed   the fixed waits, in real time
//   --verbose                         the upload's log lines on stderr

#include "common/RealClock.h"
#include "common/VirtualClock.h"
#include "firmware/FirmwareProtocol.h"
#include "firmware/FirmwareUpload.h"
#include "firmware/UploadObserver.h"
#include "serial/NativePortHost.h"
#include "serial/PortSlot.h"
#include "sim/SimEndpoint.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace talvex;

namespace {

constexpr Micros kFlashTime = Millis(4);
constexpr std::uint32_t kBaud = 115200;
constexpr double kTarget = 1.10;

bool g_verbose = false;

double seconds(Micros time)
{
    return std::chrono::duration<double>(time).count();
}

// Times the block frames: from the first frame to the ending.
class BlockTimer final : public UploadObserver {
public:
    BlockTimer(Clock& clock, bool verbose)
        : m_clock(clock)
        , m_verbose(verbose)
    {
    }

    void clearLog() override {}
    void logLine(const std::string& line) override
    {
        if (m_verbose)
            std::fprintf(stderr, "%10.3f %s\n", seconds(m_clock.now()), line.c_str());
    }
    void setUpperStatus(const std::string&) override {}
    void setLowerStatus(const std::string&) override {}
    void setProgress(int) override {}
    void setRemainingTime(std::optional<std::chrono::seconds>) override {}
    void pump() override {}
    void serialize() override {}
    void stateChanged(UploadState state) override
    {
        if (state == UploadState::SendingBlocks)
            m_blocksStart = m_clock.now();
        else if (state == UploadState::Finished)
            m_end = m_clock.now();
    }

    Micros blocks() const { return m_end - m_blocksStart; }

private:
    Clock& m_clock;
    bool m_verbose;
    TimePoint m_blocksStart{};
    TimePoint m_end{};
};

struct Run {
    UploadOutcome outcome;
    Micros blocks{};
    Micros whole{};
    double realSeconds = 0;
};

std::string writeImage()
{
    const auto path = std::filesystem::temp_directory_path() / "talvex-bench-upload.bin";
    std::vector<char> bytes(kImageSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 31 + i / 97) & 0xFF);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

Run upload(PortHost& host, Clock& clock, const std::string& port, const std::string& file, AnswerWait wait)
{
    PortSlot slot;
    ProgrammerState programmer;
    programmer.bootLoader = true;
    Run run;
    if (const Result<void> opened = slot.open(host, port, kNormalMode); !opened) {
        std::fprintf(stderr, "cannot open %s: %s\n", port.c_str(), opened.failure().detail.c_str());
        return run;
    }
    BlockTimer timer(clock, g_verbose);
    FirmwareUpload procedure({slot, host, clock, programmer}, timer, UploadOptions{wait});
    const auto realStart = std::chrono::steady_clock::now();
    const TimePoint start = clock.now();
    run.outcome = procedure.run(file, port, "");
    run.whole = clock.now() - start;
    run.blocks = timer.blocks();
    run.realSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    return run;
}

void print(const char* what, const Run& run, Micros limit)
{
    std::printf("%-44s %8.2f s  (%5.2f x limit)   whole upload %8.2f s   real %7.2f s\n", what,
                seconds(run.blocks), seconds(run.blocks) / seconds(limit), seconds(run.whole), run.realSeconds);
    if (run.outcome.ending != UploadEnding::Success) {
        std::printf("%-44s NOT SUCCESSFUL: ending %d, %d blocks accepted, %d communication errors\n", "",
                    static_cast<int>(run.outcome.ending), run.outcome.blocksAccepted,
                    run.outcome.communicationErrors);
    }
}

// The FTDI chip between device and host, as ftdi_sio leaves it unless asked.
constexpr Micros kDriverLatencyTimer = Millis(16);
constexpr Micros kLowLatencyTimer = Millis(1);

enum class Chip { Ideal, DriverTimer, LowLatencyAsked };

Run simulated(const std::string& file, AnswerWait wait, Chip chip = Chip::Ideal)
{
    VirtualClock clock;
    SimulatedPortHost host(clock);
    SimulatedProgrammer device;
    device.setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    device.setBlockFlashTime(kFlashTime);
    if (chip != Chip::Ideal)
        device.setFtdiLatencyTimer(kDriverLatencyTimer);
    host.setAsksLowLatency(chip == Chip::LowLatencyAsked);
    device.attachTo(host, "COM1", "COM2");
    return upload(host, clock, "COM1", file, wait);
}

} // namespace

int main(int argc, char** argv)
{
    std::string pty;
    bool fixedInRealTime = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pty" && i + 1 < argc) {
            pty = argv[++i];
        } else if (arg == "--verbose") {
            g_verbose = true;
        } else if (arg == "--fixed") {
            fixedInRealTime = true;
        } else {
            std::fprintf(stderr, "usage: talvex-bench-upload [--pty PATH [--fixed]] [--verbose]\n");
            return 2;
        }
    }

    // Per block: 35 characters out, the flash time, 2 characters back.
    const Micros perBlock = characterTime(kBaud) * (kBlockFrameLength + kBlockAnswerLength) + kFlashTime;
    const Micros limit = perBlock * kBlockCount;
    const std::string file = writeImage();

    std::printf("%d blocks of %zu bytes at %u baud, %lld ms flash time per block\n", kBlockCount, kBlockSize,
                kBaud, static_cast<long long>(std::chrono::duration_cast<Millis>(kFlashTime).count()));
    std::printf("%-44s %8.2f s  (%.3f ms per block)\n", "link-and-device limit", seconds(limit),
                std::chrono::duration<double, std::milli>(perBlock).count());
    std::printf("%-44s %8.2f s  (50 ms + 20 ms per block, at worst)\n", "fixed waits, every read timing out",
                seconds(Millis(kBlockAnswerWaitMs + kReadTimeoutMs) * kBlockCount));

    int status = 0;
    if (pty.empty()) {
        const Run fixed = simulated(file, AnswerWait::FixedSleep);
        const Run ours = simulated(file, AnswerWait::UntilAnswered);
        print("fixed 50 ms wait, then one read (simulated)", fixed, limit);
        print("wait ends with the second byte (simulated)", ours, limit);
        const double ratio = seconds(ours.blocks) / seconds(limit);
        std::printf("target: within %.2f x the limit: %s (%.3f x)\n", kTarget, ratio <= kTarget ? "met" : "MISSED",
                    ratio);

        // Through an FTDI chip: every 2-byte answer waits for its latency
        // timer; the limit then includes the 1 ms the chip needs at best.
        const Micros chipLimit = (perBlock + kLowLatencyTimer) * kBlockCount;
        std::printf("%-44s %8.2f s\n", "limit through the chip with a 1 ms timer", seconds(chipLimit));
        const Run driverTimer = simulated(file, AnswerWait::UntilAnswered, Chip::DriverTimer);
        const Run lowLatency = simulated(file, AnswerWait::UntilAnswered, Chip::LowLatencyAsked);
        print("through the chip, 16 ms timer (simulated)", driverTimer, chipLimit);
        print("through the chip, low latency asked", lowLatency, chipLimit);
        const double chipRatio = seconds(lowLatency.blocks) / seconds(chipLimit);
        std::printf("target through the chip: within %.2f x: %s (%.3f x)\n", kTarget,
                    chipRatio <= kTarget ? "met" : "MISSED", chipRatio);
        status = ratio <= kTarget && chipRatio <= kTarget && ours.outcome.ending == UploadEnding::Success
                         && lowLatency.outcome.ending == UploadEnding::Success
                     ? 0
                     : 1;
    } else {
        RealClock clock;
        const auto host = makeNativePortHost();
        if (fixedInRealTime)
            print("fixed 50 ms wait, then one read (real time)", upload(*host, clock, pty, file, AnswerWait::FixedSleep),
                  limit);
        const Run ours = upload(*host, clock, pty, file, AnswerWait::UntilAnswered);
        print("wait ends with the second byte (real time)", ours, limit);
        status = ours.outcome.ending == UploadEnding::Success ? 0 : 1;
    }
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    return status;
}
