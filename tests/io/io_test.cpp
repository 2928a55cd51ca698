// The file layer on real files, FIFOs, folders and full devices.
#include "io/io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "support/fixtures.h"

namespace kvz::io {
namespace {

using kvz::testing::readFileBytes;
using kvz::testing::readFileText;
using kvz::testing::TempDir;
using kvz::testing::writeFile;

std::vector<std::uint8_t> randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Sizes around the read chunk, so that the loop's seams are crossed.
class ReadFileSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ReadFileSizes, GivesTheWholeContents) {
    const TempDir dir;
    const auto bytes = randomBytes(GetParam(), static_cast<unsigned>(GetParam()));
    writeFile(dir / "data", bytes);
    const auto read = readFile((dir / "data").string());
    ASSERT_TRUE(read.ok()) << read.reason();
    EXPECT_EQ(*read, bytes);
    const auto text = readTextFile((dir / "data").string());
    ASSERT_TRUE(text.ok()) << text.reason();
    EXPECT_EQ(*text, std::string(bytes.begin(), bytes.end()));
}

INSTANTIATE_TEST_SUITE_P(Io, ReadFileSizes,
                         ::testing::Values(0, 1, 65535, 65536, 65537, 3 * 65536 + 17));

struct ReadRefusal {
    const char* name;
    // Makes the file to read in `dir`; gives its path, or "" to skip the case.
    std::string (*prepare)(const std::filesystem::path& dir);
    FailureKind kind;
    const char* reason;
};

class ReadRefusals : public ::testing::TestWithParam<ReadRefusal> {};

TEST_P(ReadRefusals, GiveTheKindAndTheSystemsReason) {
    const TempDir dir;
    const std::string path = GetParam().prepare(dir.path());
    if (path.empty()) GTEST_SKIP() << "root reads every file";
    const auto bytes = readFile(path);
    ASSERT_FALSE(bytes.ok());
    EXPECT_EQ(bytes.failureKind(), GetParam().kind);
    EXPECT_EQ(bytes.reason(), GetParam().reason);
    const auto text = readTextFile(path);
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.reason(), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Io, ReadRefusals,
    ::testing::Values(
        ReadRefusal{"Missing", [](const std::filesystem::path& dir) { return (dir / "absent").string(); },
                    FailureKind::cannotOpen, "No such file or directory"},
        ReadRefusal{"Unreadable",
                    [](const std::filesystem::path& dir) {
                        if (::geteuid() == 0) return std::string();
                        writeFile(dir / "locked", std::string_view("x"));
                        ::chmod((dir / "locked").c_str(), 0);
                        return (dir / "locked").string();
                    },
                    FailureKind::cannotOpen, "Permission denied"},
        ReadRefusal{"Folder", [](const std::filesystem::path& dir) { return dir.string(); },
                    FailureKind::invalid, "is a directory"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadFile, FifoWithoutWriterReadsAsEmpty) {
    const TempDir dir;
    const auto fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto read = readFile(fifo.string());
    ASSERT_TRUE(read.ok()) << read.reason();
    EXPECT_TRUE(read->empty());
}

TEST(ReadFile, CompletesShortReadsFromAFifo) {
    const TempDir dir;
    const auto fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto bytes = randomBytes(100000, 7);
    // O_RDWR opens the writing end at once, with no reader there yet.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    std::thread feed([&] {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t put = ::write(writer, bytes.data() + done, std::min<std::size_t>(777, bytes.size() - done));
            if (put <= 0) break;
            done += static_cast<std::size_t>(put);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        ::close(writer);
    });
    const auto read = readFile(fifo.string());
    feed.join();
    ASSERT_TRUE(read.ok()) << read.reason();
    EXPECT_EQ(*read, bytes);
}

TEST(ReadUpTo, ReadsNoMoreThanAskedAndGoesOnWhereItStopped) {
    const TempDir dir;
    const auto bytes = randomBytes(200000, 3);
    writeFile(dir / "data", bytes);
    auto file = openForReading((dir / "data").string());
    ASSERT_TRUE(file.ok()) << file.reason();
    std::vector<std::uint8_t> read;
    ASSERT_TRUE(readUpTo(*file, read, 70000).ok());
    EXPECT_EQ(read, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 70000));
    ASSERT_TRUE(readUpTo(*file, read, 500000).ok());
    EXPECT_EQ(read, bytes);
}

