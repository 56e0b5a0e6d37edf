#include "update/VersionNotice.h"

#include "protocol/VersionText.h"

namespace talvex {

VersionNotice newVersionNotice(const LatestVersions& latest, int programmerFwVersion, int comportVersion,
                               std::string_view host)
{
    VersionNotice notice;
    notice.caption = "New software available";
    notice.buttons = "ok";
    notice.icon = "warning";
    notice.text = "New download available on '";
    notice.text += host;
    notice.text += "' :\n";
    if (latest.latestFwVersion > programmerFwVersion) {
        notice.text += "Talvex firmware rev. " + firmwareRevisionText(latest.latestFwVersion) + " \n";
        notice.show = true;
    }
    if (latest.latestSwVersion > comportVersion) {
        notice.text += "TalvexUSB-Setting Manager version " + toolVersionText(latest.latestSwVersion) + " \n";
        notice.show = true;
    }
    return notice;
}

} // namespace talvex
