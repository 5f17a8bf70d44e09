#include "connection/local_discovery.h"

#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"
#include "tests/doubles/scripted_channel.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <vector>

typedef std::vector<ChannelStep> Script;

static const PlatformError FILE_NOT_FOUND = {PLATFORM_ERROR_NOT_FOUND, 2};

static ChannelStep openFails() {
    return {CHANNEL_STEP_OPEN, {}, false, FILE_NOT_FOUND};
}
static ChannelStep opens() {
    return {CHANNEL_STEP_OPEN, {}};
}
static ChannelStep reads(std::vector<uint8_t> reply) {
    return {CHANNEL_STEP_READ, std::move(reply)};
}
static ChannelStep step(ChannelStepKind kind, bool succeeds = true) {
    return {
        kind, {}, succeeds, succeeds ? PlatformError{} : PlatformError{PLATFORM_ERROR_OTHER, 1}};
}

static Script join(std::initializer_list<Script> parts) {
    Script script;
    for (const Script& part : parts) {
        script.insert(script.end(), part.begin(), part.end());
    }
    return script;
}

// Every row of the table tried and none attached.
static Script noUsbUnit() {
    return Script(USB_DEVICE_UNIT_COUNT, openFails());
}

// A parallel port whose status read brings the given reply, taken as a printer.
static Script parallelPrinter(std::vector<uint8_t> reply) {
    return {opens(), reads(std::move(reply)),         step(CHANNEL_STEP_CLOSE),
            opens(), step(CHANNEL_STEP_GET_TIMEOUTS), step(CHANNEL_STEP_SET_TIMEOUTS)};
}

// A status report of five bytes: ready, and long enough for a parallel printer.
static std::vector<uint8_t> statusReport() {
    return bytes("S\0\0\0\0", 5);
}

// The line an open that fails with FILE_NOT_FOUND leaves.
static std::string openFailure(const char* routine, const std::string& path) {
    return std::string(routine) + " - open " + path + " failed: no such device (2)";
}

// The lines of the first rows of the table tried and not attached.
static std::vector<std::string> usbRowsNotFound(int rows) {
    std::vector<std::string> lines;
    for (int row = 0; row < rows; ++row) {
        lines.push_back(openFailure("findUsbPrinter", UsbDeviceTable[row].devicePath));
    }
    return lines;
}

static std::vector<std::string> openedPaths(const ScriptedChannel& channel) {
    std::vector<std::string> paths;
    for (const ChannelCall& call : channel.calls()) {
        if (call.kind == CHANNEL_STEP_OPEN) {
            paths.push_back(call.path);
        }
    }
    return paths;
}

