#include "connection/spooler_ports.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"

#include <cstdlib>
#include <cstring>
#include <cups/cups.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// A scheduler of our own (tests/cupsd/cupsd-fixture): configuration, spool, state and logs
// under a temporary folder, a domain socket to talk to, stopped by its pid at the end.
class CupsScheduler {
  public:
    bool start() {
        char pattern[] = "/tmp/ticketflash-cups-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            return false;
        }
        root_ = pattern;
        socket_ = (root_ / "cups.sock").string();
        // Every CUPS request of this program goes to this scheduler, never to the machine's.
        setenv("CUPS_SERVER", socket_.c_str(), 1);
        running_ = fixture("start") == 0;
        return running_;
    }

    void stop() {
        if (!root_.empty()) {
            fixture("stop");
            running_ = false;
        }
    }

    bool running() const { return running_; }
    const std::string& socket() const { return socket_; }
    const fs::path& root() const { return root_; }

  private:
    int fixture(const char* action) {
        std::string command = std::string("'") + TICKETFLASH_CUPSD_FIXTURE + "' " + action + " '" +
                              root_.string() + "'";
        return std::system(command.c_str());
    }

    fs::path root_;
    std::string socket_;
    bool running_ = false;
};

static CupsScheduler scheduler;

static ipp_t* queueRequest(ipp_op_t operation, const std::string& name) {
    ipp_t* request = ippNewRequest(operation);
    std::string uri = "ipp://localhost/printers/" + name;
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    return request;
}

static bool addQueue(const std::string& name, const std::string& deviceUri) {
    ipp_t* request = queueRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, name);
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, deviceUri.c_str());
    ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/admin/"));
    return cupsLastError() <= IPP_STATUS_OK_CONFLICTING;
}

static void deleteQueue(const std::string& name) {
    ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT, queueRequest(IPP_OP_CUPS_DELETE_PRINTER, name),
                            "/admin/"));
}

// Every queue of the scheduler with its device URI, read back through CUPS.
static std::map<std::string, std::string> deviceUris() {
    std::map<std::string, std::string> uris;
    ipp_t* response =
        cupsDoRequest(CUPS_HTTP_DEFAULT, ippNewRequest(IPP_OP_CUPS_GET_PRINTERS), "/");
    std::string name;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute != nullptr;
         attribute = ippNextAttribute(response)) {
        const char* attributeName = ippGetName(attribute);
        if (attributeName == nullptr) {
            continue;
        }
        if (strcmp(attributeName, "printer-name") == 0) {
            name = ippGetString(attribute, 0, nullptr);
        } else if (strcmp(attributeName, "device-uri") == 0) {
            uris[name] = ippGetString(attribute, 0, nullptr);
        }
    }
    ippDelete(response);
    return uris;
}

// The CUPS spooler service with every call counted, and a hook after each enumeration.
struct SpoolerCalls {
    static const SpoolerService* real;
    static int count;
    static int enumerations;
    static void (*afterEnumeration)(int number);

    static bool enumerate(uint8_t* block, uint32_t size, uint32_t* needed, uint32_t* count_,
                          PlatformError* error) {
        ++count;
        bool listed = real->enumerate(block, size, needed, count_, error);
        if (afterEnumeration != nullptr) {
            afterEnumeration(++enumerations);
        }
        return listed;
    }
    static bool open(const char* name, SpoolerPrinterHandle* printer, PlatformError* error) {
        ++count;
        return real->open(name, printer, error);
    }
    static bool set(SpoolerPrinterHandle printer, const PrinterPortEntry* record,
                    PlatformError* error) {
        ++count;
        return real->set(printer, record, error);
    }
    static void close(SpoolerPrinterHandle printer) {
        ++count;
        real->close(printer);
    }
};
const SpoolerService* SpoolerCalls::real = nullptr;
int SpoolerCalls::count = 0;
int SpoolerCalls::enumerations = 0;
void (*SpoolerCalls::afterEnumeration)(int) = nullptr;

static SpoolerService countedSpooler;

class CupsEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { ASSERT_TRUE(scheduler.start()) << "cupsd did not start"; }
    void TearDown() override { scheduler.stop(); }
};

static ::testing::Environment* const cupsEnvironment =
    ::testing::AddGlobalTestEnvironment(new CupsEnvironment);

class CupsSpooler : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(scheduler.running());
        ASSERT_STREQ(cupsServer(), scheduler.socket().c_str());
        resetProgramState();
        SpoolerCalls::real = spoolerService;
        SpoolerCalls::count = 0;
        SpoolerCalls::enumerations = 0;
        SpoolerCalls::afterEnumeration = nullptr;
        countedSpooler = *spoolerService;
        countedSpooler.enumerate = SpoolerCalls::enumerate;
        countedSpooler.open = SpoolerCalls::open;
        countedSpooler.set = SpoolerCalls::set;
        countedSpooler.close = SpoolerCalls::close;
        spoolerService = &countedSpooler;
    }

    void TearDown() override {
        resetProgramState();
        if (SpoolerCalls::real != nullptr) {
            spoolerService = SpoolerCalls::real;
        }
        if (scheduler.running()) {
            for (const auto& queue : deviceUris()) {
                deleteQueue(queue.first);
            }
        }
    }

    void addQueues(const std::map<std::string, std::string>& queues) {
        for (const auto& queue : queues) {
            ASSERT_TRUE(addQueue(queue.first, queue.second))
                << queue.first << ": " << cupsLastErrorString();
        }
    }

    KernelDouble kernel;
    MessageBoxRecorder boxes;
};

