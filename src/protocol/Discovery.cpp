#include "protocol/Discovery.h"

#include "common/Clock.h"
#include "ftdi/ChipGrouping.h"
#include "protocol/AnswerWait.h"
#include "protocol/CommandText.h"
#include "protocol/Exchange.h"
#include "protocol/VersionText.h"
#include "serial/PortHost.h"
#include "serial/PortSlot.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <tuple>

namespace talvex {
namespace {

// Pause after closing a probed port, before the next one is tried.
constexpr int kAfterCloseMs = 500;
// Pause after each port of the enumeration.
constexpr int kEnumerationPauseMs = 200;
// Wait after an identification byte on one selected port (low-speed).
constexpr int kSelectedPortLowSpeedWaitMs = 200;

struct ScanHit {
    ProgrammerMode mode = ProgrammerMode::None;
    IdentityFields fields;
};

std::vector<std::uint8_t> ask(PortSlot& port, Clock& clock, std::uint8_t code, int waitMs)
{
    port.sendByte(code);
    return awaitAnswer(port, clock, waitMs, kDiscoveryAnswerCapacity,
                       code == kIdentifyCode ? AnswerComplete(isWholeIdentifyAnswer) : AnswerComplete(isWholeIdentity));
}

// Identification as the scan runs it on a freshly opened port.
ScanHit probeForScan(PortSlot& port, Clock& clock, SpeedVariant variant, int answerDelayMs)
{
    const int waitMs = identificationWaitMs(variant, answerDelayMs);
    runLineSequence(port, clock, scanPreparation(variant, answerDelayMs));
    port.readAll(kDiscoveryAnswerCapacity);

    const std::vector<std::uint8_t> greeting = ask(port, clock, kIdentifyCode, waitMs);
    if (isBootLoaderAnswer(greeting))
        return {ProgrammerMode::BootLoader, bootLoaderFields(greeting)};
    if (!isApplicationGreeting(greeting))
        return {};

    runLineSequence(port, clock, shortenedPreparation(variant));
    const std::vector<std::uint8_t> identity = ask(port, clock, kApplicationIdentityCode, waitMs);
    if (!isApplicationIdentity(identity))
        return {};
    // The device is asked once more and the fields come from that answer;
    // should it come back short, the good answer before it is kept rather
    // than cutting fields out of a fragment.
    const std::vector<std::uint8_t> again = ask(port, clock, kApplicationIdentityCode, answerDelayMs);
    return {ProgrammerMode::Application, applicationFields(isApplicationIdentity(again) ? again : identity)};
}

void closeProbedPort(PortSlot& port, Clock& clock)
{
    port.setDtr(false);
    port.close();
    clock.sleepMs(kAfterCloseMs);
}

void recordPort(DetectionResults& results, const ScanHit& hit, const std::string& name)
{
    if (hit.mode == ProgrammerMode::BootLoader || readerOfDigit(results.variant, hit.fields.readerDigit) == 1)
        results.reader1Port = name;
    else
        results.reader2Port = name;
}

void fillVersion(DetectionResults& results)
{
    results.versionText = firmwareVersionText(results.versionDigits);
    results.versionNumber = firmwareVersionNumber(results.versionDigits);
}

struct ScanState {
    bool anyOpened = false;
    bool found = false; ///< a first port answered
    bool done = false;  ///< its twin answered too
};

// One port of the scan: the first hit is kept and the scan goes on; a
// later hit of the same device ends it.
void scanPort(DiscoveryEnvironment& env, DetectionResults& results, SpeedVariant variant, const std::string& name,
              ScanState& state)
{
    if (!env.port.open(env.host, name, modeFor(variant)))
        return;
    state.anyOpened = true;

    const ScanHit hit = probeForScan(env.port, env.clock, variant, results.answerDelayMs);
    if (hit.mode == ProgrammerMode::None) {
        closeProbedPort(env.port, env.clock);
        return;
    }
    results.bootLoader = hit.mode == ProgrammerMode::BootLoader;

    if (!state.found) {
        state.found = true;
        results.serialNumber = hit.fields.serialNumber;
        results.versionDigits = hit.fields.versionDigits;
        results.answerText = hit.fields.answerText;
        recordPort(results, hit, name);
        closeProbedPort(env.port, env.clock);
        return;
    }

    const std::string firstSerial = results.serialNumber;
    results.serialNumber = hit.fields.serialNumber;
    if (hit.fields.serialNumber.find(firstSerial) != std::string::npos) {
        recordPort(results, hit, name);
        env.port.setDtr(false);
        env.port.close();
        state.done = true;
        return;
    }
    // Another device: it takes over, and the scan looks for its twin.
    closeProbedPort(env.port, env.clock);
}

} // namespace

void DetectionResults::clearFound()
{
    reader1Port.clear();
    reader2Port.clear();
    serialNumber.clear();
    versionDigits.clear();
    versionText.clear();
    versionNumber = 0;
    answerText.clear();
    bootLoader = false;
}

std::string usbDescription(const std::optional<UsbIdentity>& usb)
{
    if (!usb)
        return {};
    std::string text = serialChipName(*usb);
    char ids[10];
    std::snprintf(ids, sizeof ids, "%04x:%04x", usb->vendorId, usb->productId);
    if (!text.empty())
        text += ' ';
    text += ids;
    const std::string serial = channelSerial(*usb);
    if (!serial.empty())
        text += " " + serial;
    return text;
}

ScanOrder scanOrder(const std::vector<PortInfo>& ports)
{
    ScanOrder order;
    const PortGroups<PortInfo> groups = groupPortsByChip(ports);
    for (const std::vector<PortInfo>& chip : groups.chips) {
        for (const PortInfo& port : chip)
            order.ftdi.push_back(port.name);
    }
    for (const PortInfo& port : groups.others)
        order.others.push_back(port.name);
    return order;
}

void scanForProgrammer(DiscoveryEnvironment& env, DetectionResults& results, SpeedVariant variant)
{
    results.clearFound();
    results.variant = variant;
    ScanState state;

    const ScanOrder order = scanOrder(env.host.listPorts());
    for (auto it = order.ftdi.begin(); it != order.ftdi.end() && !state.done; ++it)
        scanPort(env, results, variant, *it, state);
    // The programmer sits behind an FTDI chip: found there, the host's
    // other devices are left alone (no DTR or RTS toggled on them).
    if (!state.found) {
        for (auto it = order.others.begin(); it != order.others.end() && !state.done; ++it)
            scanPort(env, results, variant, *it, state);
    }

    if (!state.anyOpened)
        results.reader1Port = kNoPortText;
}

void detectProgrammer(DiscoveryEnvironment& env, DetectionResults& results)
{
    scanForProgrammer(env, results, SpeedVariant::Normal);
    if (results.reader1Port == kNoPortText)
        return;
    for (SpeedVariant variant : {SpeedVariant::LowSpeed1, SpeedVariant::LowSpeed2}) {
        if (results.bootLoader || !results.serialNumber.empty())
            break;
        scanForProgrammer(env, results, variant);
    }
    if (!results.bootLoader && results.serialNumber.size() == 32)
        fillVersion(results);
}

std::optional<std::string> searchSelectedPort(DiscoveryEnvironment& env, DetectionResults& results,
                                              const std::vector<std::string>& listedPorts,
                                              std::optional<std::size_t> selected)
{
    if (listedPorts.empty())
        return std::string(kNoPortText);
    if (!selected || *selected >= listedPorts.size())
        return std::nullopt;

    const SpeedVariant variant = results.variant;
    results.clearFound();
    if (!env.port.open(env.host, listedPorts[*selected], modeFor(variant)))
        return std::string(kNoProgrammerText);

    runLineSequence(env.port, env.clock, selectedPortPreparation(variant));
    const int waitMs = variant == SpeedVariant::Normal ? results.answerDelayMs : kSelectedPortLowSpeedWaitMs;

    std::string readerText = kNoProgrammerText;
    IdentityFields fields;
    bool hit = false;
    const std::vector<std::uint8_t> greeting = ask(env.port, env.clock, kIdentifyCode, waitMs);
    if (isBootLoaderAnswer(greeting)) {
        results.bootLoader = true;
        fields = bootLoaderFields(greeting);
        hit = true;
    } else if (isApplicationGreeting(greeting)) {
        runLineSequence(env.port, env.clock, shortenedPreparation(variant));
        const std::vector<std::uint8_t> identity = ask(env.port, env.clock, kApplicationIdentityCode, waitMs);
        if (isApplicationIdentity(identity)) {
            fields = applicationFields(identity);
            hit = true;
        }
    }
    if (hit) {
        results.serialNumber = fields.serialNumber;
        results.versionDigits = fields.versionDigits;
        results.answerText = fields.answerText;
        if (const auto reader = readerOfDigit(variant, fields.readerDigit))
            readerText = std::to_string(*reader);
    }
    env.port.close();
    return readerText;
}

std::string searchOpenPort(PortSlot& port, Clock& clock, int answerDelayMs, IdentityFields& fields)
{
    port.setDtr(true);
    clock.sleepMs(200);
    const std::vector<std::uint8_t> answer = ask(port, clock, kApplicationIdentityCode, answerDelayMs);
    // A fragment starting 0x00 is not an identity: fields would be cut out of nothing.
    if (!isApplicationIdentity(answer) || answer[0] != 0x00)
        return kNoProgrammerText;
    fields = applicationFields(answer);
    if (fields.readerDigit == '1' || fields.readerDigit == '2')
        return std::string(1, fields.readerDigit);
    return kNoProgrammerText;
}

std::vector<ProbedPort> enumeratePorts(DiscoveryEnvironment& env, bool probe, SpeedVariant variant,
                                       int answerDelayMs)
{
    std::vector<ProbedPort> ports;
    for (const PortInfo& port : env.host.listPorts()) {
        if (env.pump)
            env.pump();
        if (!env.port.open(env.host, port.name, modeFor(variant)))
            continue;
        ProbedPort entry{port.name, ProbeResult::NoProgrammer, port.usb};
        if (probe) {
            env.port.setDtr(true);
            env.port.setRts(false);
            const IdentifyResult identity = identify(env.port, env.clock, variant, answerDelayMs);
            env.port.setDtr(false);
            int value = static_cast<int>(identity.mode);
            if (value > 0 && env.port.ctsOn())
                value += 2;
            entry.probe = static_cast<ProbeResult>(value);
        }
        ports.push_back(entry);
        env.port.close();
        env.clock.sleepMs(kEnumerationPauseMs);
    }
    return ports;
}

bool anyProgrammer(const std::vector<ProbedPort>& ports)
{
    return std::any_of(ports.begin(), ports.end(),
                       [](const ProbedPort& port) { return port.probe != ProbeResult::NoProgrammer; });
}

std::vector<ProbedPort> manualScan(DiscoveryEnvironment& env, DetectionResults& results)
{
    std::vector<ProbedPort> ports;
    for (SpeedVariant variant : {SpeedVariant::Normal, SpeedVariant::LowSpeed1, SpeedVariant::LowSpeed2}) {
        results.variant = variant;
        ports = enumeratePorts(env, true, variant, results.answerDelayMs);
        if (ports.empty() || anyProgrammer(ports))
            break;
    }
    return ports;
}

} // namespace talvex
