#include "cli/discovered_printer.h"

#include "identity/device_id.h"
#include "identity/firmware_catalogue.h"
#include "identity/firmware_selection.h"

#include <cstdio>
#include <memory>
#include <string_view>

namespace {

// How the identity check begins each reason; "not identified" says it already.
constexpr std::string_view NO_FIRMWARE_PREFIX = "No firmware offered: ";

// The version as far as a person reads it: the device id's ';' and what follows it are no part.
std::string shortVersion(const char* version) {
    std::string text = version;
    return text.substr(0, text.find(';'));
}

// The image a printer of one image gets, as the probe chooses it with the first variant.
void chooseImage(PrinterData* record, DiscoveredPrinter* printer) {
    record->variant = 1;
    FirmwareChoice choice{};
    if (!chooseFirmwareSlot(record, &choice)) {
        printer->action = DISCOVER_NOT_IDENTIFIED;
        printer->reason = choice.messageCount > 0 ? choice.messages[0] : "no image fits";
        return;
    }
    printer->image = FirmwareCatalogue[choice.slot].version;
    printer->action = versionRunsImage(record->firmwareVersion, printer->image.c_str())
                          ? DISCOVER_CURRENT
                          : DISCOVER_TO_UPGRADE;
}

} // namespace

bool classifyDeviceId(const std::string& deviceId, DiscoveredPrinter* printer) {
    // On the heap: the record is large, and the parsers read only its device id.
    auto record = std::make_unique<PrinterData>();
    snprintf(record->deviceId, sizeof record->deviceId, "%s", deviceId.c_str());
    if (!deviceIdNamesFamily(record->deviceId)) {
        return false;
    }
    printer->deviceId = record->deviceId;
    parseModel(record.get());
    bool versionFound = parseFirmwareVersion(record.get());
    printer->model = record->modelName;
    printer->version = versionFound ? shortVersion(record->firmwareVersion) : "";
    char reason[256];
    if (!deviceIdIdentifiesPrinter(record.get(), reason, sizeof reason)) {
        printer->action = DISCOVER_NOT_IDENTIFIED;
        std::string_view why = reason;
        printer->reason =
            why.substr(why.starts_with(NO_FIRMWARE_PREFIX) ? NO_FIRMWARE_PREFIX.size() : 0);
        return true;
    }
    const char* board = boardName(record->boardType);
    printer->board = board != nullptr ? board : "";
    if (record->language == LANG_RASTER) {
        const char* const* versions = variantVersionsForBoard(record->boardType);
        for (int entry = 0; entry < variantEntryCount(versions); ++entry) {
            printer->variantImages.emplace_back(versions[entry]);
        }
        printer->action = DISCOVER_NEEDS_VARIANT;
        return true;
    }
    chooseImage(record.get(), printer);
    return true;
}

const char* discoverActionName(DiscoverAction action) {
    static const char* const names[] = {"current", "to-upgrade", "needs-variant", "not-identified"};
    return names[action];
}

const char* discoverActionText(DiscoverAction action) {
    static const char* const texts[] = {"current", "to upgrade",
                                        "raster: needs variant=", "not identified"};
    return texts[action];
}
