#pragma once

// The lines of the history of upgrades: one flat JSON object each, written and read here
// without a JSON library, so that every front end (the Windows program too) keeps its history
// with the core alone. An object holds only text, whole numbers and true/false; every byte of
// a text outside printable ASCII is written \u00XX and read back as the same byte, so the
// printer's 8-bit texts survive the round trip and the file stays valid JSON.

#include <cstddef>
#include <cstdint>

// Builds one line: start it, add fields, finish it. Texts are escaped; a line that does not fit
// its buffer is marked and refused at the end.
struct HistoryLineWriter {
    char* text;
    size_t size;
    size_t length;
    bool overflowed;
};

void startHistoryLine(HistoryLineWriter* line, char* buffer, size_t size);
void addHistoryText(HistoryLineWriter* line, const char* key, const char* value);
void addHistoryNumber(HistoryLineWriter* line, const char* key, uint64_t value);
void addHistoryFlag(HistoryLineWriter* line, const char* key, bool value);
// Closes the object and adds the line feed. False, with nothing usable, when it did not fit.
bool finishHistoryLine(HistoryLineWriter* line);

// One field of a line as read: its key, and its value as text (decoded), number or flag.
enum HistoryValueKind { HISTORY_VALUE_TEXT, HISTORY_VALUE_NUMBER, HISTORY_VALUE_FLAG };

constexpr size_t HISTORY_KEY_SIZE = 32;
constexpr size_t HISTORY_VALUE_SIZE = 1024;

struct HistoryField {
    char key[HISTORY_KEY_SIZE];
    HistoryValueKind kind;
    char text[HISTORY_VALUE_SIZE];
    uint64_t number;
    bool flag;
};

// Reads one line (without its line feed) field by field, calling visit for each. False for
// anything but one flat object of that form (a damaged line), or when visit returns false. A
// key or text longer than its field is a damaged line as well: nothing is cut silently.
bool parseHistoryLine(const char* line, size_t length,
                      bool (*visit)(const HistoryField& field, void* context), void* context);
