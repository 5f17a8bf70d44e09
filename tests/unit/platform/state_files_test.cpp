// The state-file service of this system, in a state folder of the test's own.
#include "platform/state_files.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What a read of the name gives: the text, "absent", or "refused".
std::string readBack(const char* name) {
    std::vector<char> buffer(64);
    uint32_t length = 0;
    bool present = true;
    PlatformError error;
    if (!stateFileService->read(name, buffer.data(), static_cast<uint32_t>(buffer.size()), &length,
                                &present, &error)) {
        return platformFailed(error) ? "refused" : "failed without an error";
    }
    return present ? std::string(buffer.data(), length) : "absent";
}

bool replace(const char* name, const std::string& text) {
    return stateFileService->replace(name, text.data(), static_cast<uint32_t>(text.size()),
                                     nullptr);
}

bool append(const char* name, const std::string& text) {
    return stateFileService->append(name, text.data(), static_cast<uint32_t>(text.size()), nullptr);
}

struct StateFileCase {
    const char* what;
    bool (*act)(const fs::path& folder); // the calls; whether every one succeeded
    bool succeeds;
    const char* name; // read afterwards
    const char* read;
};

const StateFileCase cases[] = {
    {"a replace replaces",
     [](const fs::path&) { return replace("journal", "first") && replace("journal", "second"); },
     true, "journal", "second"},
    {"two appends follow each other",
     [](const fs::path&) { return append("history", "one\n") && append("history", "two\n"); }, true,
     "history", "one\ntwo\n"},
    {"a rename replaces its target",
     [](const fs::path&) {
         return replace("history", "new") && replace("history.1", "old") &&
                stateFileService->rename("history", "history.1", nullptr);
     },
     true, "history.1", "new"},
    {"a missing file is removed",
     [](const fs::path&) { return stateFileService->remove("nothing", nullptr); }, true, "nothing",
     "absent"},
    {"a folder under the name is refused",
     [](const fs::path& folder) {
         fs::create_directories(folder / "journal");
         return append("journal", "x");
     },
     false, "journal", "refused"},
    {"a name with a separator is refused",
     [](const fs::path&) { return replace("../journal", "x"); }, false, "sub/journal", "refused"},
};

class StateFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("ticketflash-state-" +
                  std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        stateSetting = "TICKETFLASH_STATE_DIR=" + (folder / "state").string();
        // The older name, which the newer one overrides.
        olderSetting = "TICKETFLASH_JOURNAL_DIR=" + (folder / "older").string();
        putenv(stateSetting.data());
        putenv(olderSetting.data());
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
    std::string stateSetting;
    std::string olderSetting;
};

TEST_F(StateFiles, KeepTheirTextsInTheStateFolderAndRefuseWhatIsNotAPlainFile) {
    for (const StateFileCase& example : cases) {
        SCOPED_TRACE(example.what);
        fs::remove_all(folder);
        fs::create_directories(folder);
        EXPECT_EQ(example.act(folder / "state"), example.succeeds);
        EXPECT_EQ(readBack(example.name), example.read);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
            EXPECT_NE(entry.path().extension(), ".new") << "a temporary file left behind";
            EXPECT_TRUE(entry.path() == folder / "state" ||
                        entry.path().parent_path() == folder / "state")
                << entry.path() << " is outside the state folder";
        }
    }
    char path[512];
    stateFileService->path("spooler-ports.journal", path, sizeof path);
    EXPECT_EQ(fs::path(path), folder / "state" / "spooler-ports.journal");
}

} // namespace
