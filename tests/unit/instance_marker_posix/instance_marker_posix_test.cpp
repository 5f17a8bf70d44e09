// The Linux backend of the single-instance marker: a lock file held with flock, in a runtime
// directory of the test's own, seen from two opens in one process and from other processes
// that release it, end or are killed.
#include "app/single_instance.h"
#include "platform/kernel.h"
#include "tests/doubles/program_state.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
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
        const char* previous = getenv("XDG_RUNTIME_DIR");
        hadRuntimeDirectory = previous != nullptr;
        previousRuntimeDirectory = previous != nullptr ? previous : "";
        setenv("XDG_RUNTIME_DIR", runtimeDirectory.c_str(), 1);
    }

    void TearDown() override {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (hadRuntimeDirectory) {
            setenv("XDG_RUNTIME_DIR", previousRuntimeDirectory.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        fs::remove_all(runtimeDirectory);
    }

    MarkerHandle create(const char* name, PlatformError* error) {
        *error = 0xFFFF;
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
    bool hadRuntimeDirectory = false;
    std::string previousRuntimeDirectory;
    pid_t child = 0;
    int commands = -1;
    int replies = -1;
};

TEST_F(InstanceMarkerTest, ASecondOpenSeesTheMarkerHeldUntilTheHolderReleasesIt) {
    PlatformError error;
    MarkerHandle first = create("KQ_TOOLS", &error);
    EXPECT_NE(first, NO_MARKER);
    EXPECT_EQ(error, 0u);
    EXPECT_TRUE(fs::exists(runtimeDirectory + "/KQ_TOOLS.lock"));

    MarkerHandle second = create("KQ_TOOLS", &error);
    EXPECT_NE(second, NO_MARKER);
    EXPECT_EQ(error, PLATFORM_ERROR_ALREADY_EXISTS);
    kernelService->releaseMarker(second);
    kernelService->releaseMarker(create("KQ_TOOLS", &error));
    EXPECT_EQ(error, PLATFORM_ERROR_ALREADY_EXISTS) << "releasing a non-holder freed the marker";

    kernelService->releaseMarker(first);
    MarkerHandle third = create("KQ_TOOLS", &error);
    EXPECT_EQ(error, 0u);
    kernelService->releaseMarker(third);
}

TEST_F(InstanceMarkerTest, WithoutARuntimeDirectoryTheLockFileGoesToTmp) {
    std::string name = "ticketflash-test-" + std::to_string(getpid());
    std::string path = "/tmp/" + name + ".lock";
    for (bool emptyValue : {false, true}) {
        SCOPED_TRACE(emptyValue ? "XDG_RUNTIME_DIR empty" : "XDG_RUNTIME_DIR unset");
        if (emptyValue) {
            setenv("XDG_RUNTIME_DIR", "", 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        PlatformError error;
        MarkerHandle marker = create(name.c_str(), &error);
        EXPECT_EQ(error, 0u);
        EXPECT_TRUE(fs::exists(path));
        kernelService->releaseMarker(marker);
        fs::remove(path);
    }
}

TEST_F(InstanceMarkerTest, RefusesALockFileThatIsASymbolicLink) {
    std::string target = runtimeDirectory + "/elsewhere";
    fs::create_symlink(target, runtimeDirectory + "/KQ_TOOLS.lock");
    PlatformError error;
    EXPECT_EQ(create("KQ_TOOLS", &error), NO_MARKER);
    EXPECT_EQ(error, static_cast<PlatformError>(ELOOP));
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(InstanceMarkerTest, ReportsAFailureToOpenTheLockFile) {
    setenv("XDG_RUNTIME_DIR", (runtimeDirectory + "/missing").c_str(), 1);
    PlatformError error;
    EXPECT_EQ(create("KQ_TOOLS", &error), NO_MARKER);
    EXPECT_EQ(error, static_cast<PlatformError>(ENOENT));
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
