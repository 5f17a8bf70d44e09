#pragma once

// Reads a recording (recording_format.h) back into memory, checking every line: printer-sim
// replays what it reads, so a damaged or hand-edited file is refused with the line at fault
// rather than replayed half-way.

#include "recording/recording_format.h"

#include <cstdint>
#include <string>
#include <vector>

struct RecordedEvent {
    double seconds = 0;
    RecordedRoute route = RECORDED_ROUTE_TCP;
    uint32_t conn = 0;
    RecordedOp op = RECORDED_OP_OPEN;
    bool ok = true;
    uint64_t count = 0;
    uint32_t size = 0;
    uint32_t error = 0;
    bool image = false;
    std::vector<uint8_t> bytes;
    std::string path;   // open
    uint32_t port = 0;  // connect
    std::string sha256; // image
};

struct Recording {
    std::string toolVersion;
    std::vector<RecordedEvent> events;
};

// Parses the text of a whole recording. False with "line N: what is wrong" in *error.
bool parseRecording(const std::string& text, Recording* recording, std::string* error);

// Reads and parses the file. False with the reason in *error.
bool loadRecording(const std::string& path, Recording* recording, std::string* error);
