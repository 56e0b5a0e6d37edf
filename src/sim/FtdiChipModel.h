#pragma once

#include "ftdi/D2xxTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An FT2232 chip and its configuration EEPROM as the USB host sees them,
// written from FTDI's and libftdi's published descriptions of the EEPROM
// (libftdi's doc/EEPROM-structure, ftdi_eeprom_decode, ftdi_read_eeprom),
// not from the tool's own EEPROM code, so the tool is judged against an
// independent chip. The in-process simulation and the stand-in libusb and
// D2XX libraries all act on these chips.
namespace talvex {

enum class Ft2232Kind { Ft2232C, Ft2232H };
/// The serial EEPROM on the chip's EECS/EESK/EEDATA pins.
enum class EepromPart { C46, C56, C66 };

constexpr std::uint16_t kFt2232VendorId = 0x0403;
constexpr std::uint16_t kFt2232ProductId = 0x6010;

/// 64, 128 or 256 words.
std::size_t eepromPartWords(EepromPart part);
/// The words the chip reads and checks: 64 for a 93C46, else 128 (FTDI
/// chips use at most 256 bytes, even of a 93C66).
std::size_t eepromCheckedWords(EepromPart part);
/// 0x46, 0x56 or 0x66, as the chip-type byte of the EEPROM names its type.
std::uint8_t eepromPartCode(EepromPart part);
/// "93C46" …
std::string eepromPartName(EepromPart part);
std::optional<EepromPart> eepromPartFromName(const std::string& name);
/// 0x0500 for the FT2232C/D, 0x0700 for the FT2232H.
std::uint16_t ftdiBcdDevice(Ft2232Kind kind);
/// "FT2232C" or "FT2232H".
std::string ft2232KindName(Ft2232Kind kind);
std::optional<Ft2232Kind> ft2232KindFromName(const std::string& name);

/// FTDI's checksum over words 0 .. checkedWords-2: start 0xAAAA, then for
/// each word xor it in and rotate left by one. Stored in word checkedWords-1.
std::uint16_t chipEepromChecksum(const std::vector<std::uint16_t>& words, std::size_t checkedWords);

/// What an image says, laid out as libftdi's ftdi_eeprom_build lays it.
struct FtdiImageFields {
    Ft2232Kind kind = Ft2232Kind::Ft2232C;
    EepromPart part = EepromPart::C46;
    std::uint16_t vendorId = kFt2232VendorId;
    std::uint16_t productId = kFt2232ProductId;
    std::string manufacturer = "FTDI";
    std::string product = "Dual RS232";
    std::string serial;
    bool useSerial = true;        ///< byte 0x0A bit 3
    bool selfPowered = false;     ///< byte 0x08 bit 6
    bool remoteWakeup = false;    ///< byte 0x08 bit 5
    int maxPowerMilliamps = 100;  ///< byte 0x09, in 2 mA units
    bool suspendPullDowns = false; ///< byte 0x0A bit 2
    /// Channel modes (libftdi's CHANNEL_IS_UART 0, FIFO 1, OPTO 2, CPU 4)
    /// and drivers: VCP (byte 0x00/0x01 bit 3) or D2XX.
    std::uint8_t channelAMode = 0;
    std::uint8_t channelBMode = 0;
    bool channelAVcp = true;
    bool channelBVcp = true;
    /// FT2232C only: bytes 0x0C/0x0D with byte 0x0A bit 4.
    std::optional<std::uint16_t> usbVersion;
    bool highCurrentA = false; ///< FT2232C only
    /// FT2232H only: bytes 0x0C and 0x0D, the I/O groups' drive and slew.
    std::uint8_t groupDriveLow = 0;
    std::uint8_t groupDriveHigh = 0;
    /// Words stored right after the strings and the PnP bytes, inside the
    /// checked area (the "user area").
    std::vector<std::uint16_t> userWords;

