#include "protocol/Discovery.h"

#include "common/Clock.h"
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

// The chip for the description: a serial chip's family says more than the
// product string its maker may have written over.
std::string chipName(const UsbIdentity& usb)
{
    struct Known {
        std::uint16_t vendor;
        std::uint16_t product;
        const char* name;
    };
    static constexpr Known kKnown[] = {
        {kFtdiVendorId, 0x6001, "FT232"},  {kFtdiVendorId, 0x6010, "FT2232"}, {kFtdiVendorId, 0x6011, "FT4232"},
        {kFtdiVendorId, 0x6014, "FT232H"}, {kFtdiVendorId, 0x6015, "FT-X"},   {kFtdiVendorId, 0x6048, "FT4232HA"},
        {0x10c4, 0xea60, "CP210x"},        {0x10c4, 0xea70, "CP2105"},        {0x10c4, 0xea71, "CP2108"},
        {0x1a86, 0x7523, "CH340"},         {0x1a86, 0x55d4, "CH9102"},        {0x067b, 0x2303, "PL2303"},
    };
    for (const Known& known : kKnown) {
        if (known.vendor == usb.vendorId && known.product == usb.productId)
            return known.name;
    }
    return usb.product;
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
    std::string text = chipName(*usb);
    char ids[10];
    std::snprintf(ids, sizeof ids, "%04x:%04x", usb->vendorId, usb->productId);
    if (!text.empty())
        text += ' ';
    text += ids;
    std::string serial = usb->serial;
    if (!serial.empty() && hasChannelLetters(*usb) && usb->interfaceNumber && *usb->interfaceNumber >= 0
        && *usb->interfaceNumber < 26)
        serial += static_cast<char>('A' + *usb->interfaceNumber);
    if (!serial.empty())
        text += " " + serial;
    return text;
}

ScanOrder scanOrder(const std::vector<PortInfo>& ports)
{
    ScanOrder order;
    // One chip's interfaces share vendor, product and serial; a chip without
    // a serial is known by where it sits, or else stands alone.
    using Chip = std::tuple<std::uint16_t, std::uint16_t, std::string, std::string>;
    std::vector<Chip> chips;
    std::vector<std::vector<const PortInfo*>> interfaces;
    for (const PortInfo& port : ports) {
        if (!port.usb || port.usb->vendorId != kFtdiVendorId) {
            order.others.push_back(port.name);
            continue;
        }
        const UsbIdentity& usb = *port.usb;
        const std::string where = !usb.serial.empty()     ? std::string()
                                  : !usb.location.empty() ? usb.location
                                                          : port.name;
        const Chip chip{usb.vendorId, usb.productId, usb.serial, where};
        const auto found = std::find(chips.begin(), chips.end(), chip);
        if (found == chips.end()) {
            chips.push_back(chip);
            interfaces.push_back({&port});
        } else {
            interfaces[static_cast<std::size_t>(found - chips.begin())].push_back(&port);
        }
    }
    for (auto& chip : interfaces) {
        std::stable_sort(chip.begin(), chip.end(), [](const PortInfo* a, const PortInfo* b) {
            return a->usb->interfaceNumber.value_or(INT_MAX) < b->usb->interfaceNumber.value_or(INT_MAX);
        });
        for (const PortInfo* port : chip)
            order.ftdi.push_back(port->name);
    }
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
