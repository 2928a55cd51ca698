// Outputs replaced as one set: whichever link or rename of the publishing
// step fails, the final names hold all the older files or all the new ones,
// byte for byte, and no backup is left behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>

#include "io/publish.h"
#include "support/fixtures.h"

namespace kvz::io {
namespace {

namespace fs = std::filesystem;
using Contents = std::map<std::string, std::string>;

Contents filesIn(const fs::path& folder) {
    Contents contents;
    for (const auto& entry : fs::directory_iterator(folder))
        contents[entry.path().filename().string()] = testing::readFileText(entry.path());
    return contents;
}

// Fails the call numbered `failAt` (0 = the first link or rename) with EIO;
// with `noHardLinks` every link fails as on a file system without them.
struct FaultyOperations {
    int failAt = -1;
    bool noHardLinks = false;
    int calls = 0;

    NameOperations operations() {
        return {[this](const char* from, const char* to) {
                    if (noHardLinks) return failWith(EPERM);
                    return step() ? ::link(from, to) : failWith(EIO);
                },
                [this](const char* from, const char* to) { return step() ? ::rename(from, to) : failWith(EIO); }};
    }
    bool step() { return calls++ != failAt; }
    static int failWith(int error) {
        errno = error;
        return -1;
    }
};

const Contents kOlder{{"deck.ihx", "older image"}, {"deck.txt", "older numbered"}};
const Contents kNewer{{"deck.ihx", "new image"}, {"deck.txt", "new numbered"}, {"deck.png", "new sheet"}};

// The older deck.ihx and deck.txt, no deck.png; the three new files
// staged.
std::vector<StagedFile> prepare(const testing::TempDir& dir, TemporaryFiles& temporaries) {
    for (const auto& [name, text] : kOlder) testing::writeFile(dir / name, text);
    std::vector<StagedFile> files;
    for (const auto& [name, text] : kNewer) {
        auto staged = StagedFile::create((dir / name).string(), &temporaries);
        EXPECT_TRUE(staged.ok() && staged->write(text).ok());
        files.push_back(std::move(staged.value()));
    }
    return files;
}

// Publishes the staged set and lets it go, as a file's conversion does.
Status publish(const testing::TempDir& dir, TemporaryFiles& temporaries, const NameOperations& operations) {
    std::vector<StagedFile> files = prepare(dir, temporaries);
    return publishTogether(files, temporaries, {}, operations);
}

class PublishTogether : public ::testing::TestWithParam<bool> {};

TEST_P(PublishTogether, EveryFailingStepLeavesTheOlderSetAndNoTemporary) {
    const bool noHardLinks = GetParam();
    int failures = 0;
    for (int failAt = 0;; ++failAt) {
        const testing::TempDir dir;
        TemporaryFiles temporaries;
        FaultyOperations faults{failAt, noHardLinks};
        const Status published = publish(dir, temporaries, faults.operations());
        if (published) {
            EXPECT_EQ(filesIn(dir.path()), kNewer) << "all calls succeeded";
            break;
        }
        ++failures;
        EXPECT_EQ(filesIn(dir.path()), kOlder) << "call " << failAt << " failed";
        EXPECT_NE(published.reason().find("cannot write " + dir.path().string() + "/deck."), std::string::npos)
            << published.reason();
        ASSERT_LT(failAt, 20) << "publishing never succeeded";
    }
    // Two backups (links, or moves aside) and three renames, each failed once.
    EXPECT_EQ(failures, 5);
}

INSTANTIATE_TEST_SUITE_P(FileSystems, PublishTogether, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WithoutHardLinks" : "WithHardLinks"; });

TEST(PublishTogether, RegistryHoldsNothingAfterSuccess) {
    const testing::TempDir dir;
    TemporaryFiles temporaries;
    ASSERT_TRUE(publish(dir, temporaries, {}).ok());
    // Nothing registered is left to remove: a later removeAll touches no output.
    temporaries.removeAll();
    EXPECT_EQ(filesIn(dir.path()), kNewer);
}

TEST(TemporaryFiles, RemoveAllTakesEveryStagedFileAndNoOutput) {
    const testing::TempDir dir;
    TemporaryFiles temporaries;
    testing::writeFile(dir / "kept.ihx", std::string_view("older"));
    auto first = StagedFile::create((dir / "kept.ihx").string(), &temporaries);
    auto second = StagedFile::create((dir / "new.txt").string(), &temporaries);
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_EQ(filesIn(dir.path()).size(), 4u);  // and the record that lists the two
    temporaries.removeAll();
    EXPECT_EQ(filesIn(dir.path()), (Contents{{"kept.ihx", "older"}}));
}

TEST(TemporaryFiles, TheRecordGoesWithTheLastOfItsFiles) {
    const testing::TempDir dir;
    TemporaryFiles temporaries;
    auto first = StagedFile::create((dir / "a.ihx").string(), &temporaries);
    auto second = StagedFile::create((dir / "a.txt").string(), &temporaries);
    ASSERT_TRUE(first.ok() && second.ok());
    const auto records = [&] {
        std::size_t count = 0;
        for (const auto& [name, contents] : filesIn(dir.path())) count += name.starts_with(kStagingRecordPrefix);
        return count;
    };
    EXPECT_EQ(records(), 1u);
    ASSERT_TRUE(first->write(std::string_view("new")).ok());
    ASSERT_TRUE(first->commit().ok());
    EXPECT_EQ(records(), 1u);
    ASSERT_TRUE(second->write(std::string_view("new")).ok());
    ASSERT_TRUE(second->commit().ok());
    EXPECT_EQ(filesIn(dir.path()), (Contents{{"a.ihx", "new"}, {"a.txt", "new"}}));
}

// A record whose run is alive (its lock held) is left with its files; one
// left unlocked takes only the temporary files it names in its own folder.
TEST(TemporaryFiles, OnlyTheRecordsOfRunsNoLongerAliveAreActedOn) {
    const testing::TempDir dir;
    const std::string folder = dir.path().string() + "/";
    TemporaryFiles alive;
    auto staged = StagedFile::create(folder + "live.ihx", &alive);
    ASSERT_TRUE(staged.ok());
    EXPECT_TRUE(removeAbandonedTemporaries(folder).empty());
    EXPECT_TRUE(fs::exists(staged->temporaryPath()));

    testing::writeFile(dir / "x.ihx.partAbC123", std::string_view("left"));
    testing::writeFile(dir / "notes.txt", std::string_view("the user's"));
    testing::writeFile(dir / "notes.txt.part", std::string_view("the user's too"));
    testing::writeFile(dir / (std::string(kStagingRecordPrefix) + "Zz9Zz9"),
                       std::string_view("x.ihx.partAbC123\nnotes.txt\nnotes.txt.part\n../up.partAbC123\n"));
    const std::vector<std::string> told = removeAbandonedTemporaries(folder);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], folder + std::string(kStagingRecordPrefix) +
                           "Zz9Zz9: a run was killed while it wrote its outputs: 1 temporary file removed");
    const Contents after = filesIn(dir.path());
    EXPECT_FALSE(after.contains("x.ihx.partAbC123"));
    EXPECT_FALSE(after.contains(std::string(kStagingRecordPrefix) + "Zz9Zz9"));
    EXPECT_EQ(after.at("notes.txt"), "the user's");
    EXPECT_EQ(after.at("notes.txt.part"), "the user's too");
    EXPECT_TRUE(fs::exists(staged->temporaryPath()));
}

TEST(StagedFile, NamesUpToTheLimitAreWrittenAndCommitted) {
    const testing::TempDir dir;
    const long limit = ::pathconf(dir.path().c_str(), _PC_NAME_MAX);
    for (const long length : {limit - 11, limit - 4, limit}) {
        const std::string name(static_cast<std::size_t>(length), 'd');
        auto staged = StagedFile::create((dir / name).string());
        ASSERT_TRUE(staged.ok()) << length << ": " << staged.reason();
        ASSERT_TRUE(staged->write(std::string_view("content")).ok());
        ASSERT_TRUE(staged->commit().ok());
        EXPECT_EQ(testing::readFileText(dir / name), "content");
    }
    EXPECT_EQ(filesIn(dir.path()).size(), 3u);
}

TEST(TemporaryPattern, FitsTheFoldersNameLimit) {
    const testing::TempDir dir;
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(temporaryPattern(folder + "deck.ihx"), folder + "deck.ihx.partXXXXXX");
    EXPECT_EQ(temporaryPattern("deck.ihx"), "deck.ihx.partXXXXXX");
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    ASSERT_GT(limit, 20);
    for (const std::size_t length : {static_cast<std::size_t>(limit) - 11, static_cast<std::size_t>(limit) - 10,
                                     static_cast<std::size_t>(limit)}) {
        const std::string name(length, 'n');
        const std::string pattern = temporaryPattern(folder + name);
        EXPECT_EQ(pattern.size() - folder.size(), std::min<std::size_t>(length + 11, limit)) << length;
        EXPECT_EQ(pattern.substr(0, folder.size()), folder);
        EXPECT_TRUE(pattern.ends_with(".partXXXXXX"));
        // A file of that name can be made.
        const std::string name2 = unusedTemporaryName(folder + name);
        testing::writeFile(name2, std::string_view("x"));
        EXPECT_TRUE(fs::exists(name2)) << length;
    }
}

}  // namespace
}  // namespace kvz::io
