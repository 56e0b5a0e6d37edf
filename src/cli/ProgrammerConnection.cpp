#include "cli/ProgrammerConnection.h"

#include "common/Clock.h"
#include "context/ApplicationContext.h"
#include "protocol/VersionText.h"
#include "serial/PortSlot.h"

namespace talvex::cli {
namespace {

// Connect waits this long after dropping RTS, before DTR and identification.
constexpr int kConnectSettleMs = 1500;

} // namespace

Connection connectProgrammer(ApplicationContext& context, const std::string& portName,
                             const std::vector<SpeedVariant>& variants,
                             const std::function<void(std::string_view)>& log,
                             const std::function<void(std::string_view)>& problem)
{
    Connection connection;
    PortSlot& port = context.ports().a;
    DetectionResults& detection = context.detection();
    for (std::size_t attempt = 0; attempt < variants.size(); ++attempt) {
        const SpeedVariant variant = variants[attempt];
        connection.variant = variant;
        log("Attempting to open COM Port...");
        if (!port.open(context.host(), portName, modeFor(variant))) {
            connection.opened = false;
            connection.openError = port.lastOpenError();
            problem("ERROR: " + portName + " Port open error!");
            // Say why, so the user can act on it.
            problem(connection.openError.message);
            return connection;
        }
        connection.opened = true;
        log(portName + " Port opened successfully!");
        port.setRts(false);
        context.clock().sleepMs(kConnectSettleMs);
        port.setDtr(true);

        connection.identity = identify(port, context.clock(), variant, detection.answerDelayMs);
        if (connection.found())
            break;
        if (attempt + 1 < variants.size())
            port.close();
    }

    detection.clearFound();
    detection.variant = connection.variant;
    switch (connection.identity.mode) {
    case ProgrammerMode::None: problem("No Programmer found !"); break;
    case ProgrammerMode::BootLoader:
        log("Programmer in BOOT mode.");
        log("Only firmware upload allowed !");
        break;
    case ProgrammerMode::Application: log("Programmer in PROGRAM mode."); break;
    }
    if (connection.found()) {
        const IdentityFields& fields = connection.identity.fields;
        // What the device just said is what an upload goes by.
        detection.bootLoader = connection.identity.mode == ProgrammerMode::BootLoader;
        detection.serialNumber = fields.serialNumber;
        detection.versionDigits = fields.versionDigits;
        detection.versionText = connection.identity.versionText;
        // A boot loader's version is no firmware version to compare.
        if (connection.identity.mode == ProgrammerMode::Application)
            detection.versionNumber = firmwareVersionNumber(fields.versionDigits);
        detection.answerText = fields.answerText;
    }
    return connection;
}

std::optional<std::vector<SpeedVariant>> variantsFor(std::string_view word)
{
    if (word == "auto")
        return std::vector<SpeedVariant> {SpeedVariant::Normal, SpeedVariant::LowSpeed1, SpeedVariant::LowSpeed2};
    if (word == "normal")
        return std::vector<SpeedVariant> {SpeedVariant::Normal};
    if (word == "low1")
        return std::vector<SpeedVariant> {SpeedVariant::LowSpeed1};
    if (word == "low2")
        return std::vector<SpeedVariant> {SpeedVariant::LowSpeed2};
    return std::nullopt;
}

std::string variantWord(SpeedVariant variant)
{
    switch (variant) {
    case SpeedVariant::LowSpeed1: return "low1";
    case SpeedVariant::LowSpeed2: return "low2";
    case SpeedVariant::Normal: break;
    }
    return "normal";
}

} // namespace talvex::cli
