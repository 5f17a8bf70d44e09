// The spooler ports over a CUPS scheduler of the test's own: queues held, not pointed
// elsewhere, so that jobs wait; put back exactly as they were; the journal on disk meanwhile.
#include "connection/port_recovery.h"
#include "connection/spooler_ports.h"
#include "tests/doubles/kernel_double.h"
#include "tests/doubles/message_box_recorder.h"
#include "tests/doubles/program_state.h"
#include "tests/support/cups_queues.h"

#include <chrono>
#include <cstdlib>
#include <cups/cups.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

static CupsScheduler scheduler;
static std::string journalFolder;

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
    void SetUp() override {
        char pattern[] = "/tmp/ticketflash-cups-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        journalFolder = std::string(pattern) + "-journal";
        setenv("TICKETFLASH_STATE_DIR", journalFolder.c_str(), 1);
        ASSERT_TRUE(scheduler.start(pattern)) << "cupsd did not start";
    }
    void TearDown() override {
        scheduler.stop();
        fs::remove_all(journalFolder);
    }
};

static ::testing::Environment* const cupsEnvironment =
    ::testing::AddGlobalTestEnvironment(new CupsEnvironment);

typedef std::map<std::string, QueueLook> Looks;

static std::string journalText() {
    std::ifstream file(journalFolder + "/spooler-ports.journal");
    std::stringstream text;
    text << file.rdbuf();
    return file ? text.str() : "";
}

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
            for (const auto& queue : lookAtQueues()) {
                deleteQueue(queue.first);
            }
        }
        fs::remove_all(journalFolder);
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

static const char NULL_DEVICE[] = "file:/dev/null";
static const char USB_DEVICE[] = "usb://Maker/TK54?serial=TK1903A31000420000";

// The queues of a box office, each in a state of its own.
static void addBoxOfficeQueues() {
    ASSERT_TRUE(addQueue("Receipts", "parallel:/dev/lp0"));
    ASSERT_TRUE(addQueue("Tickets", USB_DEVICE));
    ASSERT_TRUE(setStateMessage("Tickets", "Ready for the evening show"));
    ASSERT_TRUE(addQueue("Refusing", "usb://Maker/TK54?serial=2"));
    ASSERT_TRUE(rejectJobs("Refusing"));
    ASSERT_TRUE(addQueue("Stopped", "usb://Maker/TK54?serial=3"));
    ASSERT_TRUE(stopQueue("Stopped", "Out of paper, says Anna"));
    ASSERT_TRUE(addQueue("Discard", NULL_DEVICE));
}

TEST_F(CupsSpooler, HoldsEveryRunningQueueAndPutsEachBackExactlyAsItWas) {
    addBoxOfficeQueues();
    const Looks original = lookAtQueues();
    ASSERT_EQ(original.size(), 5u);

    ASSERT_TRUE(SetPortsToFile());

    Looks held = lookAtQueues();
    for (const char* name : {"Receipts", "Tickets", "Refusing"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(held[name].deviceUri, original.at(name).deviceUri) << "the device is kept";
        EXPECT_EQ(held[name].state, IPP_PSTATE_STOPPED);
        EXPECT_EQ(held[name].stateMessage, SPOOLER_HOLD_MESSAGE);
        EXPECT_EQ(held[name].accepting, original.at(name).accepting);
    }
    EXPECT_EQ(held["Stopped"], original.at("Stopped")) << "already stopped: left alone";
    EXPECT_EQ(held["Discard"], original.at("Discard"));
    EXPECT_EQ(journalText(), "ticketflash spooler journal 1\n"
                             "printer Receipts \n"
                             "printer Refusing Rejecting%20Jobs\n"
                             "printer Tickets Ready%20for%20the%20evening%20show\n"
                             "end 3\n");
    EXPECT_TRUE(
        kernel.logged("SetPortsToFile - Printer to file = Receipts, port = parallel:/dev/lp0"));
    EXPECT_TRUE(kernel.logged("SetPortsToFile - Printer to file = Discard, port = FILE:"));

    RestorePortsToOriginal();

    EXPECT_EQ(lookAtQueues(), original) << describeQueues(lookAtQueues());
    EXPECT_FALSE(fs::exists(journalFolder + "/spooler-ports.journal"));
    EXPECT_TRUE(boxes.texts().empty());
}

// A run killed while the queues are held: the next start puts them back from the journal.
TEST_F(CupsSpooler, TheJournalOfARunThatDidNotEndPutsTheQueuesBack) {
    addBoxOfficeQueues();
    const Looks original = lookAtQueues();
    ASSERT_TRUE(SetPortsToFile());
    resetProgramState(); // the run ends without its exit sequence

    EXPECT_EQ(RestorePortsFromJournal(), PORT_RECOVERY_RESTORED);

    EXPECT_EQ(lookAtQueues(), original) << describeQueues(lookAtQueues());
    EXPECT_FALSE(fs::exists(journalFolder + "/spooler-ports.journal"));
    EXPECT_EQ(RestorePortsFromJournal(), PORT_RECOVERY_NOTHING_LEFT);
}

static bool waitForJobState(int job, int state) {
    for (int waited = 0; waited < 15000; waited += 100) {
        if (jobState(job) == state) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST_F(CupsSpooler, AJobSubmittedWhileTheQueueIsHeldWaitsAndPrintsOnItsOwnDeviceAfter) {
    addQueues({{"Tickets", USB_DEVICE}});
    ASSERT_TRUE(SetPortsToFile());

    int job = submitJob("Tickets");
    ASSERT_GT(job, 0) << cupsLastErrorString();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(jobState(job), IPP_JSTATE_PENDING) << "the job did not wait";

    RestorePortsToOriginal();

    EXPECT_TRUE(waitForJobState(job, IPP_JSTATE_COMPLETED)) << "state " << jobState(job);
    EXPECT_EQ(lookAtQueues()["Tickets"].deviceUri, USB_DEVICE);
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
    ASSERT_TRUE(lookAtQueues().empty());

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

TEST_F(CupsSpooler, AQueueThatCannotBeHeldIsReportedAndLeftOutOfTheJournal) {
    addQueues({{"Receipts", "parallel:/dev/lp0"}, {"Vanishing", "usb://Maker/TK54"}});
    SpoolerCalls::afterEnumeration = deleteVanishingAfterTheList;
    const std::vector<std::string> messages = {
        "SetPortToFile - Could not open printer Vanishing, (Win7 ignore)",
        "SetPrinter - Vanishing failed, (Win7 ignore)"};

    ASSERT_TRUE(SetPortsToFile());

    EXPECT_EQ(boxes.texts(), messages);
    EXPECT_EQ(lookAtQueues()["Receipts"].state, IPP_PSTATE_STOPPED);
    EXPECT_EQ(journalText(), "ticketflash spooler journal 1\nprinter Receipts \nend 1\n");

    boxes.clear();
    RestorePortsToOriginal();

    EXPECT_EQ(boxes.texts(), messages);
    EXPECT_EQ(lookAtQueues().size(), 1u) << "nothing recreated";
    EXPECT_EQ(lookAtQueues()["Receipts"].state, IPP_PSTATE_IDLE);
}
