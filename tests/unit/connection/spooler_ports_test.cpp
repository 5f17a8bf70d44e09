#include "connection/spooler_ports.h"

#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"
#include "tests/doubles/spooler_double.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

typedef std::vector<std::string> Texts;

static Texts ports(const SpoolerDouble& spooler) {
    Texts ports;
    for (const SpooledPrinter& printer : spooler.printers()) {
        ports.push_back(printer.port);
    }
    return ports;
}

// The printers each set request went to, with the port it carried.
static Texts sets(const SpoolerDouble& spooler) {
    Texts sets;
    for (const SpoolerCall& call : spooler.calls()) {
        if (call.kind == SPOOLER_SET) {
            sets.push_back(call.printerName + " " + call.portName);
        }
    }
    return sets;
}

static std::vector<SpooledPrinter> threePrinters() {
    return {{"Receipts", "LPT1:"}, {"PDF", "FILE:"}, {"Tickets", "USB001:"}};
}

class SpoolerPorts : public ::testing::Test {
  protected:
    void SetUp() override { resetProgramState(); }
    void TearDown() override { resetProgramState(); }

    KernelDouble kernel;
    MessageBoxRecorder boxes;
};

TEST_F(SpoolerPorts, MovesEveryPrinterNotOnFileAndPutsItBack) {
    SpoolerDouble spooler(threePrinters());

    ASSERT_TRUE(SetPortsToFile());

    EXPECT_TRUE(portsMoved);
    EXPECT_EQ(printerCount, 3u);
    EXPECT_EQ(ports(spooler), (Texts{"FILE:", "FILE:", "FILE:"}));
    EXPECT_EQ(sets(spooler), (Texts{"Receipts FILE:", "Tickets FILE:"}));
    EXPECT_EQ(kernel.logLines(),
              (Texts{"SetPortsToFile - Entry",
                     "SetPortsToFile - Printer to file = Receipts, port = LPT1:",
                     "SetPortsToFile - Printer to file = PDF, port = FILE:",
                     "SetPortsToFile - Printer to file = Tickets, port = USB001:"}));
    EXPECT_EQ(spooler.openHandles(), 0);

    kernel.clearLog();
    RestorePortsToOriginal();

    EXPECT_EQ(ports(spooler), (Texts{"LPT1:", "FILE:", "USB001:"}));
    EXPECT_EQ(sets(spooler),
              (Texts{"Receipts FILE:", "Tickets FILE:", "Receipts LPT1:", "Tickets USB001:"}));
    EXPECT_EQ(kernel.logLines(), (Texts{"RestorePortsToOriginal - Entry",
                                        "RestorePortsToOriginal - Printer = Receipts",
                                        "RestorePortsToOriginal - Original port name LPT1:",
                                        "RestorePortsToOriginal - Printer = PDF",
                                        "RestorePortsToOriginal - Original port name FILE:",
                                        "RestorePortsToOriginal - Printer = Tickets",
                                        "RestorePortsToOriginal - Original port name USB001:"}));
    EXPECT_FALSE(portsMoved);
    EXPECT_EQ(printerCount, 0u);
    EXPECT_EQ(enumeratedPrinters, nullptr);
    EXPECT_EQ(workingPrinters, nullptr);
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(SpoolerPorts, TheWorkingCopyChangesOnlyTheMovedPortReferences) {
    SpoolerDouble spooler(threePrinters());
    ASSERT_TRUE(SetPortsToFile());

    static const char* const originals[] = {"LPT1:", "FILE:", "USB001:"};
    for (uint32_t i = 0; i < printerCount; ++i) {
        PrinterPortEntry* original = printerRecord(enumeratedPrinters, i);
        PrinterPortEntry* working = printerRecord(workingPrinters, i);
        EXPECT_STREQ(spoolerService->portName(original), originals[i]);
        EXPECT_STREQ(spoolerService->portName(working), "FILE:");
        // The copy still refers to the texts of the spooler's block.
        EXPECT_EQ(spoolerService->printerName(working), spoolerService->printerName(original));
    }
}

struct PortCase {
    const char* port;
    bool moved;
};

TEST_F(SpoolerPorts, OnlyAPortOfExactlyFileIsLeftAlone) {
    static const PortCase cases[] = {
        {"FILE:", false}, {"file:", true},  {"File:", true}, {"FILE", true},
        {"FILE: ", true}, {"FILE:x", true}, {"", true},      {"nul:", true},
    };
    for (const PortCase& c : cases) {
        resetProgramState();
        SpoolerDouble spooler(std::vector<SpooledPrinter>{{"Queue", c.port}});
        ASSERT_TRUE(SetPortsToFile());
        EXPECT_EQ(spooler.callCount(SPOOLER_SET), c.moved ? 1u : 0u) << '"' << c.port << '"';
        RestorePortsToOriginal();
        EXPECT_EQ(ports(spooler), Texts{c.port});
        EXPECT_EQ(spooler.callCount(SPOOLER_SET), c.moved ? 2u : 0u) << '"' << c.port << '"';
    }
}

TEST_F(SpoolerPorts, ASecondProbeMakesNoSpoolerCall) {
    SpoolerDouble spooler(threePrinters());
    ASSERT_TRUE(SetPortsToFile());
    size_t callsBefore = spooler.calls().size();
    kernel.clearLog();

    EXPECT_TRUE(SetPortsToFile());

    EXPECT_EQ(spooler.calls().size(), callsBefore);
    EXPECT_EQ(kernel.logLines(), (Texts{"SetPortsToFile - Entry",
                                        "SetPortsToFile - Returning because ports already moved"}));
}

TEST_F(SpoolerPorts, WithNoPrinterInstalledTheMessageComesOnceAndExitMakesNoCall) {
    SpoolerDouble spooler(std::vector<SpooledPrinter>{});

    EXPECT_TRUE(SetPortsToFile());
    EXPECT_TRUE(SetPortsToFile());

    EXPECT_TRUE(portsMoved);
    EXPECT_EQ(printerCount, 0u);
    EXPECT_EQ(boxes.texts(), Texts{"EnumeratePrinters - No printer driver installed"});
    EXPECT_FALSE(boxes.shown()[0].hasCaption);
    EXPECT_EQ(spooler.calls().size(), 1u) << "only the size request";

    RestorePortsToOriginal();

    EXPECT_EQ(spooler.calls().size(), 1u);
    EXPECT_EQ(kernel.logLines().back(), "RestorePortsToOriginal - Entry");
    EXPECT_FALSE(portsMoved);
}

TEST_F(SpoolerPorts, APrinterThatCannotBeOpenedIsReportedAtTheMoveAndAtTheExit) {
    std::vector<SpooledPrinter> printers = threePrinters();
    printers[0].opens = false;
    SpoolerDouble spooler(printers);
    const Texts messages = {"SetPortToFile - Could not open printer Receipts, (Win7 ignore)",
                            "SetPrinter - Receipts failed, (Win7 ignore)"};

    EXPECT_TRUE(SetPortsToFile());

    EXPECT_EQ(boxes.texts(), messages);
    EXPECT_EQ(ports(spooler), (Texts{"LPT1:", "FILE:", "FILE:"}));
    EXPECT_TRUE(portsMoved);

    boxes.clear();
    RestorePortsToOriginal();

    EXPECT_EQ(boxes.texts(), messages);
    EXPECT_EQ(ports(spooler), (Texts{"LPT1:", "FILE:", "USB001:"}));
    EXPECT_EQ(spooler.openHandles(), 0);
    EXPECT_EQ(spooler.callCount(SPOOLER_CLOSE), 4u) << "every set is followed by a close";
}

TEST_F(SpoolerPorts, APrinterThatRefusesItsSettingsIsTriedAgainAtTheExit) {
    std::vector<SpooledPrinter> printers = threePrinters();
    printers[2].takesSettings = false;
    SpoolerDouble spooler(printers);

    EXPECT_TRUE(SetPortsToFile());
    EXPECT_EQ(boxes.texts(), Texts{"SetPrinter - Tickets failed, (Win7 ignore)"});

    RestorePortsToOriginal();

    EXPECT_EQ(boxes.texts(), (Texts{"SetPrinter - Tickets failed, (Win7 ignore)",
                                    "SetPrinter - Tickets failed, (Win7 ignore)"}));
    EXPECT_EQ(sets(spooler).back(), "Tickets USB001:");
    EXPECT_EQ(spooler.openHandles(), 0);
}

TEST_F(SpoolerPorts, NamesTooLongForTheBuffersAreCut) {
    std::string name(3000, 'N');
    std::string port(3000, 'P');
    std::vector<SpooledPrinter> printers = {{name, port, false}};
    SpoolerDouble spooler(printers);

    EXPECT_TRUE(SetPortsToFile());
    RestorePortsToOriginal();

    Texts texts = boxes.texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], ("SetPortToFile - Could not open printer " + name).substr(0, 1023));
    EXPECT_EQ(texts[1], ("SetPrinter - " + name).substr(0, 1023));
    for (const std::string& line : kernel.logLines()) {
        EXPECT_LE(line.size(), 1023u);
    }
    EXPECT_TRUE(kernel.logged(("SetPortsToFile - Printer to file = " + name).substr(0, 1023)));
}

