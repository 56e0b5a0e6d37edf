#pragma once

#include "serial/PortHost.h"

#include <optional>
#include <string_view>

namespace talvex {

/// The USB identity a Ports-class device's ids carry, kept free of
/// <windows.h> so it can be tested on any host.
///
/// - `hardwareId`: the first of SPDRP_HARDWAREID, e.g.
///   `FTDIBUS\VID_0403+PID_6010+TLVX0001A\0000` (FTDI's driver: the serial
///   with the channel letter) or `USB\VID_10C4&PID_EA60&REV_0100`;
/// - `instanceId`: the device's instance id, e.g. `USB\VID_10C4&PID_EA60\0001`
///   (the serial last) or `USB\VID_2341&PID_0043&MI_00\6&1A2B&0&0000`
///   (one interface of a composite device);
/// - `parentInstanceId`: its parent's, where a composite device keeps its
///   serial.
///
/// Nothing when the ids name no USB vendor and product (a built-in UART,
/// `ACPI\PNP0501`).
std::optional<UsbIdentity> usbIdentityFromIds(std::string_view hardwareId, std::string_view instanceId,
                                              std::string_view parentInstanceId);

} // namespace talvex
