#pragma once

// The spooler's journal file on Linux (see the journal operations of platform/spooler.h).

#include "platform/platform_error.h"

#include <cstdint>

bool posixWriteJournal(const char* text, uint32_t length, PlatformError* error);
bool posixReadJournal(char* buffer, uint32_t size, uint32_t* length, bool* present,
                      PlatformError* error);
bool posixRemoveJournal(PlatformError* error);
void posixJournalPath(char* path, uint32_t size);
