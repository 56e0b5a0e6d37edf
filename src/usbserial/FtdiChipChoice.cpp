#include "usbserial/FtdiChipChoice.h"

#include "ftdi/UsbIdentity.h"

#include <algorithm>

namespace talvex {
namespace {

char channelLetter(const FtdiDevice& device)
{
    return d2xxChannelLetter(device.serialNumber, device.description);
}

std::string candidates(const std::vector<FtdiChip>& chips)
{
    std::string names;
    for (const FtdiChip& chip : chips) {
        if (chip.isProgrammerChip())
            names += (names.empty() ? "" : "; ") + chip.label();
    }
    return names.empty() ? std::string("none") : names;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

std::string FtdiDevice::chipSerial() const
{
    std::string serial = serialNumber;
    if (!serial.empty() && channelLetter(*this))
        serial.pop_back();
    return trimmed(serial);
}

std::string FtdiChip::label() const
{
    const std::string where = location.empty() ? std::string() : " at " + location;
    // Without a serial number the chip's EEPROM is blank or invalid.
    return serial.empty() ? "no serial number (EEPROM blank or invalid)" + where : serial + where;
}

std::vector<FtdiChip> groupFtdiChips(const std::vector<FtdiDevice>& records)
{
    std::vector<FtdiChip> chips;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const FtdiDevice& record = records[i];
        const char letter = channelLetter(record);
        if (!chips.empty() && letter > 'A' && i > 0) {
            const FtdiDevice& previous = records[i - 1];
            FtdiChip& chip = chips.back();
            if (chip.lastRecord == static_cast<int>(i) - 1 && channelLetter(previous) == letter - 1
                && previous.chipSerial() == record.chipSerial() && previous.id == record.id) {
                chip.lastRecord = static_cast<int>(i);
                continue;
            }
        }
        FtdiChip chip;
        chip.serial = record.chipSerial();
        chip.location = record.location;
        chip.description = record.description;
        chip.id = record.id;
        chip.kind = record.kind;
        chip.firstRecord = chip.lastRecord = static_cast<int>(i);
        chips.push_back(chip);
    }
    return chips;
}

FtdiChipChoice chooseFtdiChip(const std::vector<FtdiChip>& chips, const FtdiChipRequest& request)
{
    FtdiChipChoice choice;
    const std::string attached = " (programmer chips attached: " + candidates(chips) + ")";
    const auto pick = [&](auto&& matches) {
        std::vector<FtdiChip> found;
        std::copy_if(chips.begin(), chips.end(), std::back_inserter(found), matches);
        return found;
    };
    const std::string serial = trimmed(request.serial.value_or(""));
    const std::string location = request.location.value_or("");

    if (!location.empty()) {
        const auto here = pick([&](const FtdiChip& chip) { return chip.location == location; });
        if (here.size() == 1) {
            if (!serial.empty() && !here.front().serial.empty() && here.front().serial != serial) {
                choice.problem = "the FTDI chip at " + location + " has the serial number " + here.front().serial +
                    ", not " + serial + "; nothing was written";
                return choice;
            }
            choice.chip = here.front();
            return choice;
        }
        // A port's location may be in another form than the library's
        // (D2XX LocIds): its serial number, or it being the only one, still
        // names the chip. Where the forms agree, a chip not found is not there.
        const bool comparable = std::any_of(chips.begin(), chips.end(), [](const FtdiChip& chip) {
            return chip.location.find('-') != std::string::npos;
        });
        if (!request.fromProgrammerPort || comparable) {
            choice.problem = (here.empty() ? "no FTDI chip is attached at " : "several FTDI chips claim ") + location +
                attached;
            return choice;
        }
    }
    if (!serial.empty()) {
        const auto named = pick([&](const FtdiChip& chip) { return chip.serial == serial; });
        if (named.size() == 1) {
            choice.chip = named.front();
            return choice;
        }
        choice.ambiguous = named.size() > 1;
        choice.problem = named.empty()
            ? "no attached FTDI chip has the serial number \"" + serial + "\"" + attached
            : std::to_string(named.size()) + " attached FTDI chips have the serial number \"" + serial +
                "\"" + attached;
        return choice;
    }
    // A port that tells nothing of its USB device (no udev, a pseudo-terminal)
    // leaves only the rule for a single programmer.
    const auto programmers = pick([](const FtdiChip& chip) { return chip.isProgrammerChip(); });
    if (programmers.size() == 1) {
        choice.chip = programmers.front();
        return choice;
    }
    choice.ambiguous = programmers.size() > 1;
    choice.problem = programmers.empty()
        ? std::string("no FTDI chip of a programmer (0403:6010) is attached")
        : std::to_string(programmers.size()) + " programmer chips are attached and " +
            (request.fromProgrammerPort ? "the programmer's port does not tell which is its own"
                                        : "none was named") +
            attached;
    return choice;
}

} // namespace talvex
