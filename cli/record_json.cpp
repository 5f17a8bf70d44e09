#include "cli/record_json.h"

#include "cli/console_output.h"
#include "identity/firmware_selection.h"

#include <cstdio>

namespace {

using nlohmann::json;

json nameList(const char* const* list) {
    json names = json::array();
    for (int entry = 0; entry < variantEntryCount(list); ++entry) {
        names.push_back(list[entry]);
    }
    return names;
}

bool probeFoundReady(const ProbeOutcome& outcome) {
    return outcome.result == PROBE_RESULT_READY || outcome.result == PROBE_RESULT_UNIDENTIFIED;
}

// "STATUS" has no status line of its own: the tool says "Ready" or "Not Ready".
const char* statusText(const ProbeOutcome& outcome) {
    if (outcome.kind == PROBE_KIND_STATUS && outcome.result != PROBE_RESULT_NONE) {
        return outcome.result == PROBE_RESULT_READY ? "Ready" : "Not Ready";
    }
    return outcome.status;
}

json errorJson(PlatformError error) {
    if (!platformFailed(error)) {
        return nullptr;
    }
    return {{"kind", platformErrorKindName(error.kind)},
            {"number", error.number},
            {"text", describedError(error)}};
}

// The kind is read back by its word; an unknown word is an error of no known kind.
PlatformError errorFromJson(const json& object) {
    PlatformError error{};
    if (!object.is_object()) {
        return error;
    }
    error.number = object.value("number", 0u);
    error.kind = PLATFORM_ERROR_OTHER;
    std::string kind = object.value("kind", "");
    for (int candidate = PLATFORM_ERROR_NONE + 1; candidate <= PLATFORM_ERROR_OTHER; ++candidate) {
        if (kind == platformErrorKindName(static_cast<PlatformErrorKind>(candidate))) {
            error.kind = static_cast<PlatformErrorKind>(candidate);
        }
    }
    return error;
}

// The value whose word is the text of key, when there is one; count values from 0.
template <typename Value>
bool valueNamed(const json& object, const char* key, const char* (*name)(Value), int count,
                Value* value) {
    std::string text = object.is_object() ? object.value(key, "") : "";
    for (int candidate = 0; candidate < count; ++candidate) {
        if (text == name(static_cast<Value>(candidate))) {
            *value = static_cast<Value>(candidate);
            return true;
        }
    }
    return false;
}

std::string textOf(const json& object, const char* key) {
    return object.contains(key) && object[key].is_string() ? object[key].get<std::string>() : "";
}

} // namespace

std::string statusReplyText(const ProbeOutcome& outcome) {
    std::string text;
    char hex[4];
    for (uint32_t index = 0; index < outcome.statusLength; ++index) {
        snprintf(hex, sizeof hex, index == 0 ? "%02X" : " %02X", outcome.statusBytes[index]);
        text += hex;
    }
    return text;
}

json probeOutcomeJson(const ProbeOutcome& outcome) {
    return {
        {"status", statusText(outcome)},
        {"model", outcome.model},
        {"port", outcome.port},
        {"language", outcome.language},
        {"board", outcome.board},
        {"version", outcome.version},
        {"ready", probeFoundReady(outcome)},
        {"caption", outcome.caption},
        {"upgradeEnabled", outcome.upgradeEnabled},
        {"variants", nameList(outcome.variantNames)},
        {"probe", probeResultName(outcome.result)},
        {"route", outcome.result == PROBE_RESULT_NO_PRINTER ? "" : outcome.port},
        {"reason", outcome.reason},
        {"image", outcome.image},
        {"variantImages", nameList(outcome.variantImages)},
        {"address", outcome.address},
        {"repairOffered", outcome.repair},
        {"repairOf", outcome.repair ? outcome.repairStarted : ""},
        {"cause", errorJson(outcome.error)},
        {"statusReply", statusReplyText(outcome)},
    };
}

json writerProgressJson(const WriterProgress& progress) {
    return {
        {"phase", writerPhaseName(progress.phase)},
        {"seconds", progress.seconds},
        {"bytesAccepted", progress.bytesAccepted},
        {"imageSize", progress.imageSize},
    };
}

bool writerProgressFromJson(const json& object, WriterProgress* progress) {
    *progress = WriterProgress{};
    if (!valueNamed(object, "phase", writerPhaseName, WRITER_PHASE_DONE + 1, &progress->phase)) {
        return false;
    }
    progress->seconds = object.value("seconds", 0);
    progress->bytesAccepted = object.value("bytesAccepted", 0u);
    progress->imageSize = object.value("imageSize", 0u);
    return true;
}

json upgradeVerdictJson(const UpgradeVerdict& verdict) {
    return {
        {"image", verdict.image},
        {"bytesSent", verdict.bytesAccepted},
        {"newVersion", verdict.newVersion},
        {"verified", verdict.result == UPGRADE_RESULT_VERIFIED},
        {"result", upgradeResultName(verdict.result)},
        {"failure", upgradeFailureName(verdict.failure)},
        {"shown", verdict.shown},
        {"flashModeRequested", verdict.flashModeRequested},
        {"writerStarted", verdict.writerStarted},
        {"repair", verdict.repair},
        {"imageSize", verdict.imageSize},
        {"error", errorJson(verdict.error)},
    };
}

bool upgradeVerdictFromJson(const json& object, UpgradeVerdict* verdict) {
    *verdict = startingUpgradeVerdict();
    if (!valueNamed(object, "result", upgradeResultName, UPGRADE_RESULT_VERIFIED + 1,
                    &verdict->result)) {
        return false;
    }
    valueNamed(object, "failure", upgradeFailureName, UPGRADE_FAILURE_HISTORY + 1,
               &verdict->failure);
    verdict->error = errorFromJson(object.value("error", json()));
    copyOutcomeText(verdict->shown, sizeof verdict->shown, textOf(object, "shown").c_str());
    verdict->flashModeRequested = object.value("flashModeRequested", false);
    verdict->writerStarted = object.value("writerStarted", false);
    verdict->repair = object.value("repair", false);
    copyOutcomeText(verdict->image, sizeof verdict->image, textOf(object, "image").c_str());
    verdict->bytesAccepted = object.value("bytesSent", 0u);
    verdict->imageSize = object.value("imageSize", 0u);
    copyOutcomeText(verdict->newVersion, sizeof verdict->newVersion,
                    textOf(object, "newVersion").c_str());
    return true;
}

std::string recordStreamLine(const char* kind, json object) {
    object["record"] = kind;
    return jsonText(object, -1);
}

std::string jsonText(const json& object, int indent) {
    return object.dump(indent, ' ', false, json::error_handler_t::replace);
}
