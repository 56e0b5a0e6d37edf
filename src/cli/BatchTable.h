#pragma once

#include "batch/BatchRecord.h"
#include "batch/FoundProgrammer.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace talvex::cli {

/// "EF010002": the serial number's characters the USB serial number is
/// made of, which tell a bench's programmers apart; the whole text when it
/// is no 32-digit serial number.
std::string shortSerial(const std::string& serialNumber);

/// "programmer 2 (USB 2-2, COM5/COM6)", for the programmer at `index` (from 0).
std::string programmerName(std::size_t index, const FoundProgrammer& programmer);

/// What the search found, one line: "programmer 1: COM3/COM4, USB 2-1,
/// serial 0123…, firmware 1.10" (or "boot loader").
std::string foundLine(std::size_t index, const FoundProgrammer& programmer);

/// "0:15".
std::string minutesText(std::chrono::seconds time);

/// The batch's table, header first, columns aligned; "-" for an empty
/// field. The reason column comes only when a row failed.
std::vector<std::string> recordTable(const std::vector<BatchRecord>& records);

} // namespace talvex::cli
