#include "cli/dialog_view.h"

#include "cli/console_output.h"
#include "identity/firmware_selection.h"

namespace {

constexpr size_t LABEL_WIDTH = 13;

const char* shown(const char* label) {
    return label != nullptr ? label : "";
}

} // namespace

std::vector<std::string> dialogFieldLines(const ProbeOutcome& probe) {
    struct Field {
        const char* label;
        std::string text;
    };
    std::string upgrade = probe.caption;
    if (!upgrade.empty() && !probe.upgradeEnabled) {
        upgrade += "  (not available)";
    }
    std::vector<Field> fields = {
        {"Printer", shown(probe.status)},    {"Model", printableText(probe.model)},
        {"Port", shown(probe.port)},         {"Language", shown(probe.language)},
        {"Logic board", shown(probe.board)}, {"Version", printableText(probe.version)},
        {"Upgrade", printableText(upgrade)},
    };
    // The dialog fills its combo box for every ready printer but shows it only for a raster
    // printer, whose images are then the variants' own.
    if (probe.variantImages != nullptr) {
        std::string entries;
        for (int index = 0; index < variantEntryCount(probe.variantNames); ++index) {
            entries += (index == 0 ? "" : "   ") + std::to_string(index + 1) + ": " +
                       probe.variantNames[index];
        }
        fields.push_back({"Variants", entries});
    }
    std::vector<std::string> lines;
    for (const Field& field : fields) {
        std::string line = field.label;
        line.resize(LABEL_WIDTH, ' ');
        lines.push_back(line + field.text);
    }
    return lines;
}
