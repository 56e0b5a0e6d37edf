// What the PC/SC document for contactless storage cards names a card's standard and
// card codes, as its ATR carries them in the historical bytes.
#include "smartcard/Atr.h"

namespace talvex {

std::string contactlessStandardName(std::uint8_t standard)
{
    switch (standard) {
    case 0x00: return "no information given";
    case 0x01: return "ISO 14443 A, part 1";
    case 0x02: return "ISO 14443 A, part 2";
    case 0x03: return "ISO 14443 A, part 3";
    case 0x05: return "ISO 14443 B, part 1";
    case 0x06: return "ISO 14443 B, part 2";
    case 0x07: return "ISO 14443 B, part 3";
    case 0x09: return "ISO 15693, part 1";
    case 0x0A: return "ISO 15693, part 2";
    case 0x0B: return "ISO 15693, part 3";
    case 0x0C: return "ISO 15693, part 4";
    case 0x0D: return "contact (7816-10) I2C";
    case 0x0E: return "contact (7816-10) extended I2C";
    case 0x0F: return "contact (7816-10) 2WBP";
    case 0x10: return "contact (7816-10) 3WBP";
    case 0x11: return "FeliCa";
    case 0x40: return "low frequency contactless card";
    default: return {};
    }
}

std::string contactlessCardName(std::uint16_t cardName)
{
    switch (cardName) {
    case 0x0001: return "MIFARE Standard 1K";
    case 0x0002: return "MIFARE Standard 4K";
    case 0x0003: return "MIFARE Ultralight";
    case 0x0026: return "MIFARE Mini";
    case 0x002F: return "Jewel";
    case 0x0030: return "Topaz NFC Tag";
    case 0x0036: return "MIFARE Plus SL1 2K";
    case 0x0037: return "MIFARE Plus SL1 4K";
    case 0x0038: return "MIFARE Plus SL2 2K";
    case 0x0039: return "MIFARE Plus SL2 4K";
    case 0x003A: return "MIFARE Ultralight C";
    case 0x003B: return "FeliCa";
    default: return {};
    }
}

} // namespace talvex
