#include "smartcard/AtrReport.h"

#include <cstdio>

namespace talvex {
namespace {

constexpr int kT1 = 1;
constexpr int kT15 = 15;

std::string decimals(double value, int places)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    return text;
}

std::string presenceText(int presence, int group)
{
    std::string names;
    const char* kinds[] = {"TA", "TB", "TC", "TD"};
    for (int kind = 0; kind < 4; ++kind) {
        if (presence & (1 << kind))
            names += std::string(names.empty() ? "" : " ") + kinds[kind] + std::to_string(group);
    }
    if (names.empty())
        return "no interface bytes follow";
    return names + (names.find(' ') == std::string::npos ? " follows" : " follow");
}

std::string protocolName(int protocol)
{
    return protocol == InterfaceGroup::kGlobal ? "global" : "T=" + std::to_string(protocol);
}

std::string fiText(int fi)
{
    const auto f = clockRateConversion(fi);
    const auto fmax = maxClockHz(fi);
    if (!f)
        return "Fi=" + std::to_string(fi) + " (reserved)";
    return "Fi=" + std::to_string(fi) + " (F=" + std::to_string(*f) + ", max " + megahertz(*fmax) + ")";
}

std::string diText(int di)
{
    const auto d = baudAdjustment(di);
    return "Di=" + std::to_string(di) + (d ? " (D=" + std::to_string(*d) + ")" : std::string(" (reserved)"));
}

std::string classText(std::uint8_t ta)
{
    static const char* const stops[] = {"not supported", "state L", "state H", "no preference"};
    std::string classes;
    const char* const names[] = {"A (5 V)", "B (3 V)", "C (1.8 V)"};
    for (int bit = 0; bit < 3; ++bit) {
        if (ta & (1 << bit))
            classes += std::string(classes.empty() ? "" : ", ") + names[bit];
    }
    return std::string("clock stop ") + stops[ta >> 6] + "; classes " + (classes.empty() ? "none named" : classes);
}

// What one interface byte says, by its kind, group and protocol.
std::string meaning(const DecodedAtr& atr, char kind, const InterfaceGroup& group, std::uint8_t value,
                    const AtrTiming& timing, double clockHz)
{
    const int i = group.index;
    // Only the first TA, TB, TC for a protocol carry the clause's meaning.
    const bool first = i > 2 && atr.firstIndexFor(group.protocol, kind) == i;
    if (kind == 'D')
        return presenceText(value >> 4, i + 1) + "; T=" + std::to_string(value & 0x0F);
    if (i == 1) {
        switch (kind) {
        case 'A': return fiText(value >> 4) + ", " + diText(value & 0x0F);
        case 'B': return "programming voltage (deprecated, ignored)";
        default:
            return value == 255 ? std::string("N=255: minimum guard time (12 etu for T=0, 11 etu for T=1)")
                                : "extra guard time N=" + std::to_string(value) + " etu";
        }
    }
    if (i == 2) {
        if (kind == 'A') {
            return std::string("specific mode T=") + std::to_string(value & 0x0F) +
                ((value & 0x10) ? ", implicit parameters" : ", parameters of TA1") +
                ((value & 0x80) ? ", mode cannot change" : ", mode can change");
        }
        if (kind == 'B')
            return "programming voltage (deprecated, ignored)";
        // TC2 belongs to T=0: WT = 960 · WI · Fi / f.
        const double waitMs = timing.f ? 960.0 * value * *timing.f / clockHz * 1000.0 : 0.0;
        return "waiting time integer WI=" + std::to_string(value) + " (T=0)" +
            (timing.f ? ": waiting time " + decimals(waitMs, 1) + " ms at " + megahertz(clockHz) : std::string());
    }
    if (group.protocol == kT1 && first) {
        switch (kind) {
        case 'A': return "IFSC " + std::to_string(value) + " bytes (T=1)";
        case 'B':
            return "BWI=" + std::to_string(value >> 4) + ", CWI=" + std::to_string(value & 0x0F) + " (T=1)";
        default: return std::string("error detection ") + ((value & 0x01) ? "CRC" : "LRC") + " (T=1)";
        }
    }
    if (group.protocol == kT15 && first) {
        if (kind == 'A')
            return classText(value) + " (global)";
        if (kind == 'B')
            return "use of C6 (SPU) " + hexByte(value) + " (global)";
    }
    return "for " + protocolName(group.protocol);
}

std::string t1Summary(const DecodedAtr& atr)
{
    const T1Parameters t1 = t1Parameters(atr);
    return "IFSC " + std::to_string(t1.ifsc) + ", BWI " + std::to_string(t1.bwi) + ", CWI " + std::to_string(t1.cwi) +
        ", " + (t1.crc ? "CRC" : "LRC") + (t1.defaults ? " (defaults)" : "");
}

std::string known(const std::string& name)
{
    return name.empty() ? std::string("not known to the tool") : name;
}

void describeContactless(const HistoricalBytes& historical, std::vector<ReportLine>& lines)
{
    lines.push_back({1, "Application identifier (4F)", spacedHex(*historical.berApplicationIdentifier)});
    if (!historical.contactless)
        return;
    const ContactlessCard& card = *historical.contactless;
    lines.push_back({2, "RID", spacedHex({card.rid.begin(), card.rid.end()}) + " (PC/SC contactless storage card)"});
    lines.push_back({2, "Standard", hexByte(card.standard) + ": " + known(contactlessStandardName(card.standard))});
    lines.push_back({2, "Card name",
                     hexByte(static_cast<std::uint8_t>(card.cardName >> 8)) + " " +
                         hexByte(static_cast<std::uint8_t>(card.cardName)) + ": " +
                         known(contactlessCardName(card.cardName))});
    lines.push_back({2, "RFU", spacedHex({card.rfu.begin(), card.rfu.end()})});
}

std::string categoryText(std::uint8_t category)
{
    if (category == 0x00)
        return "00: compact-TLV objects, then the status indicator";
    if (category == 0x10)
        return "10: DIR data reference follows";
    if (category == 0x80)
        return "80: compact-TLV objects";
    if (category > 0x80 && category <= 0x8F)
        return hexByte(category) + ": reserved for future use";
    return hexByte(category) + ": proprietary";
}

std::string printable(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (byte < 0x20 || byte > 0x7E)
            return {};
        text += static_cast<char>(byte);
    }
    return text;
}

