#include "app/run_end.h"

#include "connection/spooler_ports.h"
#include "platform/kernel.h"
#include "platform/network.h"
#include "platform/user_interface.h"

std::atomic<bool> runEndRequested{false};
std::atomic<bool> portsRestored{false};

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
