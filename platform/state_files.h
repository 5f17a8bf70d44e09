#pragma once

// State-file service: the program's durable state, kept as named files of one state folder, so
// that what a run changed on the machine, and what it did, is known to the next run however
// this one ended (a crash, a kill, a power cut). The spooler journal ("spooler-ports.journal")
// is one such file. The texts are the portable code's; the service only keeps them.
//
// The state folder is the folder that the environment variable TICKETFLASH_STATE_DIR names;
// else the one that TICKETFLASH_JOURNAL_DIR, its older name, names; else the machine's
// (Windows %ProgramData%\ticketflash; Linux /var/lib/ticketflash for root), or on Linux for
// any other user the user's own ($XDG_STATE_HOME/ticketflash, else
// ~/.local/state/ticketflash). A change is made in the folder, made when missing (on Linux
// the user's folders for the user alone, 0700).
//
// A name is a plain file name: one with a path separator ('/', '\', ':') or "..", or an empty
// one, is refused with PLATFORM_ERROR_INVALID before anything is touched. Every operation
// blocks the calling thread until the disk has what it changed; none waits on anything else:
// a FIFO under a name is refused without waiting for a writer. Failures report their error
// (see platform_error.h); one the backend found itself (a name refused, something other than
// a regular file, a file larger than the buffer) carries no system number.

#include "platform/designated_only.h"
#include "platform/platform_error.h"

#include <cstddef>
#include <cstdint>

struct StateFileService {
    DesignatedOnly designatedOnly{};

    // Reads the whole file into buffer (size bytes), its length into *length. *present is false
    // when there is none (a success); anything but a regular file, or a file larger than size,
    // is a failure (PLATFORM_ERROR_INVALID, PLATFORM_ERROR_TOO_LARGE).
    bool (*read)(const char* name, char* buffer, uint32_t size, uint32_t* length, bool* present,
                 PlatformError* error);

    // Replaces the file with text, durably: a temporary file beside it ("<name>.new") written and
    // flushed, moved over the file (Linux rename; Windows MoveFileExA, write-through), and on
    // Linux the folder flushed. The old text stays whole until the new one has replaced it.
    bool (*replace)(const char* name, const char* text, uint32_t length, PlatformError* error);

    // Adds text at the end of the file, made when missing, written whole and flushed to the disk
    // before it returns (Linux O_APPEND and fsync, the folder flushed; Windows FILE_APPEND_DATA
    // and FlushFileBuffers). A symbolic link under the name is never followed: it is refused.
    bool (*append)(const char* name, const char* text, uint32_t length, PlatformError* error);

    // Renames the file from to the name to, replacing whatever to was, at once (one rename), the
    // folder flushed: for turning a file over once it has grown too large.
    bool (*rename)(const char* from, const char* to, PlatformError* error);

    // Removes the file, durably; one already gone is a success.
    bool (*remove)(const char* name, PlatformError* error);

    // The file's path, for messages; cut to size. Just the name when the folder is unknown.
    void (*path)(const char* name, char* path, uint32_t size);
};

extern const StateFileService* stateFileService;

// For the backends: whether a name is a plain file name, as the service takes it.
bool plainStateFileName(const char* name);

// For the backends: the state folder of this system when the environment chose none, and the
// separator of its paths. Each backend has its own.
bool systemStateFolder(char* folder, size_t size);
extern const char STATE_PATH_SEPARATOR;

// For the backends: the state folder and the path in it of the file name with suffix, each in
// a buffer of size bytes; false, with the reason in *error (when not null), for a name that is
// not a plain file name or a path that does not fit.
bool statePath(const char* name, const char* suffix, char* folder, char* path, size_t size,
               PlatformError* error);

// For the backends: the path operation of the service.
void showStatePath(const char* name, char* path, uint32_t size);
