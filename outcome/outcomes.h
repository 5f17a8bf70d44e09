#pragma once

// What happened, as typed records: the probe's outcome, the flash writer's progress and the
// upgrade's verdict. The core fills them at the moments the dialog shows its texts (the probe and
// the entry in app/ and flash/, the writer on its own thread); the front ends render them, and
// nothing decides anything from a control's text. The dialog keeps showing its own texts: these
// records sit beside them and beside the specified globals (printerData, writerOutcome), which
// keep their meaning.
//
// Each record is kept whole under a lock of this module: a publish replaces it and then tells the
// listener, on the publishing thread, outside the lock; a read returns a copy. Safe from any
// thread.

#include "identity/firmware_catalogue.h"
#include "identity/printer_data.h"
#include "platform/platform_error.h"

#include <cstdint>

// The texts a record copies from the printer or from what was shown: as long as the printer
// record's and the dialog's own texts, so nothing is cut that the dialog shows whole.
constexpr int OUTCOME_TEXT_SIZE = PRINTER_TEXT_SIZE;

enum ProbeKind {
    PROBE_KIND_LOCAL,    // the local probe: USB, then the parallel ports
    PROBE_KIND_ETHERNET, // the probe over TCP
    PROBE_KIND_STATUS,   // "STATUS": the local printer's readiness alone, no device id
};

enum ProbeResult {
    PROBE_RESULT_NONE,         // no probe has run
    PROBE_RESULT_RUNNING,      // under way
    PROBE_RESULT_NO_PRINTER,   // nothing found on the route
    PROBE_RESULT_NOT_READY,    // found, and not ready (over TCP also: its device id not read)
    PROBE_RESULT_UNIDENTIFIED, // found and ready, but its device id did not identify it
    PROBE_RESULT_READY,        // found, identified and ready: firmware is offered
};

// One probe, as it ended (or as it stands while it runs). The texts are what this probe read and
// showed, empty where it read nothing: never what an earlier probe left in printerData.
struct ProbeOutcome {
    uint32_t number; // counts the probes of the run from 1; 0 before the first
    ProbeKind kind;
    ProbeResult result;
    int32_t route;        // PORT_TYPE_* of the printer found, PORT_TYPE_NONE when none was
    bool deviceIdRead;    // the printer's device id was read in this probe
    bool runEndRequested; // the probe gave up and asked for the end of the run
    const char* status;   // the status line the dialog shows for it, a constant of the program
    // The labels the dialog shows, constants of the program ("" when not shown).
    const char* port;
    const char* language;
    const char* board; // as shown for the route
    char model[OUTCOME_TEXT_SIZE];
    char version[OUTCOME_TEXT_SIZE]; // the firmware version as the device id gives it
    // Why no firmware is offered for a ready printer (PROBE_RESULT_UNIDENTIFIED).
    char reason[OUTCOME_TEXT_SIZE];
    // The upgrade button as the probe (or a later choice of variant) left it.
    char caption[OUTCOME_TEXT_SIZE];
    bool upgradeEnabled;
    // The image it would write (slot -1 when none: not ready, not identified, or a raster printer
    // whose variant is not chosen yet) and its label.
    int imageSlot;
    char image[FIRMWARE_VERSION_SIZE];
    // A raster printer offers a choice: the names the combo box shows and the labels of the
    // images behind them, each ended by "END" (null when there is no choice to make).
    const char* const* variantNames;
    const char* const* variantImages;
    // A printer this program left half-written: its last upgrade here did not finish, and its
    // device id still names that upgrade's model. The same image is offered again (imageSlot
    // and image name it) and repairStarted says when that upgrade began.
    bool repair;
    char repairStarted[32];
    // The printer's address on its route ("A.B.C.D:PORT", or the local device path); when no
    // printer was found, what was tried, and the system's reason in error (0 when none: nothing
    // that could answer was there).
    char address[OUTCOME_TEXT_SIZE];
    PlatformError error;
    // The status reply of a printer found not ready, as it came.
    uint8_t statusBytes[16];
    uint32_t statusLength;
};

enum WriterPhase {
    WRITER_PHASE_NONE,          // no writer has run
    WRITER_PHASE_DELAY,         // the 15 s before the first block
    WRITER_PHASE_IMAGE,         // the image is being written
    WRITER_PHASE_END_OF_FILE,   // the last block is written; the 1 s pause
    WRITER_PHASE_RESET_WAIT,    // the 25 s wait for the printer's reset
    WRITER_PHASE_COMPLETE,      // the wait is over ("Progamming complete"): the image went whole
    WRITER_PHASE_CLOSING_PROBE, // the channel is closed; the printer is probed again
    WRITER_PHASE_DONE,          // the writer has finished
};

