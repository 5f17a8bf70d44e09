#include "recording/recording_reader.h"

#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

using nlohmann::json;

// Looks a name up in one of the format's name tables.
template <size_t N>
bool nameIndex(const char* const (&names)[N], const std::string& name, int* index) {
    for (size_t i = 0; i < N; ++i) {
        if (name == names[i]) {
            *index = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

bool hexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
    if (text.size() % 2 != 0) {
        return false;
    }
    bytes->clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const char pair[3] = {text[i], text[i + 1], '\0'};
        if (!isxdigit(static_cast<unsigned char>(pair[0])) ||
            !isxdigit(static_cast<unsigned char>(pair[1]))) {
            return false;
        }
        bytes->push_back(static_cast<uint8_t>(strtoul(pair, nullptr, 16)));
    }
    return true;
}

// An optional unsigned field: absent leaves *value as it is; false when present but no
// unsigned number within limit.
template <typename T>
bool optionalNumber(const json& line, const char* key, T* value, uint64_t limit) {
    auto field = line.find(key);
    if (field == line.end()) {
        return true;
    }
    if (!field->is_number_unsigned() || field->get<uint64_t>() > limit) {
        return false;
    }
    *value = static_cast<T>(field->get<uint64_t>());
    return true;
}

// An optional field of the JSON type that `is` tests: absent leaves *value as it is; false
// when present with another type.
template <typename T>
bool optionalField(const json& line, const char* key, bool (json::*is)() const noexcept, T* value) {
    auto field = line.find(key);
    if (field == line.end()) {
        return true;
    }
    if (!((*field).*is)()) {
        return false;
    }
    *value = field->get<T>();
    return true;
}

bool optionalText(const json& line, const char* key, std::string* value) {
    return optionalField(line, key, &json::is_string, value);
}

bool optionalFlag(const json& line, const char* key, bool* value) {
    return optionalField(line, key, &json::is_boolean, value);
}

// The fields every operation has: when, on which route and conversation, and what.
std::string readHeading(const json& line, RecordedEvent* event) {
    auto seconds = line.find("t");
    if (seconds == line.end() || !seconds->is_number() || !(seconds->get<double>() >= 0)) {
        return "\"t\" must be a number of seconds";
    }
    event->seconds = seconds->get<double>();
    std::string route;
    std::string op;
    int index = 0;
    if (!optionalText(line, "route", &route) || !nameIndex(RECORDED_ROUTE_NAMES, route, &index)) {
        return "\"route\" must be \"tcp\" or \"local\"";
    }
    event->route = static_cast<RecordedRoute>(index);
    if (!optionalText(line, "op", &op) || !nameIndex(RECORDED_OP_NAMES, op, &index)) {
        return "unknown \"op\"";
    }
    event->op = static_cast<RecordedOp>(index);
    if (!line.contains("conn") || !optionalNumber(line, "conn", &event->conn, UINT32_MAX)) {
        return "\"conn\" must be a conversation number";
    }
    return "";
}

std::string readEvent(const json& line, RecordedEvent* event) {
    if (!line.is_object()) {
        return "not a JSON object";
    }
    std::string wrong = readHeading(line, event);
    if (!wrong.empty()) {
        return wrong;
    }
    std::string hex;
    if (!optionalFlag(line, "ok", &event->ok) || !optionalFlag(line, "image", &event->image) ||
        !optionalNumber(line, "count", &event->count, UINT64_MAX) ||
        !optionalNumber(line, "size", &event->size, UINT32_MAX) ||
        !optionalNumber(line, "error", &event->error, UINT32_MAX) ||
        !optionalNumber(line, "port", &event->port, UINT16_MAX) ||
        !optionalText(line, "path", &event->path) ||
        !optionalText(line, "sha256", &event->sha256) || !optionalText(line, "bytes", &hex)) {
        return "a field of the wrong type";
    }
    if (!hexBytes(hex, &event->bytes)) {
        return "\"bytes\" must be pairs of hexadecimal digits";
    }
    bool input = event->op == RECORDED_OP_READ || event->op == RECORDED_OP_DEVICE_ID;
    if (input && event->bytes.size() != event->count) {
        return "\"bytes\" must hold \"count\" bytes";
    }
    if (event->op == RECORDED_OP_IMAGE && event->sha256.size() != 64) {
        return "\"sha256\" must be 64 hexadecimal digits";
    }
    return "";
}

bool readHeader(const std::string& text, Recording* recording, std::string* wrong) {
    json header = json::parse(text, nullptr, false);
    std::string marker;
    int format = 0;
    if (!header.is_object() || !optionalText(header, "recording", &marker) ||
        marker != RECORDING_MARKER) {
        *wrong = "not a ticketflash recording";
        return false;
    }
    if (!optionalNumber(header, "format", &format, INT32_MAX) || format != RECORDING_FORMAT) {
        *wrong = "a recording format this program does not know";
        return false;
    }
    if (!optionalText(header, "version", &recording->toolVersion)) {
        *wrong = "\"version\" must be a text";
        return false;
    }
    return true;
}

} // namespace

bool parseRecording(const std::string& text, Recording* recording, std::string* error) {
    *recording = Recording();
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    std::string wrong;
    while (wrong.empty() && std::getline(lines, line)) {
        ++number;
        if (number == 1) {
            readHeader(line, recording, &wrong);
            continue;
        }
        if (line.empty()) {
            continue;
        }
        RecordedEvent event;
        wrong = readEvent(json::parse(line, nullptr, false), &event);
        if (wrong.empty()) {
            recording->events.push_back(std::move(event));
        }
    }
    if (number == 0) {
        number = 1;
        wrong = "empty file";
    }
    if (!wrong.empty()) {
        *error = "line " + std::to_string(number) + ": " + wrong;
        return false;
    }
    return true;
}

bool loadRecording(const std::string& path, Recording* recording, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + path + ": " + strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parseRecording(text.str(), recording, error);
}
