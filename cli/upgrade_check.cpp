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
