#pragma once

// ticketflash --record FILE: every exchange with the printer, on both routes, written to FILE
// in the format of recording_format.h while the tool runs.
//
// The recorder is a pair of service tables laid over the local channel and network services
// in force when it starts: each operation is passed on unchanged and its outcome written as
// one line afterwards, so what is sent and when stays as it was. Image writes cost one SHA-256
// update each and write no line unless they fail. Lines are flushed as they are written, so a
// run that ends abruptly keeps what it recorded. Thread-safe: the writer thread and the
// dialog's thread may both use the printer.

#include "platform/platform_error.h"

// Creates the file (or empties a regular file) and installs the recording services. False,
// with the error in *error, when it cannot be created or is not a regular file (a FIFO, a
// device): nothing is installed then.
bool startSessionRecording(const char* path, const char* toolVersion, PlatformError* error);

// Puts the services back as they were and closes the file.
void stopSessionRecording();

// Whether a write to the recording failed (a full disk): the recording then ends at the line
// before, and the run goes on as if nothing were recorded. The first failure in *error.
bool sessionRecordingFailed(PlatformError* error);
