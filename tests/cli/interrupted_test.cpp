// Runs stopped by a signal at chosen moments: while the outputs of a file
// are written, and while an input is read from a FIFO that blocks. Every
// temporary file goes, each set of outputs stays whole, and the status is
// 128 + the signal's number.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <map>

#include "cli_support.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

namespace fs = std::filesystem;
using cli_testing::copyExample;
using cli_testing::kvzpack;
using testing::ProcessResult;
using testing::TempDir;

std::map<std::string, std::string> filesIn(const TempDir& dir) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        contents[entry.path().filename().string()] =
            entry.is_regular_file() ? testing::readFileText(entry.path()) : std::string("<folder>");
    return contents;
}

// Waits until a file whose name holds ".part" is created in `folder`, or
// the timeout passes; true when one was.
class TemporaryFileWatch {
public:
    explicit TemporaryFileWatch(const fs::path& folder) : fd_(::inotify_init1(IN_CLOEXEC)) {
        ::inotify_add_watch(fd_, folder.c_str(), IN_CREATE);
    }
    ~TemporaryFileWatch() { ::close(fd_); }
    bool waitForTemporary(int timeoutMs) {
        alignas(inotify_event) char buffer[4096];
        pollfd poll{fd_, POLLIN, 0};
        while (::poll(&poll, 1, timeoutMs) > 0) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && std::string_view(event->name).find(".part") != std::string_view::npos)
                    return true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return false;
    }

private:
    int fd_;
};

class Interrupted : public ::testing::TestWithParam<int> {};

