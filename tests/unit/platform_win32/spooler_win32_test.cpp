#include "connection/spooler_ports.h"
#include "platform/spooler.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Run by ctest beside a scheduler of the tests' own (tests/cupsd/cupsd-fixture), whose queues
// Wine's spooler lists with the ports "CUPS:<name>".

static const PlatformError ERROR_INVALID_PRINTER_NAME_CODE = {PLATFORM_ERROR_NOT_FOUND, 1801};

TEST(Win32Spooler, AnUnknownPrinterDoesNotOpenAndCannotBeSet) {
    SpoolerPrinterHandle printer = 1;
    PlatformError error;
    EXPECT_FALSE(spoolerService->open("ticketflash no such printer", &printer, &error));
    EXPECT_EQ(printer, 0);
    EXPECT_EQ(error, ERROR_INVALID_PRINTER_NAME_CODE);

    std::vector<uint8_t> record(spoolerService->recordSize);
    EXPECT_FALSE(
        spoolerService->set(printer, reinterpret_cast<PrinterPortEntry*>(record.data()), &error));
    spoolerService->close(printer);
}

// The ports of the installed printers as the spooler lists them now.
static std::vector<std::string> listedPorts() {
    uint32_t needed = 0;
    uint32_t count = 0;
    spoolerService->enumerate(nullptr, 0, &needed, &count, nullptr);
    std::vector<uint8_t> block(needed);
    std::vector<std::string> ports;
    if (needed == 0 || !spoolerService->enumerate(block.data(), needed, &needed, &count, nullptr)) {
        return ports;
    }
    for (uint32_t i = 0; i < count; ++i) {
        auto* record =
            reinterpret_cast<PrinterPortEntry*>(block.data() + i * spoolerService->recordSize);
        ports.push_back(spoolerService->portName(record));
    }
    return ports;
}

TEST(Win32Spooler, MovesEveryPrinterToFileAndPutsItBack) {
    resetProgramState();
    KernelDouble kernel;
    MessageBoxRecorder boxes;
    std::vector<std::string> original = listedPorts();
    const char* server = getenv("CUPS_SERVER");
    ASSERT_FALSE(original.empty())
        << "the spooler lists no printer: the scheduler of ctest's fixture "
           "spooler_win32_cupsd_start (CUPS_SERVER="
        << (server != nullptr ? server : "unset") << ") did not start, or Wine does not reach it";

    ASSERT_TRUE(SetPortsToFile());
    EXPECT_EQ(listedPorts(), std::vector<std::string>(original.size(), "FILE:"));
    RestorePortsToOriginal();

    EXPECT_EQ(listedPorts(), original);
    EXPECT_TRUE(boxes.texts().empty());
    resetProgramState();
}