// The log lines of this subsystem; the status read writes its own.
static std::vector<std::string> discoveryLog(const KernelDouble& kernel) {
    std::vector<std::string> lines;
    for (const std::string& line : kernel.logLines()) {
        if (line.rfind("GetPrinterStatusData", 0) != 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

class LocalDiscovery : public ::testing::Test {
  protected:
    void SetUp() override { resetProgramState(); }
    void TearDown() override { resetProgramState(); }

    bool search() { return GetPrinterHandle(&printerHandle, &printerData); }

    KernelDouble kernel;
    MessageBoxRecorder boxes;
};

TEST_F(LocalDiscovery, NothingAttachedLeavesNoHandleAndNoPortType) {
    ScriptedChannel channel(join({noUsbUnit(), {openFails(), openFails(), openFails()}}));
    EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);

    EXPECT_FALSE(search());

    EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
    // The route is none on all its faces: the upgrade cannot go by one the search did not find.
    EXPECT_EQ(printerData.portType, PORT_TYPE_NONE);
    EXPECT_EQ(activeConnection, PORT_TYPE_NONE);
    EXPECT_EQ(channel.stepsLeft(), 0u);
    EXPECT_TRUE(boxes.texts().empty());
    std::vector<std::string> expected = {
        "GetPrinterHandle - Entry",
        "GetPrinterHandle - Before trying USB printer",
    };
    std::vector<std::string> rows = usbRowsNotFound(USB_DEVICE_UNIT_COUNT);
    expected.insert(expected.end(), rows.begin(), rows.end());
    expected.insert(expected.end(), {
                                        "GetPrinterHandle - USB printer NOT found",
                                        "GetPrinterHandle - Before trying parallel printer",
                                        "findPrinterPARALLEL - Entry",
                                    });
    for (const char* port : {"LPT1:", "LPT2:", "LPT3:"}) {
        expected.insert(
            expected.end(),
            {"IsPrinterPARALLEL - Entry", std::string("IsPrinterPARALLEL - Preparing for ") + port,
             "IsPrinterPARALLEL - Before CreateFile", openFailure("IsPrinterPARALLEL", port),
             "IsPrinterPARALLEL - After CreateFile",
             "IsPrinterPARALLEL - After CreateFile INVALID_HANDLE_VALUE"});
    }
    expected.push_back("GetPrinterHandle - parallel printer NOT found");
    EXPECT_EQ(discoveryLog(kernel), expected);
}

TEST_F(LocalDiscovery, TriesEveryTableRowSharedInOrderThenTheParallelPortsExclusive) {
    ScriptedChannel channel(join({noUsbUnit(), {openFails(), openFails(), openFails()}}));
    search();

    std::vector<ChannelCall> calls = channel.calls();
    ASSERT_EQ(calls.size(), static_cast<size_t>(USB_DEVICE_UNIT_COUNT + 3));
    for (int row = 0; row < USB_DEVICE_UNIT_COUNT; ++row) {
        EXPECT_EQ(calls[row].path, UsbDeviceTable[row].devicePath);
        EXPECT_EQ(calls[row].sharing, CHANNEL_SHARED);
    }
    for (int port = 0; port < 3; ++port) {
        const ChannelCall& call = calls[USB_DEVICE_UNIT_COUNT + port];
        EXPECT_EQ(call.path, "LPT" + std::to_string(port + 1) + ":");
        EXPECT_EQ(call.sharing, CHANNEL_EXCLUSIVE);
    }
}

TEST_F(LocalDiscovery, ATableThatStartsWithTheEndRowGoesStraightToTheParallelPorts) {
    static const UsbDeviceRow emptyTable[] = {{"END", ""}};
    usbDeviceTable = emptyTable;
    ScriptedChannel channel({openFails(), openFails(), openFails()});

    EXPECT_FALSE(search());

    EXPECT_EQ(openedPaths(channel), (std::vector<std::string>{"LPT1:", "LPT2:", "LPT3:"}));
    EXPECT_TRUE(kernel.logged("GetPrinterHandle - USB printer NOT found"));
}

TEST_F(LocalDiscovery, OfTwoAttachedUnitsTheEarlierRowWins) {
    // Rows 3 and 7 are attached; the search stops at row 3.
    ScriptedChannel channel({openFails(), openFails(), opens()});

    EXPECT_TRUE(search());

    EXPECT_EQ(printerHandle, ScriptedChannel::HANDLE);
    EXPECT_EQ(openedPaths(channel).back(), UsbDeviceTable[2].devicePath);
    EXPECT_EQ(printerData.portType, PORT_TYPE_USB);
    EXPECT_EQ(activeConnection, PORT_TYPE_USB);
    std::vector<std::string> expected = {
        "GetPrinterHandle - Entry",
        "GetPrinterHandle - Before trying USB printer",
    };
    std::vector<std::string> rows = usbRowsNotFound(2);
    expected.insert(expected.end(), rows.begin(), rows.end());
    expected.push_back("GetPrinterHandle - USB printer found");
    EXPECT_EQ(discoveryLog(kernel), expected);
    EXPECT_TRUE(kernel.waits().empty()) << "a USB unit is taken without a status read";
}

struct ParallelReplyCase {
    const char* name;
    std::vector<uint8_t> reply;
    bool isPrinter;
};

class ParallelReplyLength : public LocalDiscovery,
                            public ::testing::WithParamInterface<ParallelReplyCase> {};

TEST_P(ParallelReplyLength, OnlyMoreThanFourBytesMakeAPrinter) {
    const ParallelReplyCase& c = GetParam();
    Script lpt1 = c.isPrinter ? parallelPrinter(c.reply) : Script{opens(),
                                                                  reads(c.reply),
                                                                  step(CHANNEL_STEP_WRITE),
                                                                  step(CHANNEL_STEP_CLOSE),
                                                                  openFails(),
                                                                  openFails()};
    ScriptedChannel channel(join({noUsbUnit(), lpt1}));

    EXPECT_EQ(search(), c.isPrinter);

    EXPECT_EQ(channel.stepsLeft(), 0u);
    std::vector<ChannelCall> calls = channel.calls();
    const ChannelCall& read = calls[USB_DEVICE_UNIT_COUNT + 1];
    EXPECT_EQ(read.size, 1024u);
    if (c.isPrinter) {
        EXPECT_EQ(printerHandle, ScriptedChannel::HANDLE);
        EXPECT_EQ(printerData.portType, PORT_TYPE_PARALLEL);
        EXPECT_EQ(calls[USB_DEVICE_UNIT_COUNT + 3].path, "LPT1:");
        EXPECT_EQ(calls[USB_DEVICE_UNIT_COUNT + 3].sharing, CHANNEL_SHARED);
        std::vector<uint32_t> waits = kernel.waits();
        EXPECT_NE(std::find(waits.begin(), waits.end(), 200u), waits.end());
    } else {
        EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
        EXPECT_EQ(calls[USB_DEVICE_UNIT_COUNT + 2].bytes, std::vector<uint8_t>{0});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lpt1, ParallelReplyLength,
    ::testing::Values(ParallelReplyCase{"FiveBytes", statusReport(), true},
                      ParallelReplyCase{"FourBytes", bytes("S\0\0\0", 4), false},
                      ParallelReplyCase{"OneByte", bytes("S"), false},
                      ParallelReplyCase{"FiveBytesOfAnotherReply", bytes("FLASH"), true}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(LocalDiscovery, APrinterOnLpt2OnlyIsHandedOutSharedOnLpt2) {
    ScriptedChannel channel(join({noUsbUnit(), {openFails()}, parallelPrinter(statusReport())}));

    EXPECT_TRUE(search());

    EXPECT_EQ(printerHandle, ScriptedChannel::HANDLE);
    std::vector<ChannelCall> calls = channel.calls();
    const ChannelCall& reopened = calls[USB_DEVICE_UNIT_COUNT + 4];
    EXPECT_EQ(reopened.path, "LPT2:");
    EXPECT_EQ(reopened.sharing, CHANNEL_SHARED);
    EXPECT_EQ(activeConnection, PORT_TYPE_PARALLEL);
    EXPECT_TRUE(kernel.logged("IsPrinterPARALLEL - Preparing for LPT2:"));
    EXPECT_TRUE(kernel.logged("IsPrinterPARALLEL - After CreateFile found valid handle"));
    EXPECT_TRUE(kernel.logged("GetPrinterHandle - parallel printer found"));
}

TEST_F(LocalDiscovery, APortWhoseStatusReadFailsIsClosedWithoutTheZeroByte) {
    ScriptedChannel channel(
        join({noUsbUnit(),
              {opens(), step(CHANNEL_STEP_READ, false), step(CHANNEL_STEP_CLOSE)},
              parallelPrinter(statusReport())}));

    EXPECT_TRUE(search());

    EXPECT_EQ(channel.stepsLeft(), 0u);
    EXPECT_EQ(openedPaths(channel).back(), "LPT2:");
}

TEST_F(LocalDiscovery, APortThatCannotBeReopenedSharedHoldsNoPrinter) {
    ScriptedChannel channel(
        join({noUsbUnit(),
              {opens(), reads(statusReport()), step(CHANNEL_STEP_CLOSE), openFails()},
              parallelPrinter(statusReport())}));

    EXPECT_TRUE(search());

    EXPECT_EQ(channel.stepsLeft(), 0u);
    EXPECT_EQ(openedPaths(channel).back(), "LPT2:");
    EXPECT_TRUE(kernel.logged("IsPrinterPARALLEL - Shared reopening of LPT1: failed"));
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(LocalDiscovery, NoPortReopenedMeansNoPrinterAndNoTimeoutMessages) {
    Script lost = {opens(), reads(statusReport()), step(CHANNEL_STEP_CLOSE), openFails()};
    ScriptedChannel channel(join({noUsbUnit(), lost, lost, lost}));

    EXPECT_FALSE(search());

    EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
    EXPECT_EQ(printerData.portType, PORT_TYPE_NONE);
    EXPECT_TRUE(boxes.texts().empty());
}

struct WriteTimeoutCase {
    const char* name;
    uint32_t found;
    uint32_t raisedTo; // 0: left alone, nothing written back
};

class ParallelWriteTimeout : public LocalDiscovery,
                             public ::testing::WithParamInterface<WriteTimeoutCase> {};

TEST_P(ParallelWriteTimeout, IsRaisedTo15SecondsWhenLower) {
    const WriteTimeoutCase& c = GetParam();
    Script lpt1 = parallelPrinter(statusReport());
    if (c.raisedTo == 0) {
        lpt1.pop_back();
    }
    ScriptedChannel channel(join({noUsbUnit(), lpt1}));
    channel.timeouts = {11, 22, 33, 44, c.found};

    EXPECT_TRUE(search());

    EXPECT_EQ(channel.stepsLeft(), 0u);
    uint32_t expected = c.raisedTo == 0 ? c.found : c.raisedTo;
    EXPECT_EQ(channel.timeouts.writeTotalTimeoutConstant, expected);
    EXPECT_EQ(channel.timeouts.readIntervalTimeout, 11u);
    EXPECT_EQ(channel.timeouts.readTotalTimeoutMultiplier, 22u);
    EXPECT_EQ(channel.timeouts.readTotalTimeoutConstant, 33u);
    EXPECT_EQ(channel.timeouts.writeTotalTimeoutMultiplier, 44u);
}

INSTANTIATE_TEST_SUITE_P(Lpt1, ParallelWriteTimeout,
                         ::testing::Values(WriteTimeoutCase{"Zero", 0, 15000},
                                           WriteTimeoutCase{"JustBelow", 14999, 15000},
                                           WriteTimeoutCase{"Exactly15Seconds", 15000, 0},
                                           WriteTimeoutCase{"TwentySeconds", 20000, 0},
                                           WriteTimeoutCase{"HighestBit", 0x80000000u, 0}),
                         [](const auto& instance) { return std::string(instance.param.name); });

struct TimeoutFailureCase {
    const char* name;
    Script tail;
    const char* message;
};

class ParallelTimeoutFailure : public LocalDiscovery,
                               public ::testing::WithParamInterface<TimeoutFailureCase> {};

TEST_P(ParallelTimeoutFailure, IsShownButThePrinterStaysFound) {
    const TimeoutFailureCase& c = GetParam();
    Script lpt1 = {opens(), reads(statusReport()), step(CHANNEL_STEP_CLOSE), opens()};
    ScriptedChannel channel(join({noUsbUnit(), lpt1, c.tail}));

    EXPECT_TRUE(search());

    EXPECT_EQ(printerHandle, ScriptedChannel::HANDLE);
    EXPECT_EQ(printerData.portType, PORT_TYPE_PARALLEL);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{c.message});
    EXPECT_FALSE(boxes.shown()[0].hasCaption);
}

INSTANTIATE_TEST_SUITE_P(
    Lpt1, ParallelTimeoutFailure,
    ::testing::Values(TimeoutFailureCase{"Get",
                                         {step(CHANNEL_STEP_GET_TIMEOUTS, false)},
                                         "Parallel GetCommTimeouts failed"},
                      TimeoutFailureCase{
                          "Set",
                          {step(CHANNEL_STEP_GET_TIMEOUTS), step(CHANNEL_STEP_SET_TIMEOUTS, false)},
                          "Parallel SetCommTimeouts failed"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(LocalDiscovery, AfterAParallelProbeTheCachedReplyAnswersAnEmptyRead) {
    // The second time the port's write time-out is already 15 s and stays as it is.
    Script again = parallelPrinter({});
    again.pop_back();
    ScriptedChannel channel(join({noUsbUnit(),
                                  parallelPrinter(statusReport()),
                                  {step(CHANNEL_STEP_CLOSE)},
                                  noUsbUnit(),
                                  again}));
    ASSERT_TRUE(search());
    closePrinterHandle(printerHandle);

    EXPECT_TRUE(search());

    EXPECT_EQ(channel.stepsLeft(), 0u);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Recovering data"});
    EXPECT_EQ(printerData.portType, PORT_TYPE_PARALLEL);
}

TEST_F(LocalDiscovery, OnTheFirstProbeAnEmptyParallelReadIsNoPrinter) {
    // portType still says USB (zero at start), so nothing stands in for the empty read.
    ScriptedChannel channel(join(
        {noUsbUnit(), {opens(), reads({}), step(CHANNEL_STEP_CLOSE)}, {openFails(), openFails()}}));

    EXPECT_FALSE(search());

    EXPECT_EQ(channel.stepsLeft(), 0u);
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(LocalDiscovery, ClosingHandsBackThePlatformResult) {
    ScriptedChannel channel({step(CHANNEL_STEP_CLOSE), step(CHANNEL_STEP_CLOSE, false)});
    EXPECT_TRUE(closePrinterHandle(ScriptedChannel::HANDLE));
    EXPECT_FALSE(closePrinterHandle(ScriptedChannel::HANDLE));
    EXPECT_TRUE(kernel.logLines().empty());
}

// --- the USB printers Windows lists (SetupAPI), whatever their serial numbers ------------------

static const char USBPRINT_PATH[] =
    "\\\\?\\usb#vid_04b8&pid_0e28#5&1f2a#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
static const char FAMILY_USBPRINT_PATH[] =
    "\\\\?\\usb#vid_2c9a&pid_0141#tk2212a99990000001#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
static const char FAMILY_DEVICE_PATH[] =
    "\\\\?\\usb#vid_2c9a&pid_0141#tk2212a99990000002#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
static const char FAMILY_ID[] = "MFG:SIM;CMD:G;MDL:VRE G;CLS:PRINTER;FWV:V1.00;";
static const char RASTER_ID[] = "MFG:SIM;CMD:RASTER;MDL:VRK-54;FWV:V2.00;";
static const char OTHER_ID[] = "MFG:Other;CMD:ESC/POS;MDL:Receipt 80;CLS:PRINTER;";

static ListedPrinterDevice listed(const char* path, const char* deviceId) {
    ListedPrinterDevice device = {};
    snprintf(device.path, sizeof device.path, "%s", path);
    snprintf(device.deviceId, sizeof device.deviceId, "%s", deviceId);
    return device;
}

struct WindowsListingCase {
    const char* name;
    std::vector<ListedPrinterDevice> listed;
    const char* picked; // --device, or null
    const char* opened; // the path the search opens and keeps, or null for none
    bool several;       // none taken because several of the family are attached
};

class WindowsListing : public LocalDiscovery,
                       public ::testing::WithParamInterface<WindowsListingCase> {};

TEST_P(WindowsListing, TheOnlyOneOfTheFamilyOrThePickedOneIsTaken) {
    const WindowsListingCase& c = GetParam();
    Script script = c.picked != nullptr ? Script{} : noUsbUnit();
    if (c.opened != nullptr) {
        script.push_back(opens());
    } else if (!c.several) {
        script.insert(script.end(), {openFails(), openFails(), openFails()});
    }
    ScriptedChannel channel(script);
    channel.listed = c.listed;
    pickedUsbDevice = c.picked;

    EXPECT_EQ(search(), c.opened != nullptr);

    EXPECT_EQ(severalUsbPrintersUnpicked(), c.several);
    EXPECT_EQ(channel.stepsLeft(), 0u);
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_STREQ(printerPath, c.opened != nullptr ? c.opened : "");
    EXPECT_EQ(printerData.portType, c.opened != nullptr ? PORT_TYPE_USB : PORT_TYPE_NONE);
}

INSTANTIATE_TEST_SUITE_P(
    SetupApi, WindowsListing,
    ::testing::Values(WindowsListingCase{"OneOfTheFamilyBesideAnother",
                                         {listed(USBPRINT_PATH, OTHER_ID),
                                          listed(FAMILY_USBPRINT_PATH, FAMILY_ID)},
                                         nullptr,
                                         FAMILY_USBPRINT_PATH,
                                         false},
                      WindowsListingCase{
                          "OtherOrSilentPrintersOnly",
                          {listed(USBPRINT_PATH, OTHER_ID), listed(FAMILY_DEVICE_PATH, "")},
                          nullptr,
                          nullptr,
                          false},
                      WindowsListingCase{"SeveralOfTheFamily",
                                         {listed(FAMILY_USBPRINT_PATH, FAMILY_ID),
                                          listed(FAMILY_DEVICE_PATH, RASTER_ID)},
                                         nullptr,
                                         nullptr,
                                         true},
                      WindowsListingCase{"SeveralAndOnePicked",
                                         {listed(FAMILY_USBPRINT_PATH, FAMILY_ID),
                                          listed(FAMILY_DEVICE_PATH, RASTER_ID)},
                                         FAMILY_DEVICE_PATH,
                                         FAMILY_DEVICE_PATH,
                                         false}),
    [](const ::testing::TestParamInfo<WindowsListingCase>& instance) {
        return instance.param.name;
    });
