#include "cli/closing_lines.h"

#include "cli/console_output.h"
#include "cli/record_json.h"

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

// What the search or connection tried and why nothing answered.
std::string noPrinterLine(const ProbeOutcome& probe) {
    bool overTcp = probe.kind == PROBE_KIND_ETHERNET;
    if (probe.address[0] == '\0' || !platformFailed(probe.error)) {
        return overTcp ? ""
                       : "No printer of the family is attached: no USB printer answered and no "
                         "parallel port holds one.";
    }
    std::string line = (overTcp ? "Could not connect to " : "Could not open ") +
                       printableText(probe.address) + ": " + describedError(probe.error) + ".";
    if (probe.error.kind == PLATFORM_ERROR_PERMISSION_DENIED && !overTcp) {
        line += " Opening a printer needs membership of the lp group (or root).";
    }
    return line;
}

// A printer found not ready: what it said, byte by byte.
std::string notReadyLine(const ProbeOutcome& probe) {
    // "STATUS" reads no device id.
    if (!probe.deviceIdRead && probe.kind != PROBE_KIND_STATUS) {
        return probe.kind == PROBE_KIND_ETHERNET
                   ? "The printer took the connection but did not answer the device id request."
                   : "The device id of " + printableText(probe.address) +
                         " could not be read: it is not a printer of the family, or it did not "
                         "answer.";
    }
    if (probe.statusLength == 0) {
        return "";
    }
    return "Its status reply is " + statusReplyText(probe) +
           ": byte 3 is not 0, or byte 4 is more than 1, so it is not ready.";
}

} // namespace

std::string probeClosingLine(const ProbeOutcome& probe) {
    if (probe.result == PROBE_RESULT_NO_PRINTER) {
        return noPrinterLine(probe);
    }
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
        return probe.result == PROBE_RESULT_NOT_READY ? notReadyLine(probe) : "";
    }
    return std::string(probe.reason) + ". " + UNRECOGNISED_FIRMWARE_ADVICE;
}

std::string upgradeClosingLine(const UpgradeVerdict& verdict) {
    return verdict.writerStarted ? writtenLine(verdict) : notStartedLine(verdict);
}
