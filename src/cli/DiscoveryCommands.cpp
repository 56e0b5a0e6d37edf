#include "cli/CommandRun.h"
#include "cli/Json.h"
#include "context/ApplicationContext.h"
#include "protocol/Discovery.h"
#include "protocol/VersionText.h"

#include <cstdio>

namespace talvex::cli {
namespace {

std::optional<std::string> programmerOf(ProbeResult probe)
{
    switch (probe) {
    case ProbeResult::BootLoader:
    case ProbeResult::BootLoaderWithCard: return std::string("boot loader");
    case ProbeResult::Application:
    case ProbeResult::ApplicationWithCard: return std::string("application");
    case ProbeResult::NoProgrammer: break;
    }
    return std::nullopt;
}

bool cardIn(ProbeResult probe)
{
    return probe == ProbeResult::BootLoaderWithCard || probe == ProbeResult::ApplicationWithCard;
}

std::string probeText(ProbeResult probe)
{
    const auto programmer = programmerOf(probe);
    if (!programmer)
        return "no programmer";
    return *programmer + (cardIn(probe) ? ", card inserted" : "");
}

std::optional<std::string> textOrNothing(const std::string& text)
{
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

std::string hex4(std::uint16_t value)
{
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04x", value);
    return digits;
}

Json usbJson(const std::optional<UsbIdentity>& usb)
{
    if (!usb)
        return nullptr;
    return JsonObject()
        .add("description", usbDescription(usb))
        .add("vendorId", hex4(usb->vendorId))
        .add("productId", hex4(usb->productId))
        .add("serial", textOrNothing(usb->serial))
        .add("interface", usb->interfaceNumber)
        .add("manufacturer", textOrNothing(usb->manufacturer))
        .add("product", textOrNothing(usb->product))
        .add("location", textOrNothing(usb->location))
        .value();
}

} // namespace

ExitCode runPorts(CommandRun& run)
{
    DiscoveryEnvironment env = run.context.discovery();
    run.console.log("Scanning the serial ports ...");
    const std::vector<ProbedPort> ports = manualScan(env, run.context.detection());
    if (run.call.has("--json")) {
        std::vector<JsonObject> items;
        for (const ProbedPort& port : ports) {
            items.push_back(JsonObject()
                                .add("port", port.name)
                                .add("usb", usbJson(port.usb))
                                .add("programmer", programmerOf(port.probe))
                                .add("card", cardIn(port.probe)));
        }
        run.console.result(jsonArray(items));
    } else {
        // Three columns whatever the port: "-" where the system names no USB device.
        for (const ProbedPort& port : ports) {
            const std::string usb = usbDescription(port.usb);
            run.console.result(port.name + "\t" + (usb.empty() ? "-" : usb) + "\t" + probeText(port.probe));
        }
    }
    if (ports.empty())
        return run.fail(ExitCode::NoProgrammer, "no serial port could be opened");
    if (!anyProgrammer(ports))
        return run.fail(ExitCode::NoProgrammer, "no programmer answered on any port");
    return ExitCode::Ok;
}

ExitCode runDetect(CommandRun& run)
{
    DiscoveryEnvironment env = run.context.discovery();
    DetectionResults& results = run.context.detection();
    run.console.log("Searching for the programmer ...");
    detectProgrammer(env, results);
    if (results.reader1Port == kNoPortText)
        return run.fail(ExitCode::NoProgrammer, "no serial port could be opened");
    if (!results.bootLoader && results.serialNumber.size() != 32)
        return run.fail(ExitCode::NoProgrammer, "no programmer found");

    const std::string mode = results.bootLoader ? "boot loader" : "application";
    // The detection leaves the version text empty for a boot loader: its
    // digits are the boot loader's version.
    const std::string version = results.versionText.empty() ? firmwareVersionText(results.versionDigits)
                                                            : results.versionText;
    const auto portOrNothing = [](const std::string& name) {
        return name.empty() ? std::nullopt : std::optional<std::string>(name);
    };
    if (run.call.has("--json")) {
        run.console.result(JsonObject()
                               .add("mode", mode)
                               .add("serialNumber", results.serialNumber)
                               .add("version", version)
                               .add("reader1Port", portOrNothing(results.reader1Port))
                               .add("reader2Port", portOrNothing(results.reader2Port))
                               .add("variant", variantWord(results.variant))
                               .text());
    } else {
        run.console.result("mode: " + mode);
        run.console.result("serial: " + results.serialNumber);
        run.console.result("version: " + version);
        run.console.result("reader1-port: " + portOrNothing(results.reader1Port).value_or("none"));
        run.console.result("reader2-port: " + portOrNothing(results.reader2Port).value_or("none"));
        run.console.result("variant: " + variantWord(results.variant));
    }
    return ExitCode::Ok;
}

} // namespace talvex::cli
