#pragma once

// The spooler's journal file on Windows (see the journal operations of platform/spooler.h).

#include "platform/platform_error.h"

#include <cstdint>

bool win32WriteJournal(const char* text, uint32_t length, PlatformError* error);
bool win32ReadJournal(char* buffer, uint32_t size, uint32_t* length, bool* present,
                      PlatformError* error);
bool win32RemoveJournal(PlatformError* error);
void win32JournalPath(char* path, uint32_t size);
