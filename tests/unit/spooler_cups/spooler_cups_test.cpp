#include "connection/spooler_ports.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cups/cups.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

// A scheduler of our own: configuration, spool, state and logs under a temporary folder, a
// domain socket to talk to, and fake backends for the parallel and USB device URIs.
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
        writeConfiguration();
        pid_ = fork();
        if (pid_ == 0) {
            std::string conf = (root_ / "etc/cupsd.conf").string();
            std::string files = (root_ / "etc/cups-files.conf").string();
            std::string output = (root_ / "log/cupsd.out").string();
            freopen(output.c_str(), "w", stdout);
            freopen(output.c_str(), "a", stderr);
            execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid_ > 0 && waitUntilAnswering();
    }

    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (!root_.empty()) {
            fs::remove_all(root_);
        }
    }

    bool running() const { return pid_ > 0; }
    const std::string& socket() const { return socket_; }
    const fs::path& root() const { return root_; }

  private:
    void writeConfiguration() {
        for (const char* folder : {"etc", "spool", "tmp", "cache", "state", "log", "bin/backend"}) {
            fs::create_directories(root_ / folder);
        }
        for (const char* backend : {"parallel", "usb"}) {
            fs::path path = root_ / "bin/backend" / backend;
            std::ofstream(path) << "#!/bin/sh\nexit 0\n";
            fs::permissions(path, fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
        }
        std::ofstream(root_ / "etc/cupsd.conf")
            << "LogLevel warn\n"
            << "Listen " << socket_ << "\n"
            << "Browsing No\nWebInterface No\nDefaultAuthType None\n"
            << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
            << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
        // cupsd runs as root but will not run its helpers as root.
        std::ofstream(root_ / "etc/cups-files.conf")
            << "User lp\nGroup lp\nSystemGroup root\n"
            << "ServerRoot " << (root_ / "etc").string() << "\n"
            << "ServerBin " << (root_ / "bin").string() << "\n"
            << "RequestRoot " << (root_ / "spool").string() << "\n"
            << "TempDir " << (root_ / "tmp").string() << "\n"
            << "CacheDir " << (root_ / "cache").string() << "\n"
            << "StateDir " << (root_ / "state").string() << "\n"
            << "DataDir /usr/share/cups\n"
            << "AccessLog " << (root_ / "log/access_log").string() << "\n"
            << "ErrorLog " << (root_ / "log/error_log").string() << "\n"
            << "PageLog " << (root_ / "log/page_log").string() << "\n"
            << "Printcap " << (root_ / "printcap").string() << "\n"
            << "FileDevice Yes\nCreateSelfSignedCerts no\n";
    }

    // Waits (at most ten seconds) until the scheduler answers a request.
    bool waitUntilAnswering() {
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            if (fs::exists(socket_)) {
                ipp_t* response =
                    cupsDoRequest(CUPS_HTTP_DEFAULT, ippNewRequest(IPP_OP_CUPS_GET_PRINTERS), "/");
                ippDelete(response);
                if (response != nullptr || cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) {
                    return true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    fs::path root_;
    std::string socket_;
    pid_t pid_ = -1;
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
