#include "connection/local_discovery.h"
#include "platform/local_channel.h"
#include "platform/posix/local_channel_paths.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace fs = std::filesystem;

static const char VENDOR[] = "2c9a";
static const char PRODUCT[] = "0141";

static void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

static std::string readText(const fs::path& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The serial number that a row of the table names.
static std::string tableSerial(int row) {
    return std::string(UsbDeviceTable[row].devicePath).substr(26, 18);
}

// A sysfs and /dev tree laid out as the kernel lays out usblp printers: the class entry is a
// link into the device tree, and its device link points at the printer interface, whose
// parent directory holds the USB device's attributes.
class DeviceTree : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ticketflash-devices-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "sys/class/usbmisc");
        fs::create_directories(root_ / "dev/usb");
        setLocalChannelRoots((root_ / "sys").c_str(), (root_ / "dev").c_str());
    }
    void TearDown() override {
        setLocalChannelRoots("/sys", "/dev");
        fs::remove_all(root_);
    }

    // The device id, when given, is the one the driver keeps on the printer interface.
    void attachUsb(const std::string& node, const std::string& port, const std::string& vendor,
                   const std::string& product, const std::string& serial,
                   const std::string& deviceId = "") {
        fs::path device = root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1" / port;
        fs::path interface = device / (port + ":1.0");
        fs::path classNode = interface / "usbmisc" / node;
        fs::create_directories(classNode);
        writeText(device / "idVendor", vendor + "\n");
        writeText(device / "idProduct", product + "\n");
        writeText(device / "serial", serial + "\n");
        if (!deviceId.empty()) {
            writeText(interface / "ieee1284_id", deviceId + "\n");
        }
        fs::create_directory_symlink("../../../" + port + ":1.0", classNode / "device");
        fs::create_directory_symlink(fs::relative(classNode, root_ / "sys/class/usbmisc"),
                                     root_ / "sys/class/usbmisc" / node);
        writeText(root_ / "dev/usb" / node, "");
    }

    std::string resolve(const char* path) {
        char resolved[4096] = "";
        return resolveLocalChannelPath(path, resolved, sizeof resolved) ? resolved : "(none)";
    }

    fs::path root_;
};

TEST_F(DeviceTree, AUsbDevicePathResolvesToTheUsblpNodeWithItsSerial) {
    attachUsb("lp0", "1-1", VENDOR, PRODUCT, tableSerial(0));
    attachUsb("lp1", "1-2", VENDOR, PRODUCT, tableSerial(4));
    EXPECT_EQ(resolve(UsbDeviceTable[4].devicePath), (root_ / "dev/usb/lp1").string());
    EXPECT_EQ(resolve(UsbDeviceTable[0].devicePath), (root_ / "dev/usb/lp0").string());
}

struct UsbMatchCase {
    const char* name;
    const char* vendor;
    const char* product;
    bool serialFromTable;
    bool matches;
};

class UsbMatch : public DeviceTree, public ::testing::WithParamInterface<UsbMatchCase> {};

