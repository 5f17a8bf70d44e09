#include "app/run.h"

#include "app/single_instance.h"
#include "connection/spooler_ports.h"
#include "history/upgrade_history.h"
#include "platform/kernel.h"
#include "platform/network.h"
#include "platform/user_interface.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::atomic<bool> runEndRequested{false};
std::atomic<bool> portsRestored{false};

namespace {

constexpr const char ANOTHER_TOOL_TEXT[] = "Another KQ tool is currently running\r"
                                           "Please try again latter";

// The marker of the printer a run over TCP works on; kept until the run ends.
MarkerHandle printerMarker = NO_MARKER;

// The lock of that name and who holds it, as far as the system tells, into start->holderText.
void describeHolder(const char* name, RunStart* start) {
    MarkerHolder holder;
    kernelService->markerHolder(name, &holder);
    int length = snprintf(start->holderText, sizeof start->holderText, "the lock %s", holder.place);
    size_t used = length > 0 ? std::min(static_cast<size_t>(length), sizeof start->holderText) : 0;
    if (holder.processId != 0) {
        snprintf(start->holderText + used, sizeof start->holderText - used,
                 ", held by process %u%s%s%s", holder.processId,
                 holder.user[0] != '\0' ? " (user " : "", holder.user,
                 holder.user[0] != '\0' ? ")" : "");
    }
}

bool refuse(RunStart* start, RunRefusal refusal, const char* shown) {
    start->refusal = refusal;
    if (shown != nullptr) {
        showMessage(shown);
    }
    return false;
}

bool takeMachineMarker(RunScope scope, RunStart* start) {
    CreateSingleInstance();
    if (IsAnotherInstanceRunning()) {
        describeHolder(INSTANCE_MARKER_NAME, start);
        return refuse(start, RUN_REFUSED_ANOTHER_TOOL, ANOTHER_TOOL_TEXT);
    }
    if (instanceMutex == NO_MARKER && scope == RUN_SCOPE_MACHINE) {
        start->error = instanceMarkerError;
        describeHolder(INSTANCE_MARKER_NAME, start);
        return refuse(start, RUN_REFUSED_NO_MACHINE_LOCK, nullptr);
    }
    return true;
}

// The marker's name is the printer's, with every ':' made '-' for the file systems that refuse it.
bool takePrinterMarker(const char* printer, RunStart* start) {
    char name[128];
    snprintf(name, sizeof name, "ticketflash-printer-%s", printer);
    for (char* c = name; *c != '\0'; ++c) {
        *c = *c == ':' ? '-' : *c;
    }
    PlatformError error{};
    printerMarker = kernelService->createMarker(name, &error);
    if (!platformFailed(error)) {
        return true;
    }
    start->error = error;
    describeHolder(name, start);
    char text[1024];
    if (error.kind == PLATFORM_ERROR_ALREADY_EXISTS) {
        snprintf(text, sizeof text, "Another run is working on the printer at %s (%s)", printer,
                 start->holderText);
        return refuse(start, RUN_REFUSED_PRINTER_BUSY, text);
    }
    char cause[128];
    describePlatformError(error, cause, sizeof cause);
    snprintf(text, sizeof text, "Cannot take the lock of the printer at %s (%s): %s", printer,
             start->holderText, cause);
    return refuse(start, RUN_REFUSED_NO_PRINTER_LOCK, text);
}

// A run holds the printers of its scope: the machine's marker keeps every other local run off
// the local printers, a printer's marker every other run off that printer.
bool holdsLocalPrinter(const HistoryEntry& entry, const void*) {
    return strcmp(entry.route, "tcp") != 0;
}

bool holdsThisPrinter(const HistoryEntry& entry, const void* printer) {
    return strcmp(entry.route, "tcp") == 0 &&
           strcmp(entry.address, static_cast<const char*>(printer)) == 0;
}

} // namespace

bool beginRun(RunScope scope, const char* printer, RunStart* start) {
    *start = RunStart{RUN_NOT_REFUSED, PlatformError{}, PORT_RECOVERY_NOTHING_LEFT, "", ""};
    if (scope == RUN_SCOPE_PRINTER) {
        if (!takePrinterMarker(printer, start)) {
            return false;
        }
        // An upgrade of this printer still pending belongs to a run that ended before it could
        // say how the upgrade went.
        markInterruptedHistory(holdsThisPrinter, printer);
        return true;
    }
    if (!takeMachineMarker(scope, start)) {
        return false;
    }
    markInterruptedHistory(holdsLocalPrinter, nullptr);
    // Before anything else touches the spooler: the printers a run that did not end left held.
    start->recovery = RestorePortsFromJournal();
    describePortRecovery(start->recovery, start->recoveryText, sizeof start->recoveryText);
    return true;
}

void requestRunEnd() {
    debugLog("requestRunEnd - Ending the run");
    runEndRequested = true;
    networkService->cleanup();
    userInterfaceService->postQuit(0);
}

void restorePortsOnce() {
    // Marked before the restore, so that a probe finishing on the writer thread meanwhile
    // does not move the printers again.
    if (portsRestored.exchange(true)) {
        return;
    }
    RestorePortsToOriginal();
}

void finishRun() {
    restorePortsOnce();
    if (instanceMutex != NO_MARKER) {
        ClearInstanceMutex();
    }
    if (printerMarker != NO_MARKER) {
        kernelService->releaseMarker(printerMarker);
        printerMarker = NO_MARKER;
    }
}
