#include "cli/upgrade_check.h"

#include <cctype>

bool versionRunsImage(const std::string& version, const std::string& label) {
    if (label.empty() || version.compare(0, label.size(), label) != 0) {
        return false;
    }
    if (version.size() == label.size()) {
        return true;
    }
    unsigned char next = static_cast<unsigned char>(version[label.size()]);
    return !std::isalnum(next) && next != '.';
}

std::string upgradeVerdict(bool read, const std::string& version, const std::string& label) {
    if (!read) {
        return "Upgrade not confirmed: the printer could not be read after the upgrade, so it is "
               "not known to run " +
               label + ".";
    }
    if (versionRunsImage(version, label)) {
        return "Upgrade done: the printer now runs " + label + ".";
    }
    return "Upgrade failed: the printer reports version " + version + ", not " + label + ".";
}

std::string writeFailedVerdict(uint64_t accepted, uint64_t size, uint32_t error) {
    return "Upgrade failed: a write error (" + std::to_string(error) +
           ") stopped the image after " + std::to_string(accepted) + " of " + std::to_string(size) +
           " bytes were accepted; the printer does not hold a complete image, whatever version "
           "it reports.";
}
