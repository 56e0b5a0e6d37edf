#include "batch/BatchReport.h"

#include "firmware/FirmwareImage.h"

#include "common/JsonLine.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace talvex {
namespace {

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// RFC 4180: a field with a comma, quote or line break is quoted, its
// quotes doubled.
std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// Tenths of a second, rounded half up (no binary fraction in the way).
std::string seconds(std::chrono::milliseconds duration)
{
    const long long tenths = (std::max<long long>(duration.count(), 0) + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

} // namespace

std::optional<ReportFormat> reportFormatFor(const std::string& path)
{
    const std::string extension = lowerCase(pathFromUtf8(path).extension().string());
    if (extension == ".csv")
        return ReportFormat::Csv;
    if (extension == ".jsonl" || extension == ".ndjson" || extension == ".json")
        return ReportFormat::JsonLines;
    return std::nullopt;
}

std::string reportDateNow()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc {};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string csvHeaderLine()
{
    return "date,tool_version,firmware_file,firmware_sha256,position,ports,usb_location,serial_number,"
           "version_before,version_after,usb_serial,verdict,reason,seconds";
}

std::string csvLine(const ReportHeader& header, const BatchRecord& record)
{
    const std::string fields[] = {header.date,         header.toolVersion,   header.firmwareFile,
                                  header.firmwareSha256, std::to_string(record.position), record.ports,
                                  record.usbLocation,  record.serialNumber,  record.versionBefore,
                                  record.versionAfter, record.usbSerial,     record.verdict(),
                                  record.reason,       seconds(record.duration)};
    std::string line;
    for (const std::string& field : fields)
        line += (line.empty() ? "" : ",") + csvField(field);
    // The first field is never empty, so an empty line cannot come out.
    return line;
}

std::string jsonLine(const ReportHeader& header, const BatchRecord& record)
{
    nlohmann::ordered_json json;
    json["date"] = header.date;
    json["tool_version"] = header.toolVersion;
    json["firmware_file"] = header.firmwareFile;
    json["firmware_sha256"] = header.firmwareSha256;
    json["position"] = record.position;
    json["ports"] = record.ports;
    json["usb_location"] = record.usbLocation;
    json["serial_number"] = record.serialNumber;
    json["version_before"] = record.versionBefore;
    json["version_after"] = record.versionAfter;
    json["usb_serial"] = record.usbSerial;
    json["verdict"] = record.verdict();
    json["reason"] = record.reason;
    json["seconds"] = static_cast<double>(record.duration.count()) / 1000.0;
    // Port names and the device's words are bytes, not always UTF-8.
    return jsonLine(json);
}

bool appendReport(const std::string& path, const ReportHeader& header, const std::vector<BatchRecord>& records,
                  std::string& error)
{
    const auto format = reportFormatFor(path);
    if (!format) {
        error = path + ": a report is a .csv or a .jsonl file";
        return false;
    }
    const std::filesystem::path file = pathFromUtf8(path);
    std::error_code failure;
    const bool fresh = !std::filesystem::exists(file, failure) || std::filesystem::file_size(file, failure) == 0;
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) {
        error = path + ": cannot be written";
        return false;
    }
    if (*format == ReportFormat::Csv && fresh)
        out << csvHeaderLine() << "\n";
    for (const BatchRecord& record : records)
        out << (*format == ReportFormat::Csv ? csvLine(header, record) : jsonLine(header, record)) << "\n";
    out.flush();
    if (!out) {
        error = path + ": writing failed (disk full?)";
        return false;
    }
    return true;
}

} // namespace talvex
