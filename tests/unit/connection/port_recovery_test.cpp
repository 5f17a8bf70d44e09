// The journal around the moves and the recovery of an interrupted run, over the spooler
// double and the state files in memory.
#include "connection/port_recovery.h"
#include "connection/ports_journal.h"
#include "connection/spooler_ports.h"

#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"
#include "tests/doubles/spooler_double.h"
#include "tests/doubles/state_file_double.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Texts;

const std::string HEADER = "ticketflash spooler journal 1\n";

Texts ports(const SpoolerDouble& spooler) {
    Texts ports;
    for (const SpooledPrinter& printer : spooler.printers()) {
        ports.push_back(printer.port);
    }
    return ports;
}

// The order of the first call of a kind (see tests/doubles/call_order.h), 0 when none came.
template <typename Call, typename Kind>
uint64_t firstCall(const std::vector<Call>& calls, Kind kind) {
    auto found = std::find_if(calls.begin(), calls.end(),
                              [&](const Call& call) { return call.kind == kind; });
    return found != calls.end() ? found->order : 0;
}

class PortsJournalling : public ::testing::Test {
  protected:
    void SetUp() override { resetProgramState(); }
    void TearDown() override { resetProgramState(); }

    std::string journal() const { return stateFiles.text(PORTS_JOURNAL_NAME); }
    bool journalPresent() const { return stateFiles.present(PORTS_JOURNAL_NAME); }

    KernelDouble kernel;
    MessageBoxRecorder boxes;
    StateFileDouble stateFiles;
};

TEST_F(PortsJournalling, JournalsThePrintersBeforeTheFirstMoveAndRemovesItWhenAllAreBack) {
    SpoolerDouble spooler({{"Receipts", "LPT1:"}, {"PDF", "FILE:"}, {"Tickets", "USB001:"}});

    ASSERT_TRUE(SetPortsToFile());

    uint64_t journalled = firstCall(stateFiles.calls(), STATE_FILE_REPLACE);
    EXPECT_NE(journalled, 0u);
    EXPECT_LT(journalled, firstCall(spooler.calls(), SPOOLER_OPEN));
    EXPECT_EQ(journal(), HEADER + "printer Receipts LPT1:\nprinter Tickets USB001:\nend 2\n");

    RestorePortsToOriginal();

    EXPECT_FALSE(journalPresent());
    EXPECT_EQ(ports(spooler), (Texts{"LPT1:", "FILE:", "USB001:"}));
}

TEST_F(PortsJournalling, WithNothingToMoveTheJournalIsNeverTouched) {
    SpoolerDouble spooler(std::vector<SpooledPrinter>{{"PDF", "FILE:"}});
    ASSERT_TRUE(SetPortsToFile());
    RestorePortsToOriginal();
    EXPECT_TRUE(stateFiles.calls().empty());
}

// A printer the spooler would not move is reported, the others move, and the journal ends up
// holding only what really moved; one that cannot be put back stays in it for the next start.
TEST_F(PortsJournalling, TheJournalHoldsOnlyWhatReallyMovedAndWhatIsNotBackYet) {
    std::vector<SpooledPrinter> printers = {{"Receipts", "LPT1:"}, {"Tickets", "USB001:"}};
    printers[1].takesSettings = false;
    SpoolerDouble spooler(printers);

    ASSERT_TRUE(SetPortsToFile());

    EXPECT_EQ(boxes.texts(), Texts{"SetPrinter - Tickets failed, (Win7 ignore)"});
    EXPECT_EQ(journal(), HEADER + "printer Receipts LPT1:\nend 1\n");
    EXPECT_EQ(ports(spooler), (Texts{"FILE:", "USB001:"}));
}

TEST_F(PortsJournalling, AJournalThatCannotBeWrittenMovesNothing) {
    SpoolerDouble spooler(std::vector<SpooledPrinter>{{"Receipts", "LPT1:"}});
    stateFiles.failReplace({PLATFORM_ERROR_NO_SPACE, 28}); // ENOSPC

    EXPECT_FALSE(SetPortsToFile());

    EXPECT_EQ(spooler.callCount(SPOOLER_SET), 0u);
    EXPECT_EQ(
        boxes.texts(),
        Texts{"SetPortsToFile - Could not write memory:spooler-ports.journal, no port moved"});
    EXPECT_FALSE(portsMoved);
}

struct RecoveryCase {
    const char* name;
    std::vector<SpooledPrinter> printers;
    const char* journal; // after the header; null: no journal
    PlatformError readFailure;
    PlatformError listingFailure;
    PortRecovery outcome;
    Texts portsAfter;
    bool journalKept;
};

