#include "cli/closing_lines.h"

#include "cli/console_output.h"

namespace {

std::string notStartedLine(const UpgradeVerdict& verdict) {
    if (verdict.failure == UPGRADE_FAILURE_DECLINED) {
        return "Nothing was written: the question was answered No.";
    }
    if (verdict.failure == UPGRADE_FAILURE_INTERRUPTED) {
        return "Interrupted; nothing was written to the printer.";
    }
    if (verdict.flashModeRequested) {
        return "The upgrade did not start and no firmware was written, but the printer took the "
               "flash-mode request: it may be waiting in flash mode, power-cycle it before using "
               "it again.";
    }
    return "The upgrade did not start; nothing was written.";
}

// After a write error the printer's word counts for nothing.
std::string writeFailedLine(const UpgradeVerdict& verdict) {
    return "Upgrade failed: a write error stopped the image after " +
           std::to_string(verdict.bytesAccepted) + " of " + std::to_string(verdict.imageSize) +
           " bytes were accepted: " + describedError(verdict.error) +
           ". The printer does not hold a complete image, whatever version it reports.";
}

std::string writtenLine(const UpgradeVerdict& verdict) {
    std::string label = verdict.image;
    switch (verdict.failure) {
    case UPGRADE_FAILURE_NONE:
        return "Upgrade done: the printer now runs " + label + ".";
    case UPGRADE_FAILURE_WRITE_ERROR:
        return writeFailedLine(verdict);
    case UPGRADE_FAILURE_VERSION_MISMATCH:
        return "Upgrade failed: the printer reports version " + std::string(verdict.newVersion) +
               ", not " + label + ".";
    default:
        return "Upgrade not confirmed: the printer could not be read after the upgrade, so it is "
               "not known to run " +
               label + ".";
    }
}

// "2026-12-07T23:16:12Z" as "2026-12-07 23:16 UTC".
std::string shownTime(const char* started) {
    std::string time = started;
    if (time.size() < 16 || time[10] != 'T') {
        return time;
    }
    return time.substr(0, 10) + " " + time.substr(11, 5) + " UTC";
}

} // namespace

std::string probeClosingLine(const ProbeOutcome& probe) {
    if (probe.repair) {
        return "The last upgrade of this printer (" + std::string(probe.image) + ", " +
               shownTime(probe.repairStarted) +
               ") did not finish: its firmware is incomplete. Run the upgrade again to rewrite " +
               probe.image + ".";
    }
    bool unrecognised =
        probe.deviceIdRead && probe.reason[0] != '\0' &&
        (probe.result == PROBE_RESULT_NOT_READY || probe.result == PROBE_RESULT_UNIDENTIFIED);
    if (!unrecognised) {
        return "";
    }
    return std::string(probe.reason) + ". " + UNRECOGNISED_FIRMWARE_ADVICE;
}

std::string upgradeClosingLine(const UpgradeVerdict& verdict) {
    return verdict.writerStarted ? writtenLine(verdict) : notStartedLine(verdict);
}
