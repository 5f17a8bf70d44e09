// A local probe that the system refuses leaves the system's error in the log, not only the
// dialog's "Did not find printer": a technician whose device node is not readable sees why.

#include "app/probe.h"
#include "connection/local_discovery.h"
#include "resources/resource.h"
#include "tests/doubles/dialog_probe_test.h"
#include "tests/doubles/scripted_channel.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

static const char DEVICE[] = "/dev/usb/lp0";
static const PlatformError ACCESS_DENIED = {PLATFORM_ERROR_PERMISSION_DENIED, 13}; // EACCES
static const PlatformError NOT_SUPPORTED = {PLATFORM_ERROR_NOT_SUPPORTED, 50};
static const PlatformError IO_ERROR = {PLATFORM_ERROR_OTHER, 5}; // EIO

struct ProbeFailure {
    const char* name;
    std::vector<ChannelStep> script;
    const char* statusText;
    const char* logLine;
};

static std::vector<ChannelStep> openedThen(std::vector<ChannelStep> rest) {
    std::vector<ChannelStep> script = {{CHANNEL_STEP_OPEN, {}}};
    script.insert(script.end(), rest.begin(), rest.end());
    script.push_back({CHANNEL_STEP_CLOSE, {}});
    return script;
}

static const std::vector<uint8_t> READY_G_ID = bytes("MFG:SIM;MDL:VRE G;FWV:V2.02 ;");

static const ProbeFailure probeFailures[] = {
    {"open refused",
     {{CHANNEL_STEP_OPEN, {}, false, ACCESS_DENIED}},
     "Did not find printer",
     "findUsbPrinter - open /dev/usb/lp0 failed: permission denied (13)"},
    {"device id refused",
     openedThen({{CHANNEL_STEP_DEVICE_ID, {}, false, NOT_SUPPORTED},
                 {CHANNEL_STEP_READ, bytes("S\0\0\0\0", 5)}}),
     "Found Printer - Printer ready",
     "GetPrinterID - device id request failed: not supported (50)"},
    {"status read fails",
     openedThen({{CHANNEL_STEP_DEVICE_ID, READY_G_ID}, {CHANNEL_STEP_READ, {}, false, IO_ERROR}}),
     "Found Printer - Printer NOT ready", "readPrinterHandle - read failed: system error (5)"},
};

class ProbeErrors : public DialogProbeTest {};

TEST_F(ProbeErrors, EachRefusalLogsTheSystemsErrorNumber) {
    for (const ProbeFailure& failure : probeFailures) {
        SCOPED_TRACE(failure.name);
        kernel.clearLog();
        pickedUsbDevice = DEVICE;
        ScriptedChannel channel(failure.script);

        refreshPrinterData(&dialogControls, &printerData);

        EXPECT_EQ(dialog.text(IDC_PROBE_STATUS_TEXT), failure.statusText);
        EXPECT_TRUE(kernel.logged(failure.logLine));
        EXPECT_EQ(channel.stepsLeft(), 0u);
    }
}