TEST_P(UsbMatch, NeedsVendorProductAndSerialAlike) {
    const UsbMatchCase& c = GetParam();
    attachUsb("lp3", "2-4", c.vendor, c.product,
              c.serialFromTable ? tableSerial(7) : "TK2212A99990000001");
    std::string expected = c.matches ? (root_ / "dev/usb/lp3").string() : "(none)";
    EXPECT_EQ(resolve(UsbDeviceTable[7].devicePath), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sysfs, UsbMatch,
    ::testing::Values(UsbMatchCase{"AllAlike", VENDOR, PRODUCT, true, true},
                      UsbMatchCase{"UpperCaseIds", "2C9A", "0141", true, true},
                      UsbMatchCase{"UnlistedSerial", VENDOR, PRODUCT, false, false},
                      UsbMatchCase{"OtherVendor", "2c9b", PRODUCT, true, false},
                      UsbMatchCase{"OtherProduct", VENDOR, "0142", true, false}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(DeviceTree, NoUsbPrinterClassMeansNoUsbDevice) {
    fs::remove_all(root_ / "sys/class/usbmisc");
    EXPECT_EQ(resolve(UsbDeviceTable[0].devicePath), "(none)");
}

TEST_F(DeviceTree, ParallelPortsAndOtherPathsResolve) {
    static const struct {
        const char* path;
        bool belowDev;
        const char* expected;
    } cases[] = {
        {"LPT1:", true, "lp0"},          {"LPT2:", true, "lp1"},
        {"LPT3:", true, "lp2"},          {"lpt2:", true, "lp1"},
        {"LPT4:", false, "LPT4:"},       {"LPT1", false, "LPT1"},
        {"/tmp/sim", false, "/tmp/sim"}, {"\\\\.\\usb#vid_2c9a", false, "\\\\.\\usb#vid_2c9a"},
    };
    for (const auto& c : cases) {
        std::string expected = c.belowDev ? (root_ / "dev" / c.expected).string() : c.expected;
        EXPECT_EQ(resolve(c.path), expected) << c.path;
    }
}

class OpenChannel : public DeviceTree {
  protected:
    void SetUp() override {
        DeviceTree::SetUp();
        attachUsb("lp0", "1-1", VENDOR, PRODUCT, tableSerial(2));
        for (const char* node : {"lp0", "lp1", "lp2"}) {
            writeText(root_ / "dev" / node, "");
        }
    }
    void TearDown() override {
        for (ChannelHandle handle : opened_) {
            localChannelService->close(handle);
        }
        DeviceTree::TearDown();
    }

    ChannelHandle open(const char* path, ChannelSharing sharing, PlatformError* error = nullptr) {
        ChannelHandle handle = localChannelService->open(path, sharing, error);
        if (handle != INVALID_CHANNEL_HANDLE) {
            opened_.push_back(handle);
        }
        return handle;
    }

    std::vector<ChannelHandle> opened_;
};

TEST_F(OpenChannel, WritesReachTheResolvedNode) {
    ChannelHandle usb = open(UsbDeviceTable[2].devicePath, CHANNEL_SHARED);
    ChannelHandle lpt = open("LPT3:", CHANNEL_SHARED);
    ASSERT_NE(usb, INVALID_CHANNEL_HANDLE);
    ASSERT_NE(lpt, INVALID_CHANNEL_HANDLE);
    uint32_t written = 0;
    EXPECT_TRUE(localChannelService->write(usb, reinterpret_cast<const uint8_t*>("usb"), 3,
                                           &written, nullptr));
    EXPECT_TRUE(localChannelService->write(lpt, reinterpret_cast<const uint8_t*>("lpt"), 3,
                                           &written, nullptr));
    EXPECT_EQ(readText(root_ / "dev/usb/lp0"), "usb");
    EXPECT_EQ(readText(root_ / "dev/lp2"), "lpt");
}

TEST_F(OpenChannel, AnUnmatchedUsbPathFailsAsAMissingFile) {
    PlatformError error;
    EXPECT_EQ(open(UsbDeviceTable[3].devicePath, CHANNEL_SHARED, &error), INVALID_CHANNEL_HANDLE);
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_NOT_FOUND, 0}));
}

TEST_F(OpenChannel, AnExclusiveHolderKeepsEveryOtherOpenerOut) {
    static const struct {
        ChannelSharing first;
        ChannelSharing second;
        bool secondOpens;
    } cases[] = {
        {CHANNEL_EXCLUSIVE, CHANNEL_EXCLUSIVE, false},
        {CHANNEL_EXCLUSIVE, CHANNEL_SHARED, false},
        {CHANNEL_SHARED, CHANNEL_EXCLUSIVE, false},
        {CHANNEL_SHARED, CHANNEL_SHARED, true},
    };
    for (const auto& c : cases) {
        ChannelHandle first = localChannelService->open("LPT1:", c.first, nullptr);
        ASSERT_NE(first, INVALID_CHANNEL_HANDLE);
        ChannelHandle second = localChannelService->open("LPT1:", c.second, nullptr);
        EXPECT_EQ(second != INVALID_CHANNEL_HANDLE, c.secondOpens) << c.first << c.second;
        if (second != INVALID_CHANNEL_HANDLE) {
            localChannelService->close(second);
        }
        localChannelService->close(first);
    }
}

