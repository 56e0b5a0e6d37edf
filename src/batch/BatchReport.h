#pragma once

#include "batch/BatchRecord.h"

#include <optional>
#include <string>
#include <vector>

namespace talvex {

enum class ReportFormat { Csv, JsonLines };

/// By the file's extension: ".csv", or ".jsonl"/".ndjson"/".json" for
/// JSON lines; nothing for any other.
std::optional<ReportFormat> reportFormatFor(const std::string& path);

/// What every record of one batch shares.
struct ReportHeader {
    std::string date; ///< ISO 8601, UTC
    std::string toolVersion;
    std::string firmwareFile;
    std::string firmwareSha256;
};

/// "2026-12-06T15:04:05Z".
std::string reportDateNow();

/// Appends one record per programmer; a new or empty CSV file gets its
/// header line first. False, with `error` set, when the file cannot be
/// written.
bool appendReport(const std::string& path, const ReportHeader& header, const std::vector<BatchRecord>& records,
                  std::string& error);

/// One record as a CSV line and as a JSON line (without the line end).
std::string csvHeaderLine();
std::string csvLine(const ReportHeader& header, const BatchRecord& record);
std::string jsonLine(const ReportHeader& header, const BatchRecord& record);

} // namespace talvex
