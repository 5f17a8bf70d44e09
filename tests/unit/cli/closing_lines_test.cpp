#include "cli/closing_lines.h"

#include <gtest/gtest.h>

namespace {

UpgradeVerdict written(UpgradeFailure failure, const char* newVersion) {
    UpgradeVerdict verdict = startingUpgradeVerdict();
    verdict.result =
        failure == UPGRADE_FAILURE_NONE ? UPGRADE_RESULT_VERIFIED : UPGRADE_RESULT_FAILED;
    verdict.failure = failure;
    verdict.writerStarted = true;
    copyOutcomeText(verdict.image, sizeof verdict.image, "V1.12");
    copyOutcomeText(verdict.newVersion, sizeof verdict.newVersion, newVersion);
    return verdict;
}

TEST(UpgradeClosingLine, SaysPlainlyWhatTheVerdictFound) {
    EXPECT_EQ(upgradeClosingLine(written(UPGRADE_FAILURE_NONE, "V1.12;")),
              "Upgrade done: the printer now runs V1.12.");
    EXPECT_EQ(upgradeClosingLine(written(UPGRADE_FAILURE_VERSION_MISMATCH, "V1.00;")),
              "Upgrade failed: the printer reports version V1.00;, not V1.12.");
    EXPECT_EQ(upgradeClosingLine(written(UPGRADE_FAILURE_VERSION_NOT_READ, "")),
              "Upgrade not confirmed: the printer could not be read after the upgrade, so it is "
              "not known to run V1.12.");
    UpgradeVerdict cut = written(UPGRADE_FAILURE_WRITE_ERROR, "");
    cut.error = {PLATFORM_ERROR_CLOSED, 104};
    cut.bytesAccepted = 240128;
    cut.imageSize = 393264;
    EXPECT_EQ(upgradeClosingLine(cut),
              "Upgrade failed: a write error stopped the image after 240128 of 393264 bytes were "
              "accepted: connection reset by the printer (104). The printer does not hold a "
              "complete image, whatever version it reports.");
    UpgradeVerdict declined = startingUpgradeVerdict();
    declined.result = UPGRADE_RESULT_NOT_STARTED;
    declined.failure = UPGRADE_FAILURE_DECLINED;
    EXPECT_EQ(upgradeClosingLine(declined), "Nothing was written: the question was answered No.");
    UpgradeVerdict refused = declined;
    refused.result = UPGRADE_RESULT_FAILED;
    refused.failure = UPGRADE_FAILURE_FLASH_MODE;
    refused.flashModeRequested = true;
    EXPECT_EQ(upgradeClosingLine(refused),
              "The upgrade did not start and no firmware was written, but the printer took the "
              "flash-mode request: it may be waiting in flash mode, power-cycle it before using "
              "it again.");
}

} // namespace
