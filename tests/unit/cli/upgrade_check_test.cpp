#include "cli/upgrade_check.h"

#include <gtest/gtest.h>

namespace {

struct VersionCase {
    const char* version;
    const char* label;
    bool runs;
};

class ImageVersion : public testing::TestWithParam<VersionCase> {};

TEST_P(ImageVersion, IsTheVersionTheProbeRead) {
    EXPECT_EQ(versionRunsImage(GetParam().version, GetParam().label), GetParam().runs)
        << GetParam().version << " / " << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ImageVersion,
    testing::Values(VersionCase{"V1.12", "V1.12", true}, VersionCase{"V1.12;", "V1.12", true},
                    VersionCase{"V1.12;CLS:PRINTER;", "V1.12", true},
                    VersionCase{"V1.00;", "V1.12", false}, VersionCase{"V2.01b;", "V2.01", false},
                    VersionCase{"V2.06a", "V2.06", false}, VersionCase{"V1.121", "V1.12", false},
                    VersionCase{"XV1.12", "V1.12", false}, VersionCase{"v1.12", "V1.12", false},
                    VersionCase{"CORRUPT;", "V1.12", false}, VersionCase{"", "V1.12", false},
                    VersionCase{"V1.12", "", false}));

TEST(UpgradeVerdict, SaysPlainlyWhatTheClosingProbeFound) {
    EXPECT_EQ(upgradeVerdict(true, "V1.12;", "V1.12"), "Upgrade done: the printer now runs V1.12.");
    EXPECT_EQ(upgradeVerdict(true, "V1.00;", "V1.12"),
              "Upgrade failed: the printer reports version V1.00;, not V1.12.");
    EXPECT_EQ(upgradeVerdict(false, "V1.00;", "V1.12"),
              "Upgrade not confirmed: the printer could not be read after the upgrade, so it is "
              "not known to run V1.12.");
    EXPECT_EQ(writeFailedVerdict(240128, 393264, 104),
              "Upgrade failed: a write error (104) stopped the image after 240128 of 393264 bytes "
              "were accepted; the printer does not hold a complete image, whatever version it "
              "reports.");
}

} // namespace
