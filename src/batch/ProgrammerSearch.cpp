#include "batch/ProgrammerSearch.h"

#include "common/ClockedThreads.h"
#include "ftdi/ChipGrouping.h"
#include "protocol/Discovery.h"
#include "protocol/ProgrammerConnect.h"
#include "serial/PortSlot.h"

#include <algorithm>
#include <mutex>

namespace talvex {
namespace {

// Enough to try a bench's ports together without opening hundreds at once.
constexpr std::size_t kProbesAtOnce = 16;

constexpr SpeedVariant kVariants[] = {SpeedVariant::Normal, SpeedVariant::LowSpeed1, SpeedVariant::LowSpeed2};

// The ports of one place to try: an FTDI chip's interfaces, A first, or
// one port the system says nothing of.
struct Candidate {
    std::vector<PortInfo> ports;
};

struct Answer {
    PortInfo port;
    SpeedVariant variant = SpeedVariant::Normal;
    IdentifyResult identity;
};

// The FTDI chips in the order of their first port, each with its
// interfaces in interface order; the other ports one by one.
void splitCandidates(const std::vector<PortInfo>& ports, std::vector<Candidate>& chips, std::vector<Candidate>& others)
{
    PortGroups<PortInfo> groups = groupPortsByChip(ports);
    for (std::vector<PortInfo>& chip : groups.chips)
        chips.push_back({std::move(chip)});
    for (PortInfo& port : groups.others)
        others.push_back({{std::move(port)}});
}

// Tries each variant on the port until the device answers; the port is
// closed again either way.
std::optional<Answer> probe(PortHost& host, Clock& clock, const PortInfo& port, int answerDelayMs)
{
    PortSlot slot;
    const ConnectLog quiet = [](const std::string&, bool) {};
    for (const SpeedVariant variant : kVariants) {
        const Result<IdentifyResult> result =
            openAndIdentify(slot, host, clock, port.name, variant, answerDelayMs, quiet);
        slot.close();
        if (!result)
            return std::nullopt;
        if (result->mode != ProgrammerMode::None && !result->fields.serialNumber.empty())
            return Answer {port, variant, *result};
    }
    return std::nullopt;
}

std::vector<std::optional<Answer>> probeAll(PortHost& host, Clock& clock, const std::vector<Candidate>& candidates,
                                            int answerDelayMs)
{
    std::vector<std::optional<Answer>> answers(candidates.size());
    runOnClockedThreads(clock, candidates.size(), kProbesAtOnce, [&](std::size_t i) {
        // A chip is tried on its first interface only: that is reader 1,
        // where the boot loader listens too.
        answers[i] = probe(host, clock, candidates[i].ports.front(), answerDelayMs);
    });
    return answers;
}

// Reader 1 or 2, by the answer; the boot loader answers on reader 1 only.
int readerOf(const Answer& answer)
{
    if (answer.identity.mode == ProgrammerMode::BootLoader)
        return 1;
    return readerOfDigit(answer.variant, answer.identity.fields.readerDigit).value_or(1);
}

FoundProgrammer programmerOf(const Answer& answer)
{
    FoundProgrammer found;
    found.variant = answer.variant;
    found.mode = answer.identity.mode;
    found.serialNumber = answer.identity.fields.serialNumber;
    if (answer.identity.mode == ProgrammerMode::Application)
        found.firmwareVersion = answer.identity.versionText;
    return found;
}

void say(const ProgrammerSearchRequest& request, const std::string& line)
{
    if (request.log)
        request.log(line);
}

} // namespace

std::vector<FoundProgrammer> findProgrammers(PortHost& host, Clock& clock, const ProgrammerSearchRequest& request)
{
    std::vector<PortInfo> ports = host.listPorts();
    if (!request.ports.empty()) {
        std::vector<PortInfo> named;
        for (const std::string& name : request.ports) {
            const auto listed = std::find_if(ports.begin(), ports.end(), [&](const PortInfo& p) { return p.name == name; });
            named.push_back(listed != ports.end() ? *listed : PortInfo {name, std::nullopt});
        }
        ports = std::move(named);
    }
    std::vector<Candidate> chips;
    std::vector<Candidate> others;
    splitCandidates(ports, chips, others);

    std::vector<FoundProgrammer> found;
    const auto chipAnswers = probeAll(host, clock, chips, request.answerDelayMs);
    for (std::size_t i = 0; i < chips.size(); ++i) {
        if (!chipAnswers[i])
            continue;
        FoundProgrammer programmer = programmerOf(*chipAnswers[i]);
        const std::vector<PortInfo>& chipPorts = chips[i].ports;
        programmer.usb = chipPorts.front().usb;
        programmer.reader1Port = chipPorts.front().name;
        if (chipPorts.size() > 1)
            programmer.reader2Port = chipPorts[1].name;
        found.push_back(std::move(programmer));
    }
    if (!found.empty() && request.ports.empty()) {
        if (!others.empty())
            say(request, "Programmers found on FTDI ports; the other ports were left alone.");
        return found;
    }

    // Without a USB identity, the two readers of one programmer answer
    // with the same serial number.
    const auto answers = probeAll(host, clock, others, request.answerDelayMs);
    std::map<std::string, std::size_t> bySerial;
    std::vector<FoundProgrammer> paired;
    for (const auto& answer : answers) {
        if (!answer)
            continue;
        const std::string& serial = answer->identity.fields.serialNumber;
        const auto [entry, added] = bySerial.emplace(serial, paired.size());
        if (added)
            paired.push_back(programmerOf(*answer));
        FoundProgrammer& programmer = paired[entry->second];
        const int reader = readerOf(*answer);
        std::string& slot = reader == 2 ? programmer.reader2Port : programmer.reader1Port;
        if (slot.empty())
            slot = answer->port.name;
        // What reader 1 says counts: the upload runs there.
        if (reader == 1) {
            const FoundProgrammer onReader1 = programmerOf(*answer);
            programmer.variant = onReader1.variant;
            programmer.mode = onReader1.mode;
            programmer.firmwareVersion = onReader1.firmwareVersion;
        }
    }
    for (FoundProgrammer& programmer : paired) {
        if (programmer.reader1Port.empty()) {
            say(request, "Programmer " + programmer.serialNumber + " answered on " + programmer.reader2Port +
                             " as reader 2 only; its reader 1 port is needed for an upload, so it is left out.");
            continue;
        }
        found.push_back(std::move(programmer));
    }
    // In the order of their first port, as the host or the user listed them.
    const auto rank = [&](const FoundProgrammer& programmer) {
        const auto at = std::find_if(ports.begin(), ports.end(),
                                     [&](const PortInfo& p) { return p.name == programmer.reader1Port; });
        return at - ports.begin();
    };
    std::stable_sort(found.begin(), found.end(),
                     [&](const FoundProgrammer& a, const FoundProgrammer& b) { return rank(a) < rank(b); });
    return found;
}

std::string portOfUsbIdentity(PortHost& host, const UsbIdentity& usb, const std::string& fallback)
{
    // The USB port path first: it stays with the socket across a re-plug,
    // and tells apart two chips without (or with the same) serial number.
    const auto same = [&](const UsbIdentity& other) {
        return other.vendorId == usb.vendorId && other.productId == usb.productId
            && other.interfaceNumber == usb.interfaceNumber;
    };
    const std::vector<PortInfo> ports = host.listPorts();
    if (!usb.location.empty()) {
        for (const PortInfo& port : ports) {
            if (port.usb && same(*port.usb) && port.usb->location == usb.location)
                return port.name;
        }
    }
    if (!usb.serial.empty()) {
        for (const PortInfo& port : ports) {
            if (port.usb && same(*port.usb) && port.usb->serial == usb.serial)
                return port.name;
        }
    }
    return fallback;
}

} // namespace talvex
