#include "outcome/outcomes.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

ProbeOutcome noProbe() {
    ProbeOutcome outcome{};
    outcome.result = PROBE_RESULT_NONE;
    outcome.route = PORT_TYPE_NONE;
    outcome.status = "";
    outcome.port = "";
    outcome.language = "";
    outcome.board = "";
    outcome.imageSlot = -1;
    return outcome;
}

UpgradeVerdict noUpgrade() {
    UpgradeVerdict verdict{};
    verdict.imageSlot = -1;
    return verdict;
}

std::mutex recordsMutex;
ProbeOutcome probeOutcome = noProbe();
WriterProgress writerProgress{};
UpgradeVerdict upgradeVerdict = noUpgrade();
uint32_t probeCount = 0;
std::atomic<OutcomeListener> currentListener{nullptr};

void tell(OutcomeRecord changed) {
    OutcomeListener told = currentListener.load();
    if (told != nullptr) {
        told(changed);
    }
}

// Stores a record under the lock and tells the listener after it.
template <typename Record> void publish(Record* stored, const Record& record, OutcomeRecord which) {
    {
        std::lock_guard<std::mutex> lock(recordsMutex);
        *stored = record;
    }
    tell(which);
}

template <typename Record> Record read(const Record* stored) {
    std::lock_guard<std::mutex> lock(recordsMutex);
    return *stored;
}

} // namespace

void setOutcomeListener(OutcomeListener listener) {
    currentListener = listener;
}

ProbeOutcome beginProbeOutcome(ProbeKind kind) {
    ProbeOutcome outcome = noProbe();
    {
        std::lock_guard<std::mutex> lock(recordsMutex);
        outcome.number = ++probeCount;
    }
    outcome.kind = kind;
    outcome.result = PROBE_RESULT_RUNNING;
    return outcome;
}

void publishProbeOutcome(const ProbeOutcome& outcome) {
    publish(&probeOutcome, outcome, OUTCOME_PROBE);
}

void publishWriterProgress(const WriterProgress& progress) {
    publish(&writerProgress, progress, OUTCOME_WRITER_PROGRESS);
}

void publishUpgradeVerdict(const UpgradeVerdict& verdict) {
    publish(&upgradeVerdict, verdict, OUTCOME_UPGRADE_VERDICT);
}

ProbeOutcome lastProbeOutcome() {
    return read(&probeOutcome);
}

WriterProgress currentWriterProgress() {
    return read(&writerProgress);
}

UpgradeVerdict lastUpgradeVerdict() {
    return read(&upgradeVerdict);
}

UpgradeVerdict startingUpgradeVerdict() {
    UpgradeVerdict verdict = noUpgrade();
    verdict.result = UPGRADE_RESULT_STARTING;
    return verdict;
}

void resetOutcomes() {
    currentListener = nullptr;
    std::lock_guard<std::mutex> lock(recordsMutex);
    probeCount = 0;
    probeOutcome = noProbe();
    writerProgress = WriterProgress{};
    upgradeVerdict = noUpgrade();
}

void copyOutcomeText(char* field, size_t size, const char* text) {
    snprintf(field, size, "%s", text != nullptr ? text : "");
}

const char* probeResultName(ProbeResult result) {
    static const char* const names[] = {"none",      "running",      "no-printer",
                                        "not-ready", "unidentified", "ready"};
    return names[result];
}

const char* writerPhaseName(WriterPhase phase) {
    static const char* const names[] = {"none",       "delay",    "image",         "end-of-file",
                                        "reset-wait", "complete", "closing-probe", "done"};
    return names[phase];
}

const char* upgradeResultName(UpgradeResult result) {
    static const char* const names[] = {"none",        "starting", "writing",
                                        "not-started", "failed",   "verified"};
    return names[result];
}

const char* upgradeFailureName(UpgradeFailure failure) {
    static const char* const names[] = {"",
                                        "no-printer",
                                        "declined",
                                        "not-identified",
                                        "no-image",
                                        "damaged",
                                        "placeholder",
                                        "not-ready",
                                        "flash-mode",
                                        "writer-not-started",
                                        "write-error",
                                        "version-not-read",
                                        "version-mismatch",
                                        "interrupted",
                                        "history"};
    return names[failure];
}
