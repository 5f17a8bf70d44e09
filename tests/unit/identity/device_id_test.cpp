#include "identity/device_id.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"
#include "tests/doubles/scripted_channel.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

static const char MISSING_KEY[] = "Printer model NOT found in ID!";

// The boxes a parser shows: one when its key is missing, none otherwise.
static std::vector<std::string> missingKeyBoxes(bool keyFound) {
    return keyFound ? std::vector<std::string>{} : std::vector<std::string>{MISSING_KEY};
}

static void setDeviceId(const std::string& text) {
    ASSERT_LT(text.size(), sizeof printerData.deviceId);
    memcpy(printerData.deviceId, text.c_str(), text.size() + 1);
}

static void setText(char (&field)[PRINTER_TEXT_SIZE], const char* text) {
    snprintf(field, sizeof field, "%s", text);
}

class DeviceIdTest : public ::testing::Test {
  protected:
    void SetUp() override { resetProgramState(); }

    KernelDouble kernel;
    MessageBoxRecorder boxes;
};

// parseModel ---------------------------------------------------------------------------------

struct ModelCase {
    const char* deviceId;
    bool found;
    const char* modelName;
    int32_t language;
    int32_t family;
};

// Every case starts from a previous printer: model "previous", raster language, and a series
// number that no series has, so that a series left unchanged shows.
constexpr int32_t PREVIOUS_FAMILY = 9;

static const ModelCase modelCases[] = {
    {"MFG:Maker;CMD:G;MDL:XG1;FWV:V1.05 ;", true, "XG1", LANG_G, FAMILY_OTHER},
    {"MDL:G1;", true, "G1", LANG_HRM, FAMILY_OTHER},
    {"MDL:VRAg;", true, "VRAg", LANG_HRM, FAMILY_VRA},
    {"MDL:VRE-G 2;", true, "VRE-G 2", LANG_G, FAMILY_VRE},
    {"MDL:VRE/VRA HRM;", true, "VRE/VRA HRM", LANG_HRM, FAMILY_VRA},
    {"MDL:XVREX;", true, "XVREX", LANG_HRM, FAMILY_VRE},
    {"MDL:VRK-54 PLUS G;", true, "VRK-54", LANG_RASTER, FAMILY_VRK},
    {"MDL:XG1;FWV:VRK-54;", true, "VRK-54", LANG_RASTER, FAMILY_VRK},
    {"DES:VRK-54;MDL:VRA G;", true, "VRA G", LANG_G, FAMILY_VRA},
    {"MFG:Maker;MDL:VRA G", true, "VRA G", LANG_G, FAMILY_VRA},
    {"MDL:;FWV:V1.05;", true, "", LANG_HRM, FAMILY_OTHER},
    {"MDL:", true, "", LANG_HRM, FAMILY_OTHER},
    {"DES:XMDL:VRE G;MDL:VRA;", true, "VRE G", LANG_G, FAMILY_VRE},
    {"mdl:VRA G;", false, "previous", LANG_HRM, PREVIOUS_FAMILY},
    {"", false, "previous", LANG_HRM, PREVIOUS_FAMILY},
};

TEST_F(DeviceIdTest, ModelFieldGivesModelLanguageAndSeries) {
    for (const ModelCase& test : modelCases) {
        SCOPED_TRACE(test.deviceId);
        boxes.clear();
        setText(printerData.modelName, "previous");
        printerData.language = LANG_RASTER;
        printerData.family = PREVIOUS_FAMILY;
        setDeviceId(test.deviceId);

        EXPECT_EQ(parseModel(&printerData), test.found);
        EXPECT_STREQ(printerData.modelName, test.modelName);
        EXPECT_EQ(printerData.language, test.language);
        EXPECT_EQ(printerData.family, test.family);
        EXPECT_EQ(boxes.texts(), missingKeyBoxes(test.found));
    }
}

// parseFirmwareVersion -----------------------------------------------------------------------

// No board has this number, so a board left unchanged shows.
constexpr int32_t PREVIOUS_BOARD = 9;

struct VersionCase {
    const char* deviceId;
    const char* firmwareVersion;
    int32_t boardType;
    bool keyFound;
};

