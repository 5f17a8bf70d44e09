#include "history/history_line.h"
#include "history/upgrade_history.h"
#include "tests/doubles/state_file_double.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

bool collect(const HistoryField& field, void* context) {
    static_cast<std::vector<HistoryField>*>(context)->push_back(field);
    return true;
}

// A printer's texts come back byte for byte, whatever they hold; a line that is not one flat
// object, or whose text would not fit, is damaged rather than cut.
TEST(HistoryLine, KeepsEveryByteAndRefusesDamagedLines) {
    const std::string texts[] = {"MFG:SIM;MDL:VRE G;FWV:V1.00;", "quote \" and \\ back",
                                 "\x1b[2J clears", "8-bit \xe9\xff", ""};
    for (const std::string& value : texts) {
        char buffer[512];
        HistoryLineWriter line;
        startHistoryLine(&line, buffer, sizeof buffer);
        addHistoryText(&line, "deviceId", value.c_str());
        addHistoryNumber(&line, "bytesAccepted", 393264);
        addHistoryFlag(&line, "repair", true);
        ASSERT_TRUE(finishHistoryLine(&line));
        std::vector<HistoryField> fields;
        ASSERT_TRUE(parseHistoryLine(buffer, line.length - 1, collect, &fields)) << buffer;
        ASSERT_EQ(fields.size(), 3u);
        EXPECT_EQ(fields[0].text, value);
        EXPECT_EQ(fields[1].number, 393264u);
        EXPECT_TRUE(fields[2].flag);
    }
    const std::string damaged[] = {"", "{\"a\":\"b\"", "{\"a\":{\"b\":1}}", "[1]",
                                   "{\"a\":\"" + std::string(HISTORY_VALUE_SIZE, 'x') + "\"}"};
    for (const std::string& line : damaged) {
        std::vector<HistoryField> fields;
        EXPECT_FALSE(parseHistoryLine(line.data(), line.size(), collect, &fields)) << line;
    }
}

class UpgradeHistory : public testing::Test {
  protected:
    void SetUp() override { resetHistory(); }
    void TearDown() override { resetHistory(); }

    static HistoryEntry pending(const char* address) {
        HistoryEntry entry{};
        snprintf(entry.route, sizeof entry.route, "tcp");
        snprintf(entry.address, sizeof entry.address, "%s", address);
        snprintf(entry.model, sizeof entry.model, "VRE G");
        snprintf(entry.image, sizeof entry.image, "V1.12");
        return entry;
    }

    StateFileDouble files;
};

// Pending before the request, completed at the end; a run that died leaves its entry pending,
// and the next run that holds that printer marks it interrupted, never another printer's.
TEST_F(UpgradeHistory, RecordsEachUpgradeAndMarksTheDeadOnesInterrupted) {
    HistoryEntry first = pending("127.0.0.1:9100");
    PlatformError error{};
    ASSERT_TRUE(beginHistoryEntry(&first, &error));
    completeHistoryEntry(HISTORY_VERIFIED, "", 0, 393264, 393264, "V1.12;");
    HistoryEntry dead = pending("127.0.0.1:9101");
    ASSERT_TRUE(beginHistoryEntry(&dead, &error));
    resetHistory(); // the run is killed here
    HistoryEntry other = pending("127.0.0.1:9102");
    ASSERT_TRUE(beginHistoryEntry(&other, &error));
    resetHistory();
    markInterruptedHistory([](const HistoryEntry& entry,
                              const void*) { return strcmp(entry.address, "127.0.0.1:9101") == 0; },
                           nullptr);
    HistoryEntry last{};
    ASSERT_TRUE(lastHistoryEntryOf("tcp", "127.0.0.1:9100", &last));
    EXPECT_EQ(last.state, HISTORY_VERIFIED);
    EXPECT_STREQ(last.newVersion, "V1.12;");
    ASSERT_TRUE(lastHistoryEntryOf("tcp", "127.0.0.1:9101", &last));
    EXPECT_EQ(last.state, HISTORY_INTERRUPTED);
    EXPECT_TRUE(historyEntryUnfinished(last));
    ASSERT_TRUE(lastHistoryEntryOf("tcp", "127.0.0.1:9102", &last));
    EXPECT_EQ(last.state, HISTORY_PENDING);
}

// An upgrade whose entry cannot be written does not start; a full file is turned over first.
TEST_F(UpgradeHistory, RefusesAnUnwrittenEntryAndRotatesAFullFile) {
    files.put(HISTORY_FILE_NAME, std::string(HISTORY_ROTATE_BYTES, '\n'));
    HistoryEntry entry = pending("127.0.0.1:9100");
    PlatformError error{};
    ASSERT_TRUE(beginHistoryEntry(&entry, &error));
    EXPECT_EQ(files.callCount(STATE_FILE_RENAME), 1u);
    EXPECT_TRUE(files.present(HISTORY_OLDER_FILE_NAME));
    resetHistory();
    files.failAppend({PLATFORM_ERROR_NO_SPACE, 28});
    HistoryEntry refused = pending("127.0.0.1:9101");
    EXPECT_FALSE(beginHistoryEntry(&refused, &error));
    EXPECT_EQ(error.kind, PLATFORM_ERROR_NO_SPACE);
}

} // namespace
