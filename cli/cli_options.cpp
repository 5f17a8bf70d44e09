#include "cli/cli_options.h"

#include "cli/console_output.h"
#include "cli/fleet_inventory.h"
#include "cli/record_json.h"
#include "cli/subcommands.h"
#include "identity/firmware_catalogue.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

const char TOOL_DESCRIPTION[] =
    "ticketflash: upgrades the firmware of a thermal ticket printer on USB, a parallel port or "
    "TCP.\nEach subcommand does what the same command of the Windows tool's dialog does.";

// How far a mistyped name may be from the one it is taken for.
constexpr size_t MOST_EDITS_SUGGESTED = 2;

// The parser's own IPv4 check lets a trailing dot through ("10.0.0.5."); the address is read
// here as the inventory reads one. Empty when it is one.
std::string notDottedQuad(const std::string& text) {
    std::string canonical;
    return canonicalIpv4(text, &canonical)
               ? std::string()
               : text + " is not an IPv4 address (four numbers of 0 to 255 joined by dots)";
}

void addOption(CLI::App* command, const CliOptionRow& row, CliOptions* options) {
    if (row.onOff != nullptr) {
        command->add_flag(row.flag, options->*row.onOff, row.help);
        return;
    }
    CLI::Option* option = nullptr;
    if (row.texts != nullptr) {
        option = command->add_option(row.flag, options->*row.texts, row.help);
    } else if (row.text != nullptr) {
        option = command->add_option(row.flag, options->*row.text, row.help);
    } else {
        option = command->add_option(row.flag, options->*row.number, row.help);
    }
    if (row.valueName != nullptr) {
        option->type_name(row.valueName);
    }
    if (row.ipv4) {
        option->check(CLI::Validator(notDottedQuad, "IPV4"));
    }
    if (row.most != 0) {
        option->check(CLI::Range(row.least, row.most));
    }
    if (row.flag[0] != '-' && row.texts == nullptr) {
        option->required();
    }
}

void addOptions(CLI::App* command, CliOptionSet set, CliOptions* options) {
    for (const CliOptionRow& row : cliOptionRows()) {
        if ((set & row.option) != 0) {
            addOption(command, row, options);
        }
    }
}

// Each subcommand records itself as the command when it is the one given.
void buildParser(CLI::App& app, CliOptions* options) {
    app.set_version_flag("--version", [] {
        return firmwareCatalogueHoldsPlaceholders()
                   ? std::string(TICKETFLASH_VERSION) + "\n" + PLACEHOLDER_FIRMWARE_NOTICE
                   : std::string(TICKETFLASH_VERSION);
    });
    addOptions(&app, CLI_GLOBAL_OPTIONS, options);
    app.require_subcommand(1);
    // The global switches may also follow the subcommand.
    app.fallthrough();
    app.footer(usageLine());
    for (const Subcommand& subcommand : subcommands()) {
        CLI::App* added = app.add_subcommand(subcommand.name, subcommand.help);
        CliCommand command = subcommand.command;
        added->callback([options, command] { options->command = command; });
        addOptions(added, subcommand.options, options);
    }
}

size_t editDistance(const std::string& from, const std::string& to) {
    std::vector<size_t> previous(to.size() + 1);
    std::vector<size_t> current(to.size() + 1);
    for (size_t column = 0; column <= to.size(); ++column) {
        previous[column] = column;
    }
    for (size_t row = 1; row <= from.size(); ++row) {
        current[0] = row;
        for (size_t column = 1; column <= to.size(); ++column) {
            size_t replaced = previous[column - 1] + (from[row - 1] == to[column - 1] ? 0 : 1);
            current[column] = std::min({previous[column] + 1, current[column - 1] + 1, replaced});
        }
        std::swap(previous, current);
    }
    return previous[to.size()];
}

// The candidate the word is taken for: within MOST_EDITS_SUGGESTED edits and nearer than every
// other. Null when there is none, or when two are as near.
const char* nearestName(const std::string& word, const std::vector<const char*>& candidates) {
    const char* nearest = nullptr;
    size_t least = MOST_EDITS_SUGGESTED + 1;
    int asNear = 0;
    for (const char* candidate : candidates) {
        size_t distance = editDistance(word, candidate);
        if (distance < least) {
            nearest = candidate;
            least = distance;
            asNear = 1;
        } else if (distance == least) {
            ++asNear;
        }
    }
    return asNear == 1 ? nearest : nullptr;
}

// The stray word where a subcommand should be.
std::string notASubcommand(const std::string& word) {
    std::vector<const char*> names;
    for (const Subcommand& subcommand : subcommands()) {
        names.push_back(subcommand.name);
    }
    const char* meant = nearestName(word, names);
    return word + ": not a subcommand" +
           (meant ? std::string("; did you mean ") + meant + "?" : "");
}