TEST_F(OpenChannel, TimeoutsReadBackAsLastSetOnTheSameHandle) {
    ChannelHandle lpt = open("LPT1:", CHANNEL_SHARED);
    ChannelHandle usb = open(UsbDeviceTable[2].devicePath, CHANNEL_SHARED);
    ChannelTimeouts timeouts = {};
    ASSERT_TRUE(localChannelService->getTimeouts(lpt, &timeouts, nullptr));
    EXPECT_EQ(timeouts.writeTotalTimeoutConstant,
              DEFAULT_CHANNEL_TIMEOUTS.writeTotalTimeoutConstant);

    ChannelTimeouts raised = {1, 2, 3, 4, 15000};
    EXPECT_TRUE(localChannelService->setTimeouts(lpt, &raised, nullptr));
    ASSERT_TRUE(localChannelService->getTimeouts(lpt, &timeouts, nullptr));
    EXPECT_EQ(timeouts.readIntervalTimeout, 1u);
    EXPECT_EQ(timeouts.writeTotalTimeoutMultiplier, 4u);
    EXPECT_EQ(timeouts.writeTotalTimeoutConstant, 15000u);
    ASSERT_TRUE(localChannelService->getTimeouts(usb, &timeouts, nullptr));
    EXPECT_EQ(timeouts.writeTotalTimeoutConstant,
              DEFAULT_CHANNEL_TIMEOUTS.writeTotalTimeoutConstant)
        << "another handle keeps its own";

    localChannelService->close(lpt);
    opened_.erase(opened_.begin());
    ChannelHandle again = open("LPT1:", CHANNEL_SHARED);
    ASSERT_TRUE(localChannelService->getTimeouts(again, &timeouts, nullptr));
    EXPECT_EQ(timeouts.writeTotalTimeoutConstant,
              DEFAULT_CHANNEL_TIMEOUTS.writeTotalTimeoutConstant)
        << "a new handle starts afresh";
}

// A printer that answers nothing and one that stops reading, as a pipe nobody empties: a read
// ends empty and a write fails once the channel's bounds have passed.
TEST_F(OpenChannel, ReadsAndWritesEndAtTheirBounds) {
    std::string fifo = (root_ / "dev" / "stalled").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ChannelHandle channel = open(fifo.c_str(), CHANNEL_SHARED);
    ASSERT_NE(channel, INVALID_CHANNEL_HANDLE);
    ChannelTimeouts bounds = DEFAULT_CHANNEL_TIMEOUTS;
    bounds.readTotalTimeoutConstant = 50;
    bounds.writeTotalTimeoutConstant = 50;
    ASSERT_TRUE(localChannelService->setTimeouts(channel, &bounds, nullptr));

    uint8_t block[512] = {};
    uint32_t count = 1;
    EXPECT_TRUE(localChannelService->read(channel, block, sizeof block, &count, nullptr));
    EXPECT_EQ(count, 0u) << "nothing came in time";

    PlatformError error;
    int written = 0;
    while (written < 1000 &&
           localChannelService->write(channel, block, sizeof block, &count, &error)) {
        ++written;
    }
    EXPECT_LT(written, 1000) << "the pipe filled and the write bound passed";
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_TIMED_OUT, 0}));
}

TEST_F(OpenChannel, TimeoutsOfAClosedHandleFail) {
    ChannelTimeouts timeouts = {};
    PlatformError error;
    EXPECT_FALSE(localChannelService->getTimeouts(987654, &timeouts, &error));
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_INVALID, 0}));
    EXPECT_FALSE(localChannelService->setTimeouts(987654, &timeouts, &error));
}

