#include "cli/closing_lines.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

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

struct ProbeLineCase {
    const char* name;
    ProbeKind kind;
    ProbeResult result;
    const char* address;
    PlatformError error;
    std::vector<uint8_t> status;
    const char* line;
};

class ProbeClosingLines : public testing::TestWithParam<ProbeLineCase> {};

// What a probe's record adds to the dialog's own words: what was tried, the system's reason and
// what to do, or the status reply of a printer that is not ready.
TEST_P(ProbeClosingLines, SayWhatWasTriedAndWhy) {
    const ProbeLineCase& param = GetParam();
    ProbeOutcome probe = beginProbeOutcome(param.kind);
    probe.result = param.result;
    probe.deviceIdRead = param.result != PROBE_RESULT_NO_PRINTER;
    copyOutcomeText(probe.address, sizeof probe.address, param.address);
    probe.error = param.error;
    std::copy(param.status.begin(), param.status.end(), probe.statusBytes);
    probe.statusLength = static_cast<uint32_t>(param.status.size());
    EXPECT_EQ(probeClosingLine(probe), param.line);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProbeClosingLines,
    testing::Values(
        ProbeLineCase{"NothingAttached",
                      PROBE_KIND_LOCAL,
                      PROBE_RESULT_NO_PRINTER,
                      "",
                      {},
                      {},
                      "No printer of the family is attached: no USB printer answered and no "
                      "parallel port holds one."},
        ProbeLineCase{"DeviceMissing",
                      PROBE_KIND_LOCAL,
                      PROBE_RESULT_NO_PRINTER,
                      "/dev/usb/lp7",
                      {PLATFORM_ERROR_NOT_FOUND, 2},
                      {},
                      "Could not open /dev/usb/lp7: no such device (2)."},
        ProbeLineCase{"DeviceForbidden",
                      PROBE_KIND_LOCAL,
                      PROBE_RESULT_NO_PRINTER,
                      "/dev/usb/lp0",
                      {PLATFORM_ERROR_PERMISSION_DENIED, 13},
                      {},
                      "Could not open /dev/usb/lp0: permission denied (13). Opening a printer "
                      "needs membership of the lp group (or root)."},
        ProbeLineCase{"TcpRefused",
                      PROBE_KIND_ETHERNET,
                      PROBE_RESULT_NO_PRINTER,
                      "127.0.0.1:9100",
                      {PLATFORM_ERROR_REFUSED, 111},
                      {},
                      "Could not connect to 127.0.0.1:9100: connection refused (111)."},
        ProbeLineCase{"NotReady",
                      PROBE_KIND_LOCAL,
                      PROBE_RESULT_NOT_READY,
                      "/dev/usb/lp0",
                      {},
                      {0x53, 0x00, 0x00, 0x01, 0x00},
                      "Its status reply is 53 00 00 01 00: byte 3 is not 0, or byte 4 is more "
                      "than 1, so it is not ready."}),
    [](const testing::TestParamInfo<ProbeLineCase>& instance) { return instance.param.name; });

} // namespace