    /// A realistic, far from default image: both channels D2XX, B in FIFO
    /// mode, self-powered at 500 mA, suspend pull-downs, USB 1.10 on the
    /// FT2232C (drive settings on the FT2232H), three user-area words.
    static FtdiImageFields nonDefault(Ft2232Kind kind, EepromPart part, const std::string& serial,
                                    const std::string& product = "TalvexUSB");
};

/// The whole part, all of it: unused words 0x0000 inside the checked area,
/// 0xFFFF past it (words 128-255 of a 93C66), checksum in place. Strings
/// start at byte 0x96 (FT2232C) or 0x9A (FT2232H), wrapped to the checked
/// area as libftdi wraps them; the pointer bytes hold the unwrapped value.
std::vector<std::uint16_t> buildFtdiImage(const FtdiImageFields& fields);

/// What the chip presents on the bus after reading its EEPROM at plug-in.
struct FtdiEnumeration {
    bool fromEeprom = false; ///< the checksum held; otherwise the chip's defaults
    std::uint16_t vendorId = kFt2232VendorId;
    std::uint16_t productId = kFt2232ProductId;
    std::uint16_t bcdUsb = 0x0200;
    std::string manufacturer;
    std::string product;
    std::optional<std::string> serial;
    bool selfPowered = false;
    bool remoteWakeup = false;
    std::uint8_t maxPowerUnits = 0x2D; ///< 2 mA each

    bool operator==(const FtdiEnumeration&) const = default;
};

/// Reads an EEPROM as the chip does at plug-in.
FtdiEnumeration enumerateFtdiEeprom(Ft2232Kind kind, EepromPart part, const std::vector<std::uint16_t>& words);

/// How the chip answers one request.
enum class ChipAnswer {
    Ok,
    Failed, ///< the request is refused (a USB stall); the chip stays
    Gone,   ///< the chip is not on the bus (any more)
};

/// One FT2232 with its EEPROM, its place on the bus, the faults a test
/// asks for and the record of what was done to it. Plain data so that a
/// state file can carry it from process to process.
struct Ft2232Chip {
    Ft2232Kind kind = Ft2232Kind::Ft2232C;
    EepromPart part = EepromPart::C46;
    std::vector<std::uint16_t> eeprom; ///< eepromPartWords(part) words

    // Where: USB bus number, device address, port path from the root hub.
    int bus = 2;
    int address = 2;
    std::vector<int> ports{1};

    bool plugged = true;
    /// Bumped at every plug-in; a handle opened before is dead after it.
    int plugCount = 1;
    /// The EEPROM as read at the last plug-in: what the bus shows until
    /// the next one, whatever is written meanwhile.
    std::vector<std::uint16_t> enumeratedImage;

    // Faults.
    int failWriteWord = -1;   ///< a write of this word is refused, not written
    int vanishAtWord = -1;    ///< a write of this word finds the chip gone (unplugged)
    int stuckWord = -1;       ///< a write of this word is answered but lost (a worn cell)
    bool heldElsewhere = false; ///< another program has interface A
    bool noAccess = false;      ///< the user may not open the USB device

    // What happened.
    int eepromReads = 0;
    int eepromWrites = 0;
    int eepromErases = 0;
    std::vector<int> wordsWritten; ///< word addresses as requested, in order
    std::array<bool, 2> kernelDriver{true, true}; ///< ftdi_sio bound to interface A/B
    int detaches = 0;
    int attaches = 0;
    std::array<std::uint8_t, 2> latency{16, 16}; ///< per interface, ms
    std::array<std::uint16_t, 2> bitmode{0, 0};  ///< mode << 8 | mask, per interface
    int resets = 0;

    // The D2XX library's view of the channels (A, B).
    std::array<bool, 2> d2xxOpen{false, false};
    std::array<FtStatus, 2> d2xxOpenFailure{ftstatus::kOk, ftstatus::kOk};
    FtStatus d2xxWriteFailure = ftstatus::kEepromWriteFailed; ///< FT_WriteEE's answer for failWriteWord
    FtStatus d2xxCloseFailure = ftstatus::kOk;
    std::array<int, 2> comPort{-1, -1};
    std::uint8_t lowestLatency = 1; ///< FT_SetLatencyTimer refuses less
    std::array<std::vector<int>, 2> latencySets; ///< every value FT_SetLatencyTimer took

    /// A chip fresh on the bus with `image` (padded with 0xFFFF or cut to
    /// the EEPROM's size), enumerated.
    static Ft2232Chip make(Ft2232Kind kind, EepromPart part, std::vector<std::uint16_t> image, int bus = 2,
                         int address = 2, std::vector<int> ports = {1});

