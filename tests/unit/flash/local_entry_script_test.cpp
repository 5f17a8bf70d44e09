// The local flash-mode entry against scripted channel answers: the failures of each command,
// the zero byte of parallel ports, and the search for "FLASH READY" in replies that hold zero
// bytes. Every script ends at the thread start, which the kernel double refuses.

#include "dialog/dialog_controls.h"
#include "flash/flash_entry.h"
#include "flash/flash_writer.h"
#include "identity/firmware_selection.h"
#include "sim/simulated_printer.h"
#include "tests/doubles/dialog_model_double.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/program_state.h"
#include "tests/doubles/scripted_channel.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

static ChannelStep readStep(std::vector<uint8_t> reply) {
    return {CHANNEL_STEP_READ, std::move(reply)};
}
static ChannelStep writeStep(bool succeeds = true) {
    // A failure as ERROR_GEN_FAILURE, "a device attached to the system is not functioning".
    return {CHANNEL_STEP_WRITE,
            {},
            succeeds,
            succeeds ? PlatformError{} : PlatformError{PLATFORM_ERROR_OTHER, 31}};
}

static std::vector<uint8_t> ready() {
    return bytes("S\0\0\0\0", 5);
}

struct LocalEntryCase {
    const char* name;
    int32_t portType;
    std::vector<ChannelStep> script;
    const char* message;
    size_t writes;                // the writes the script expects
    const char* logged = nullptr; // a line the log must hold
};

static std::vector<LocalEntryCase> localEntryCases() {
    std::vector<uint8_t> flashReady = bytes("\0S\0FLASH READY\0", 16);
    return {
        {"RequestNotWritten",
         PORT_TYPE_USB,
         {readStep(ready()), writeStep(false)},
         "Error 1bFR",
         1},
        // A printer that takes nothing of the request leaves no system error: the log says so.
        {"RequestTakenByNobody",
         PORT_TYPE_USB,
         {readStep(ready()), {CHANNEL_STEP_WRITE, {}, true, {}, 0}},
         "Error 1bFR",
         1,
         "enterFlashMode - command write failed: the printer took nothing"},
        {"ConfirmNotWritten",
         PORT_TYPE_USB,
         {readStep(ready()), writeStep(), readStep(ready()), writeStep(false)},
         "Error 1bIA",
         2},
        {"ZeroByteNotWritten",
         PORT_TYPE_PARALLEL,
         {readStep(ready()), writeStep(), readStep(ready()), writeStep(), readStep(flashReady),
          writeStep(false)},
         "Benign write of 0 failed",
         3},
        {"MarkerAfterZeroBytesOnUsb",
         PORT_TYPE_USB,
         {readStep(ready()), writeStep(), readStep(ready()), writeStep(), readStep(flashReady)},
         "Flash update thread did not start",
         2},
        {"MarkerOnParallelAfterTheZeroByte",
         PORT_TYPE_PARALLEL,
         {readStep(ready()), writeStep(), readStep(ready()), writeStep(), readStep(flashReady),
          writeStep()},
         "Flash update thread did not start",
         3},
        {"TheFirstReplyIsNeverExamined",
         PORT_TYPE_USB,
         {readStep(ready()), writeStep(), readStep(bytes("FLASH READY")), writeStep(),
          readStep(ready()), readStep({})},
         "Failed to entered flash programming mode",
         2},
        {"EmptyParallelReplyIsAnsweredFromTheStoredStatus",
         PORT_TYPE_PARALLEL,
         {readStep(ready()), writeStep(), readStep(ready()), writeStep(), readStep({}), writeStep(),
          readStep({})},
         "Failed to entered flash programming mode",
         3},
        // The reply comes in pieces: the entry reads on until the marker is whole.
        {"MarkerSplitOverTwoReads",
         PORT_TYPE_USB,
         {readStep(ready()), writeStep(), readStep(ready()), writeStep(), readStep(bytes("FLASH ")),
          readStep(bytes("READY"))},
         "Flash update thread did not start",
         2},
    };
}

class LocalEntryScript : public ::testing::TestWithParam<LocalEntryCase> {
  protected:
    LocalEntryScript() {
        resetProgramState();
        bindDialogControls(dialog.window());
        printerData.portType = GetParam().portType;
        // The simulator identified by its last probe: its placeholder image may be written.
        snprintf(printerData.deviceId, sizeof printerData.deviceId, "%s",
                 SimulatedPrinter::DEFAULT_DEVICE_ID);
        printerIdentified = true;
        kernel.failThreadStart({PLATFORM_ERROR_OTHER, 8});
    }
    ~LocalEntryScript() override { resetProgramState(); }

    KernelDouble kernel;
    DialogModelDouble dialog;
};

TEST_P(LocalEntryScript, StopsWithItsMessage) {
    ScriptedChannel channel(GetParam().script);
    EXPECT_FALSE(programFlashLocal(ScriptedChannel::HANDLE, &dialogControls, &printerData));
    Strings texts = dialog.texts();
    // Once the printer took the flash-mode request, the power-cycle notice follows the message.
    bool requestTaken = std::string(GetParam().message) != "Error 1bFR";
    ASSERT_GE(texts.size(), requestTaken ? 2u : 1u);
    if (requestTaken) {
        EXPECT_EQ(texts.back(), "The printer may be waiting in flash mode: power-cycle it before "
                                "using it again");
        texts.pop_back();
    }
    EXPECT_EQ(texts.back(), GetParam().message);
    EXPECT_EQ(lastUpgradeVerdict().flashModeRequested, requestTaken);
    EXPECT_EQ(channel.stepsLeft(), 0u);
    size_t writes = 0;
    for (const ChannelCall& call : channel.calls()) {
        writes += call.kind == CHANNEL_STEP_WRITE ? 1 : 0;
    }
    EXPECT_EQ(writes, GetParam().writes);
    EXPECT_FALSE(updateInProgress);
    if (GetParam().logged != nullptr) {
        EXPECT_TRUE(kernel.logged(GetParam().logged)) << testing::PrintToString(kernel.logLines());
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, LocalEntryScript, ::testing::ValuesIn(localEntryCases()),
                         [](const auto& instance) { return std::string(instance.param.name); });