static const VersionCase versionCases[] = {
    {"MDL:X;FWV:V2.02a ;CMD:G;", "V2.02a", BOARD_LOGIC_II, true},
    {"FWV:V1.05 ", "V1.05", BOARD_LOGIC_I, true},
    {"FWV:V3.04a", "V3.04a", BOARD_MZ54_STANDARD, true},
    {"FWV:V4.04a ;", "V4.04a", BOARD_MZ54_DUAL, true},
    {"FWV:V1.05;MDL:VRA G;CMD:G ", "V1.05;MDL:VRA", BOARD_LOGIC_I, true},
    {"FWV:V5.00 ;", "V5.00", PREVIOUS_BOARD, true},
    {"FWV:V0.99 ;", "V0.99", PREVIOUS_BOARD, true},
    {"FWV:V52.1;", "V52.1;", PREVIOUS_BOARD, true},
    {"FWV:Vx.yz;", "Vx.yz;", PREVIOUS_BOARD, true},
    {"FWV: V1.05;", "", PREVIOUS_BOARD, true},
    {"MDL:VRA G;FWV:", "", PREVIOUS_BOARD, true},
    {"MDL:VRA G;", "Not found", PREVIOUS_BOARD, false},
    {"fwv:V1.05;", "Not found", PREVIOUS_BOARD, false},
};

TEST_F(DeviceIdTest, FirmwareFieldGivesVersionAndItsFirstDigitTheBoard) {
    for (const VersionCase& test : versionCases) {
        SCOPED_TRACE(test.deviceId);
        boxes.clear();
        printerData.boardType = PREVIOUS_BOARD;
        setDeviceId(test.deviceId);

        parseFirmwareVersion(&printerData);
        EXPECT_STREQ(printerData.firmwareVersion, test.firmwareVersion);
        EXPECT_EQ(printerData.boardType, test.boardType);
        EXPECT_EQ(boxes.texts(), missingKeyBoxes(test.keyFound));
    }
}

// Field bounds --------------------------------------------------------------------------------

TEST_F(DeviceIdTest, LongestLocalDeviceIdFillsTheFieldsWithoutOverrun) {
    std::string value(1019, 'A');
    setDeviceId("MDL:" + value);
    EXPECT_TRUE(parseModel(&printerData));
    EXPECT_EQ(std::string(printerData.modelName), value);

    setDeviceId("FWV:" + value);
    parseFirmwareVersion(&printerData);
    EXPECT_EQ(std::string(printerData.firmwareVersion), value);
}

TEST_F(DeviceIdTest, DeviceIdWithoutTerminatorIsReadOnlyToTheEndOfItsField) {
    // The bytes after the field must never become part of a parsed value.
    memcpy(printerData.deviceId, "MDL:", 4);
    memset(printerData.deviceId + 4, 'x', sizeof printerData.deviceId - 4);
    memcpy(&printerData.portType, "GVRA", 4);

    EXPECT_TRUE(parseModel(&printerData));
    EXPECT_EQ(std::string(printerData.modelName), std::string(1020, 'x'));
    EXPECT_EQ(printerData.language, LANG_HRM);
    EXPECT_EQ(printerData.family, FAMILY_OTHER);

    memcpy(printerData.deviceId, "FWV:", 4);
    printerData.boardType = BOARD_LOGIC_II;
    parseFirmwareVersion(&printerData);
    EXPECT_EQ(std::string(printerData.firmwareVersion), std::string(1020, 'x'));
    EXPECT_EQ(printerData.boardType, BOARD_LOGIC_II);
}

// setPortLabel --------------------------------------------------------------------------------

TEST_F(DeviceIdTest, PortLabelFollowsTheActiveConnection) {
    const struct {
        int32_t connection;
        const char* label;
    } cases[] = {
        {PORT_TYPE_USB, "USB"},
        {PORT_TYPE_PARALLEL, "PARALLEL"},
        {PORT_TYPE_SERIAL, "SERIAL"},
        {PORT_TYPE_ETHERNET, "ETHERNET"},
        {PORT_TYPE_NONE, "USB"},
        {-1, "USB"},
        {99, "USB"},
    };
    for (const auto& test : cases) {
        setText(printerData.portName, "previous port label");
        activeConnection = test.connection;
        setPortLabel(&printerData);
        EXPECT_STREQ(printerData.portName, test.label) << test.connection;
    }
}

