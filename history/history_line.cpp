#include "history/history_line.h"

#include <cstdio>
#include <cstring>

namespace {

void append(HistoryLineWriter* line, const char* text, size_t count) {
    if (line->overflowed || line->length + count >= line->size) {
        line->overflowed = true;
        return;
    }
    memcpy(line->text + line->length, text, count);
    line->length += count;
    line->text[line->length] = '\0';
}

void appendText(HistoryLineWriter* line, const char* text) {
    append(line, text, strlen(text));
}

void appendEscaped(HistoryLineWriter* line, const char* value) {
    appendText(line, "\"");
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(value); *c != 0; ++c) {
        if (*c == '"' || *c == '\\') {
            char pair[2] = {'\\', static_cast<char>(*c)};
            append(line, pair, 2);
        } else if (*c < 0x20 || *c >= 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04X", *c);
            appendText(line, escape);
        } else {
            append(line, reinterpret_cast<const char*>(c), 1);
        }
    }
    appendText(line, "\"");
}

void startField(HistoryLineWriter* line, const char* key) {
    appendText(line, line->length > 1 ? "," : "");
    appendEscaped(line, key);
    appendText(line, ":");
}

// A strict reader of the one form the writer makes.
struct Reader {
    const char* at;
    const char* end;
};

void skipBlanks(Reader* reader) {
    while (reader->at < reader->end && (*reader->at == ' ' || *reader->at == '\t')) {
        ++reader->at;
    }
}

bool take(Reader* reader, char expected) {
    skipBlanks(reader);
    if (reader->at >= reader->end || *reader->at != expected) {
        return false;
    }
    ++reader->at;
    return true;
}

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    return -1;
}

// "\u00XX": the byte XX. Only bytes are written that way, so nothing above 0xFF is read.
bool readEscapedByte(Reader* reader, char* byte) {
    if (reader->end - reader->at < 4 || reader->at[0] != '0' || reader->at[1] != '0') {
        return false;
    }
    int high = hexValue(reader->at[2]);
    int low = hexValue(reader->at[3]);
    if (high < 0 || low < 0) {
        return false;
    }
    *byte = static_cast<char>(high * 16 + low);
    reader->at += 4;
    return true;
}

bool readEscape(Reader* reader, char* byte) {
    if (reader->at >= reader->end) {
        return false;
    }
    char kind = *reader->at++;
    switch (kind) {
    case '"':
    case '\\':
    case '/':
        *byte = kind;
        return true;
    case 'n':
        *byte = '\n';
        return true;
    case 'r':
        *byte = '\r';
        return true;
    case 't':
        *byte = '\t';
        return true;
    case 'u':
        return readEscapedByte(reader, byte);
    default:
        return false;
    }
}

bool readString(Reader* reader, char* out, size_t size) {
    if (!take(reader, '"')) {
        return false;
    }
    size_t length = 0;
    while (reader->at < reader->end && *reader->at != '"') {
        char byte = *reader->at++;
        if (byte == '\\' && !readEscape(reader, &byte)) {
            return false;
        }
        if (length + 1 >= size) {
            return false;
        }
        out[length++] = byte;
    }
    out[length] = '\0';
    return take(reader, '"');
}

bool readWord(Reader* reader, const char* word) {
    size_t length = strlen(word);
    if (static_cast<size_t>(reader->end - reader->at) < length ||
        memcmp(reader->at, word, length) != 0) {
        return false;
    }
    reader->at += length;
    return true;
}

bool readNumber(Reader* reader, uint64_t* number) {
    const char* start = reader->at;
    uint64_t value = 0;
    while (reader->at < reader->end && *reader->at >= '0' && *reader->at <= '9') {
        uint64_t digit = static_cast<uint64_t>(*reader->at - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
        ++reader->at;
    }
    *number = value;
    return reader->at > start;
}

bool readValue(Reader* reader, HistoryField* field) {
    skipBlanks(reader);
    if (reader->at >= reader->end) {
        return false;
    }
    if (*reader->at == '"') {
        field->kind = HISTORY_VALUE_TEXT;
        return readString(reader, field->text, sizeof field->text);
    }
    if (*reader->at == 't' || *reader->at == 'f') {
        field->kind = HISTORY_VALUE_FLAG;
        field->flag = *reader->at == 't';
        return readWord(reader, field->flag ? "true" : "false");
    }
    field->kind = HISTORY_VALUE_NUMBER;
    return readNumber(reader, &field->number);
}

} // namespace

void startHistoryLine(HistoryLineWriter* line, char* buffer, size_t size) {
    *line = {buffer, size, 0, size == 0};
    if (size > 0) {
        buffer[0] = '\0';
    }
    appendText(line, "{");
}

void addHistoryText(HistoryLineWriter* line, const char* key, const char* value) {
    startField(line, key);
    appendEscaped(line, value != nullptr ? value : "");
}

void addHistoryNumber(HistoryLineWriter* line, const char* key, uint64_t value) {
    startField(line, key);
    char digits[24];
    snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
    appendText(line, digits);
}

void addHistoryFlag(HistoryLineWriter* line, const char* key, bool value) {
    startField(line, key);
    appendText(line, value ? "true" : "false");
}

bool finishHistoryLine(HistoryLineWriter* line) {
    appendText(line, "}\n");
    return !line->overflowed;
}

bool parseHistoryLine(const char* line, size_t length,
                      bool (*visit)(const HistoryField& field, void* context), void* context) {
    Reader reader = {line, line + length};
    if (!take(&reader, '{')) {
        return false;
    }
    HistoryField field{};
    bool first = true;
    while (!take(&reader, '}')) {
        if ((!first && !take(&reader, ',')) || !readString(&reader, field.key, sizeof field.key) ||
            !take(&reader, ':') || !readValue(&reader, &field) || !visit(field, context)) {
            return false;
        }
        first = false;
    }
    skipBlanks(&reader);
    return reader.at == reader.end;
}
