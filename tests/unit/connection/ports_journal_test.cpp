// The journal's text, read strictly and written back the same.
#include "connection/ports_journal.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    std::vector<std::pair<std::string, std::string>> entries;
};

Parsed parse(std::string text) {
    std::vector<PortsJournalEntry> entries(portsJournalCapacity(text.data(), text.size()));
    uint32_t count = 99;
    Parsed parsed;
    parsed.ok = parsePortsJournal(text.data(), static_cast<uint32_t>(text.size()), entries.data(),
                                  static_cast<uint32_t>(entries.size()), &count);
    for (uint32_t i = 0; parsed.ok && i < count; ++i) {
        parsed.entries.emplace_back(entries[i].printerName, entries[i].setting);
    }
    EXPECT_TRUE(parsed.ok || count == 0);
    return parsed;
}

const std::string HEADER = "ticketflash spooler journal 1\n";

struct ValidCase {
    const char* text;
    std::vector<std::pair<std::string, std::string>> entries;
};

TEST(PortsJournal, ReadsWholeJournalsOfThisVersion) {
    const ValidCase cases[] = {
        {"end 0\n", {}},
        {"printer Receipts LPT1:\nend 1\n", {{"Receipts", "LPT1:"}}},
        {"printer Office%20Laser \nprinter T%25%C3%A9 usb://M/T?serial=1\nend 2\n",
         {{"Office Laser", ""}, {"T%\xC3\xA9", "usb://M/T?serial=1"}}},
        {"printer A Out%20of%20paper%0A%09again\nend 1\n", {{"A", "Out of paper\n\tagain"}}},
    };
    for (const ValidCase& example : cases) {
        SCOPED_TRACE(example.text);
        Parsed parsed = parse(HEADER + example.text);
        EXPECT_TRUE(parsed.ok);
        EXPECT_EQ(parsed.entries, example.entries);
    }
}

// Anything but the one spelling the program writes is refused whole: a journal that was cut,
// edited or made by something else is never applied in part.
TEST(PortsJournal, RefusesEveryOtherText) {
    const char* const cases[] = {
        "",
        "ticketflash spooler journal 2\nend 0\n",
        "ticketflash spooler journal 1\r\nend 0\r\n",
        "ticketflash spooler journal 1\nprinter A LPT1:\n",            // cut before its end
        "ticketflash spooler journal 1\nprinter A LPT1:\nend 1",       // last line feed missing
        "ticketflash spooler journal 1\nprinter A LPT1:\nend 2\n",     // count
        "ticketflash spooler journal 1\nprinter A LPT1:\nend 01\n",    // count spelling
        "ticketflash spooler journal 1\nend 0\nprinter A LPT1:\n",     // after the end
        "ticketflash spooler journal 1\nend 0\n\n",                    // after the end
        "ticketflash spooler journal 1\nprinter  LPT1:\nend 1\n",      // empty name
        "ticketflash spooler journal 1\nprinter A\nend 1\n",           // no setting
        "ticketflash spooler journal 1\nprinter A B C\nend 1\n",       // a bare space
        "ticketflash spooler journal 1\nprinter A%2 B\nend 1\n",       // cut escape
        "ticketflash spooler journal 1\nprinter A%c3%a9 B\nend 1\n",   // lower-case hex
        "ticketflash spooler journal 1\nprinter %41 B\nend 1\n",       // needless escape
        "ticketflash spooler journal 1\nprinter A%00 B\nend 1\n",      // NUL
        "ticketflash spooler journal 1\nprinter A\xC3\xA9 B\nend 1\n", // raw byte
        "ticketflash spooler journal 1\nprinter A B\tC\nend 1\n",      // raw tab
        "ticketflash spooler journal 1\nprinters A B\nend 1\n",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parse(text).ok);
    }
}

TEST(PortsJournal, WhatIsWrittenReadsBackTheSame) {
    std::string odd;
    for (int byte = 1; byte < 256; ++byte) {
        odd += static_cast<char>(byte);
    }
    const PortsJournalEntry entries[] = {
        {"Receipts", "LPT1:"}, {odd.c_str(), ""}, {"x", odd.c_str()}};
    uint32_t length = 0;
    EXPECT_TRUE(formatPortsJournal(entries, 3, nullptr, 0, &length));
    std::string text(length, '\0');
    char small[8];
    EXPECT_FALSE(formatPortsJournal(entries, 3, small, sizeof small, &length));
    ASSERT_TRUE(formatPortsJournal(entries, 3, text.data(), length, &length));
    Parsed parsed = parse(text);
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.entries, (std::vector<std::pair<std::string, std::string>>{
                                  {"Receipts", "LPT1:"}, {odd, ""}, {"x", odd}}));
}

} // namespace
