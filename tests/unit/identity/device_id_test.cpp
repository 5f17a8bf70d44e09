#include "identity/device_id.h"
#include "tests/doubles/program_state.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

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
        setText(printerData.modelName, "previous");
        printerData.language = LANG_RASTER;
        printerData.family = PREVIOUS_FAMILY;
        setDeviceId(test.deviceId);

        EXPECT_EQ(parseModel(&printerData), test.found);
        EXPECT_STREQ(printerData.modelName, test.modelName);
        EXPECT_EQ(printerData.language, test.language);
        EXPECT_EQ(printerData.family, test.family);
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
        printerData.boardType = PREVIOUS_BOARD;
        setDeviceId(test.deviceId);

        EXPECT_EQ(parseFirmwareVersion(&printerData), test.keyFound);
        EXPECT_STREQ(printerData.firmwareVersion, test.firmwareVersion);
        EXPECT_EQ(printerData.boardType, test.boardType);
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

TEST_F(DeviceIdTest, FamilyIsNamedAsTheModelParserClassifiesIt) {
    EXPECT_TRUE(deviceIdNamesFamily("MFG:SIM;MDL:VRE G;FWV:V1.00;"));
    EXPECT_TRUE(deviceIdNamesFamily("MDL:Acme;CMD:VRK-54;"));
    EXPECT_FALSE(deviceIdNamesFamily("MFG:Other;MDL:Laser 5;CMD:VRA;"));
    EXPECT_FALSE(deviceIdNamesFamily("MFG:SIM;CMD:G;"));
}

// setPrinterRoute: the route's three faces are set together.
TEST_F(DeviceIdTest, RouteSetsTheConnectionThePortTypeAndTheLabelTogether) {
    setPrinterRoute(&printerData, PORT_TYPE_ETHERNET);
    EXPECT_EQ(activeConnection, PORT_TYPE_ETHERNET);
    EXPECT_EQ(printerData.portType, PORT_TYPE_ETHERNET);
    EXPECT_STREQ(printerData.portName, "ETHERNET");
    setPrinterRoute(&printerData, PORT_TYPE_NONE);
    EXPECT_EQ(activeConnection, PORT_TYPE_NONE);
    EXPECT_EQ(printerData.portType, PORT_TYPE_NONE);
    EXPECT_STREQ(printerData.portName, "");
}

// versionRunsImage ------------------------------------------------------------------------------

struct ImageVersionCase {
    const char* version;
    const char* label;
    bool runs;
};

class ImageVersion : public testing::TestWithParam<ImageVersionCase> {};

TEST_P(ImageVersion, IsTheVersionTheProbeRead) {
    EXPECT_EQ(versionRunsImage(GetParam().version, GetParam().label), GetParam().runs)
        << GetParam().version << " / " << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(Versions, ImageVersion,
                         testing::Values(ImageVersionCase{"V1.12", "V1.12", true},
                                         ImageVersionCase{"V1.12;", "V1.12", true},
                                         ImageVersionCase{"V1.12;CLS:PRINTER;", "V1.12", true},
                                         ImageVersionCase{"V1.00;", "V1.12", false},
                                         ImageVersionCase{"V2.01b;", "V2.01", false},
                                         ImageVersionCase{"V2.06a", "V2.06", false},
                                         ImageVersionCase{"V1.121", "V1.12", false},
                                         ImageVersionCase{"XV1.12", "V1.12", false},
                                         ImageVersionCase{"v1.12", "V1.12", false},
                                         ImageVersionCase{"CORRUPT;", "V1.12", false},
                                         ImageVersionCase{"", "V1.12", false},
                                         ImageVersionCase{"V1.12", "", false}));
