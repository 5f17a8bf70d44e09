#include "cli/fleet_inventory.h"

#include <cstddef>
#include <map>

namespace {

const char BLANKS[] = " \t\r";

// The line up to its comment, without blanks around it.
std::string contentOf(const std::string& line) {
    std::string content = line.substr(0, line.find('#'));
    size_t first = content.find_first_not_of(BLANKS);
    if (first == std::string::npos) {
        return "";
    }
    return content.substr(first, content.find_last_not_of(BLANKS) - first + 1);
}

std::vector<std::string> words(const std::string& content) {
    std::vector<std::string> found;
    size_t start = content.find_first_not_of(BLANKS);
    while (start != std::string::npos) {
        size_t end = content.find_first_of(BLANKS, start);
        found.push_back(content.substr(start, end - start));
        start = content.find_first_not_of(BLANKS, end);
    }
    return found;
}

// A decimal number of 1 to maxDigits digits and no sign.
bool decimal(const std::string& text, size_t maxDigits, long* value) {
    if (text.empty() || text.size() > maxDigits) {
        return false;
    }
    long number = 0;
    for (char digit : text) {
        if (digit < '0' || digit > '9') {
            return false;
        }
        number = number * 10 + (digit - '0');
    }
    *value = number;
    return true;
}

bool parsePort(const std::string& text, uint16_t* port) {
    long number = 0;
    if (!decimal(text, 5, &number) || number < 1 || number > 65535) {
        return false;
    }
    *port = static_cast<uint16_t>(number);
    return true;
}

// The text in double quotes, built by appending: GCC 12 warns falsely about the overlap of a
// literal added to a temporary string at -O3.
std::string quoted(const std::string& text) {
    std::string result = "\"";
    result.append(text);
    result.push_back('"');
    return result;
}

// Letters, digits, hyphens and dots, with a letter somewhere: a misspelt address ("10.0.7")
// is not taken for a name.
bool hostName(const std::string& text) {
    bool letter = false;
    for (char character : text) {
        bool isLetter =
            (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
        letter = letter || isLetter;
        if (!isLetter && character != '-' && character != '.' &&
            (character < '0' || character > '9')) {
            return false;
        }
    }
    return letter && text.size() <= 253 && text.front() != '-' && text.front() != '.';
}

bool parseAddress(const std::string& word, InventoryPrinter* printer, std::string* error) {
    size_t colon = word.find(':');
    std::string address = word.substr(0, colon);
    if (hostName(address)) {
        printer->host = address;
    } else if (!canonicalIpv4(address, &printer->address)) {
        *error = quoted(address) + " is neither an IPv4 address (A.B.C.D) nor a host name";
        return false;
    }
    printer->port = INVENTORY_DEFAULT_PORT;
    if (colon != std::string::npos && !parsePort(word.substr(colon + 1), &printer->port)) {
        *error = quoted(word.substr(colon + 1)) + " is not a TCP port (1 to 65535)";
        return false;
    }
    return true;
}

bool parseSetting(const std::string& word, InventoryPrinter* printer, std::string* error) {
    if (word != "variant=1" && word != "variant=2") {
        *error = quoted(word) + " is not a setting of a printer (variant=1 or variant=2)";
        return false;
    }
    if (printer->variant != 0) {
        *error = "variant= is given twice";
        return false;
    }
    printer->variant = word.back() - '0';
    return true;
}

} // namespace

bool canonicalIpv4(const std::string& text, std::string* canonical) {
    std::string result;
    size_t start = 0;
    for (int octet = 0; octet < 4; ++octet) {
        size_t end = octet < 3 ? text.find('.', start) : text.size();
        long value = 0;
        if (end == std::string::npos || !decimal(text.substr(start, end - start), 3, &value) ||
            value > 255) {
            return false;
        }
        if (octet > 0) {
            result.push_back('.');
        }
        result.append(std::to_string(value));
        start = end + 1;
    }
    *canonical = result;
    return true;
}

InventoryLine parseInventoryLine(const std::string& line, InventoryPrinter* printer,
                                 std::string* error) {
    std::vector<std::string> found = words(contentOf(line));
    if (found.empty()) {
        return INVENTORY_LINE_EMPTY;
    }
    InventoryPrinter parsed;
    if (!parseAddress(found[0], &parsed, error)) {
        return INVENTORY_LINE_BAD;
    }
    for (size_t index = 1; index < found.size(); ++index) {
        if (!parseSetting(found[index], &parsed, error)) {
            return INVENTORY_LINE_BAD;
        }
    }
    *printer = parsed;
    return INVENTORY_LINE_PRINTER;
}

// The line's printer with its host name resolved, once for all its lines.
bool resolved(InventoryPrinter* printer, HostResolver resolve,
              std::map<std::string, std::string>* addresses, std::string* problem) {
    if (printer->host.empty()) {
        return true;
    }
    auto known = addresses->find(printer->host);
    std::string why = "as on an earlier line";
    if (known == addresses->end()) {
        std::string address;
        known =
            addresses->emplace(printer->host, resolve(printer->host, &address, &why) ? address : "")
                .first;
    }
    printer->address = known->second;
    if (printer->address.empty()) {
        *problem = "cannot resolve " + quoted(printer->host) + ": " + why;
        return false;
    }
    return true;
}

bool parseInventory(const std::string& text, HostResolver resolve,
                    std::vector<InventoryPrinter>* printers, std::vector<std::string>* errors) {
    std::vector<InventoryPrinter> parsed;
    std::map<std::string, int> listedOn;          // "address:port" to its line
    std::map<std::string, std::string> addresses; // host name to its address, empty when none
    errors->clear();
    size_t start = 0;
    for (int number = 1; start <= text.size(); ++number) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() + 1 : end + 1;
        InventoryPrinter printer;
        std::string problem;
        InventoryLine kind = parseInventoryLine(line, &printer, &problem);
        if (kind == INVENTORY_LINE_PRINTER && !resolved(&printer, resolve, &addresses, &problem)) {
            kind = INVENTORY_LINE_BAD;
        }
        std::string key = printer.address + ":" + std::to_string(printer.port);
        if (kind == INVENTORY_LINE_PRINTER && listedOn.count(key) != 0) {
            problem = key + " is already listed on line " + std::to_string(listedOn[key]);
            kind = INVENTORY_LINE_BAD;
        }
        if (kind == INVENTORY_LINE_BAD) {
            errors->push_back("line " + std::to_string(number) + ": " + problem);
        }
        if (kind == INVENTORY_LINE_PRINTER) {
            printer.line = number;
            parsed.push_back(printer);
            listedOn[key] = number;
        }
    }
    if (!errors->empty()) {
        return false;
    }
    *printers = parsed;
    return true;
}
