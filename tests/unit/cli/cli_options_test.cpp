#include "cli/cli_options.h"
#include "cli/subcommands.h"

#include <cstring>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
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
    const char* error = nullptr; // the usage error's line when the case pins it
    // The JSON object on standard output; null for nothing there after a usage error.
    const char* json = nullptr;
};

class CommandLine : public testing::TestWithParam<UsageCase> {};

TEST_P(CommandLine, EndsOrGoesOnAsExpected) {
    const UsageCase& example = GetParam();
    CliOptions options;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse(example.arguments, &options), example.exitCode);
    std::string errors = testing::internal::GetCapturedStderr();
    std::string output = testing::internal::GetCapturedStdout();
    if (example.exitCode != CLI_EXIT_USAGE) {
        return;
    }
    // One line naming the trouble, then the usage line.
    EXPECT_EQ(errors.substr(errors.find('\n') + 1), usageLine() + "\n");
    if (example.error != nullptr) {
        EXPECT_EQ(errors.substr(0, errors.find('\n')),
                  std::string("ticketflash: ") + example.error);
    }
    if (example.json == nullptr) {
        EXPECT_EQ(output, "");
    } else {
        EXPECT_EQ(nlohmann::json::parse(output, nullptr, false),
                  nlohmann::json::parse(example.json))
            << output;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLine,
    testing::Values(
        UsageCase{"NoSubcommand", {}, CLI_EXIT_USAGE},
        UsageCase{"UnknownSubcommand", {"flash"}, CLI_EXIT_USAGE, "flash: not a subcommand"},
        UsageCase{"MistypedSubcommand",
                  {"upgarde"},
                  CLI_EXIT_USAGE,
                  "upgarde: not a subcommand; did you mean upgrade?"},
        // As near to find as to fleet: no guess.
        UsageCase{"SubcommandNearTwo", {"fiet"}, CLI_EXIT_USAGE, "fiet: not a subcommand"},
        // The value of --record is no subcommand.
        UsageCase{"RecordFileOnly", {"--record", "upgrade"}, CLI_EXIT_USAGE},
        UsageCase{"MistypedOption",
                  {"upgrade", "--variamt", "2"},
                  CLI_EXIT_USAGE,
                  "--variamt: not an option of upgrade; did you mean --variant?"},
        UsageCase{"MistypedGlobalSwitch",
                  {"--jsn", "versions"},
                  CLI_EXIT_USAGE,
                  "--jsn: not an option of versions; did you mean --json?"},
        // An option of another subcommand is not taken for a mistyped one.
        UsageCase{"OptionOfAnotherSubcommand", {"upgrade", "--jobs", "4"}, CLI_EXIT_USAGE},
        UsageCase{"AddressWithPort",
                  {"find", "--ip", "127.0.0.1:9100"},
                  CLI_EXIT_USAGE,
                  "--ip 127.0.0.1:9100: give the port with --port"},
        UsageCase{"AddressOutOfRange", {"find", "--ip", "10.0.0.256"}, CLI_EXIT_USAGE},
        UsageCase{"AddressNotFourOctets", {"find", "--ip", "10.0.1"}, CLI_EXIT_USAGE},
        UsageCase{"AddressWithTrailingDot", {"find", "--ip", "10.0.0.5."}, CLI_EXIT_USAGE},
        UsageCase{"PortZero", {"find", "--port", "0"}, CLI_EXIT_USAGE},
        UsageCase{"VariantThree", {"upgrade", "--variant", "3"}, CLI_EXIT_USAGE},
        UsageCase{"TwoSubcommands", {"probe", "versions"}, CLI_EXIT_USAGE},
        UsageCase{"DeviceWithoutPath", {"status", "--device"}, CLI_EXIT_USAGE},
        UsageCase{"FleetWithoutInventory", {"fleet", "--yes"}, CLI_EXIT_USAGE},
        UsageCase{"FleetWithNoJobs", {"fleet", "--jobs", "0", "venue"}, CLI_EXIT_USAGE},
        UsageCase{"JsonOfAMistypedOption",
                  {"--json", "upgrade", "--variamt", "2"},
                  CLI_EXIT_USAGE,
                  nullptr,
                  R"({"command": "upgrade", "exitCode": 64,
                      "error": "--variamt: not an option of upgrade; did you mean --variant?"})"},
        UsageCase{"JsonLinesOfAnUnknownSubcommand",
                  {"flash", "--json-lines"},
                  CLI_EXIT_USAGE,
                  nullptr,
                  R"({"record": "report", "command": null, "exitCode": 64,
                      "error": "flash: not a subcommand"})"},
        UsageCase{"Help", {"--help"}, CLI_EXIT_DONE},
        UsageCase{"Version", {"--version"}, CLI_EXIT_DONE},
        UsageCase{"Probe", {"probe"}, CLI_PARSED},
        UsageCase{"GlobalSwitchAfterSubcommand", {"versions", "--json"}, CLI_PARSED}),
    [](const testing::TestParamInfo<UsageCase>& instance) { return instance.param.name; });

