// The manual's SYNOPSIS against the table of subcommands: one line for the global switches,
// then one line for each subcommand with exactly the options of its row, and nothing else.
#include "cli/subcommands.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The roff line as it reads: the macros that alternate fonts (.BR, .RB, .IR, ...) join their
// words, .B and .I keep the blanks, and "\-" is a hyphen.
std::string renderedLine(const std::string& line) {
    std::istringstream words(line);
    std::string macro;
    words >> macro;
    bool joins = macro.size() == 3;
    std::string text;
    for (std::string word; words >> word;) {
        text += (text.empty() || joins ? "" : " ") + word;
    }
    for (size_t at; (at = text.find("\\-")) != std::string::npos;) {
        text.erase(at, 1);
    }
    return text;
}

// The synopsis, a line for each line break.
std::vector<std::string> synopsisLines() {
    std::ifstream page(TICKETFLASH_MAN_PAGE);
    std::vector<std::string> lines = {""};
    bool inSynopsis = false;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH", 0) == 0) {
            inSynopsis = line == ".SH SYNOPSIS";
        } else if (inSynopsis && line == ".br") {
            lines.push_back("");
        } else if (inSynopsis) {
            lines.back() += lines.back().empty() ? "" : " ";
            lines.back() += renderedLine(line);
        }
    }
    return lines;
}

TEST(ManPage, SynopsisShowsEverySubcommandWithTheOptionsOfItsRow) {
    const std::string tool = "ticketflash ";
    std::vector<std::string> expected = {tool + globalOptionsUsage() + " SUBCOMMAND"};
    for (const Subcommand& subcommand : subcommands()) {
        expected.push_back(tool + subcommandUsage(subcommand));
    }
    EXPECT_EQ(synopsisLines(), expected);
}

} // namespace