TEST_F(OpenChannel, DeviceIdRequestGoesToTheDriverOfTheChannel) {
    // A plain file has neither the usblp request nor a parport beside it.
    uint8_t buffer[1024];
    uint32_t received = 99;
    PlatformError error;
    ChannelHandle usb = open(UsbDeviceTable[2].devicePath, CHANNEL_SHARED);
    EXPECT_FALSE(
        localChannelService->requestDeviceId(usb, buffer, sizeof buffer, &received, &error));
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_NOT_SUPPORTED, ENOTTY}));
    EXPECT_EQ(received, 0u);

    ChannelHandle lpt = open("LPT2:", CHANNEL_SHARED);
    EXPECT_FALSE(
        localChannelService->requestDeviceId(lpt, buffer, sizeof buffer, &received, &error));
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_NOT_FOUND, ENOENT})) << "no parport1 node";

    writeText(root_ / "dev/parport1", "");
    EXPECT_FALSE(
        localChannelService->requestDeviceId(lpt, buffer, sizeof buffer, &received, &error));
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_NOT_SUPPORTED, ENOTTY}))
        << "parport1 is no ppdev node";
}

class DiscoveryOnDeviceTree : public DeviceTree {
  protected:
    void SetUp() override {
        DeviceTree::SetUp();
        resetProgramState();
    }
    void TearDown() override {
        if (printerHandle != INVALID_CHANNEL_HANDLE) {
            closePrinterHandle(printerHandle);
        }
        resetProgramState();
        DeviceTree::TearDown();
    }
    KernelDouble kernel;
    MessageBoxRecorder boxes;
};

TEST_F(DiscoveryOnDeviceTree, FindsAListedUnit) {
    attachUsb("lp0", "1-1", VENDOR, PRODUCT, "TK2212A99990000001");
    attachUsb("lp1", "1-3", VENDOR, PRODUCT, tableSerial(11));

    ASSERT_TRUE(GetPrinterHandle(&printerHandle, &printerData));

    EXPECT_EQ(printerData.portType, PORT_TYPE_USB);
    uint32_t written = 0;
    localChannelService->write(printerHandle, reinterpret_cast<const uint8_t*>("x"), 1, &written,
                               nullptr);
    EXPECT_EQ(readText(root_ / "dev/usb/lp1"), "x");
}

TEST_F(DiscoveryOnDeviceTree, AUnitWithAnUnlistedSerialIsNotFound) {
    attachUsb("lp0", "1-1", VENDOR, PRODUCT, "TK2212A99990000001");

    EXPECT_FALSE(GetPrinterHandle(&printerHandle, &printerData));

    EXPECT_TRUE(kernel.logged("GetPrinterHandle - USB printer NOT found"));
    EXPECT_EQ(printerData.portType, PORT_TYPE_NONE);
    EXPECT_EQ(printerHandle, INVALID_CHANNEL_HANDLE);
}

// --- the usblp devices the system lists, whatever their serial numbers ------------------------

static const char UNLISTED_SERIAL[] = "TK2212A99990000001";
static const char FAMILY_PRINTER[] = "MFG:SIM;CMD:G;MDL:VRE G;CLS:PRINTER;FWV:V1.00;";
static const char RASTER_PRINTER[] = "MFG:SIM;CMD:RASTER;MDL:VRK-54;FWV:V2.00;";
static const char OTHER_PRINTER[] = "MFG:Other;CMD:PCL;MDL:LaserPrinter 5;CLS:PRINTER;";

