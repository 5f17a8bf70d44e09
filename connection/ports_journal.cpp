#include "connection/ports_journal.h"

#include "connection/spooler_ports.h"
#include "platform/kernel.h"
#include "platform/state_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char JOURNAL_HEADER[] = "ticketflash spooler journal 1\n";
static const char PRINTER_PREFIX[] = "printer ";
static const char END_PREFIX[] = "end ";
static const char HEX_DIGITS[] = "0123456789ABCDEF";

static bool writtenAsIs(unsigned char byte) {
    return byte >= '!' && byte <= '~' && byte != '%';
}

// Appends to text as far as it fits; *length counts every byte, fitting or not.
struct JournalWriter {
    char* text;
    uint32_t size;
    uint32_t length;

    void put(char byte) {
        if (text != nullptr && length < size) {
            text[length] = byte;
        }
        ++length;
    }
    void putText(const char* bytes) {
        for (; *bytes != '\0'; ++bytes) {
            put(*bytes);
        }
    }
    void putField(const char* field) {
        for (const unsigned char* byte = reinterpret_cast<const unsigned char*>(field);
             *byte != '\0'; ++byte) {
            if (writtenAsIs(*byte)) {
                put(static_cast<char>(*byte));
            } else {
                put('%');
                put(HEX_DIGITS[*byte >> 4]);
                put(HEX_DIGITS[*byte & 0xF]);
            }
        }
    }
};

bool formatPortsJournal(const PortsJournalEntry* entries, uint32_t count, char* text, uint32_t size,
                        uint32_t* length) {
    JournalWriter writer = {text, size, 0};
    writer.putText(JOURNAL_HEADER);
    for (uint32_t i = 0; i < count; ++i) {
        writer.putText(PRINTER_PREFIX);
        writer.putField(entries[i].printerName);
        writer.put(' ');
        writer.putField(entries[i].setting);
        writer.put('\n');
    }
    char end[32];
    snprintf(end, sizeof end, "%s%u\n", END_PREFIX, count);
    writer.putText(end);
    *length = writer.length;
    return text == nullptr || writer.length <= size;
}

uint32_t portsJournalCapacity(const char* text, uint32_t length) {
    uint32_t lines = 0;
    for (uint32_t i = 0; i < length; ++i) {
        lines += text[i] == '\n' ? 1 : 0;
    }
    return lines;
}

static int hexValue(char digit) {
    const char* found = digit != '\0' ? strchr(HEX_DIGITS, digit) : nullptr;
    return found != nullptr ? static_cast<int>(found - HEX_DIGITS) : -1;
}

// Reads the text from *at up to its end or a line feed, as the journal's lines are read.
struct JournalReader {
    char* text;
    uint32_t length;
    uint32_t at;

    bool startsWith(const char* expected) {
        size_t size = strlen(expected);
        if (length - at < size || memcmp(text + at, expected, size) != 0) {
            return false;
        }
        at += static_cast<uint32_t>(size);
        return true;
    }

    // Decodes one field in place up to the separator, which becomes its NUL. Only the one
    // spelling the writer uses is taken, so that a journal reads back exactly as it was made.
    bool field(char separator, const char** decoded) {
        char* out = text + at;
        *decoded = out;
        while (at < length && text[at] != separator) {
            unsigned char byte = static_cast<unsigned char>(text[at]);
            if (byte == '%' && length - at >= 3 && hexValue(text[at + 1]) >= 0 &&
                hexValue(text[at + 2]) >= 0) {
                byte = static_cast<unsigned char>(hexValue(text[at + 1]) * 16 +
                                                  hexValue(text[at + 2]));
                if (byte == 0 || writtenAsIs(byte)) {
                    return false;
                }
                at += 3;
            } else if (writtenAsIs(byte)) {
                ++at;
            } else {
                return false;
            }
            *out++ = static_cast<char>(byte);
        }
        if (at == length) {
            return false;
        }
        *out = '\0';
        ++at;
        return true;
    }

    bool count(uint32_t expected) {
        char written[16];
        snprintf(written, sizeof written, "%u\n", expected);
        return startsWith(written) && at == length;
    }
};

bool parsePortsJournal(char* text, uint32_t length, PortsJournalEntry* entries, uint32_t capacity,
                       uint32_t* count) {
    *count = 0;
    JournalReader reader = {text, length, 0};
    if (!reader.startsWith(JOURNAL_HEADER)) {
        return false;
    }
    uint32_t found = 0;
    while (reader.startsWith(PRINTER_PREFIX)) {
        PortsJournalEntry entry;
        if (found == capacity || !reader.field(' ', &entry.printerName) ||
            entry.printerName[0] == '\0' || !reader.field('\n', &entry.setting)) {
            return false;
        }
        entries[found++] = entry;
    }
    if (!reader.startsWith(END_PREFIX) || !reader.count(found)) {
        return false;
    }
    *count = found;
    return true;
}

// The moved printers as entries, in the order of the list; the caller frees them.
static PortsJournalEntry* movedEntries(uint32_t* count) {
    *count = 0;
    PortsJournalEntry* entries =
        static_cast<PortsJournalEntry*>(malloc(sizeof(PortsJournalEntry) * (printerCount + 1)));
    for (uint32_t i = 0; entries != nullptr && i < printerCount; ++i) {
        if (movedPrinters[i] != 0) {
            const PrinterPortEntry* record = printerRecord(enumeratedPrinters, i);
            entries[(*count)++] = {spoolerService->printerName(record),
                                   spoolerService->originalSetting(record)};
        }
    }
    return entries;
}

static bool writeJournal(const PortsJournalEntry* entries, uint32_t count, PlatformError* error) {
    uint32_t length = 0;
    formatPortsJournal(entries, count, nullptr, 0, &length);
    char* text = static_cast<char*>(malloc(length));
    bool written = text != nullptr && formatPortsJournal(entries, count, text, length, &length) &&
                   stateFileService->replace(PORTS_JOURNAL_NAME, text, length, error);
    free(text);
    return written;
}

bool journalMovedPrinters() {
    uint32_t count = 0;
    PortsJournalEntry* entries = movedEntries(&count);
    PlatformError error;
    bool done =
        entries != nullptr && (count == 0 ? stateFileService->remove(PORTS_JOURNAL_NAME, &error)
                                          : writeJournal(entries, count, &error));
    free(entries);
    if (!done) {
        debugLogFailure("journalMovedPrinters - writing the journal", nullptr, error);
    }
    return done;
}
