#pragma once

#include "protocol/DetectionResults.h"
#include "protocol/Identification.h"
#include "serial/PortHost.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace talvex {

class Clock;
class PortSlot;

/// What the discovery routines work with: the host's ports, slot A, the
/// clock, and a pump that lets a window repaint between ports.
struct DiscoveryEnvironment {
    PortHost& host;
    PortSlot& port;
    Clock& clock;
    std::function<void()> pump;
};

inline constexpr const char* kNoPortText = "NOCOM";
inline constexpr const char* kNoProgrammerText = "none";

/// Probe result of one listed port.
enum class ProbeResult {
    NoProgrammer = 0,
    BootLoader = 1,
    Application = 2,
    BootLoaderWithCard = 3,
    ApplicationWithCard = 4,
};

struct ProbedPort {
    std::string name;
    ProbeResult probe = ProbeResult::NoProgrammer;
    std::optional<UsbIdentity> usb; ///< as the host listed it
};

/// A port's USB device in one line: the chip or product, vendor:product
/// and the serial, with the channel letter of a multi-interface FTDI chip
/// ("FT2232 0403:6010 TLVX0001A"); empty without a USB identity.
std::string usbDescription(const std::optional<UsbIdentity>& usb);

/// The order the automatic scan tries the ports in: first the ports of
/// FTDI chips, the interfaces of one chip together, interface A first, the
/// chips in the order the host lists them; then every other port in the
/// host's order.
struct ScanOrder {
    std::vector<std::string> ftdi;
    std::vector<std::string> others;
};
ScanOrder scanOrder(const std::vector<PortInfo>& ports);

/// Opens the candidate ports in scanOrder with `variant`'s speed and line
/// sequence, identifies, and stops at the second port of the device first
/// found; once the programmer answered on an FTDI port, no other port is
/// opened. Sets `results.variant`; reader1Port is "NOCOM" when no port
/// opened.
void scanForProgrammer(DiscoveryEnvironment& env, DetectionResults& results, SpeedVariant variant);

/// The automatic detection: the scan at 115200 baud, then, while nothing
/// answered, with each low-speed variant. Fills version text and number
/// for a device found in application mode.
void detectProgrammer(DiscoveryEnvironment& env, DetectionResults& results);

/// Identifies the device on one chosen port. Answers the reader digit
/// text: "1", "2", "none", or "NOCOM" when the list is empty; nothing when
/// no entry is selected (and nothing is done).
std::optional<std::string> searchSelectedPort(DiscoveryEnvironment& env, DetectionResults& results,
                                              const std::vector<std::string>& listedPorts,
                                              std::optional<std::size_t> selected);

/// Asks the application on the already open slot A for its identity
/// (0x00). Answers "1", "2" or "none"; fills `fields` on success.
std::string searchOpenPort(PortSlot& port, Clock& clock, int answerDelayMs, IdentityFields& fields);

/// Lists the ports that open, in the host's order, with their USB
/// identity; with `probe`, identifies each and notes whether a card sits
/// in its reader (CTS).
std::vector<ProbedPort> enumeratePorts(DiscoveryEnvironment& env, bool probe, SpeedVariant variant,
                                       int answerDelayMs);

/// The manual scan: enumeration with probing at 115200 baud, then with the
/// low-speed variants while no port answered. Sets `results.variant`.
std::vector<ProbedPort> manualScan(DiscoveryEnvironment& env, DetectionResults& results);

bool anyProgrammer(const std::vector<ProbedPort>& ports);

} // namespace talvex