typedef std::map<std::string, std::string> Uris;

static const char NULL_DEVICE[] = "file:/dev/null";

TEST_F(CupsSpooler, MovesParallelAndUsbQueuesToTheNullDeviceAndBack) {
    const Uris original = {{"Receipts", "parallel:/dev/lp0"},
                           {"Discard", NULL_DEVICE},
                           {"Tickets", "usb://Maker/TK54?serial=TK1903A31000420000"}};
    addQueues(original);

    ASSERT_TRUE(SetPortsToFile());

    EXPECT_EQ(
        deviceUris(),
        (Uris{{"Receipts", NULL_DEVICE}, {"Discard", NULL_DEVICE}, {"Tickets", NULL_DEVICE}}));
    EXPECT_EQ(printerCount, 3u);
    EXPECT_TRUE(kernel.logged("SetPortsToFile - Printer to file = Discard, port = FILE:"));
    EXPECT_TRUE(
        kernel.logged("SetPortsToFile - Printer to file = Receipts, port = parallel:/dev/lp0"));
    // One enumeration for the size and one for the list; open, set and close per moved queue.
    EXPECT_EQ(SpoolerCalls::count, 2 + 2 * 3);

    RestorePortsToOriginal();

    EXPECT_EQ(deviceUris(), original);
    EXPECT_TRUE(kernel.logged("RestorePortsToOriginal - Original port name FILE:"));
    EXPECT_EQ(SpoolerCalls::count, 2 + 4 * 3);
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(CupsSpooler, LowerCaseFileDevicesAreMovedAndPutBackAsTheyWere) {
    std::string archive = "file:" + (scheduler.root() / "archive.out").string();
    const Uris original = {
        {"Bare", "file:"}, {"Archive", archive}, {"Longhand", "file:///dev/null"}};
    addQueues(original);

    ASSERT_TRUE(SetPortsToFile());
    EXPECT_EQ(deviceUris(),
              (Uris{{"Bare", NULL_DEVICE}, {"Archive", NULL_DEVICE}, {"Longhand", NULL_DEVICE}}));

    RestorePortsToOriginal();
    EXPECT_EQ(deviceUris(), original);
}

TEST_F(CupsSpooler, ASecondProbeMakesNoSpoolerCall) {
    addQueues({{"Receipts", "parallel:/dev/lp1"}});
    ASSERT_TRUE(SetPortsToFile());
    int calls = SpoolerCalls::count;

    EXPECT_TRUE(SetPortsToFile());

    EXPECT_EQ(SpoolerCalls::count, calls);
    EXPECT_TRUE(kernel.logged("SetPortsToFile - Returning because ports already moved"));
}

TEST_F(CupsSpooler, WithNoQueueTheMessageComesOnceAndTheExitMakesNoCall) {
    ASSERT_TRUE(deviceUris().empty());

    EXPECT_TRUE(SetPortsToFile());
    EXPECT_TRUE(SetPortsToFile());
    RestorePortsToOriginal();

    EXPECT_EQ(boxes.texts(),
              std::vector<std::string>{"EnumeratePrinters - No printer driver installed"});
    EXPECT_EQ(SpoolerCalls::count, 1);
}

// A queue deleted by someone else while the program holds the list cannot be opened.
static void deleteVanishingAfterTheList(int enumeration) {
    if (enumeration == 2) {
        deleteQueue("Vanishing");
    }
}

TEST_F(CupsSpooler, AQueueThatCannotBeSetIsReportedAtTheMoveAndAtTheExit) {
    const Uris original = {{"Receipts", "parallel:/dev/lp0"}, {"Vanishing", "usb://Maker/TK54"}};
    addQueues(original);
    SpoolerCalls::afterEnumeration = deleteVanishingAfterTheList;
    const std::vector<std::string> messages = {
        "SetPortToFile - Could not open printer Vanishing, (Win7 ignore)",
        "SetPrinter - Vanishing failed, (Win7 ignore)"};

    ASSERT_TRUE(SetPortsToFile());

    EXPECT_EQ(boxes.texts(), messages);
    EXPECT_EQ(deviceUris(), (Uris{{"Receipts", NULL_DEVICE}}));

    boxes.clear();
    RestorePortsToOriginal();

    EXPECT_EQ(boxes.texts(), messages);
    EXPECT_EQ(deviceUris(), (Uris{{"Receipts", "parallel:/dev/lp0"}})) << "nothing recreated";
}