TEST_F(DeviceTree, ListsEveryUsblpNodeInNumberOrderWithItsDeviceId) {
    attachUsb("lp10", "1-4", VENDOR, PRODUCT, UNLISTED_SERIAL, FAMILY_PRINTER);
    attachUsb("lp2", "1-2", "03f0", "0517", "X1", OTHER_PRINTER);
    attachUsb("lp0", "1-1", VENDOR, PRODUCT, UNLISTED_SERIAL); // no device id kept
    writeText(root_ / "dev/usb/hiddev0", "");
    ListedPrinterDevice devices[4];

    ASSERT_EQ(localChannelService->listPrinterDevices(devices, 4), 3u);

    const char* const nodes[] = {"lp0", "lp2", "lp10"};
    const char* const ids[] = {"", OTHER_PRINTER, FAMILY_PRINTER};
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(devices[index].path, (root_ / "dev/usb" / nodes[index]).string());
        EXPECT_STREQ(devices[index].deviceId, ids[index]);
    }
    EXPECT_EQ(localChannelService->listPrinterDevices(devices, 2), 2u);
}

TEST_F(DeviceTree, NoUsbFolderListsNothing) {
    fs::remove_all(root_ / "dev/usb");
    ListedPrinterDevice devices[2];
    EXPECT_EQ(localChannelService->listPrinterDevices(devices, 2), 0u);
}

struct ListedPrinterCase {
    const char* name;
    std::vector<const char*> deviceIds; // of lp0, lp1, ... in turn
    const char* picked;                 // below the tree's root, or null
    const char* found;                  // the node written to, or null for none
    bool several;                       // none taken because several are attached
    bool parallelTried;                 // the search went on to the parallel ports
};

class ListedPrinters : public DiscoveryOnDeviceTree,
                       public ::testing::WithParamInterface<ListedPrinterCase> {};

TEST_P(ListedPrinters, TheOnlyOneOfTheFamilyOrThePickedOneIsTaken) {
    const ListedPrinterCase& c = GetParam();
    for (size_t index = 0; index < c.deviceIds.size(); ++index) {
        std::string node = "lp" + std::to_string(index);
        attachUsb(node, "1-" + std::to_string(index + 1), VENDOR, PRODUCT, UNLISTED_SERIAL,
                  c.deviceIds[index]);
    }
    std::string picked = c.picked != nullptr ? (root_ / c.picked).string() : "";
    pickedUsbDevice = c.picked != nullptr ? picked.c_str() : nullptr;

    bool found = GetPrinterHandle(&printerHandle, &printerData);

    EXPECT_EQ(found, c.found != nullptr);
    EXPECT_EQ(severalUsbPrintersUnpicked(), c.several);
    EXPECT_EQ(kernel.logged("GetPrinterHandle - Before trying parallel printer"), c.parallelTried);
    if (c.found == nullptr) {
        EXPECT_EQ(printerData.portType, PORT_TYPE_NONE);
        return;
    }
    EXPECT_EQ(printerData.portType, PORT_TYPE_USB);
    uint32_t written = 0;
    localChannelService->write(printerHandle, reinterpret_cast<const uint8_t*>("x"), 1, &written,
                               nullptr);
    EXPECT_EQ(readText(root_ / c.found), "x");
}

INSTANTIATE_TEST_SUITE_P(
    Usblp, ListedPrinters,
    ::testing::Values(
        ListedPrinterCase{"OneOfTheFamily",
                          {OTHER_PRINTER, FAMILY_PRINTER},
                          nullptr,
                          "dev/usb/lp1",
                          false,
                          false},
        ListedPrinterCase{"ARasterPrinter", {RASTER_PRINTER}, nullptr, "dev/usb/lp0", false, false},
        ListedPrinterCase{"OtherPrintersOnly", {OTHER_PRINTER, ""}, nullptr, nullptr, false, true},
        ListedPrinterCase{"SeveralOfTheFamily",
                          {FAMILY_PRINTER, OTHER_PRINTER, RASTER_PRINTER},
                          nullptr,
                          nullptr,
                          true,
                          false},
        ListedPrinterCase{"SeveralOnePicked",
                          {FAMILY_PRINTER, RASTER_PRINTER},
                          "dev/usb/lp1",
                          "dev/usb/lp1",
                          false,
                          false},
        ListedPrinterCase{
            "APickedPathThatIsMissing", {FAMILY_PRINTER}, "dev/usb/lp7", nullptr, false, false}),
    [](const auto& instance) { return std::string(instance.param.name); });