// GetPrinterID --------------------------------------------------------------------------------

struct DeviceIdReadCase {
    std::vector<uint8_t> reply;
    std::string deviceId;
};

TEST_F(DeviceIdTest, ReadCopiesTheReplyUpToCountNulOrFieldEnd) {
    const DeviceIdReadCase cases[] = {
        {bytes("MFG:Maker;MDL:VRA G;FWV:V2.02 ;"), "MFG:Maker;MDL:VRA G;FWV:V2.02 ;"},
        {bytes("MDL:A\0MDL:B;", 12), "MDL:A"},
        {bytes("ABC"), "ABC"},
        {{}, ""},
        {std::vector<uint8_t>(1024, 'x'), std::string(1023, 'x')},
    };
    for (const DeviceIdReadCase& test : cases) {
        SCOPED_TRACE(test.deviceId.size());
        setText(printerData.deviceId, "an older and much longer device id of the previous printer");
        kernel.clearWaits();
        ScriptedChannel channel({{CHANNEL_STEP_DEVICE_ID, test.reply}});

        EXPECT_TRUE(GetPrinterID(ScriptedChannel::HANDLE, &printerData));
        EXPECT_EQ(std::string(printerData.deviceId), test.deviceId);
        ASSERT_EQ(channel.calls().size(), 1u);
        EXPECT_EQ(channel.calls()[0].size, 1024u);
        EXPECT_EQ(kernel.waits(), std::vector<uint32_t>{250});
        EXPECT_TRUE(boxes.shown().empty());
    }
}

TEST_F(DeviceIdTest, FailedReadShowsTheErrorAndKeepsTheDeviceId) {
    const struct {
        PlatformError error;
        const char* message;
    } cases[] = {
        {50, "GetPrinterID - Error = 50, IOCTL = 16000C"},
        {1167, "GetPrinterID - Error = 1167, IOCTL = 16000C"},
        {25, "GetPrinterID - Error = 25, IOCTL = 16000C"},
    };
    for (const auto& test : cases) {
        boxes.clear();
        kernel.clearWaits();
        setText(printerData.deviceId, "MDL:VRA G;");
        ScriptedChannel channel({{CHANNEL_STEP_DEVICE_ID, {}, false, test.error}});

        EXPECT_FALSE(GetPrinterID(ScriptedChannel::HANDLE, &printerData));
        EXPECT_STREQ(printerData.deviceId, "MDL:VRA G;");
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].text, test.message);
        EXPECT_FALSE(boxes.shown()[0].hasCaption);
        EXPECT_EQ(boxes.shown()[0].buttons, MESSAGE_BOX_OK);
        EXPECT_TRUE(kernel.waits().empty());
    }
}

TEST_F(DeviceIdTest, EmptyDeviceIdShowsBothMissingKeyBoxes) {
    setText(printerData.modelName, "VRA G");
    printerData.family = FAMILY_VRA;
    printerData.language = LANG_G;
    printerData.boardType = BOARD_LOGIC_II;
    ScriptedChannel channel({{CHANNEL_STEP_DEVICE_ID, std::vector<uint8_t>{}}});

    ASSERT_TRUE(GetPrinterID(ScriptedChannel::HANDLE, &printerData));
    EXPECT_FALSE(parseModel(&printerData));
    setPortLabel(&printerData);
    parseFirmwareVersion(&printerData);

    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{MISSING_KEY, MISSING_KEY}));
    EXPECT_STREQ(printerData.firmwareVersion, "Not found");
    EXPECT_EQ(printerData.language, LANG_HRM);
    EXPECT_STREQ(printerData.modelName, "VRA G");
    EXPECT_EQ(printerData.family, FAMILY_VRA);
    EXPECT_EQ(printerData.boardType, BOARD_LOGIC_II);
    EXPECT_STREQ(printerData.portName, "USB");
}
