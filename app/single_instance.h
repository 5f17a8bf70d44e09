#pragma once

// The single-instance guard: a system-wide marker named "KQ_TOOLS" tells that a tool of the
// family runs. The entry point creates it first of all and stops when it already existed; the
// dialog's exit sequence releases it. It is never waited on and guards no data.

#include "platform/kernel.h"

#include <cstdint>

// The Windows error code of a marker that already exists (ERROR_ALREADY_EXISTS): what
// m_dwLastError holds, on every system, when another instance holds the marker.
constexpr uint32_t INSTANCE_MARKER_EXISTS_CODE = 183;

constexpr char INSTANCE_MARKER_NAME[] = "KQ_TOOLS";

// The marker's handle: NO_MARKER before creation and after release.
extern MarkerHandle instanceMutex;
// The error code of the marker's creation, read right after it: INSTANCE_MARKER_EXISTS_CODE
// when the marker was held already, else the system's number (0 for a new marker).
extern uint32_t m_dwLastError;
// The creation's error as the platform reported it, kind and number, for messages.
extern PlatformError instanceMarkerError;

// Creates the marker into instanceMutex and records m_dwLastError. A failed creation is not
// reported: unless its error is 183, the tool runs as if it were the only instance.
void CreateSingleInstance();

// Whether the creation found the marker already held (m_dwLastError is 183).
bool IsAnotherInstanceRunning();

// Releases the marker and clears instanceMutex.
void ClearInstanceMutex();
