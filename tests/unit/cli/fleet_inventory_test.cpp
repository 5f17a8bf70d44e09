// The inventory of a fleet run: each line alone, then whole files with their line numbers.
#include "cli/fleet_inventory.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

int resolutions = 0;

struct LineCase {
    const char* name;
    const char* line;
    InventoryLine kind;
    const char* address; // or the error for a bad line
    uint16_t port;
    int variant;
};

class InventoryLines : public testing::TestWithParam<LineCase> {};

TEST_P(InventoryLines, AreReadOrRefusedWithTheReason) {
    const LineCase& example = GetParam();
    InventoryPrinter printer;
    std::string error;
    EXPECT_EQ(parseInventoryLine(example.line, &printer, &error), example.kind);
    if (example.kind == INVENTORY_LINE_PRINTER) {
        EXPECT_EQ(printer.address, example.address);
        EXPECT_EQ(printer.port, example.port);
        EXPECT_EQ(printer.variant, example.variant);
    } else if (example.kind == INVENTORY_LINE_BAD) {
        EXPECT_EQ(error, example.address);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, InventoryLines,
    testing::Values(
        LineCase{"Empty", "", INVENTORY_LINE_EMPTY, "", 0, 0},
        LineCase{"Blanks", " \t \r", INVENTORY_LINE_EMPTY, "", 0, 0},
        LineCase{"Comment", "  # the bar's printers", INVENTORY_LINE_EMPTY, "", 0, 0},
        LineCase{"AddressAlone", "10.0.0.7", INVENTORY_LINE_PRINTER, "10.0.0.7", 10001, 0},
        LineCase{"WithPort", "10.0.0.7:9100", INVENTORY_LINE_PRINTER, "10.0.0.7", 9100, 0},
        LineCase{"LeadingZeros", "010.000.0.07:09100", INVENTORY_LINE_PRINTER, "10.0.0.7", 9100, 0},
        LineCase{"VariantAndComment", "\t10.0.0.8 variant=2  # box office\r",
                 INVENTORY_LINE_PRINTER, "10.0.0.8", 10001, 2},
        LineCase{"HighestPort", "10.0.0.9:65535 variant=1", INVENTORY_LINE_PRINTER, "10.0.0.9",
                 65535, 1},
        LineCase{"HostName", "printer-3.local:9100", INVENTORY_LINE_PRINTER, "", 9100, 0},
        LineCase{"OctetTooLarge", "10.0.0.256", INVENTORY_LINE_BAD,
                 "\"10.0.0.256\" is neither an IPv4 address (A.B.C.D) nor a host name", 0, 0},
        LineCase{"ThreeOctets", "10.0.7:10001", INVENTORY_LINE_BAD,
                 "\"10.0.7\" is neither an IPv4 address (A.B.C.D) nor a host name", 0, 0},
        LineCase{"FiveOctets", "10.0.0.7.1", INVENTORY_LINE_BAD,
                 "\"10.0.0.7.1\" is neither an IPv4 address (A.B.C.D) nor a host name", 0, 0},
        LineCase{"SignedOctet", "10.0.+0.7", INVENTORY_LINE_BAD,
                 "\"10.0.+0.7\" is neither an IPv4 address (A.B.C.D) nor a host name", 0, 0},
        LineCase{"PortZero", "10.0.0.7:0", INVENTORY_LINE_BAD,
                 "\"0\" is not a TCP port (1 to 65535)", 0, 0},
        LineCase{"PortTooLarge", "10.0.0.7:65536", INVENTORY_LINE_BAD,
                 "\"65536\" is not a TCP port (1 to 65535)", 0, 0},
        LineCase{"EmptyPort", "10.0.0.7:", INVENTORY_LINE_BAD,
                 "\"\" is not a TCP port (1 to 65535)", 0, 0},
        LineCase{"VariantThree", "10.0.0.7 variant=3", INVENTORY_LINE_BAD,
                 "\"variant=3\" is not a setting of a printer (variant=1 or variant=2)", 0, 0},
        LineCase{"TwoVariants", "10.0.0.7 variant=1 variant=2", INVENTORY_LINE_BAD,
                 "variant= is given twice", 0, 0},
        LineCase{"SecondAddress", "10.0.0.7 10.0.0.8", INVENTORY_LINE_BAD,
                 "\"10.0.0.8\" is not a setting of a printer (variant=1 or variant=2)", 0, 0}),
    [](const testing::TestParamInfo<LineCase>& instance) { return instance.param.name; });

// The resolver of the tests: localhost alone has an address.
bool resolveLocalhost(const std::string& host, std::string* address, std::string* error) {
    ++resolutions;
    if (host != "localhost") {
        *error = "not found";
        return false;
    }
    *address = "127.0.0.1";
    return true;
}

TEST(Inventory, ListsThePrintersWithTheirLineNumbers) {
    std::vector<InventoryPrinter> printers;
    std::vector<std::string> errors;
    ASSERT_TRUE(parseInventory("# venue 12\r\n10.0.0.7\r\n\r\nlocalhost:9100 variant=1\r\n",
                               resolveLocalhost, &printers, &errors))
        << errors[0];
    ASSERT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[0].line, 2);
    EXPECT_EQ(printers[1].line, 4);
    EXPECT_EQ(printers[1].address, "127.0.0.1");
    EXPECT_EQ(printers[1].host, "localhost");
    EXPECT_EQ(printers[1].port, 9100);
    EXPECT_EQ(printers[1].variant, 1);
}

// Every bad line, a name that does not resolve, and a printer listed again under another
// spelling or by its name; each name is resolved once.
TEST(Inventory, RefusesTheFileWithEveryBadLine) {
    std::vector<InventoryPrinter> printers;
    std::vector<std::string> errors;
    resolutions = 0;
    EXPECT_FALSE(parseInventory("10.0.0.7:9100\nbar.invalid\n10.0.0.256\nlocalhost\n"
                                "010.0.0.7:9100 variant=1\n127.0.0.1\nlocalhost:10002\n"
                                "10.0.0.7:10002\n",
                                resolveLocalhost, &printers, &errors));
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "line 2: cannot resolve \"bar.invalid\": not found",
                          "line 3: \"10.0.0.256\" is neither an IPv4 address (A.B.C.D) nor a "
                          "host name",
                          "line 5: 10.0.0.7:9100 is already listed on line 1",
                          "line 6: 127.0.0.1:10001 is already listed on line 4"}));
    EXPECT_EQ(resolutions, 2);
    EXPECT_TRUE(printers.empty());
}

} // namespace