bool knownFlag(const std::string& flag) {
    return std::any_of(cliOptionRows().begin(), cliOptionRows().end(),
                       [&flag](const CliOptionRow& row) { return flag == row.flag; });
}

// An option that the subcommand does not know. Empty when it is one of another subcommand, or
// near none of the subcommand's own: the parser's words say it then.
std::string mistypedOption(const std::string& word, const Subcommand* given) {
    std::string flag = word.substr(0, word.find('='));
    CliOptionSet taken = CLI_GLOBAL_OPTIONS | (given ? given->options : 0);
    std::vector<const char*> flags;
    for (const CliOptionRow& row : cliOptionRows()) {
        if ((taken & row.option) != 0 && row.flag[0] == '-') {
            flags.push_back(row.flag);
        }
    }
    const char* meant = knownFlag(flag) ? nullptr : nearestName(flag, flags);
    if (meant == nullptr) {
        return "";
    }
    return flag + ": not an option of " + (given ? given->name : "ticketflash") +
           "; did you mean " + meant + "?";
}

// "127.0.0.1:9100": the address with the port after a colon.
bool holdsPort(const std::string& address) {
    size_t colon = address.rfind(':');
    return colon != std::string::npos && colon + 1 < address.size() &&
           address.find_first_not_of("0123456789", colon + 1) == std::string::npos;
}

// The address given with its port to the subcommand's --ip; empty when there is none.
std::string addressWithPort(const CLI::App* subcommand) {
    const CLI::Option* ip = subcommand->get_option_no_throw(cliOptionRow(CLI_OPTION_IP).flag);
    if (ip != nullptr) {
        for (const std::string& address : ip->results()) {
            if (holdsPort(address)) {
                return address;
            }
        }
    }
    return "";
}

// The subcommand the parser took, as CLI11 knows it; null when it took none.
const CLI::App* parsedSubcommand(const CLI::App& app) {
    std::vector<CLI::App*> parsed = app.get_subcommands();
    return parsed.empty() ? nullptr : parsed.front();
}

const Subcommand* givenSubcommand(const CLI::App& app) {
    const CLI::App* parsed = parsedSubcommand(app);
    return parsed ? subcommandNamed(parsed->get_name()) : nullptr;
}

// A clearer line than the parser's for the mistakes people make: a stray word where the
// subcommand should be, an address given with its port, a mistyped option. Empty when none of
// them is the trouble.
std::string explainedFailure(const CLI::App& app) {
    const CLI::App* parsed = parsedSubcommand(app);
    std::vector<std::string> stray = app.remaining();
    if (parsed == nullptr) {
        for (const std::string& word : stray) {
            if (word[0] != '-') {
                return notASubcommand(word);
            }
        }
    } else if (std::string address = addressWithPort(parsed); !address.empty()) {
        return std::string(cliOptionRow(CLI_OPTION_IP).flag) + " " + address +
               ": give the port with " + cliOptionRow(CLI_OPTION_PORT).flag;
    }
    for (const std::string& word : stray) {
        if (word[0] == '-') {
            return mistypedOption(word, givenSubcommand(app));
        }
    }
    return "";
}

// On a command line that did not parse, its words are all there is to go by.
bool holdsSwitch(int argc, const char* const* argv, CliOption option) {
    for (int index = 1; index < argc; ++index) {
        if (strcmp(argv[index], cliOptionRow(option).flag) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

UsageErrorJson usageErrorJson(const CliOptions& options) {
    return {subcommandFor(options.command).name, options.json, options.jsonLines};
}

void printUsageError(const std::string& error, const UsageErrorJson& json) {
    fprintf(stderr, "ticketflash: %s\n%s\n", error.c_str(), usageLine().c_str());
    if (!json.json && !json.jsonLines) {
        return;
    }
    nlohmann::json report = {{"command", json.command ? nlohmann::json(json.command) : nullptr},
                             {"error", error},
                             {"exitCode", CLI_EXIT_USAGE}};
    printJsonDocument(json.jsonLines ? recordStreamLine("report", report) : jsonText(report, 2));
}

int parseCliOptions(int argc, const char* const* argv, CliOptions* options) {
    CLI::App app{TOOL_DESCRIPTION, "ticketflash"};
    buildParser(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        app.exit(done);
        return CLI_EXIT_DONE;
    } catch (const CLI::ParseError& failure) {
        std::string explained = explainedFailure(app);
        const Subcommand* given = givenSubcommand(app);
        printUsageError(explained.empty() ? failure.what() : explained,
                        {given ? given->name : nullptr, holdsSwitch(argc, argv, CLI_OPTION_JSON),
                         holdsSwitch(argc, argv, CLI_OPTION_JSON_LINES)});
        return CLI_EXIT_USAGE;
    }
    return CLI_PARSED;
}
