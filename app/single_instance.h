#pragma once

// The single-instance guard: a system-wide marker named "KQ_TOOLS" tells that a tool of the
// family runs. The entry point creates it first of all and stops when it already existed; the
// dialog's exit sequence releases it. It is never waited on and guards no data.

#include "platform/kernel.h"

#include <cstdint>

// The marker's handle: NO_MARKER before creation and after release.
extern MarkerHandle instanceMutex;
// The error code of the marker's creation, read right after it.
extern uint32_t m_dwLastError;

// Creates the marker into instanceMutex and records m_dwLastError. A failed creation is not
// reported: unless its error is 183, the tool runs as if it were the only instance.
void CreateSingleInstance();

// Whether the creation found the marker already held (m_dwLastError is 183).
bool IsAnotherInstanceRunning();

// Releases the marker and clears instanceMutex.
void ClearInstanceMutex();
