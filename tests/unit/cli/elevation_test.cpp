// A local run without the rights to change the spooler's printers (a standard user's token on
// Windows) is refused before it touches anything: no printer listed or opened, no channel
// opened, no marker taken, and an interrupted run's journal left for an elevated run.
#include "cli/run.h"
#include "tests/doubles/console_double.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/scripted_channel.h"
#include "tests/doubles/spooler_double.h"
#include "tests/doubles/state_file_double.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(Elevation, ALocalRunWithoutItIsRefusedBeforeAnythingIsTouched) {
    for (CliCommand command : {CLI_COMMAND_PROBE, CLI_COMMAND_UPGRADE, CLI_COMMAND_RESTORE_PORTS}) {
        KernelDouble kernel;
        ConsoleDouble console;
        StateFileDouble stateFiles;
        stateFiles.put("spooler-ports.journal", "Receipts\tLPT1:\n");
        SpoolerDouble spooler(std::vector<SpooledPrinter>{{"Receipts", "LPT1:"}});
        spooler.runUnelevated();
        ScriptedChannel channel({});
        CliOptions options;
        options.command = command;

        EXPECT_EQ(runTicketflash(options), CLI_EXIT_NOT_ELEVATED) << command;
        EXPECT_TRUE(spooler.calls().empty());
        EXPECT_TRUE(channel.calls().empty());
        EXPECT_TRUE(stateFiles.calls().empty());
        EXPECT_TRUE(kernel.logLines().empty());
    }
}

} // namespace
