// Feeds arbitrary command lines to the command-line parser: the input, split at its zero
// bytes, is the argument vector after the program's name. Whatever it holds, parsing must end
// with the run going on, 0 (help, version) or 64 (a usage error), without an exception, and a
// run that goes on must carry only options the rest of the program can use.

#include "cli/cli_options.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// A decimal number from first to last, digits only: what the dialog's edits take.
static bool decimalWithin(const std::string& text, unsigned long first, unsigned long last) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    unsigned long value = std::stoul(text);
    return value >= first && value <= last;
}

static bool validPort(const std::string& port) {
    return port.empty() || decimalWithin(port, 1, 65535);
}

static bool validAddress(const std::string& address) {
    if (address.empty()) {
        return true;
    }
    size_t start = 0;
    for (int octet = 0; octet < 4; ++octet) {
        size_t end = octet < 3 ? address.find('.', start) : address.size();
        if (end == std::string::npos ||
            !decimalWithin(address.substr(start, end - start), 0, 255)) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

static bool usable(const CliOptions& options) {
    return options.variant >= 0 && options.variant <= 2 && validPort(options.tcpPort) &&
           validAddress(options.ipAddress) &&
           (options.variant == 0 || options.command == CLI_COMMAND_UPGRADE) &&
           (!options.yes || options.command == CLI_COMMAND_UPGRADE);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Help and version texts are of no interest here; libFuzzer reports on standard error.
    if (freopen("/dev/null", "w", stdout) == nullptr) {
        return 0;
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words = {"ticketflash"};
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& each : words) {
        argv.push_back(each.c_str());
    }
    CliOptions options;
    int result = parseCliOptions(static_cast<int>(argv.size()), argv.data(), &options);
    bool known = result == CLI_PARSED || result == CLI_EXIT_DONE || result == CLI_EXIT_USAGE;
    if (!known || (result == CLI_PARSED && !usable(options))) {
        __builtin_trap();
    }
    return 0;
}
