// The inventory of a fleet run: each line alone, then whole files with their line numbers.
#include "cli/fleet_inventory.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

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
        LineCase{"HostName", "printer.local", INVENTORY_LINE_BAD,
                 "\"printer.local\" is not an IPv4 address (A.B.C.D)", 0, 0},
        LineCase{"OctetTooLarge", "10.0.0.256", INVENTORY_LINE_BAD,
                 "\"10.0.0.256\" is not an IPv4 address (A.B.C.D)", 0, 0},
        LineCase{"ThreeOctets", "10.0.7:10001", INVENTORY_LINE_BAD,
                 "\"10.0.7\" is not an IPv4 address (A.B.C.D)", 0, 0},
        LineCase{"FiveOctets", "10.0.0.7.1", INVENTORY_LINE_BAD,
                 "\"10.0.0.7.1\" is not an IPv4 address (A.B.C.D)", 0, 0},
        LineCase{"SignedOctet", "10.0.+0.7", INVENTORY_LINE_BAD,
                 "\"10.0.+0.7\" is not an IPv4 address (A.B.C.D)", 0, 0},
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

TEST(Inventory, ListsThePrintersWithTheirLineNumbers) {
    std::vector<InventoryPrinter> printers;
    std::string error;
    ASSERT_TRUE(parseInventory("# venue 12\r\n10.0.0.7\r\n\r\n10.0.0.7:9100 variant=1\r\n",
                               &printers, &error))
        << error;
    ASSERT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[0].line, 2);
    EXPECT_EQ(printers[1].line, 4);
    EXPECT_EQ(printers[1].port, 9100);
    EXPECT_EQ(printers[1].variant, 1);
}

TEST(Inventory, RefusesAWholeFileAtItsFirstBadLine) {
    std::vector<InventoryPrinter> printers;
    std::string error;
    EXPECT_FALSE(parseInventory("10.0.0.7\n10.0.0.8\nbar\n10.0.0.256\n", &printers, &error));
    EXPECT_EQ(error, "line 3: \"bar\" is not an IPv4 address (A.B.C.D)");
    EXPECT_TRUE(printers.empty());
}

TEST(Inventory, RefusesThePrinterListedTwiceUnderAnotherSpelling) {
    std::vector<InventoryPrinter> printers;
    std::string error;
    EXPECT_FALSE(
        parseInventory("10.0.0.7:9100\n10.0.0.8\n010.0.0.7:9100 variant=1\n", &printers, &error));
    EXPECT_EQ(error, "line 3: 10.0.0.7:9100 is already listed on line 1");
}

TEST(Inventory, TakesTheSameAddressOnAnotherPort) {
    std::vector<InventoryPrinter> printers;
    std::string error;
    EXPECT_TRUE(parseInventory("10.0.0.7\n10.0.0.7:10002", &printers, &error)) << error;
    EXPECT_EQ(printers.size(), 2u);
}

} // namespace