void describeHistorical(const DecodedAtr& atr, std::vector<ReportLine>& lines)
{
    const HistoricalBytes& historical = atr.historical;
    if (historical.bytes.empty()) {
        lines.push_back({0, "Historical bytes", "none"});
        return;
    }
    lines.push_back({0, "Historical bytes",
                     spacedHex(historical.bytes) + " (" + std::to_string(historical.bytes.size()) + ")"});
    if (const std::string text = printable(historical.bytes); !text.empty())
        lines.push_back({1, "Text", "\"" + text + "\""});
    lines.push_back({1, "Category",
                     historical.berApplicationIdentifier ? std::string("80: one BER object, the application identifier")
                                                         : categoryText(*historical.category())});
    if (*historical.category() == 0x10 && historical.bytes.size() > 1)
        lines.push_back({1, "DIR data reference", hexByte(historical.bytes[1])});
    if (historical.berApplicationIdentifier)
        describeContactless(historical, lines);
    for (const CompactTlv& object : historical.objects) {
        lines.push_back({1, compactTlvName(object.tag) + " (tag " + std::to_string(object.tag) + ")",
                         object.value.empty() ? "empty" : spacedHex(object.value)});
    }
    if (historical.statusIndicator) {
        const auto& status = *historical.statusIndicator;
        lines.push_back({1, "Status indicator",
                         "LCS " + hexByte(status[0]) + ", SW " + hexByte(status[1]) + " " + hexByte(status[2])});
    }
}

std::string tckText(const DecodedAtr& atr)
{
    if (!atr.tckRequired)
        return atr.extraBytes > 0 ? "none expected: only T=0 offered" : "absent: only T=0 offered";
    if (!atr.tck)
        return "missing (required: a protocol other than T=0 is offered)";
    if (!atr.tckExpected)
        return hexByte(*atr.tck) + ": not checked";
    if (atr.tckValid())
        return hexByte(*atr.tck) + ": correct (T0 to TCK XOR to 00)";
    return hexByte(*atr.tck) + ": wrong, expected " + hexByte(*atr.tckExpected);
}

