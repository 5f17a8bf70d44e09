// The operating system's worker threads as the kernel service starts them (CreateThread on
// Windows, pthreads on Linux): the body runs at once on a thread of its own with its argument,
// with room for the buffers the flash writer and its closing probe keep on the stack, and ends
// by itself without anybody joining it.
#include "platform/kernel.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

struct Visit {
    std::mutex mutex;
    std::condition_variable done;
    int runs = 0;
    std::thread::id runner;
    uint8_t stackCheck = 0;
};

// Uses a few kilobytes of stack, as the writer's text buffers and the probe's replies do.
void visit(void* argument) {
    Visit* record = static_cast<Visit*>(argument);
    volatile uint8_t buffers[6 * 1024];
    memset(const_cast<uint8_t*>(buffers), 0x5A, sizeof buffers);
    std::lock_guard<std::mutex> lock(record->mutex);
    record->runner = std::this_thread::get_id();
    record->stackCheck = buffers[sizeof buffers - 1];
    ++record->runs;
    record->done.notify_all();
}

bool waitForRuns(Visit* record, int runs) {
    std::unique_lock<std::mutex> lock(record->mutex);
    return record->done.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return record->runs >= runs; });
}

TEST(WorkerThread, RunsTheBodyWithItsArgumentOnAThreadOfItsOwn) {
    Visit record;
    PlatformError error;
    ASSERT_TRUE(kernelService->startThread(visit, &record, 16384, &error)) << error.number;
    ASSERT_TRUE(waitForRuns(&record, 1));
    std::lock_guard<std::mutex> lock(record.mutex);
    EXPECT_NE(record.runner, std::this_thread::get_id());
    EXPECT_EQ(record.stackCheck, 0x5A);
}

TEST(WorkerThread, EachStartRunsItsBodyOnce) {
    Visit record;
    for (int start = 0; start < 4; ++start) {
        ASSERT_TRUE(kernelService->startThread(visit, &record, 16384, nullptr));
    }
    ASSERT_TRUE(waitForRuns(&record, 4));
    // The threads end by themselves; none runs its body a second time.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::lock_guard<std::mutex> lock(record.mutex);
    EXPECT_EQ(record.runs, 4);
}

} // namespace
