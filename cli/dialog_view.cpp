#include "cli/dialog_view.h"

#include "dialog/dialog_model.h"
#include "resources/resource.h"

namespace {

constexpr size_t LABEL_WIDTH = 13;

DialogItemState itemState(int controlId) {
    DialogItemState state{};
    dialogModelControlState(controlId, &state);
    return state;
}

std::string itemText(int controlId) {
    return itemState(controlId).text;
}

} // namespace

DialogView readDialogView() {
    DialogItemState upgrade = itemState(IDC_UPGRADE_BUTTON);
    DialogItemState combo = itemState(IDC_FIRMWARE_COMBO);
    return {
        itemText(IDC_PROBE_STATUS_TEXT),
        itemText(IDC_MODEL_TEXT),
        itemText(IDC_PORT_TEXT),
        itemText(IDC_LANGUAGE_TEXT),
        itemText(IDC_BOARD_TEXT),
        itemText(IDC_VERSION_TEXT),
        upgrade.text,
        upgrade.enabled,
        combo.comboEntries,
        combo.visible,
    };
}

std::vector<std::string> dialogFieldLines(const DialogView& view) {
    struct Field {
        const char* label;
        std::string text;
    };
    std::string upgrade = view.caption.empty() ? "" : view.caption;
    if (!upgrade.empty() && !view.upgradeEnabled) {
        upgrade += "  (not available)";
    }
    std::vector<Field> fields = {
        {"Printer", view.status},    {"Model", view.model},       {"Port", view.port},
        {"Language", view.language}, {"Logic board", view.board}, {"Version", view.version},
        {"Upgrade", upgrade},
    };
    if (view.variantsShown) {
        std::string entries;
        for (size_t index = 0; index < view.variants.size(); ++index) {
            entries +=
                (index == 0 ? "" : "   ") + std::to_string(index + 1) + ": " + view.variants[index];
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