std::string protocolsText(const DecodedAtr& atr)
{
    std::string text;
    for (const int protocol : atr.protocols)
        text += std::string(text.empty() ? "" : ", ") + "T=" + std::to_string(protocol);
    if (atr.globalT15)
        text += ", global bytes (T=15)";
    if (!atr.td(1))
        text += " (no TD1: T=0 only)";
    return text;
}

void describeTiming(const AtrDiagnosis& diagnosis, std::vector<ReportLine>& lines)
{
    const AtrTiming& timing = diagnosis.timing;
    const ReaderFit& fit = diagnosis.fit;
    const std::string defaults = timing.ta1Present ? "" : " (no TA1: defaults)";
    lines.push_back({0, "Clock rate conversion", fiText(timing.fi) + defaults});
    lines.push_back({0, "Baud adjustment", diText(timing.di) + defaults});
    const std::string at = " at " + megahertz(fit.clockHz) +
        (fit.clockFromReader ? " (the reader's clock)" : " (the reader's clock not known)");
    const auto rateLine = [&](const std::string& label, std::optional<double> rate) {
        if (rate)
            lines.push_back({0, label, bitsPerSecond(*rate) + ", etu " + decimals(1e6 / *rate, 2) + " us" + at});
    };
    rateLine("Bit rate during the ATR", fit.initialRate);
    if (timing.specificMode) {
        const std::string label = "Bit rate after the ATR (specific mode, no PPS)";
        if (timing.implicitParameters)
            lines.push_back({0, label, "implicit parameters (TA2 bit 5): not given by the ATR"});
        else if (fit.specificRate)
            rateLine(label, fit.specificRate);
        else
            lines.push_back({0, label, "none: TA1 uses reserved values"});
    } else if (timing.ta1Present) {
        if (fit.offeredRate)
            rateLine("Bit rate TA1 offers", fit.offeredRate);
        else
            lines.push_back({0, "Bit rate TA1 offers", "none: TA1 uses reserved values"});
    }
    lines.push_back({0, "Guard time",
                     timing.extraGuardTime == 255 ? std::string("minimum (TC1 = FF)")
                                                  : std::to_string(12 + timing.extraGuardTime) + " etu" +
                             (diagnosis.atr.tc(1) ? "" : " (no TC1)")});
}

void describeReader(const AtrDiagnosis& diagnosis, std::vector<ReportLine>& lines)
{
    if (!diagnosis.reader) {
        lines.push_back({0, "Reader", "settings not known"});
    } else {
        const ReaderCardPort& reader = *diagnosis.reader;
        lines.push_back({0, "Reader", reader.givenByUser ? "card port as given" : "card port as the programmer reports it"});
        lines.push_back({1, "Clock", reader.clockHz ? megahertz(*reader.clockHz) : "unknown"});
        lines.push_back({1, "Speed", reader.baud ? std::to_string(*reader.baud) + " baud" : "unknown"});
        if (reader.parityCode)
            lines.push_back({1, "Parity", parityName(*reader.parityCode)});
        if (reader.addedStopBits)
            lines.push_back({1, "Added stop bits", std::to_string(*reader.addedStopBits)});
    }
    for (const std::string& sentence : diagnosis.fit.verdict)
        lines.push_back({0, "Verdict", sentence});
    for (const std::string& sentence : diagnosis.fit.warnings)
        lines.push_back({0, "Warning", sentence});
}

} // namespace

std::string compactTlvName(std::uint8_t tag)
{
    switch (tag) {
    case 0x1: return "Country code";
    case 0x2: return "Issuer identification number";
    case 0x3: return "Card service data";
    case 0x4: return "Initial access data";
    case 0x5: return "Card issuer's data";
    case 0x6: return "Pre-issuing data";
    case 0x7: return "Card capabilities";
    case 0x8: return "Status indicator";
    case 0xF: return "Application identifier";
    default: return "Reserved object";
    }
}

AtrDiagnosis diagnoseAtr(const std::vector<std::uint8_t>& bytes, const std::optional<ReaderCardPort>& reader,
                         const std::vector<std::string>& cardListPaths)
{
    AtrDiagnosis diagnosis;
    diagnosis.received = bytes;
    diagnosis.atr = decodeAtr(bytes);
    diagnosis.timing = atrTiming(diagnosis.atr);
    diagnosis.reader = reader;
    diagnosis.fit = assessReaderFit(diagnosis.atr, reader);
    // The list names whole ATRs, so the bytes the ATR is made of are looked up.
    const std::vector<std::uint8_t> own(diagnosis.atr.bytes.begin(),
                                        diagnosis.atr.bytes.begin() + static_cast<std::ptrdiff_t>(diagnosis.atr.length));
    if (!own.empty())
        diagnosis.card = lookUpCard(spacedHex(own), cardListPaths);
    return diagnosis;
}