class PortRecoveryCases : public PortsJournalling,
                          public ::testing::WithParamInterface<RecoveryCase> {};

TEST_P(PortRecoveryCases, PutsBackOnlyWhatIsStillOffItsPortAndKeepsAJournalNotDealtWith) {
    const RecoveryCase& example = GetParam();
    SpoolerDouble spooler(example.printers);
    if (example.journal != nullptr) {
        stateFiles.put(PORTS_JOURNAL_NAME, HEADER + example.journal);
    }
    stateFiles.failRead(example.readFailure);
    spooler.failListing(example.listingFailure);

    EXPECT_EQ(RestorePortsFromJournal(), example.outcome);

    EXPECT_EQ(ports(spooler), example.portsAfter);
    EXPECT_EQ(journalPresent(), example.journalKept);
    if (example.journalKept) {
        EXPECT_EQ(journal(), HEADER + example.journal) << "kept as it was";
    }
    // A journal left over keeps this run from moving anything, which would replace it.
    spooler.failListing({});
    size_t setsBefore = spooler.callCount(SPOOLER_SET);
    EXPECT_EQ(SetPortsToFile(), !example.journalKept);
    if (example.journalKept) {
        EXPECT_EQ(spooler.callCount(SPOOLER_SET), setsBefore);
    }
}

const char TWO_MOVED[] = "printer Receipts LPT1:\nprinter Tickets USB001:\nend 2\n";

INSTANTIATE_TEST_SUITE_P(
    Journals, PortRecoveryCases,
    ::testing::Values(RecoveryCase{"NoJournal",
                                   {{"Receipts", "LPT1:"}},
                                   nullptr,
                                   {},
                                   {},
                                   PORT_RECOVERY_NOTHING_LEFT,
                                   {"LPT1:"},
                                   false},
                      RecoveryCase{"BothOnFile",
                                   {{"Receipts", "FILE:"}, {"PDF", "FILE:"}, {"Tickets", "FILE:"}},
                                   TWO_MOVED,
                                   {},
                                   {},
                                   PORT_RECOVERY_RESTORED,
                                   {"LPT1:", "FILE:", "USB001:"},
                                   false},
                      RecoveryCase{"OneGoneOneMovedByHand",
                                   {{"Tickets", "USB002:"}},
                                   TWO_MOVED,
                                   {},
                                   {},
                                   PORT_RECOVERY_RESTORED,
                                   {"USB002:"},
                                   false},
                      RecoveryCase{"Damaged",
                                   {{"Receipts", "FILE:"}},
                                   "printer Receipts LPT1:\nend 2\n",
                                   {},
                                   {},
                                   PORT_RECOVERY_UNREADABLE,
                                   {"FILE:"},
                                   true},
                      RecoveryCase{"Unreadable",
                                   {{"Receipts", "FILE:"}},
                                   TWO_MOVED,
                                   {PLATFORM_ERROR_PERMISSION_DENIED, 13},
                                   {},
                                   PORT_RECOVERY_UNREADABLE,
                                   {"FILE:"},
                                   true},
                      RecoveryCase{"SpoolerNotAnswering",
                                   {{"Receipts", "FILE:"}},
                                   TWO_MOVED,
                                   {},
                                   {PLATFORM_ERROR_OTHER, 1722},
                                   PORT_RECOVERY_INCOMPLETE,
                                   {"FILE:"},
                                   true},
                      RecoveryCase{"PrinterRefuses",
                                   {{"Receipts", "FILE:", true, false}, {"Tickets", "FILE:"}},
                                   TWO_MOVED,
                                   {},
                                   {},
                                   PORT_RECOVERY_INCOMPLETE,
                                   {"FILE:", "USB001:"},
                                   true}),
    [](const ::testing::TestParamInfo<RecoveryCase>& instance) { return instance.param.name; });

TEST_F(PortsJournalling, EachOutcomeIsToldAsTheUserSeesIt) {
    SpoolerDouble spooler(std::vector<SpooledPrinter>{});
    char text[1024];
    describePortRecovery(PORT_RECOVERY_NOTHING_LEFT, text, sizeof text);
    EXPECT_STREQ(text, "");
    describePortRecovery(PORT_RECOVERY_RESTORED, text, sizeof text);
    EXPECT_STREQ(text, "Printer ports restored after an interrupted run");
    describePortRecovery(PORT_RECOVERY_UNREADABLE, text, sizeof text);
    EXPECT_NE(std::string(text).find("memory:spooler-ports.journal cannot be read"),
              std::string::npos);
}

} // namespace
