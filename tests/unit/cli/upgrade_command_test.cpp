// The upgrade command in-process against the simulated printer on loopback, on the virtual
// clock: the writer's 15 s and 25 s waits cost nothing.
#include "cli/commands.h"
#include "cli/console_output.h"
#include "cli/dialog_front.h"
#include "dialog/dialog_model.h"
#include "flash/flash_writer.h"
#include "resources/resource.h"
#include "tests/doubles/console_double.h"
#include "tests/doubles/simulated_printer_test.h"

#include <firmware_manifest.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class UpgradeCommand : public SimulatedPrinterTest {
  protected:
    // As the tool's start does, --json without --yes.
    UpgradeCommand() {
        dialogModelReset();
        setupConsoleOutput(true, false);
        installDialogFront(false);
    }
    ~UpgradeCommand() override { dialogModelReset(); }

    RunOutcome upgrade() {
        CliOptions options;
        options.command = CLI_COMMAND_UPGRADE;
        options.json = true;
        options.ipAddress = "127.0.0.1";
        options.tcpPort = portText();
        return runCommand(options);
    }

    ConsoleDouble console_;
};

// The printer drops the connection after 4 KBytes of the image and then claims the new version:
// the dialog's write error, no reset wait, and a failed upgrade whatever the printer says.
TEST_F(UpgradeCommand, WithAWriteErrorIsAFailedUpgrade) {
    SimFaults faults;
    faults.claimVersionAfterImageBytes = 4096;
    printer.setFaults(faults);
    size_t earlier = shownBoxes().size(); // the front keeps the boxes of the whole process
    RunOutcome outcome = upgrade();
    EXPECT_EQ(outcome.exitCode, CLI_EXIT_FAILED);
    std::vector<ShownBox> boxes = shownBoxes();
    ASSERT_EQ(boxes.size(), earlier + 1);
    EXPECT_EQ(boxes.back().text.rfind("Write error = Dec = ", 0), 0u) << boxes.back().text;
    UpgradeVerdict verdict = lastUpgradeVerdict();
    EXPECT_EQ(verdict.result, UPGRADE_RESULT_FAILED);
    EXPECT_EQ(verdict.failure, UPGRADE_FAILURE_WRITE_ERROR);
    EXPECT_STREQ(verdict.image, manifestSlots[0].label);
    // The printer claims the image's version, and the closing probe read it: it counts for
    // nothing after a write error.
    EXPECT_EQ(verdict.newVersion, std::string(manifestSlots[0].label) + ";");
    EXPECT_EQ(outcome.closingLine.rfind("Upgrade failed: a write error stopped the image", 0), 0u);
    // The block that the printer's close cut short may count as not taken at all (under Wine a
    // failed send reports none of what it moved), so the count may end one block short.
    EXPECT_GE(verdict.bytesAccepted + FLASH_BLOCK_SIZE, 4096u);
    EXPECT_LT(verdict.bytesAccepted, manifestSlots[0].size & ~1u);
}

// The dialog showing other words than its own: every text a control is given is reworded on its
// way to the dialog. The command line must end the same: it reads the records, not the controls.
class RewordedDialog {
  public:
    RewordedDialog() : shown_(userInterfaceService), reworded_(*userInterfaceService) {
        reworded_.setText = [](ControlHandle control, const char* text) {
            std::string other = std::string("<") + (text != nullptr ? text : "") + ">";
            active_->setText(control, other.c_str());
        };
        active_ = shown_;
        userInterfaceService = &reworded_;
    }
    ~RewordedDialog() { userInterfaceService = shown_; }

  private:
    static inline const UserInterfaceService* active_ = nullptr;
    const UserInterfaceService* shown_;
    UserInterfaceService reworded_;
};

TEST_F(UpgradeCommand, EndsByTheRecordsWhateverWordsTheDialogShows) {
    {
        RewordedDialog reworded;
        RunOutcome outcome = upgrade();
        DialogItemState status{};
        dialogModelControlState(IDC_PROBE_STATUS_TEXT, &status);
        EXPECT_EQ(status.text, "<Found Printer - Printer ready>");
        nlohmann::json report = runReport(CLI_COMMAND_UPGRADE, outcome);
        EXPECT_EQ(outcome.exitCode, CLI_EXIT_DONE) << report.dump(2);
        EXPECT_EQ(report["status"], "Found Printer - Printer ready");
        EXPECT_EQ(report["verified"], true);
        EXPECT_EQ(report["newVersion"], std::string(manifestSlots[0].label) + ";");
        EXPECT_EQ(report["bytesSent"], manifestSlots[0].size & ~1u);
        EXPECT_EQ(outcome.closingLine, "Upgrade done: the printer now runs " +
                                           std::string(manifestSlots[0].label) + ".");
    }
    SimFaults faults;
    faults.notReady = true;
    printer.setFaults(faults);
    RewordedDialog reworded;
    RunOutcome outcome = upgrade();
    nlohmann::json report = runReport(CLI_COMMAND_UPGRADE, outcome);
    EXPECT_EQ(outcome.exitCode, CLI_EXIT_FAILED);
    EXPECT_EQ(report["probe"], "not-ready");
    EXPECT_EQ(report["ready"], false);
    EXPECT_EQ(outcome.closingLine.rfind(
                  "The printer is not ready; nothing was written. Its status reply is ", 0),
              0u)
        << outcome.closingLine;
}

} // namespace