std::vector<ReportLine> describeDiagnosis(const AtrDiagnosis& diagnosis)
{
    const DecodedAtr& atr = diagnosis.atr;
    std::vector<ReportLine> lines;
    lines.push_back({0, "ATR", spacedHex(atr.bytes) + " (" + std::to_string(atr.bytes.size()) + " bytes)"});
    if (diagnosis.received != atr.bytes)
        lines.push_back({1, "Received", spacedHex(diagnosis.received)});
    lines.push_back({0, "Card", diagnosis.cardName()});
    if (diagnosis.card) {
        for (std::size_t i = 1; i < diagnosis.card->descriptions.size(); ++i)
            lines.push_back({1, "", diagnosis.card->descriptions[i]});
    }
    if (atr.wellFormed())
        lines.push_back({0, "Status", "well formed"});
    for (const std::string& problem : atr.problems)
        lines.push_back({0, "Problem", problem});
    for (const std::string& note : atr.notes)
        lines.push_back({0, "Note", note});
    if (atr.bytes.empty())
        return lines;

    std::string ts = hexByte(atr.bytes.front()) + ": ";
    ts += atr.convention == Convention::Direct    ? "direct convention"
        : atr.convention == Convention::Inverse ? "inverse convention"
                                                : "unknown convention";
    if (atr.convertedFromDirectReading)
        ts += " (read as 03 in direct convention; all bytes converted)";
    lines.push_back({0, "TS", ts});
    if (atr.t0) {
        lines.push_back({0, "T0",
                         hexByte(*atr.t0) + ": " + presenceText(*atr.t0 >> 4, 1) + "; K=" +
                             std::to_string(atr.historicalCount) + " historical bytes"});
    }
    for (const InterfaceGroup& group : atr.groups) {
        const std::pair<char, std::optional<std::uint8_t>> bytes[] = {
            {'A', group.ta}, {'B', group.tb}, {'C', group.tc}, {'D', group.td}};
        for (const auto& [kind, value] : bytes) {
            if (value) {
                lines.push_back({0, std::string("T") + kind + std::to_string(group.index),
                                 hexByte(*value) + ": " +
                                     meaning(atr, kind, group, *value, diagnosis.timing, diagnosis.fit.clockHz)});
            }
        }
    }
    lines.push_back({0, "Protocols", protocolsText(atr)});
    describeTiming(diagnosis, lines);
    if (atr.offers(kT1))
        lines.push_back({0, "T=1", t1Summary(atr)});
    describeHistorical(atr, lines);
    lines.push_back({0, "TCK", tckText(atr)});
    describeReader(diagnosis, lines);
    return lines;
}

std::string formatLines(const std::vector<ReportLine>& lines)
{
    std::string text;
    for (const ReportLine& line : lines) {
        text += std::string(static_cast<std::size_t>(line.depth) * 2, ' ');
        if (!line.label.empty())
            text += line.label + ": ";
        text += line.value + "\n";
    }
    return text;
}

std::string serviceReport(const AtrDiagnosis& diagnosis, const std::string& serial, const std::string& version)
{
    const ReaderCardPort* reader = diagnosis.reader ? &*diagnosis.reader : nullptr;
    const std::string ownSerial = reader && !reader->serialNumber.empty() ? reader->serialNumber : serial;
    const std::string ownVersion = reader && !reader->versionText.empty() ? reader->versionText : version;
    std::string text = "Talvex smartcard reader: card report\n";
    text += "Programmer serial number: " + (ownSerial.empty() ? std::string("unknown") : ownSerial) + "\n";
    text += "Firmware version: " + (ownVersion.empty() ? std::string("unknown") : ownVersion) + "\n";
    // Appended apart: GCC 12 warns wrongly (-Wrestrict) on a literal plus a temporary.
    text += '\n';
    text += formatLines(describeDiagnosis(diagnosis));
    return text;
}

} // namespace talvex
