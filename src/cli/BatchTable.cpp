#include "cli/BatchTable.h"

#include "usbserial/UsbSerialText.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace talvex::cli {
namespace {

constexpr std::size_t kColumns = 9;
using TableRow = std::array<std::string, kColumns>;

std::string orDash(const std::string& text)
{
    return text.empty() ? "-" : text;
}

std::string secondsText(std::chrono::milliseconds duration)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

std::string withoutTrailingBlanks(std::string text)
{
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

} // namespace

std::string shortSerial(const std::string& serialNumber)
{
    // The eight digits its USB serial number is made of tell programmers
    // apart; the others are often the same on one batch.
    const auto usbPart = usbSerialFromProgrammerSerial(serialNumber);
    return usbPart ? *usbPart : serialNumber;
}

std::string programmerName(std::size_t index, const FoundProgrammer& programmer)
{
    return "programmer " + std::to_string(index + 1) + " (" + programmer.positionText() + ")";
}

std::string foundLine(std::size_t index, const FoundProgrammer& programmer)
{
    std::string line = "programmer " + std::to_string(index + 1) + ": " + programmer.portsText();
    if (programmer.usb && !programmer.usb->location.empty())
        line += ", USB " + programmer.usb->location;
    line += ", serial " + programmer.serialNumber;
    line += programmer.mode == ProgrammerMode::Application ? ", firmware " + programmer.firmwareVersion
                                                           : std::string(", boot loader");
    return line;
}

std::string minutesText(std::chrono::seconds time)
{
    const long long seconds = std::max<long long>(time.count(), 0);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

std::vector<std::string> recordTable(const std::vector<BatchRecord>& records)
{
    std::vector<TableRow> rows {
        {"#", "ports", "serial number", "before", "after", "USB serial", "verdict", "time", "reason"}};
    for (const BatchRecord& record : records) {
        rows.push_back({std::to_string(record.position), orDash(record.ports), orDash(record.serialNumber),
                        orDash(record.versionBefore), orDash(record.versionAfter), orDash(record.usbSerial),
                        record.verdict(), secondsText(record.duration), record.reason});
    }
    // The reason column only where a row has one: otherwise it only widens.
    const bool anyReason = std::any_of(records.begin(), records.end(),
                                       [](const BatchRecord& record) { return !record.reason.empty(); });
    const std::size_t columns = anyReason ? kColumns : kColumns - 1;
    std::array<std::size_t, kColumns> widths {};
    for (const TableRow& row : rows) {
        for (std::size_t column = 0; column < kColumns; ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    std::vector<std::string> lines;
    for (const TableRow& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < columns; ++column) {
            std::string cell = row[column];
            if (column + 1 < columns)
                cell.resize(widths[column] + 2, ' ');
            line += cell;
        }
        lines.push_back(withoutTrailingBlanks(line));
    }
    return lines;
}

} // namespace talvex::cli
