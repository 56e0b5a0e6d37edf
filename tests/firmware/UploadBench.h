#pragma once

#include "firmware/FirmwareProtocol.h"
#include "firmware/FirmwareUpload.h"
#include "firmware/UploadObserver.h"
#include "protocol/Identification.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace talvex::test {

/// Keeps what the upload shows, in order: "log:…", "upper:…", "lower:…",
/// "progress:…", "serialize", "clear". Pumps and estimates apart.
struct RecordingObserver final : UploadObserver {
    std::vector<std::string> events;
    std::vector<std::string> log;
    std::vector<int> progress;
    std::vector<std::optional<std::chrono::seconds>> remaining;
    std::vector<UploadState> states;
    std::string upper;
    std::string lower;
    int pumps = 0;
    int serializeCalls = 0;

    void clearLog() override
    {
        log.clear();
        events.push_back("clear");
    }
    void logLine(const std::string& message) override
    {
        log.push_back(message);
        events.push_back("log:" + message);
    }
    void setUpperStatus(const std::string& text) override
    {
        upper = text;
        events.push_back("upper:" + text);
    }
    void setLowerStatus(const std::string& text) override
    {
        lower = text;
        events.push_back("lower:" + text);
    }
    void setProgress(int value) override
    {
        progress.push_back(value);
        events.push_back("progress:" + std::to_string(value));
    }
    void setRemainingTime(std::optional<std::chrono::seconds> left) override { remaining.push_back(left); }
    void pump() override { ++pumps; }
    void serialize() override
    {
        ++serializeCalls;
        events.push_back("serialize");
    }
    void stateChanged(UploadState state) override { states.push_back(state); }

    int count(const std::string& line) const { return static_cast<int>(std::count(log.begin(), log.end(), line)); }
    /// The events from the first one equal to `from` on.
    std::vector<std::string> eventsFrom(const std::string& from) const
    {
        const auto start = std::find(events.begin(), events.end(), from);
        return {start, events.end()};
    }
};

/// A file in a folder of its own that goes away with the test.
class TempFolder {
public:
    TempFolder()
    {
        // ctest runs tests as parallel processes: a random name apart.
        static std::atomic<int> serial{0};
        static const unsigned process = std::random_device{}();
        m_path = std::filesystem::temp_directory_path()
            / ("talvex-fw-" + std::to_string(process) + "-" + std::to_string(serial++));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const
    {
        const auto file = m_path / name;
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }
    std::string path(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

/// An image whose blocks all differ, so a block written twice or in the
/// wrong place shows.
inline std::vector<std::uint8_t> patternImage(std::size_t size = kImageSize)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

/// The user's hands on the plug, see SimulatedProgrammer::PlugScript.
inline SimulatedProgrammer::PlugScript plugScript(int unplugAfterPolls, int replugAfterOpenAttempts = -1,
                                                  std::string serialOnReplug = {})
{
    SimulatedProgrammer::PlugScript script;
    script.unplugAfterPolls = unplugAfterPolls;
    script.replugAfterOpenAttempts = replugAfterOpenAttempts;
    script.serialOnReplug = std::move(serialOnReplug);
    return script;
}

inline constexpr const char* kSerial = "0123456789ABCDEF0123456789ABCDEF";

/// A programmer on COM3/COM4, connected on COM3 the way the settings
/// window connects, with a firmware file ready.
struct UploadBench {
    SimBench sim;
    std::shared_ptr<SimulatedProgrammer> device;
    RecordingObserver observer;
    TempFolder folder;
    std::vector<std::uint8_t> image = patternImage();
    std::string file;
    std::string portName = "COM3";
    std::string expectedSerial = kSerial;

    explicit UploadBench(SimulatedProgrammer::Firmware firmware = SimulatedProgrammer::Firmware::BootLoader,
                         SpeedVariant variant = SpeedVariant::Normal)
        : device(sim.addProgrammer("COM3", "COM4", variant, kSerial))
    {
        device->setFirmware(firmware);
        DetectionResults& found = sim.context.detection();
        found.variant = variant;
        found.bootLoader = firmware == SimulatedProgrammer::Firmware::BootLoader;
        found.serialNumber = kSerial;
        file = folder.write("firmware.bin", image);
        connect();
    }

    PortSlot& port() { return sim.context.ports().a; }

    void connect()
    {
        const SpeedVariant variant = sim.context.detection().variant;
        ASSERT_TRUE(port().open(sim.host, portName, modeFor(variant)));
        port().setRts(false);
        sim.clock.sleepMs(1500);
        port().setDtr(true);
        device->clearReceivedCommands();
    }

    UploadRequest environment()
    {
        return {port(), sim.host, sim.clock, sim.context.detection().programmer()};
    }

    /// What the window does on "Upload !": checks, then the upload.
    UploadOutcome upload(const std::string& path, UploadOptions options = {})
    {
        FirmwareUpload procedure(environment(), observer, options);
        if (procedure.checkFile(path) != FileCheck::Ok)
            return {};
        UploadOutcome outcome = procedure.run(path, portName, expectedSerial);
        sim.context.detection().setProgrammer(outcome.programmer);
        return outcome;
    }
    UploadOutcome upload() { return upload(file); }

    /// The block frames the device took in, in order.
    std::vector<std::vector<std::uint8_t>> frames() const
    {
        std::vector<std::vector<std::uint8_t>> result;
        for (const auto& command : device->receivedCommands()) {
            if (command.bytes.size() == kBlockFrameLength && command.bytes[0] == kProgramBlockCode)
                result.push_back(command.bytes);
        }
        return result;
    }

    bool received(const std::vector<std::uint8_t>& bytes) const
    {
        for (const auto& command : device->receivedCommands()) {
            if (command.bytes == bytes)
                return true;
        }
        return false;
    }
};

} // namespace talvex::test