// The writer's progress: published at each second of a wait and after each block.
struct WriterProgress {
    WriterPhase phase;
    int seconds;            // seconds elapsed in a wait (0 to 14, 0 to 24)
    uint32_t bytesAccepted; // bytes of the image the printer has taken: the one count of bytes
    uint32_t imageSize;     // bytes the writer means to send (the image's even size)
};

enum UpgradeResult {
    UPGRADE_RESULT_NONE,        // no upgrade was asked for
    UPGRADE_RESULT_STARTING,    // the upgrade command runs: search, question, readiness, entry
    UPGRADE_RESULT_WRITING,     // the writer owns the printer
    UPGRADE_RESULT_NOT_STARTED, // stopped before anything that changes the printer was sent
    UPGRADE_RESULT_FAILED,      // stopped after the flash-mode request, or the image failed
    UPGRADE_RESULT_VERIFIED,    // every byte accepted and the printer came back with the image
};

enum UpgradeFailure {
    UPGRADE_FAILURE_NONE,
    UPGRADE_FAILURE_NO_PRINTER,         // the upgrade's own search or connection found none
    UPGRADE_FAILURE_DECLINED,           // the same-version question was answered No
    UPGRADE_FAILURE_NOT_IDENTIFIED,     // the last probe did not identify the printer
    UPGRADE_FAILURE_NO_IMAGE,           // no image fits the printer
    UPGRADE_FAILURE_IMAGE_DAMAGED,      // the image's bytes are not those the build recorded
    UPGRADE_FAILURE_PLACEHOLDER,        // a placeholder image, and the printer is no simulator
    UPGRADE_FAILURE_NOT_READY,          // the printer is not ready
    UPGRADE_FAILURE_FLASH_MODE,         // the flash-mode entry failed or was refused
    UPGRADE_FAILURE_WRITER_NOT_STARTED, // the writer's thread could not be started
    UPGRADE_FAILURE_WRITE_ERROR,        // a write of the image failed
    UPGRADE_FAILURE_VERSION_NOT_READ,   // the closing probe could not read the printer
    UPGRADE_FAILURE_VERSION_MISMATCH,   // the printer came back with another version
    UPGRADE_FAILURE_INTERRUPTED,        // a stop came before the flash-mode request
    UPGRADE_FAILURE_HISTORY,            // the history of upgrades could not be written
};

// The upgrade command's verdict, from its start to the writer's end.
struct UpgradeVerdict {
    UpgradeResult result;
    UpgradeFailure failure;
    PlatformError error;                // the system's error behind the failure, 0 without one
    char shown[OUTCOME_TEXT_SIZE];      // the message the user was shown for it, empty if none
    bool flashModeRequested;            // the printer took the flash-mode request
    bool writerStarted;                 // a writer thread ran (the image may be part-written)
    bool repair;                        // the rewrite of an upgrade that did not finish
    int imageSlot;                      // the image chosen, -1 before the choice
    char image[FIRMWARE_VERSION_SIZE];  // its label
    uint32_t bytesAccepted;             // the writer's count, as in WriterProgress
    uint32_t imageSize;                 // 0 until the writer started
    char newVersion[OUTCOME_TEXT_SIZE]; // what the closing probe read; empty when it read none
};

enum OutcomeRecord {
    OUTCOME_PROBE,
    OUTCOME_WRITER_PROGRESS,
    OUTCOME_UPGRADE_VERDICT,
};

// Told of every publish, on the publishing thread, after the record is stored.
typedef void (*OutcomeListener)(OutcomeRecord changed);

// One listener (a front end's); null for none.
void setOutcomeListener(OutcomeListener listener);

// A new probe: the next number, the kind, PROBE_RESULT_RUNNING and nothing read yet.
ProbeOutcome beginProbeOutcome(ProbeKind kind);

void publishProbeOutcome(const ProbeOutcome& outcome);
void publishWriterProgress(const WriterProgress& progress);
void publishUpgradeVerdict(const UpgradeVerdict& verdict);

ProbeOutcome lastProbeOutcome();
WriterProgress currentWriterProgress();
UpgradeVerdict lastUpgradeVerdict();

// An upgrade command's first verdict: STARTING, no failure, no image chosen yet.
UpgradeVerdict startingUpgradeVerdict();

// The words of the records' values, as the JSON and the history write them ("no-printer",
// "reset-wait", "write-error", ...).
const char* probeResultName(ProbeResult result);
const char* writerPhaseName(WriterPhase phase);
const char* upgradeResultName(UpgradeResult result);
const char* upgradeFailureName(UpgradeFailure failure);

// Every record back to "nothing has happened", and no listener; for the tests.
void resetOutcomes();

// Copies a text into a record's field, cut to fit and terminated.
void copyOutcomeText(char* field, size_t size, const char* text);
