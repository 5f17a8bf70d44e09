// What discover makes of a device id, as one table: what a fleet run would do with the printer
// and the image it would get, by the same parsers and selection rule as the probe.
#include "cli/discovered_printer.h"

#include <firmware_manifest.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct DeviceIdCase {
    const char* name;
    const char* deviceId;
    bool family;
    DiscoverAction action;
    std::string board;
    std::string version;
    std::string image;
    std::vector<std::string> variantImages;
    std::string reason;
};

class DiscoveredPrinters : public testing::TestWithParam<DeviceIdCase> {};

TEST_P(DiscoveredPrinters, AreClassifiedAsAFleetRunWouldTreatThem) {
    const DeviceIdCase& example = GetParam();
    DiscoveredPrinter printer;
    ASSERT_EQ(classifyDeviceId(example.deviceId, &printer), example.family);
    if (!example.family) {
        return;
    }
    EXPECT_EQ(printer.action, example.action);
    EXPECT_EQ(printer.board, example.board);
    EXPECT_EQ(printer.version, example.version);
    EXPECT_EQ(printer.image, example.image);
    EXPECT_EQ(printer.variantImages, example.variantImages);
    EXPECT_EQ(printer.reason, example.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DiscoveredPrinters,
    testing::Values(DeviceIdCase{"GToUpgrade",
                                 "MFG:SIM;CMD:G;MDL:VRE G;FWV:V1.00;",
                                 true,
                                 DISCOVER_TO_UPGRADE,
                                 "LOGIC BD I",
                                 "V1.00",
                                 manifestSlots[0].label,
                                 {},
                                 ""},
                    DeviceIdCase{"HrmCurrent",
                                 "MDL:VRA HRM;FWV:V2.06a;",
                                 true,
                                 DISCOVER_CURRENT,
                                 "LOGIC BD II ROHS",
                                 "V2.06a",
                                 manifestSlots[7].label,
                                 {},
                                 ""},
                    // A version that only begins with the image's label is another version.
                    DeviceIdCase{"LongerVersionIsNotCurrent",
                                 "MDL:VRA HRM;FWV:V2.06ab;",
                                 true,
                                 DISCOVER_TO_UPGRADE,
                                 "LOGIC BD II ROHS",
                                 "V2.06ab",
                                 manifestSlots[7].label,
                                 {},
                                 ""},
                    DeviceIdCase{"Mz54",
                                 "MDL:VRA G;FWV:V3.01;",
                                 true,
                                 DISCOVER_TO_UPGRADE,
                                 "MZ54 STANDARD",
                                 "V3.01",
                                 manifestSlots[12].label,
                                 {},
                                 ""},
                    DeviceIdCase{"RasterNeedsItsVariant",
                                 "MDL:VRK-54;FWV:V1.00;",
                                 true,
                                 DISCOVER_NEEDS_VARIANT,
                                 "LOGIC BD I",
                                 "V1.00",
                                 "",
                                 {manifestSlots[8].label, manifestSlots[10].label},
                                 ""},
                    DeviceIdCase{"NoBoardDigit",
                                 "MDL:VRE G;FWV:X;",
                                 true,
                                 DISCOVER_NOT_IDENTIFIED,
                                 "",
                                 "X",
                                 "",
                                 {},
                                 "firmware version X names no known board"},
                    DeviceIdCase{"NoVersion",
                                 "MDL:VRE G;",
                                 true,
                                 DISCOVER_NOT_IDENTIFIED,
                                 "",
                                 "",
                                 "",
                                 {},
                                 "the printer's device id gives no firmware version"},
                    DeviceIdCase{"AnotherMakersPrinter",
                                 "MFG:ACME;MDL:LASER 9;FWV:V1.00;",
                                 false,
                                 DISCOVER_NOT_IDENTIFIED,
                                 "",
                                 "",
                                 "",
                                 {},
                                 ""},
                    DeviceIdCase{"NotADeviceId",
                                 "HTTP/1.1 400 Bad Request",
                                 false,
                                 DISCOVER_NOT_IDENTIFIED,
                                 "",
                                 "",
                                 "",
                                 {},
                                 ""}),
    [](const testing::TestParamInfo<DeviceIdCase>& instance) { return instance.param.name; });

} // namespace
