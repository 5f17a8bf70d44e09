// The ranges discover looks at: every way of writing one, and what is refused, in one table;
// each case is the ranges as typed and the addresses they come to, or the error.
#include "cli/address_ranges.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct RangesCase {
    const char* name;
    std::vector<std::string> texts;
    std::vector<std::string> ranges; // "first-last" after merging; empty when refused
    const char* error;
};

class AddressRanges : public testing::TestWithParam<RangesCase> {};

TEST_P(AddressRanges, AreReadStrictlyAndMerged) {
    const RangesCase& example = GetParam();
    std::vector<AddressRange> ranges;
    std::string error;
    bool parsed =
        parseAddressRanges(example.texts, DISCOVER_DEFAULT_ADDRESS_LIMIT, &ranges, &error);
    std::vector<std::string> shown;
    for (const AddressRange& range : ranges) {
        shown.push_back(addressText(range.first) + "-" + addressText(range.last));
    }
    EXPECT_EQ(parsed, example.ranges.size() > 0);
    EXPECT_EQ(shown, example.ranges);
    EXPECT_EQ(error, example.error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AddressRanges,
    testing::Values(
        RangesCase{"Block", {"10.0.4.0/24"}, {"10.0.4.1-10.0.4.254"}, ""},
        RangesCase{"BlockOfTwoKeepsBoth", {"10.0.4.6/31"}, {"10.0.4.6-10.0.4.7"}, ""},
        RangesCase{"Single", {"10.0.4.7"}, {"10.0.4.7-10.0.4.7"}, ""},
        RangesCase{"Span", {"10.0.4.250-10.0.5.3"}, {"10.0.4.250-10.0.5.3"}, ""},
        RangesCase{"SpanToALastOctet", {"10.0.4.10-50"}, {"10.0.4.10-10.0.4.50"}, ""},
        RangesCase{"OverlapsAndNeighboursMerge",
                   {"10.0.4.20-30", "10.0.9.1", "10.0.4.0/27", "10.0.4.31"},
                   {"10.0.4.1-10.0.4.31", "10.0.9.1-10.0.9.1"},
                   ""},
        RangesCase{"AWholeTwentyFitsTheLimit", {"10.0.0.0/20"}, {"10.0.0.1-10.0.15.254"}, ""},
        RangesCase{"HostBitsSet",
                   {"10.0.4.7/24"},
                   {},
                   "\"10.0.4.7/24\" has host bits set; the block is 10.0.4.0/24"},
        RangesCase{"PrefixTooLong",
                   {"10.0.4.0/33"},
                   {},
                   "\"10.0.4.0/33\" is not a CIDR block (A.B.C.D/N, N from 0 to 32)"},
        RangesCase{
            "OctetTooLarge",
            {"10.0.4.256"},
            {},
            "\"10.0.4.256\" is not an address or a range (A.B.C.D, A.B.C.D/N or A.B.C.D-A.B.C.D)"},
        RangesCase{"HostName",
                   {"printers.local"},
                   {},
                   "\"printers.local\" is not an address or a range (A.B.C.D, A.B.C.D/N or "
                   "A.B.C.D-A.B.C.D)"},
        RangesCase{"Backwards",
                   {"10.0.4.50-10.0.4.10"},
                   {},
                   "\"10.0.4.50-10.0.4.10\": its last address comes before its first"},
        RangesCase{"EmptyEnd",
                   {"10.0.4.10-"},
                   {},
                   "\"10.0.4.10-\" is not a range of addresses (A.B.C.D-A.B.C.D or A.B.C.D-D)"},
        RangesCase{"Multicast",
                   {"224.0.0.0/24"},
                   {},
                   "\"224.0.0.0/24\" reaches addresses no printer has (0.0.0.0/8, or multicast and "
                   "above from 224.0.0.0)"},
        RangesCase{"ThisNetwork",
                   {"0.0.0.1"},
                   {},
                   "\"0.0.0.1\" reaches addresses no printer has (0.0.0.0/8, or multicast and "
                   "above from 224.0.0.0)"},
        RangesCase{"MoreThanTheLimit",
                   {"10.0.0.0/20", "10.1.0.1-3"},
                   {},
                   "the ranges hold 4097 addresses, more than the 4096 one run looks at; narrow "
                   "them, or raise the limit with --max-addresses"},
        RangesCase{"ASixteenIsRefusedUnlessRaised",
                   {"10.0.0.0/16"},
                   {},
                   "the ranges hold 65534 addresses, more than the 4096 one run looks at; narrow "
                   "them, or raise the limit with --max-addresses"}),
    [](const testing::TestParamInfo<RangesCase>& instance) { return instance.param.name; });

} // namespace
