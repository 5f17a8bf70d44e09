#include "cli/cli_options.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

int parse(std::vector<const char*> arguments, CliOptions* options) {
    arguments.insert(arguments.begin(), "ticketflash");
    return parseCliOptions(static_cast<int>(arguments.size()), arguments.data(), options);
}

struct UsageCase {
    const char* name;
    std::vector<const char*> arguments;
    int exitCode;
};

class CommandLine : public testing::TestWithParam<UsageCase> {};

TEST_P(CommandLine, EndsOrGoesOnAsExpected) {
    CliOptions options;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse(GetParam().arguments, &options), GetParam().exitCode);
    std::string errors = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    if (GetParam().exitCode == CLI_EXIT_USAGE) {
        // One line naming the trouble, then the usage line.
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
        EXPECT_NE(errors.find("\nUsage: ticketflash"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    testing::Values(UsageCase{"NoSubcommand", {}, CLI_EXIT_USAGE},
                    UsageCase{"UnknownSubcommand", {"flash"}, CLI_EXIT_USAGE},
                    UsageCase{"AddressOutOfRange", {"find", "--ip", "10.0.0.256"}, CLI_EXIT_USAGE},
                    UsageCase{"AddressNotFourOctets", {"find", "--ip", "10.0.1"}, CLI_EXIT_USAGE},
                    UsageCase{"PortZero", {"find", "--port", "0"}, CLI_EXIT_USAGE},
                    UsageCase{"VariantThree", {"upgrade", "--variant", "3"}, CLI_EXIT_USAGE},
                    UsageCase{"YesOutsideUpgrade", {"probe", "--yes"}, CLI_EXIT_USAGE},
                    UsageCase{"TwoSubcommands", {"probe", "versions"}, CLI_EXIT_USAGE},
                    UsageCase{
                        "DeviceOverTcp", {"find", "--device", "/dev/usb/lp1"}, CLI_EXIT_USAGE},
                    UsageCase{"DeviceWithoutPath", {"status", "--device"}, CLI_EXIT_USAGE},
                    UsageCase{"Help", {"--help"}, CLI_EXIT_DONE},
                    UsageCase{"Version", {"--version"}, CLI_EXIT_DONE},
                    UsageCase{"FleetWithoutInventory", {"fleet", "--yes"}, CLI_EXIT_USAGE},
                    UsageCase{"FleetWithNoJobs", {"fleet", "--jobs", "0", "venue"}, CLI_EXIT_USAGE},
                    UsageCase{"Probe", {"probe"}, CLI_PARSED},
                    UsageCase{"GlobalSwitchAfterSubcommand", {"versions", "--json"}, CLI_PARSED}),
    [](const testing::TestParamInfo<UsageCase>& instance) { return instance.param.name; });

TEST(CommandLineOptions, UpgradeTakesTheAddressPortVariantAndYes) {
    CliOptions options;
    ASSERT_EQ(parse({"--log", "upgrade", "--ip", "127.0.0.1", "--port", "9100", "--variant", "2",
                     "--yes", "--json"},
                    &options),
              CLI_PARSED);
    EXPECT_EQ(options.command, CLI_COMMAND_UPGRADE);
    EXPECT_EQ(options.ipAddress, "127.0.0.1");
    EXPECT_EQ(options.tcpPort, "9100");
    EXPECT_EQ(options.variant, 2);
    EXPECT_TRUE(options.yes);
    EXPECT_TRUE(options.log);
    EXPECT_TRUE(options.json);
}

TEST(CommandLineOptions, TheLocalSubcommandsTakeADevice) {
    for (const char* command : {"probe", "status", "upgrade"}) {
        CliOptions options;
        ASSERT_EQ(parse({command, "--device", "/dev/usb/lp1"}, &options), CLI_PARSED) << command;
        EXPECT_EQ(options.device, "/dev/usb/lp1");
    }
}

TEST(CommandLineOptions, FleetTakesTheInventoryJobsYesAndReinstall) {
    CliOptions options;
    ASSERT_EQ(
        parse({"fleet", "--jobs", "4", "--reinstall", "venue.txt", "--yes", "--json"}, &options),
        CLI_PARSED);
    EXPECT_EQ(options.command, CLI_COMMAND_FLEET);
    EXPECT_EQ(options.inventory, "venue.txt");
    EXPECT_EQ(options.jobs, 4);
    EXPECT_TRUE(options.reinstall);
    EXPECT_TRUE(options.yes);
    EXPECT_TRUE(options.json);
    CliOptions defaults;
    ASSERT_EQ(parse({"fleet", "venue.txt"}, &defaults), CLI_PARSED);
    EXPECT_EQ(defaults.jobs, 16);
    EXPECT_FALSE(defaults.yes);
}

TEST(CommandLineOptions, FindWithoutAddressKeepsTheDialogsDefaults) {
    CliOptions options;
    ASSERT_EQ(parse({"find"}, &options), CLI_PARSED);
    EXPECT_EQ(options.command, CLI_COMMAND_FIND);
    EXPECT_EQ(options.ipAddress, "");
    EXPECT_EQ(options.tcpPort, "");
}

} // namespace