TEST_F(SpoolerPorts, APrinterInstalledBetweenTheTwoRequestsIsListedOnTheThird) {
    SpoolerDouble spooler(threePrinters());
    spooler.installLater(1, {"Late", "LPT2:"});

    ASSERT_TRUE(SetPortsToFile());

    EXPECT_EQ(spooler.callCount(SPOOLER_ENUMERATE), 3u);
    EXPECT_EQ(printerCount, 4u);
    EXPECT_EQ(ports(spooler), (Texts{"FILE:", "FILE:", "FILE:", "FILE:"}));
    EXPECT_TRUE(boxes.texts().empty());

    RestorePortsToOriginal();
    EXPECT_EQ(ports(spooler), (Texts{"LPT1:", "FILE:", "USB001:", "LPT2:"}));
}

TEST_F(SpoolerPorts, AListThatKeepsGrowingEndsAsAnAllocationFailure) {
    SpoolerDouble spooler(threePrinters());
    spooler.installLater(1, {"Late", "LPT2:"});
    spooler.installLater(2, {"Later", "LPT3:"});

    EXPECT_FALSE(SetPortsToFile());

    EXPECT_EQ(spooler.callCount(SPOOLER_ENUMERATE), 3u);
    EXPECT_EQ(boxes.texts(),
              Texts{"EnumeratePrinters - Could not allocate memory for port reassigment"});
    EXPECT_FALSE(portsMoved);
    EXPECT_EQ(printerCount, 0u);
    EXPECT_EQ(enumeratedPrinters, nullptr);
    EXPECT_EQ(workingPrinters, nullptr);
    EXPECT_EQ(spooler.callCount(SPOOLER_SET), 0u);

    // The exit then has nothing to put back; the next probe takes the list afresh.
    RestorePortsToOriginal();
    EXPECT_EQ(spooler.callCount(SPOOLER_SET), 0u);
    EXPECT_TRUE(SetPortsToFile());
    EXPECT_EQ(printerCount, 5u);
}

TEST_F(SpoolerPorts, AfterTheExitTheNextProbeTakesTheListAgain) {
    SpoolerDouble spooler(threePrinters());
    ASSERT_TRUE(SetPortsToFile());
    RestorePortsToOriginal();

    ASSERT_TRUE(SetPortsToFile());

    EXPECT_EQ(spooler.callCount(SPOOLER_ENUMERATE), 4u);
    EXPECT_EQ(ports(spooler), (Texts{"FILE:", "FILE:", "FILE:"}));
}
