#pragma once

// A printer that discover found, classified from its device id alone by the same parsers and
// selection rule as every probe: model, board, version, the image this tool would write, and
// what a fleet run would do with it. Pure: nothing is sent to the printer for it.

#include <cstdint>
#include <string>
#include <vector>

enum DiscoverAction {
    DISCOVER_CURRENT,        // it runs the image it would get
    DISCOVER_TO_UPGRADE,     // a fleet run would write its image
    DISCOVER_NEEDS_VARIANT,  // a raster printer: its inventory line needs variant=1 or 2
    DISCOVER_NOT_IDENTIFIED, // its device id names no board or model: no image is offered
};

struct DiscoveredPrinter {
    std::string where;   // "10.0.4.7:10001", or a device path for an attached printer
    std::string address; // over TCP: "10.0.4.7"; empty for an attached printer
    uint16_t port = 0;
    uint32_t order = 0; // over TCP the address as a number, by which the table is sorted
    std::string deviceId;
    std::string model;
    std::string board;
    std::string version; // as the device id gives it, up to its ';'
    std::string image;   // the label of the image it would get; empty for a raster printer
    std::vector<std::string> variantImages; // a raster printer's images, variant=1 first
    DiscoverAction action = DISCOVER_NOT_IDENTIFIED;
    std::string reason; // why it is not identified
};

// Classifies the device id into *printer (its where, address and port are left alone). False
// when it names no printer of the family (VRA, VRE, VRK-54): something else answered.
bool classifyDeviceId(const std::string& deviceId, DiscoveredPrinter* printer);

// The action in one word for JSON: "current", "to-upgrade", "needs-variant", "not-identified".
const char* discoverActionName(DiscoverAction action);

// The action as a person reads it: "current", "to upgrade", "raster: needs variant=",
// "not identified".
const char* discoverActionText(DiscoverAction action);