// A value each option takes.
const char* sampleValue(CliOption option) {
    switch (option) {
    case CLI_OPTION_IP:
        return "127.0.0.1";
    case CLI_OPTION_DEVICE:
        return "/dev/usb/lp1";
    case CLI_OPTION_VARIANT:
        return "2";
    default:
        return "9";
    }
}

// Whether the subcommand's row lists an option written with this flag: fleet's and discover's
// --jobs are two rows, one flag.
bool takesFlag(const Subcommand& subcommand, const char* flag) {
    for (const CliOptionRow& row : cliOptionRows()) {
        if ((subcommand.options & row.option) != 0 && strcmp(row.flag, flag) == 0) {
            return true;
        }
    }
    return false;
}

// Every subcommand of the table with each option of the table: parsed when its row lists the
// option, a usage error when not.
TEST(CommandLineOptions, EachSubcommandTakesTheOptionsOfItsRowAndNoOther) {
    for (const Subcommand& subcommand : subcommands()) {
        for (const CliOptionRow& row : cliOptionRows()) {
            if (row.flag[0] != '-' || (CLI_GLOBAL_OPTIONS & row.option) != 0) {
                continue;
            }
            std::vector<const char*> arguments = {subcommand.name, row.flag};
            if (row.valueName != nullptr) {
                arguments.push_back(sampleValue(row.option));
            }
            if ((subcommand.options & CLI_OPTION_INVENTORY) != 0) {
                arguments.push_back("venue.txt");
            }
            CliOptions options;
            testing::internal::CaptureStderr();
            int result = parse(arguments, &options);
            testing::internal::GetCapturedStderr();
            bool taken = takesFlag(subcommand, row.flag);
            EXPECT_EQ(result, taken ? CLI_PARSED : CLI_EXIT_USAGE)
                << subcommand.name << " " << row.flag;
            EXPECT_TRUE(!taken || options.command == subcommand.command) << subcommand.name;
        }
    }
}

TEST(CommandLineOptions, UpgradeTakesTheAddressPortVariantAndYes) {
    CliOptions options;
    ASSERT_EQ(parse({"--log", "upgrade", "--ip", "127.0.0.1", "--port", "9100", "--variant", "2",
                     "--yes", "--json", "--device", "/dev/usb/lp1"},
                    &options),
              CLI_PARSED);
    EXPECT_EQ(options.command, CLI_COMMAND_UPGRADE);
    EXPECT_EQ(options.ipAddress, "127.0.0.1");
    EXPECT_EQ(options.tcpPort, "9100");
    EXPECT_EQ(options.variant, 2);
    EXPECT_EQ(options.device, "/dev/usb/lp1");
    EXPECT_TRUE(options.yes);
    EXPECT_TRUE(options.log);
    EXPECT_TRUE(options.json);
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