// A run over many copies of the large deck is stopped while it writes the
// outputs of its n-th file: every temporary file goes, each set of outputs
// is the older one or the complete new one, and the status is 128 + signal.
TEST_P(Interrupted, RemovesEveryTemporaryFileAndKeepsOutputsWhole) {
    const int signal = GetParam();
    TempDir reference;
    testing::writeFile(reference / "large.kvz", testing::readFileBytes(testing::sourcePath("examples/large.kvz")));
    ASSERT_EQ(kvzpack(reference, {"large.kvz"}).exitStatus, 0);
    const std::string newImage = testing::readFileText(reference / "large.ihx");
    const std::string newNumbered = testing::readFileText(reference / "large.txt");

    // The older outputs: another deck's, as kvzpack wrote them.
    const std::string olderImage = testing::readFileText(testing::sourcePath("tests/cli/cases/pinned-example/files/example.ihx"));
    const std::string olderNumbered = testing::readFileText(testing::sourcePath("tests/cli/cases/pinned-example/files/example.txt"));
    constexpr int kDecks = 12;
    for (const int interruptAt : {1, 3, 8}) {
        TempDir dir;
        std::vector<std::string> args{testing::kvzpackBinary().string()};
        for (int i = 0; i < kDecks; ++i) {
            const std::string name = std::string("deck").append(std::to_string(i));
            fs::copy_file(reference / "large.kvz", dir / (name + ".kvz"));
            testing::writeFile(dir / (name + ".ihx"), olderImage);
            testing::writeFile(dir / (name + ".txt"), olderNumbered);
            args.push_back(name + ".kvz");
        }
        // A last input that never ends: the run cannot finish before the signal.
        ASSERT_EQ(::mkfifo((dir / "pipe.kvz").c_str(), 0600), 0);
        const int writer = ::open((dir / "pipe.kvz").c_str(), O_RDWR);
        ASSERT_GE(writer, 0);
        args.push_back("pipe.kvz");
        TemporaryFileWatch watch(dir.path());
        testing::StartedProgram program = testing::startProgram(args, dir.path());
        int seen = 0;
        while (seen < interruptAt && watch.waitForTemporary(20000)) ++seen;
        ASSERT_EQ(seen, interruptAt) << "the run made fewer temporary files";
        ::kill(program.pid, signal);
        const ProcessResult run = testing::finishProgram(program);
        ::close(writer);
        EXPECT_FALSE(run.signalled);
        EXPECT_EQ(run.exitStatus, 128 + signal);
        for (const auto& [name, contents] : filesIn(dir)) {
            EXPECT_EQ(name.find(".part"), std::string::npos) << name;
            if (!name.ends_with(".ihx")) continue;  // each deck's pair, looked at through its .ihx
            const std::string numbered = testing::readFileText(dir / (name.substr(0, name.size() - 4) + ".txt"));
            if (contents == newImage) {
                EXPECT_EQ(numbered, newNumbered) << name;
            } else {
                EXPECT_EQ(contents, olderImage) << name;
                EXPECT_EQ(numbered, olderNumbered) << name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// A split stopped while its parts are written: the parts are all the older
// ones or all the new ones, never some of each.
TEST(InterruptedRun, KeepsTheOlderPartsOrPublishesEveryNewOne) {
    const std::vector<std::uint8_t> deck = testing::randomKanjiDeck({100, 150, 0, 200, 100, 100, 150, 100}, 20, 3);
    TempDir reference;
    testing::writeFile(reference / "deck.kvz", deck);
    ASSERT_EQ(kvzpack(reference, {"--split", "deck.kvz"}).exitStatus, 0);
    std::map<std::string, std::string> newParts = filesIn(reference);
    std::erase_if(newParts, [](const auto& file) { return !file.first.starts_with("deck-"); });
    ASSERT_GE(newParts.size(), 4u) << "the deck makes at least two parts";

    // The older parts: images of another deck, which the log of an earlier
    // split lists as its parts.
    const std::string olderImage = testing::readFileText(testing::sourcePath("tests/cli/cases/pinned-example/files/example.ihx"));
    const std::string olderNumbered = testing::readFileText(testing::sourcePath("tests/cli/cases/pinned-example/files/example.txt"));
    const auto older = [&](const std::string& name) { return name.ends_with(".ihx") ? olderImage : olderNumbered; };
    for (const int interruptAt : {1, 2, static_cast<int>(newParts.size()) - 1}) {
        TempDir dir;
        testing::writeFile(dir / "deck.kvz", deck);
        std::string log;
        for (const auto& [name, contents] : newParts) {
            testing::writeFile(dir / name, older(name));
            if (name.ends_with(".ihx")) log += name + ":05D0-062E\r\n";
        }
        testing::writeFile(dir / "deck.log", log);
        ASSERT_EQ(::mkfifo((dir / "pipe.kvz").c_str(), 0600), 0);
        const int writer = ::open((dir / "pipe.kvz").c_str(), O_RDWR);
        ASSERT_GE(writer, 0);
        TemporaryFileWatch watch(dir.path());
        testing::StartedProgram program =
            testing::startProgram({testing::kvzpackBinary().string(), "--split", "deck.kvz", "pipe.kvz"}, dir.path());
        int seen = 0;
        while (seen < interruptAt && watch.waitForTemporary(20000)) ++seen;
        ASSERT_EQ(seen, interruptAt) << "the run made fewer temporary files";
        ::kill(program.pid, SIGTERM);
        const ProcessResult run = testing::finishProgram(program);
        ::close(writer);
        EXPECT_EQ(run.exitStatus, 128 + SIGTERM);
        std::map<std::string, std::string> parts = filesIn(dir);
        for (const auto& [name, contents] : parts) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
        std::erase_if(parts, [](const auto& file) { return !file.first.starts_with("deck-"); });
        const bool published = parts.begin()->second != older(parts.begin()->first);
        for (const auto& [name, contents] : newParts)
            EXPECT_EQ(parts[name], published ? contents : older(name)) << name << ", interrupted at " << interruptAt;
    }
}

TEST(InterruptedRun, WhileReadingABlockedFifo) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.kvz").c_str(), 0600), 0);
    const int writer = ::open((dir / "pipe.kvz").c_str(), O_RDWR);  // a writer that never writes
    ASSERT_GE(writer, 0);
    copyExample(dir);
    testing::StartedProgram program =
        testing::startProgram({testing::kvzpackBinary().string(), "example.kvz", "pipe.kvz"}, dir.path());
    // The first deck converts, then the run waits on the FIFO.
    for (int i = 0; i < 200 && !fs::exists(dir / "example.txt"); ++i) ::usleep(20000);
    ::usleep(100000);
    ::kill(program.pid, SIGTERM);
    const ProcessResult run = testing::finishProgram(program);
    ::close(writer);
    EXPECT_FALSE(run.signalled);
    EXPECT_EQ(run.exitStatus, 128 + SIGTERM);
    EXPECT_EQ(run.out, "example.kvz:05D0-062E\n");
    for (const auto& [name, contents] : filesIn(dir)) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

}  // namespace
}  // namespace kvz
