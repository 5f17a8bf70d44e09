#pragma once

// Whether a printer runs the image that was written to it, judged from the version text that the
// closing probe of the upgrade showed and the label of the image.

#include <cstdint>
#include <string>

// True when the version text names the image: it starts with the label, and the label is not the
// start of a longer version (the label "V2.01" is not the version "V2.01b"). The probe takes
// the version up to the first blank, so the device id's ';' and what follows may trail it.
bool versionRunsImage(const std::string& version, const std::string& label);

// The plain sentence that closes an upgrade. read: whether the closing probe read a version.
std::string upgradeVerdict(bool read, const std::string& version, const std::string& label);

// The sentence that closes an upgrade whose writer met a write error: how much of the image the
// printer accepted, and that the upgrade failed whatever the printer reports afterwards.
std::string writeFailedVerdict(uint64_t accepted, uint64_t size, uint32_t error);