TEST(ReadUpTo, MemoryFollowsTheBytesReadNotTheCountAsked) {
    const TempDir dir;
    writeFile(dir / "small", randomBytes(1000, 5));
    auto file = openForReading((dir / "small").string());
    ASSERT_TRUE(file.ok()) << file.reason();
    std::vector<std::uint8_t> read;
    ASSERT_TRUE(readUpTo(*file, read, std::size_t{1} << 40).ok());
    EXPECT_EQ(read.size(), 1000u);
    EXPECT_LT(read.capacity(), std::size_t{1} << 20);
}

TEST(AppendToFile, CreatesThenAppends) {
    const TempDir dir;
    const std::string path = (dir / "log").string();
    ASSERT_TRUE(appendToFile(path, std::string_view("one\r\n")).ok());
    ASSERT_TRUE(appendToFile(path, std::string_view("two\r\n")).ok());
    EXPECT_EQ(readFileText(path), "one\r\ntwo\r\n");
}

struct AppendRefusal {
    const char* name;
    std::string (*path)(const std::filesystem::path& dir);
    const char* reason;
};

class AppendRefusals : public ::testing::TestWithParam<AppendRefusal> {};

TEST_P(AppendRefusals, GiveTheSystemsReason) {
    const TempDir dir;
    const std::string path = GetParam().path(dir.path());
    const Status appended = appendToFile(path, std::string_view("line\r\n"));
    ASSERT_FALSE(appended.ok());
    EXPECT_EQ(appended.reason(), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Io, AppendRefusals,
    ::testing::Values(
        AppendRefusal{"Folder", [](const std::filesystem::path& dir) { return dir.string(); }, "Is a directory"},
        AppendRefusal{"MissingFolder",
                      [](const std::filesystem::path& dir) { return (dir / "no" / "log").string(); },
                      "No such file or directory"},
        AppendRefusal{"FullDevice", [](const std::filesystem::path&) { return std::string("/dev/full"); },
                      "No space left on device"}),
    [](const auto& info) { return std::string(info.param.name); });

// A staged replacement of out.ihx, which holds "old".
class StagedOverOlder : public ::testing::Test {
protected:
    void SetUp() override { writeFile(path_, std::string_view("old")); }
    Result<StagedFile> stage(std::string_view contents) const {
        auto staged = StagedFile::create(path_);
        if (!staged) return staged;
        KVZ_TRY(staged->write(contents));
        return staged;
    }
    const TempDir dir_;
    const std::string path_ = (dir_ / "out.ihx").string();
};

TEST_F(StagedOverOlder, FinalNameChangesOnlyOnCommit) {
    auto staged = stage("new contents");
    ASSERT_TRUE(staged.ok()) << staged.reason();
    EXPECT_EQ(staged->path(), path_);
    EXPECT_EQ(staged->temporaryPath().rfind(path_ + ".part", 0), 0u);
    EXPECT_EQ(readFileText(path_), "old");
    EXPECT_EQ(readFileText(staged->temporaryPath()), "new contents");
    ASSERT_TRUE(staged->commit().ok());
    EXPECT_EQ(readFileText(path_), "new contents");
    EXPECT_EQ(namesIn(dir_.path()), std::vector<std::string>{"out.ihx"});
}

TEST_F(StagedOverOlder, UncommittedLeavesTheOlderFileAndNoTemporary) {
    {
        auto staged = stage("new");
        ASSERT_TRUE(staged.ok()) << staged.reason();
        StagedFile moved(std::move(staged.value()));  // the moved-from one must not remove it
        EXPECT_TRUE(std::filesystem::exists(moved.temporaryPath()));
    }
    EXPECT_EQ(readFileText(path_), "old");
    EXPECT_EQ(namesIn(dir_.path()), std::vector<std::string>{"out.ihx"});
}

TEST(StagedFile, GetsTheUsualPermissionsOfANewFile) {
    const TempDir dir;
    const mode_t mask = ::umask(022);
    auto staged = StagedFile::create((dir / "out").string());
    ::umask(mask);
    ASSERT_TRUE(staged.ok()) << staged.reason();
    struct stat info {};
    ASSERT_EQ(::stat(staged->temporaryPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(StagedFile, InAMissingFolderFails) {
    const TempDir dir;
    auto staged = StagedFile::create((dir / "no" / "out").string());
    ASSERT_FALSE(staged.ok());
    EXPECT_EQ(staged.reason(), "No such file or directory");
}

TEST(StagedFile, CommitOntoAFolderFailsAndKeepsIt) {
    const TempDir dir;
    std::filesystem::create_directory(dir / "out");
    writeFile(dir / "out" / "inside", std::string_view("x"));
    auto staged = StagedFile::create((dir / "out").string());
    ASSERT_TRUE(staged.ok()) << staged.reason();
    ASSERT_TRUE(staged->write(std::string_view("new")).ok());
    const Status committed = staged->commit();
    ASSERT_FALSE(committed.ok());
    EXPECT_EQ(committed.reason(), "Is a directory");
    EXPECT_TRUE(isDirectory((dir / "out").string()));
}

TEST(ReplaceFile, WritesTheWholeFile) {
    const TempDir dir;
    const auto bytes = randomBytes(150000, 11);
    const std::string path = (dir / "deck.kvz").string();
    writeFile(path, std::string_view("older"));
    ASSERT_TRUE(replaceFile(path, bytes).ok());
    EXPECT_EQ(readFileBytes(path), bytes);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"deck.kvz"});
}

TEST(SameFile, FollowsLinksAndSpellings) {
    const TempDir dir;
    writeFile(dir / "a", std::string_view("x"));
    writeFile(dir / "b", std::string_view("x"));
    std::filesystem::create_hard_link(dir / "a", dir / "hard");
    std::filesystem::create_symlink(dir / "a", dir / "soft");
    const std::string a = (dir / "a").string();
    EXPECT_TRUE(sameFile(a, (dir / "." / "a").string()));
    EXPECT_TRUE(sameFile(a, (dir / "hard").string()));
    EXPECT_TRUE(sameFile(a, (dir / "soft").string()));
    EXPECT_FALSE(sameFile(a, (dir / "b").string()));
    EXPECT_FALSE(sameFile(a, (dir / "missing").string()));
    EXPECT_FALSE(sameFile((dir / "missing").string(), (dir / "missing").string()));
}

TEST(IsDirectory, TellsFoldersFromFiles) {
    const TempDir dir;
    writeFile(dir / "file", std::string_view("x"));
    EXPECT_TRUE(isDirectory(dir.path().string()));
    EXPECT_FALSE(isDirectory((dir / "file").string()));
    EXPECT_FALSE(isDirectory((dir / "missing").string()));
}

TEST(RemoveFile, RemovesAndIgnoresMissing) {
    const TempDir dir;
    writeFile(dir / "file", std::string_view("x"));
    removeFile((dir / "file").string());
    removeFile((dir / "file").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "file"));
}

TEST(WriteAll, WritesEveryByteThroughAPipe) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const FileDescriptor reader(ends[0]);
    const auto bytes = randomBytes(300000, 13);  // more than a pipe buffer holds
    std::vector<std::uint8_t> received;
    std::thread drain([&] { ASSERT_TRUE(readUpTo(reader, received, bytes.size() + 1).ok()); });
    {
        FileDescriptor writer(ends[1]);
        EXPECT_TRUE(writeAll(writer, bytes).ok());
        EXPECT_TRUE(writer.close().ok());
        EXPECT_FALSE(writer.isOpen());
    }
    drain.join();
    EXPECT_EQ(received, bytes);
}

}  // namespace
}  // namespace kvz::io