    /// Plugged in: reads the EEPROM. A chip already plugged stays as it is.
    void plugIn();
    /// Leaves the bus: every open handle is dead; kernel drivers go with it.
    void unplug();
    /// Out and in again at `newAddress`: a host numbers a device anew
    /// each time it arrives.
    void replug(int newAddress);

    /// Linux's sysfs name of the USB device: "2-1", "1-4.2".
    std::string location() const;
    FtdiEnumeration enumeration() const;

    // The EEPROM requests (SIO_READ_EEPROM / WRITE_EEPROM / ERASE_EEPROM).
    // Addresses wrap at the EEPROM's size, as its address lines do.
    ChipAnswer readWord(std::uint32_t address, std::uint16_t& value);
    ChipAnswer writeWord(std::uint32_t address, std::uint16_t value);
    ChipAnswer erase();
};

/// Every chip of a bench with the D2XX library's failures, as the state
/// file keeps them.
struct Ft2232Bus {
    FtStatus d2xxCreateFailure = ftstatus::kOk; ///< FT_CreateDeviceInfoList answers this
    FtStatus d2xxListFailure = ftstatus::kOk;   ///< FT_GetDeviceInfoList answers this
    std::vector<Ft2232Chip> chips;

    /// The address a host gives the next device on `bus`: one past the
    /// highest in use, or the lowest free one once 127 is reached.
    int nextAddress(int bus) const;
    /// Chip `index` out and in again, at the bus's next address.
    void replug(std::size_t index);
};

/// The state file: plain "key value" lines, "chip" starting each chip.
std::string formatFt2232Bus(const Ft2232Bus& bus);
std::optional<Ft2232Bus> parseFt2232Bus(const std::string& text, std::string& error);
/// Reads the file; nothing when it is missing or unreadable.
std::optional<Ft2232Bus> loadFt2232Bus(const std::string& path, std::string* error = nullptr);
/// Writes it whole under another name, then renames it into place, so a
/// reader in another process never sees half a file.
bool saveFt2232Bus(const std::string& path, const Ft2232Bus& bus);

/// The D2XX device-list record of channel 0 (A) or 1 (B) of a plugged
/// chip: serial + letter, product + " A"/" B", Type 4 or 6, its LocId.
FtDeviceListInfoNode d2xxRecordOf(const Ft2232Chip& chip, int channel);
/// Bus, ports and channel in one number, distinct per channel: "2-1"
/// gives 0x2111 and 0x2112.
std::uint32_t d2xxLocIdOf(const Ft2232Chip& chip, int channel);

// FTD2XX's answers on one channel (0 = A, 1 = B) of a chip, shared by the
// in-process simulation and the stand-in library. The caller has checked
// that a handle still belongs to the chip's current plug-in.

/// FT_Open/FT_OpenEx: FT_DEVICE_NOT_FOUND off the bus, the failure a test
/// set, FT_DEVICE_NOT_OPENED when already open, held by another program
/// (channel A) or not accessible.
FtStatus d2xxOpenChannel(Ft2232Chip& chip, int channel);
/// FT_Close: the failure a test set (the channel stays open), else closed.
FtStatus d2xxCloseChannel(Ft2232Chip& chip, int channel);
/// FT_ReadEE, FT_WriteEE, FT_EraseEE: FT_IO_ERROR once the chip is gone;
/// a refused write answers d2xxWriteFailure.
FtStatus d2xxReadEe(Ft2232Chip& chip, std::uint32_t word, std::uint16_t& value);
FtStatus d2xxWriteEe(Ft2232Chip& chip, std::uint32_t word, std::uint16_t value);
FtStatus d2xxEraseEe(Ft2232Chip& chip);
/// FT_SetLatencyTimer: FT_INVALID_PARAMETER below lowestLatency.
FtStatus d2xxSetLatency(Ft2232Chip& chip, int channel, std::uint8_t milliseconds);
/// FT_GetDeviceInfo: the channel's record as the list shows it.
FtOpenedDevice d2xxDeviceInfo(const Ft2232Chip& chip, int channel);

} // namespace talvex
