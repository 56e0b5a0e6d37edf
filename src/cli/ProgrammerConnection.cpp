#include "cli/ProgrammerConnection.h"

#include "common/Clock.h"
#include "context/ApplicationContext.h"
#include "protocol/ProgrammerConnect.h"
#include "protocol/VersionText.h"
#include "serial/PortSlot.h"

namespace talvex::cli {

Connection connectProgrammer(ApplicationContext& context, const std::string& portName,
                             const std::vector<SpeedVariant>& variants,
                             const std::function<void(std::string_view)>& log,
                             const std::function<void(std::string_view)>& problem)
{
    Connection connection;
    PortSlot& port = context.ports().a;
    DetectionResults& detection = context.detection();
    const ConnectLog connectLog = [&](const std::string& line, bool isProblem) {
        if (isProblem)
            problem(line);
        else
            log(line);
    };
    for (std::size_t attempt = 0; attempt < variants.size(); ++attempt) {
        const SpeedVariant variant = variants[attempt];
        connection.variant = variant;
        const Result<IdentifyResult> result = openAndIdentify(port, context.host(), context.clock(), portName,
                                                              variant, detection.answerDelayMs, connectLog);
        connection.opened = result.failure();
        if (!result)
            return connection;
        connection.identity = *result;
        if (connection.found())
            break;
        if (attempt + 1 < variants.size())
            port.close();
    }

    detection.clearFound();
    detection.variant = connection.variant;
    logIdentification(connection.identity.mode, connectLog);
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
    if (const auto variant = speedVariantFromOption(word))
        return std::vector<SpeedVariant> {*variant};
    return std::nullopt;
}

std::string variantWord(SpeedVariant variant)
{
    return std::string(optionName(variant));
}

} // namespace talvex::cli
