// The process service with real children: this program started again with "--child" plays the
// child, so that the same test runs against posix_spawn on Linux and CreateProcess under Wine.
#include "platform/console.h"
#include "platform/kernel.h"
#include "platform/process.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Ended {
    int exitCode = -1;
    std::string output;
    std::string errors;
};

// Reads both streams until the child has ended and they are done, for at most 30 s.
Ended follow(ChildHandle child) {
    Ended ended;
    std::string* texts[2] = {&ended.output, &ended.errors};
    bool done[2] = {false, false};
    bool exited = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!(exited && done[0] && done[1]) && std::chrono::steady_clock::now() < deadline) {
        for (ChildStream stream : {CHILD_OUTPUT, CHILD_ERRORS}) {
            char buffer[256];
            int32_t count = processService->readChild(child, stream, buffer, sizeof buffer);
            if (count > 0) {
                texts[stream]->append(buffer, static_cast<size_t>(count));
            }
            done[stream] = done[stream] || count == CHILD_STREAM_ENDED || (exited && count == 0);
        }
        exited = exited || processService->childEnded(child, &ended.exitCode);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    processService->releaseChild(child);
    return ended;
}

std::string withoutReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

ChildHandle startChild(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "--child");
    arguments.push_back(nullptr);
    PlatformError error;
    ChildHandle child = processService->startSelf(arguments.data(), &error);
    EXPECT_NE(child, NO_CHILD) << "error " << error.number;
    EXPECT_FALSE(platformFailed(error));
    return child;
}

TEST(ProcessService, ChildGetsItsArgumentsAndItsStreamsAndExitCodeComeBack) {
    ChildHandle child = startChild({"echo", "two words", "a \"quoted\" one", "back\\slash\\", ""});
    ASSERT_NE(child, NO_CHILD);
    Ended ended = follow(child);
    EXPECT_EQ(ended.exitCode, 5);
    // A Windows child writes its line ends in text mode.
    EXPECT_EQ(withoutReturns(ended.output), "[two words][a \"quoted\" one][back\\slash\\][]\n");
    EXPECT_EQ(withoutReturns(ended.errors), "on standard error\n");
}

TEST(ProcessService, InterruptReachesTheChildsHandler) {
    ChildHandle child = startChild({"wait-for-interrupt"});
    ASSERT_NE(child, NO_CHILD);
    // The child says when its handler is in place.
    std::string ready;
    for (int tries = 0; tries < 1000 && ready.find("watching") == std::string::npos; ++tries) {
        char buffer[64];
        int32_t count = processService->readChild(child, CHILD_OUTPUT, buffer, sizeof buffer);
        ready.append(buffer, static_cast<size_t>(count > 0 ? count : 0));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(ready.find("watching"), std::string::npos);
    if (!processService->interruptChild(child)) {
        follow(child);
        GTEST_SKIP() << "no console shared with the child to send the interrupt through";
    }
    Ended ended = follow(child);
    EXPECT_EQ(ended.exitCode, 2);
}

// --- the child -------------------------------------------------------------------------------

std::atomic<bool> interrupted{false};

void noteInterrupt(ConsoleInterrupt) {
    interrupted = true;
}

int echoArguments(int argc, char** argv) {
    for (int index = 3; index < argc; ++index) {
        printf("[%s]", argv[index]);
    }
    printf("\n");
    fprintf(stderr, "on standard error\n");
    return 5;
}

int waitForInterrupt() {
    PlatformError error;
    if (!consoleService->watchInterrupts(noteInterrupt, &error)) {
        return 1;
    }
    printf("watching\n");
    fflush(stdout);
    for (int waited = 0; waited < 5000 && !interrupted.load(); waited += 10) {
        sleepMilliseconds(10);
    }
    return interrupted.load() ? 2 : 3;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "--child") == 0) {
        return strcmp(argv[2], "echo") == 0 ? echoArguments(argc, argv) : waitForInterrupt();
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
