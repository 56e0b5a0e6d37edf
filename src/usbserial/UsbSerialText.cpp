#include "usbserial/UsbSerialText.h"

#include "usbserial/EepromImage.h"

#include <algorithm>

namespace talvex {

std::string padUsbSerial(std::string_view text)
{
    std::string serial(text.substr(0, kUsbSerialLength));
    serial.resize(kUsbSerialLength, ' ');
    return serial;
}

bool isUsbSerialText(std::string_view text)
{
    return text.size() <= kUsbSerialLength && std::all_of(text.begin(), text.end(), [](char c) {
               return kUsbSerialCharacters.find(c) != std::string_view::npos;
           });
}

bool isWritableUsbSerial(std::string_view text)
{
    return !text.empty() && text.front() != ' ' && isUsbSerialText(text);
}

std::optional<std::string> usbSerialFromProgrammerSerial(std::string_view programmerSerial)
{
    constexpr std::size_t kProgrammerSerialLength = 32;
    constexpr std::size_t kFirst = 14; // character 15, counting from 1
    const bool hex = std::all_of(programmerSerial.begin(), programmerSerial.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
    if (programmerSerial.size() != kProgrammerSerialLength || !hex)
        return std::nullopt;
    return std::string(programmerSerial.substr(kFirst, kUsbSerialLength));
}

} // namespace talvex
