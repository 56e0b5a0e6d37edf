#pragma once

#include "update/VersionCheck.h"

#include <string>
#include <string_view>

namespace talvex {

/// What the main window tells the user after a successful check: the
/// arguments of ShowStdMessage, and whether to show it at all.
struct VersionNotice {
    bool show = false; ///< something newer than the device's or the tool's own
    std::string caption;
    std::string text;
    std::string buttons;
    std::string icon;
};

/// The notice for the versions the server named, against the firmware of
/// the programmer last identified and the tool's own version. Equal is not
/// newer. The firmware line comes before the tool's.
VersionNotice newVersionNotice(const LatestVersions& latest, int programmerFwVersion, int comportVersion,
                               std::string_view host = kVendorHost);

} // namespace talvex
