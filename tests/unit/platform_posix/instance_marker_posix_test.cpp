// The Linux backend of the single-instance marker: a lock file held with flock, in a lock
// folder of the test's own (TICKETFLASH_LOCK_DIR), seen from two opens in one process and from
// other processes that release it, end or are killed; and the lock files it refuses.
#include "app/single_instance.h"
#include "platform/kernel.h"
#include "tests/doubles/program_state.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Steps a child process takes when the parent tells it to, each answered with one byte.
enum ChildStep : char {
    CHILD_CREATE = 'c', // CreateSingleInstance
    CHILD_CLEAR = 'x',  // ClearInstanceMutex, and stay alive
};

class InstanceMarkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetProgramState();
        char pattern[] = "/tmp/ticketflash-marker-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        runtimeDirectory = pattern;
        setenv("TICKETFLASH_LOCK_DIR", runtimeDirectory.c_str(), 1);
    }

    void TearDown() override {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        unsetenv("TICKETFLASH_LOCK_DIR");
        fs::remove_all(runtimeDirectory);
    }

    MarkerHandle create(const char* name, PlatformError* error) {
        *error = {PLATFORM_ERROR_OTHER, 0xFFFF};
        return kernelService->createMarker(name, error);
    }

    // Starts a child that carries out the steps it is sent, one at a time.
    void startChild() {
        int toChild[2];
        int fromChild[2];
        ASSERT_EQ(pipe(toChild), 0);
        ASSERT_EQ(pipe(fromChild), 0);
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(toChild[1]);
            close(fromChild[0]);
            runChild(toChild[0], fromChild[1]);
        }
        close(toChild[0]);
        close(fromChild[1]);
        commands = toChild[1];
        replies = fromChild[0];
    }

    [[noreturn]] static void runChild(int commands, int replies) {
        char step;
        while (read(commands, &step, 1) == 1) {
            if (step == CHILD_CREATE) {
                CreateSingleInstance();
            } else {
                ClearInstanceMutex();
            }
            char done = IsAnotherInstanceRunning() ? '2' : '1';
            if (write(replies, &done, 1) != 1) {
                break;
            }
        }
        pause(); // stays alive, holding whatever it holds, until killed
        _exit(0);
    }

    // Sends one step and waits for the child to have carried it out.
    void childDoes(ChildStep step) {
        char reply;
        ASSERT_EQ(write(commands, &step, 1), 1);
        ASSERT_EQ(read(replies, &reply, 1), 1) << "the child ended";
    }

    void killChild() {
        kill(child, SIGKILL);
        int status;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status));
        child = 0;
    }

    std::string runtimeDirectory;
    pid_t child = 0;
    int commands = -1;
    int replies = -1;
};

TEST_F(InstanceMarkerTest, ASecondOpenSeesTheMarkerHeldUntilTheHolderReleasesIt) {
    PlatformError error;
    MarkerHandle first = create("KQ_TOOLS", &error);
    EXPECT_NE(first, NO_MARKER);
    EXPECT_FALSE(platformFailed(error));
    EXPECT_TRUE(fs::exists(runtimeDirectory + "/KQ_TOOLS.lock"));

    MarkerHandle second = create("KQ_TOOLS", &error);
    EXPECT_NE(second, NO_MARKER);
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_ALREADY_EXISTS, EWOULDBLOCK}));
    kernelService->releaseMarker(second);
    kernelService->releaseMarker(create("KQ_TOOLS", &error));
    EXPECT_EQ(error.kind, PLATFORM_ERROR_ALREADY_EXISTS)
        << "releasing a non-holder freed the marker";

    kernelService->releaseMarker(first);
    MarkerHandle third = create("KQ_TOOLS", &error);
    EXPECT_FALSE(platformFailed(error));
    kernelService->releaseMarker(third);
}

// The printers are the machine's: root's lock is the machine's, in /run/lock.
TEST_F(InstanceMarkerTest, RootsLockFileIsInRunLock) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "not root";
    }
    unsetenv("TICKETFLASH_LOCK_DIR");
    std::string name = "ticketflash-test-" + std::to_string(getpid());
    PlatformError error;
    MarkerHandle marker = create(name.c_str(), &error);
    EXPECT_FALSE(platformFailed(error));
    EXPECT_TRUE(fs::is_regular_file("/run/lock/" + name + ".lock"));
    kernelService->releaseMarker(marker);
    fs::remove("/run/lock/" + name + ".lock");
}

