#pragma once

// The spooler journal's file, as the spooler services of both systems keep it (the journal
// operations of platform/spooler.h say what each does): one implementation per system, in
// platform/posix/journal_file.cpp and platform/win32/journal_file.cpp.

#include "platform/platform_error.h"

#include <cstdint>

bool writeJournalFile(const char* text, uint32_t length, PlatformError* error);
bool readJournalFile(char* buffer, uint32_t size, uint32_t* length, bool* present,
                     PlatformError* error);
bool removeJournalFile(PlatformError* error);
void journalFilePath(char* path, uint32_t size);
