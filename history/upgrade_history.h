#pragma once

// The history of upgrades, kept in the state folder (platform/state_files.h) as fwupd keeps its
// history: every upgrade is recorded, durably, before its flash-mode request goes out (state
// "pending"), and again when it ends ("verified", "failed"); an upgrade whose run ended before
// it could say (killed, crashed, a power cut) is marked "interrupted" by the next run that holds
// that printer's marker. So a printer that a run left half-written can be recognised later and
// given the same image again.
//
// The file, upgrade-history.jsonl, is append-only JSON lines (history_line.h), each line the
// whole entry as it then stood: the last line of an entry says how it ended. Every line is
// flushed to the disk before the call returns. Before a new entry the file is rotated once it
// holds HISTORY_ROTATE_BYTES: it becomes upgrade-history.1.jsonl (the older one is dropped),
// and readers read both, the older first.
//
// The keys of a line: "entry" (its id), "state", "started" and "ended" (UTC, ISO 8601),
// "route" ("tcp", "usb", "parallel"), "address" ("A.B.C.D:PORT" or the device path),
// "usbSerial" (where the path names it), "deviceId", "model", "oldVersion", "image" (its
// label), "slot", "sha256", "repair" (a rewrite of an upgrade that did not finish), and once it
// ended "failure", "error", "bytesAccepted", "imageSize", "newVersion" (what the closing probe
// read; empty when it read nothing).

#include "identity/firmware_catalogue.h"
#include "identity/printer_data.h"
#include "platform/platform_error.h"

#include <cstdint>

constexpr const char HISTORY_FILE_NAME[] = "upgrade-history.jsonl";
constexpr const char HISTORY_OLDER_FILE_NAME[] = "upgrade-history.1.jsonl";
constexpr uint32_t HISTORY_ROTATE_BYTES = 256 * 1024;

enum HistoryState {
    HISTORY_PENDING,
    HISTORY_VERIFIED,
    HISTORY_FAILED,
    HISTORY_INTERRUPTED,
};

constexpr int HISTORY_TEXT_SIZE = 256;

struct HistoryEntry {
    char id[64];
    HistoryState state;
    char started[32];
    char ended[32];
    char route[16];
    char address[HISTORY_TEXT_SIZE];
    char usbSerial[HISTORY_TEXT_SIZE];
    char deviceId[PRINTER_TEXT_SIZE];
    char model[PRINTER_TEXT_SIZE];
    char oldVersion[PRINTER_TEXT_SIZE];
    char image[FIRMWARE_VERSION_SIZE];
    int slot;
    char sha256[72];
    bool repair;
    char failure[32];
    uint32_t error;
    uint32_t bytesAccepted;
    uint32_t imageSize;
    char newVersion[PRINTER_TEXT_SIZE];
};

// The route's word in the history: "tcp", "parallel", "usb" (for any other value).
const char* historyRouteName(int32_t portType);

// The serial number a Windows USB device-interface path names
// ("\\?\usb#vid_..&pid_..#SERIAL#{...}"), into serial; empty for any other path.
void usbSerialOfPath(const char* path, char* serial, size_t size);

// The word of a state, as a line writes it.
const char* historyStateName(HistoryState state);

// Whether an upgrade did not finish: pending or interrupted, or failed part-way through its
// image. Such a printer may hold an incomplete image.
bool historyEntryUnfinished(const HistoryEntry& entry);

// The upgrade under way, recorded before its flash-mode request: entry gets its id, its start
// time and the state pending, and is kept as the one under way. False, with the error, when it
// could not be recorded: the upgrade must not go on.
bool beginHistoryEntry(HistoryEntry* entry, PlatformError* error);

// The end of the upgrade under way, if there is one: its state, the failure word and error, the
// counts and the version read back. A failure to record it is logged; the entry then stays
// pending and the next run marks it interrupted.
void completeHistoryEntry(HistoryState state, const char* failure, uint32_t error,
                          uint32_t bytesAccepted, uint32_t imageSize, const char* newVersion);

// The last entry of the printer at this route and address, as its last line says; false when
// the history holds none (or cannot be read).
bool lastHistoryEntryOf(const char* route, const char* address, HistoryEntry* entry);

// Marks interrupted every entry still pending whose printer this run holds (ours says which), so
// that no live run's entry is taken for a dead one's.
void markInterruptedHistory(bool (*ours)(const HistoryEntry& entry, const void* context),
                            const void* context);

// Each line of the history in order, the older file first, each as the entry then stood; a
// damaged line is passed over. False when the history could not be read.
bool forEachHistoryLine(void (*visit)(const HistoryEntry& entry, void* context), void* context);

// Forgets the upgrade under way; for the tests.
void resetHistory();