struct RefusedLockCase {
    const char* what;
    void (*make)(const std::string& path);
    PlatformError error;
};

// Every kind of lock file but a regular file of this user or root fails, at once: never a
// run without the lock, and never a run that waits in open().
TEST_F(InstanceMarkerTest, RefusesEveryLockFileButARegularFileOfTheUserOrRoot) {
    static const RefusedLockCase cases[] = {
        {"a FIFO",
         [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0666), 0); },
         {PLATFORM_ERROR_INVALID, 0}},
        {"a symbolic link",
         [](const std::string& path) { fs::create_symlink(path + ".elsewhere", path); },
         {PLATFORM_ERROR_INVALID, ELOOP}},
        {"a directory",
         [](const std::string& path) { fs::create_directory(path); },
         {PLATFORM_ERROR_INVALID, EISDIR}},
        {"a file of another user",
         [](const std::string& path) {
             FILE* file = fopen(path.c_str(), "w");
             ASSERT_NE(file, nullptr);
             fclose(file);
             ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0) << "needs root";
         },
         {PLATFORM_ERROR_PERMISSION_DENIED, 0}},
    };
    for (const RefusedLockCase& example : cases) {
        SCOPED_TRACE(example.what);
        std::string path = runtimeDirectory + "/KQ_TOOLS.lock";
        fs::remove_all(path);
        if (geteuid() != 0 && example.error.kind == PLATFORM_ERROR_PERMISSION_DENIED) {
            continue;
        }
        example.make(path);
        PlatformError error;
        EXPECT_EQ(create("KQ_TOOLS", &error), NO_MARKER);
        EXPECT_EQ(error, example.error);
        EXPECT_FALSE(fs::exists(path + ".elsewhere"));
        CreateSingleInstance();
        EXPECT_EQ(instanceMutex, NO_MARKER);
        EXPECT_FALSE(IsAnotherInstanceRunning());
    }
}

TEST_F(InstanceMarkerTest, ReportsAFailureToOpenTheLockFile) {
    setenv("TICKETFLASH_LOCK_DIR", (runtimeDirectory + "/missing").c_str(), 1);
    PlatformError error;
    EXPECT_EQ(create("KQ_TOOLS", &error), NO_MARKER);
    EXPECT_EQ(error, (PlatformError{PLATFORM_ERROR_NOT_FOUND, ENOENT}));
    CreateSingleInstance();
    EXPECT_FALSE(IsAnotherInstanceRunning()) << "a failed creation runs as the only instance";
}

TEST_F(InstanceMarkerTest, ASecondProcessSees183WhileTheFirstRuns) {
    startChild();
    childDoes(CHILD_CREATE);
    CreateSingleInstance();
    EXPECT_EQ(m_dwLastError, 183u);
    EXPECT_TRUE(IsAnotherInstanceRunning());
}

TEST_F(InstanceMarkerTest, ANewInstanceStartsOnceTheFirstReleasedTheMarkerThoughItStillRuns) {
    startChild();
    childDoes(CHILD_CREATE);
    childDoes(CHILD_CLEAR);
    CreateSingleInstance();
    EXPECT_EQ(m_dwLastError, 0u);
    EXPECT_FALSE(IsAnotherInstanceRunning());
}

TEST_F(InstanceMarkerTest, ANewInstanceStartsAfterTheFirstWasKilled) {
    startChild();
    childDoes(CHILD_CREATE);
    CreateSingleInstance();
    ASSERT_TRUE(IsAnotherInstanceRunning());
    ClearInstanceMutex();

    killChild();
    CreateSingleInstance();
    EXPECT_EQ(m_dwLastError, 0u);
    EXPECT_FALSE(IsAnotherInstanceRunning());
}

TEST_F(InstanceMarkerTest, AnInstanceStartedFirstKeepsLaterOnesOut) {
    CreateSingleInstance();
    ASSERT_FALSE(IsAnotherInstanceRunning());
    startChild();
    char reply;
    char step = CHILD_CREATE;
    ASSERT_EQ(write(commands, &step, 1), 1);
    ASSERT_EQ(read(replies, &reply, 1), 1);
    EXPECT_EQ(reply, '2') << "the child did not see this process's marker";
}

} // namespace
