#include "update/VersionNotice.h"

#include "protocol/VersionText.h"

#include <gtest/gtest.h>

using namespace talvex;

namespace {

const std::string kHostLine = "New download available on 'www.talvex.example' :\n";

} // namespace

TEST(VersionNotice, NamesWhatIsNewerFirmwareFirst)
{
    VersionNotice notice = newVersionNotice({106, 10501}, 105, 10501);
    EXPECT_TRUE(notice.show);
    EXPECT_EQ(notice.caption, "New software available");
    EXPECT_EQ(notice.text, kHostLine + "Talvex firmware rev. 1.6 \n");
    EXPECT_EQ(notice.buttons, "ok");
    EXPECT_EQ(notice.icon, "warning");

    notice = newVersionNotice({105, 10502}, 105, 10501);
    EXPECT_TRUE(notice.show);
    EXPECT_EQ(notice.text, kHostLine + "TalvexUSB-Setting Manager version 1.05.02 \n");

    notice = newVersionNotice({110, 20000}, 105, kToolVersion);
    EXPECT_TRUE(notice.show);
    EXPECT_EQ(notice.text, kHostLine + "Talvex firmware rev. 1.10 \nTalvexUSB-Setting Manager version 2.00.00 \n");
}

TEST(VersionNotice, EqualOrOlderIsNoNotice)
{
    EXPECT_FALSE(newVersionNotice({105, 10501}, 105, 10501).show);
    EXPECT_FALSE(newVersionNotice({104, 10500}, 105, 10501).show);
    // Before any check both are 0.
    EXPECT_FALSE(newVersionNotice({}, 105, kToolVersion).show);
    // Negative device numbers compare signed.
    EXPECT_TRUE(newVersionNotice({0, 0}, -1, kToolVersion).show);
}
