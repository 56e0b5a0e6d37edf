#include "cli/CardCommands.h"

#include "cli/Choices.h"
#include "cli/Json.h"

#include "common/Clock.h"
#include "context/ApplicationContext.h"
#include "serial/PortAccess.h"
#include "protocol/CardToolCommands.h"
#include "protocol/SettingsCommands.h"
#include "serial/PortSlot.h"
#include "serial/SerialPort.h"
#include "smartcard/AtrReport.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>

namespace talvex::cli {
namespace {

// --clock picks a clock button; the fit needs its frequency.
static_assert(std::size(kReaderClocksHz) == kClockButtons.size());

constexpr int kWatchPollMs = 20;
constexpr long kMaxWatchCount = 1000000;
constexpr long kMaxWatchSeconds = 7 * 24 * 3600;
// A test frame's answer: 01 02, the two command bytes, status 90 00, check.
constexpr std::size_t kFrameAnswerLength = 7;

std::atomic<bool> g_watchStop{false};

extern "C" void onInterrupt(int)
{
    g_watchStop = true;
}

// Ctrl+C ends a watch cleanly, so the port's settings go back as they were.
class InterruptGuard {
public:
    InterruptGuard()
        : m_previous(std::signal(SIGINT, onInterrupt))
    {
        g_watchStop = false;
    }
    ~InterruptGuard() { std::signal(SIGINT, m_previous); }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    void (*m_previous)(int);
};

std::vector<std::string> cardListPaths(const CommandRun& run)
{
    if (const auto file = run.call.value("--card-list"))
        return {*file};
    return defaultSmartcardListPaths();
}

Json optionalNumber(const std::optional<std::uint32_t>& value)
{
    return value ? Json(*value) : Json(nullptr);
}

Json optionalByte(const std::optional<std::uint8_t>& value)
{
    return value ? Json(hexByte(*value)) : Json(nullptr);
}

Json rounded(double value)
{
    return std::round(value * 100.0) / 100.0;
}

Json historicalJson(const HistoricalBytes& historical)
{
    Json objects = Json::array();
    for (const CompactTlv& object : historical.objects) {
        objects.push_back({{"tag", object.tag}, {"name", compactTlvName(object.tag)}, {"value", spacedHex(object.value)}});
    }
    Json json = {{"bytes", spacedHex(historical.bytes)},
                 {"category", optionalByte(historical.category())},
                 {"objects", objects}};
    if (historical.statusIndicator) {
        const auto& status = *historical.statusIndicator;
        json["statusIndicator"] = {{"lcs", hexByte(status[0])}, {"sw", hexByte(status[1]) + hexByte(status[2])}};
    }
    if (historical.berApplicationIdentifier)
        json["applicationIdentifier"] = spacedHex(*historical.berApplicationIdentifier);
    if (const auto& card = historical.contactless) {
        const auto orNull = [](const std::string& name) { return name.empty() ? Json(nullptr) : Json(name); };
        json["contactless"] = {{"rid", spacedHex({card->rid.begin(), card->rid.end()})},
                               {"standard", hexByte(card->standard)},
                               {"standardName", orNull(contactlessStandardName(card->standard))},
                               {"cardName", hexByte(static_cast<std::uint8_t>(card->cardName >> 8)) +
                                                hexByte(static_cast<std::uint8_t>(card->cardName))},
                               {"cardNameText", orNull(contactlessCardName(card->cardName))}};
    }
    return json;
}

Json diagnosisJson(const AtrDiagnosis& diagnosis)
{
    const DecodedAtr& atr = diagnosis.atr;
    const AtrTiming& timing = diagnosis.timing;
    const ReaderFit& fit = diagnosis.fit;
    Json groups = Json::array();
    for (const InterfaceGroup& group : atr.groups) {
        groups.push_back({{"i", group.index},
                          {"protocol", group.protocol == InterfaceGroup::kGlobal ? Json("global") : Json(group.protocol)},
                          {"TA", optionalByte(group.ta)},
                          {"TB", optionalByte(group.tb)},
                          {"TC", optionalByte(group.tc)},
                          {"TD", optionalByte(group.td)}});
    }
    const char* convention = atr.convention == Convention::Direct    ? "direct"
        : atr.convention == Convention::Inverse                     ? "inverse"
                                                                     : "unknown";
    Json json = {
        {"atr", spacedHex(atr.bytes)},
        {"received", spacedHex(diagnosis.received)},
        {"length", atr.length},
        {"wellFormed", atr.wellFormed()},
        {"problems", atr.problems},
        {"notes", atr.notes},
        {"card", diagnosis.card ? Json(diagnosis.card->name()) : Json(nullptr)},
        {"cardDescriptions", diagnosis.card ? Json(diagnosis.card->descriptions) : Json::array()},
        {"convention", convention},
        {"convertedFromDirectReading", atr.convertedFromDirectReading},
        {"T0", optionalByte(atr.t0)},
        {"historicalCount", atr.historicalCount},
        {"interfaceBytes", groups},
        {"protocols", atr.protocols},
        {"globalT15", atr.globalT15},
        {"Fi", timing.fi},
        {"F", timing.f ? Json(*timing.f) : Json(nullptr)},
        {"Di", timing.di},
        {"D", timing.d ? Json(*timing.d) : Json(nullptr)},
        {"ta1Present", timing.ta1Present},
        {"maxClockHz", optionalNumber(timing.maxClockHz)},
        {"clockHz", std::llround(fit.clockHz)},
        {"clockFromReader", fit.clockFromReader},
        {"initialBitRate", fit.initialRate ? rounded(*fit.initialRate) : Json(nullptr)},
        {"offeredBitRate", fit.offeredRate ? rounded(*fit.offeredRate) : Json(nullptr)},
        {"extraGuardTime", timing.extraGuardTime},
        {"historical", historicalJson(atr.historical)},
        {"tck",
         {{"required", atr.tckRequired},
          {"value", optionalByte(atr.tck)},
          {"expected", optionalByte(atr.tckExpected)},
          {"valid", atr.tck ? Json(atr.tckValid()) : Json(nullptr)}}},
    };
    if (atr.offers(1)) {
        const T1Parameters t1 = t1Parameters(atr);
        json["t1"] = {{"ifsc", t1.ifsc}, {"bwi", t1.bwi}, {"cwi", t1.cwi}, {"edc", t1.crc ? "CRC" : "LRC"}};
    }
    if (timing.specificMode) {
        json["specificMode"] = {{"protocol", timing.specificProtocol},
                                {"implicitParameters", timing.implicitParameters},
                                {"modeChangeable", timing.modeChangeable},
                                {"bitRate", fit.specificRate ? rounded(*fit.specificRate) : Json(nullptr)}};
    }
    if (diagnosis.reader) {
        const ReaderCardPort& reader = *diagnosis.reader;
        json["reader"] = {{"clockHz", optionalNumber(reader.clockHz)},
                          {"baud", optionalNumber(reader.baud)},
                          {"parity", reader.parityCode ? Json(parityName(*reader.parityCode)) : Json(nullptr)},
                          {"addedStopBits", reader.addedStopBits ? Json(*reader.addedStopBits) : Json(nullptr)},
                          {"serialNumber", reader.serialNumber},
                          {"version", reader.versionText}};
    }
    static const char* const speeds[] = {"unknown", "matches-initial", "matches-offered", "mismatch",
                                         "matches-specific"};
    Json suitable = Json::array();
    for (const ReaderFit::Setting& setting : fit.suitableSettings)
        suitable.push_back({{"clockHz", setting.clockHz}, {"baud", setting.baud}, {"afterPps", setting.afterPps}});
    json["fit"] = {{"speed", speeds[static_cast<int>(fit.speed)]},
                   {"suitableSettings", suitable},
                   {"clockAboveMaximum", fit.clockAboveMaximum},
                   {"guardTimeShort", fit.guardTimeShort},
                   {"verdict", fit.verdict},
                   {"warnings", fit.warnings}};
    return json;
}

void printDiagnosis(CommandRun& run, const AtrDiagnosis& diagnosis)
{
    if (run.call.has("--json"))
        run.console.result(jsonText(diagnosisJson(diagnosis)));
    else
        run.console.resultText(formatLines(describeDiagnosis(diagnosis)));
}

// The reader's port as the card tool opens it: 115200 baud, lines raised.
Step<> openReader(CommandRun& run)
{
    const std::string name = *run.call.value("--port");
    PortSlot& port = run.context.ports().a;
    run.console.log("Attempting to open COM Port...");
    if (const Result<void> opened = port.open(run.context.host(), name, kNormalMode); !opened) {
        for (const std::string& line : portOpenErrorLines(name, opened.failure()))
            run.console.problem(line);
        return exitCodeForOpen(opened.status());
    }
    run.console.log(name + " Port opened successfully!");
    return {};
}

Step<> requireCard(CommandRun& run)
{
    if (run.context.ports().a.ctsOn())
        return {};
    return run.fail(ExitCode::NoCard, "no card in the reader on " + *run.call.value("--port"));
}

// The open reader holding a card; else the command's exit status.
Step<> readerWithCard(CommandRun& run)
{
    if (Step<> opened = openReader(run); !opened)
        return opened;
    return requireCard(run);
}

std::optional<long> wholeNumber(const std::string& text, long low, long high)
{
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

std::string timeStamp(std::chrono::system_clock::time_point start, Micros elapsed)
{
    const auto at = start + std::chrono::duration_cast<std::chrono::system_clock::duration>(elapsed);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
    char wall[32] = "??:??:??";
    if (const std::tm* local = std::localtime(&seconds))
        std::strftime(wall, sizeof wall, "%H:%M:%S", local);
    char text[96];
    std::snprintf(text, sizeof text, "%s.%03lld +%lld.%03lld s", wall, static_cast<long long>(millis),
                  static_cast<long long>(elapsed.count() / 1000000), static_cast<long long>(elapsed.count() / 1000 % 1000));
    return text;
}

// The answers "Send" logged, one hex text each, in frame order.
std::vector<std::string> answersOf(const std::string& log)
{
    std::vector<std::string> answers;
    const std::string marker = "Received: ";
    for (std::size_t at = log.find(marker); at != std::string::npos; at = log.find(marker, at)) {
        at += marker.size();
        const std::size_t end = std::min(log.find('\r', at), log.size());
        answers.push_back(log.substr(at, end - at));
    }
    return answers;
}

} // namespace

void requestCardWatchStop()
{
    g_watchStop = true;
}

ExitCode runAtr(CommandRun& run)
{
    const auto bytes = parseHexBytes(run.positional(0));
    if (!bytes || bytes->empty())
        return run.fail(ExitCode::BadArguments,
                        "HEX is the ATR as pairs of hex digits (\"3B021450\" or \"3B 02 14 50\"), not \"" +
                            run.positional(0) + "\"");
    const auto clock = run.call.value("--clock");
    const auto speed = run.call.value("--card-port");
    if (clock.has_value() != speed.has_value())
        return run.fail(ExitCode::BadArguments, "--clock and --card-port go together");
    std::optional<ReaderCardPort> reader;
    if (clock) {
        const auto clockButton = clockChoices().find(*clock);
        if (!clockButton)
            return run.fail(ExitCode::BadArguments,
                            "--clock is one of " + clockChoices().joined() + ", not \"" + *clock + "\"");
        const auto speedButton = speedChoices().find(*speed);
        if (!speedButton)
            return run.fail(ExitCode::BadArguments,
                            "--card-port is one of " + speedChoices().joined() + ", not \"" + *speed + "\"");
        reader.emplace();
        reader->clockHz = kReaderClocksHz[*clockButton];
        reader->baud = cardPortBaud(*speedButton);
        reader->givenByUser = true;
    }
    printDiagnosis(run, diagnoseAtr(*bytes, reader, cardListPaths(run)));
    return ExitCode::Ok;
}

ExitCode runCardAtr(CommandRun& run)
{
    if (const Step<> ready = readerWithCard(run); !ready)
        return ready.error();
    PortSlot& port = run.context.ports().a;
    const AtrResult read = readAtr(port, run.context.clock(), true, {});
    const auto bytes = read.ok ? parseHexBytes(read.atrText) : std::nullopt;
    if (!bytes)
        return run.fail(ExitCode::DeviceRefused, "the card on " + *run.call.value("--port") + " gave no ATR");
    run.console.log(atrLogLine(read));
    const std::optional<ReaderCardPort> reader = queryReaderCardPort(port, run.context.clock());
    if (!reader)
        run.console.problem("The programmer did not report the reader's settings.");
    printDiagnosis(run, diagnoseAtr(*bytes, reader, cardListPaths(run)));
    return ExitCode::Ok;
}

ExitCode runCardWatch(CommandRun& run)
{
    std::optional<long> count;
    if (const auto text = run.call.value("--count"); text && !(count = wholeNumber(*text, 1, kMaxWatchCount)))
        return run.fail(ExitCode::BadArguments, "--count takes 1 to " + std::to_string(kMaxWatchCount) + ", not \"" +
                                                    *text + "\"");
    std::optional<long> seconds;
    if (const auto text = run.call.value("--timeout"); text && !(seconds = wholeNumber(*text, 1, kMaxWatchSeconds)))
        return run.fail(ExitCode::BadArguments, "--timeout takes 1 to " + std::to_string(kMaxWatchSeconds) +
                                                    " seconds, not \"" + *text + "\"");
    if (const Step<> opened = openReader(run); !opened)
        return opened.error();
    const std::string name = *run.call.value("--port");
    PortSlot& port = run.context.ports().a;
    Clock& clock = run.context.clock();
    const InterruptGuard interrupts;
    const auto wallStart = std::chrono::system_clock::now();
    const TimePoint start = clock.now();
    bool present = port.ctsOn();
    run.console.log(name + (present ? ": a card is in the reader" : ": no card in the reader") +
                    "; watching (Ctrl+C ends)");
    long changes = 0;
    // Ends on Ctrl+C, after --count changes, at --timeout, or when the port goes.
    while (!g_watchStop && (!count || changes < *count)) {
        if (seconds && clock.now() - start >= std::chrono::seconds(*seconds))
            break;
        clock.sleepMs(kWatchPollMs);
        const auto status = port.modemStatus();
        if (!status)
            return run.fail(ExitCode::PortOpenFailed, name + " no longer answers");
        const bool now = (*status & kModemStatusCts) != 0;
        if (now == present)
            continue;
        present = now;
        ++changes;
        run.console.result(timeStamp(wallStart, clock.now() - start) + " " + name +
                           (present ? ": card inserted" : ": card removed"));
    }
    if (count && changes < *count)
        return run.fail(ExitCode::Failure, std::to_string(changes) + " of " + std::to_string(*count) +
                                               " changes before the watch ended");
    return ExitCode::Ok;
}

ExitCode runCardSend(CommandRun& run)
{
    if (const Step<> ready = readerWithCard(run); !ready)
        return ready.error();
    const std::vector<std::string> answers = answersOf(sendTestFrames(run.context.ports().a, run.context.clock()));
    bool allGood = answers.size() == std::size(kCardTestFrames);
    for (std::size_t i = 0; i < answers.size() && i < std::size(kCardTestFrames); ++i) {
        const auto bytes = parseHexBytes(answers[i]);
        const bool good = bytes && bytes->size() == kFrameAnswerLength && (*bytes)[4] == 0x90 && (*bytes)[5] == 0x00;
        allGood = allGood && good;
        run.console.result(std::string(kCardTestFrames[i]) + " -> " + (answers[i].empty() ? "no answer" : answers[i]) +
                           (good ? " (90 00)" : ""));
    }
    if (!allGood)
        return run.fail(ExitCode::DeviceRefused, "the card did not answer every test frame with 90 00");
    return ExitCode::Ok;
}

} // namespace talvex::cli
