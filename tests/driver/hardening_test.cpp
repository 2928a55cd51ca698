// What a demanding user or a hostile input meets at the process level:
// refused option mixes and names, texts cut by zero bytes, files that are no
// deck, an unwritable log or standard output, names at the file-name limit,
// and runs interrupted by signals.
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
using cli_testing::messages;
using testing::ProcessResult;
using testing::TempDir;

std::map<std::string, std::string> filesIn(const TempDir& dir) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        contents[entry.path().filename().string()] =
            entry.is_regular_file() ? testing::readFileText(entry.path()) : std::string("<folder>");
    return contents;
}

constexpr const char* kTryHelp = "Try 'kvzpack --help' for more information.\n";

struct RefusedLine {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

class RefusedCommandLines : public ::testing::TestWithParam<RefusedLine> {};

TEST_P(RefusedCommandLines, ExitTwoAndNothingTouched) {
    TempDir dir;
    copyExample(dir);
    testing::writeFile(dir / "example.log", std::string_view("older log"));
    testing::writeFile(dir / "example.ihx", std::string_view("older image"));
    const auto before = filesIn(dir);
    const ProcessResult run = kvzpack(dir, GetParam().args);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, std::string("kvzpack: ") + GetParam().message + "\n" + kTryHelp);
    EXPECT_EQ(filesIn(dir), before);
}

INSTANTIATE_TEST_SUITE_P(
    Program, RefusedCommandLines,
    ::testing::Values(
        RefusedLine{"InspectWithPreview", {"--inspect", "example.ihx", "--preview"},
                    "option '--preview' converts files and does not go with '--inspect'"},
        RefusedLine{"InspectWithStrict", {"--strict", "--inspect=example.ihx"},
                    "option '--strict' converts files and does not go with '--inspect'"},
        RefusedLine{"InspectWithVerbose", {"--inspect", "example.ihx", "-v"},
                    "option '--verbose' converts files and does not go with '--inspect'"},
        RefusedLine{"InspectWithNoVerify", {"--no-verify", "--inspect", "example.ihx"},
                    "option '--no-verify' converts files and does not go with '--inspect'"},
        RefusedLine{"InspectTwice", {"--inspect", "example.ihx", "--inspect", "other.ihx"},
                    "option '--inspect' given twice: it reads one image"},
        RefusedLine{"LineBreakInAName", {"example.kvz", "two\nlines.kvz"},
                    "two\\nlines.kvz: a file name holding a line break would split the log's lines"},
        RefusedLine{"CarriageReturnInTheFirstName", {"ex\rample.kvz", "example.kvz"},
                    "ex\\rample.kvz: a file name holding a line break would split the log's lines"}),
    [](const auto& info) { return std::string(info.param.name); });

// Group 0 entry 0 short field 2 reads "abc", a zero byte, then "def".
std::vector<std::uint8_t> deckWithACutText() {
    std::vector<std::uint8_t> deck;
    testing::appendRecord(deck, testing::groupRecord("A", 1));
    for (int g = 1; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("B", 0));
    testing::appendRecord(deck, testing::entryRecord({"L", "a", std::string_view("abc\0def", 7), "c", "d", "e"}));
    return deck;
}

constexpr const char* kCutText = "group 0 entry 0 short field 2 is cut by a zero byte: 3 bytes kept, 3 dropped";

TEST(ZeroBytes, AWarningNamesThePlaceAndTheImageReadsTheCutText) {
    TempDir dir;
    testing::writeFile(dir / "cut.kvz", deckWithACutText());
    const ProcessResult run = kvzpack(dir, {"cut.kvz"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(messages(run.err), std::string("kvzpack: cut.kvz: warning: ") + kCutText + "\n");
    EXPECT_EQ(run.out.rfind("cut.kvz:05D0-", 0), 0u);
    // The image is the one of the deck with the text cut by hand.
    std::vector<std::uint8_t> cut;
    testing::appendRecord(cut, testing::groupRecord("A", 1));
    for (int g = 1; g < 8; ++g) testing::appendRecord(cut, testing::groupRecord("B", 0));
    testing::appendRecord(cut, testing::entryRecord({"L", "a", "abc", "c", "d", "e"}));
    testing::writeFile(dir / "byhand.kvz", cut);
    ASSERT_EQ(kvzpack(dir, {"byhand.kvz"}).exitStatus, 0);
    EXPECT_EQ(testing::readFileText(dir / "cut.ihx"), testing::readFileText(dir / "byhand.ihx"));
}

TEST(ZeroBytes, StrictFailsTheFile) {
    TempDir dir;
    testing::writeFile(dir / "cut.kvz", deckWithACutText());
    copyExample(dir);
    const ProcessResult run = kvzpack(dir, {"--strict", "cut.kvz", "example.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(messages(run.err), std::string("kvzpack: cut.kvz: error: ") + kCutText + "\n");
    EXPECT_EQ(run.out, "example.kvz:05D0-062E\n");
    EXPECT_FALSE(fs::exists(dir / "cut.ihx"));
    EXPECT_FALSE(fs::exists(dir / "cut.txt"));
}

TEST(NotADeck, ATextFileIsNamedSoAndATsvGetsTheWayToBuildIt) {
    TempDir dir;
    const std::string tsv = testing::readFileText(testing::sourcePath("examples/sample.tsv"));
    testing::writeFile(dir / "deck.tsv", tsv);
    testing::writeFile(dir / "notes.txt.kvz", tsv);
    const ProcessResult run = kvzpack(dir, {"deck.tsv", "notes.txt.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    const std::vector<std::string> lines = cli_testing::splitLines(messages(run.err));
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_EQ(lines[0].rfind("kvzpack: deck.tsv: does not look like a KVZ deck: ", 0), 0u) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("; a deck written as text becomes one with 'kvzdeck build deck.tsv deck.kvz'"))
        << lines[0];
    EXPECT_EQ(lines[1].rfind("kvzpack: notes.txt.kvz: does not look like a KVZ deck: ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[1].find("kvzdeck"), std::string::npos) << lines[1];
}

TEST(TheLog, UnwritableLogStillPrintsEveryLineAndFailsTheRunOnce) {
    TempDir dir;
    copyExample(dir);
    copyExample(dir, "second.kvz");
    fs::create_directory(dir / "example.log");
    const ProcessResult run = kvzpack(dir, {"example.kvz", "second.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "example.kvz:05D0-062E\nsecond.kvz:05D0-062E\n");
    EXPECT_EQ(messages(run.err), "kvzpack: cannot append to the log example.log: Is a directory\n");
    EXPECT_TRUE(fs::exists(dir / "example.ihx"));
    EXPECT_TRUE(fs::exists(dir / "second.txt"));
}

ProcessResult withOutputTo(const fs::path& standardOutput, std::vector<std::string> args, const TempDir& dir) {
    testing::StartedProgram program = testing::startProgram(args, dir.path(), standardOutput);
    return testing::finishProgram(program);
}

TEST(StandardOutput, AWriteErrorIsReportedWithExitOne) {
    TempDir dir;
    copyExample(dir);
    ASSERT_EQ(kvzpack(dir, {"example.kvz"}).exitStatus, 0);
    const std::string kvzpackBinary = testing::kvzpackBinary().string();
    const std::string kvzdeckBinary = testing::kvzdeckBinary().string();
    const std::vector<std::string> runs[] = {
        {kvzpackBinary, "--inspect", "example.ihx"},
        {kvzpackBinary, "example.kvz"},
        {kvzpackBinary, "--help"},
        {kvzpackBinary, "--version"},
        {kvzdeckBinary, "--help"},
        {kvzdeckBinary, "--version"},
        {kvzdeckBinary, "dump", "example.kvz"},
    };
    for (const auto& args : runs) {
        const ProcessResult run = withOutputTo("/dev/full", args, dir);
        EXPECT_EQ(run.exitStatus, 1) << args[1];
        const std::string program = fs::path(args[0]).filename().string();
        EXPECT_EQ(messages(run.err), program + ": cannot write to standard output: No space left on device\n") << args[1];
    }
}

// The longest names whose outputs are still legal: NAME.kvz, NAME.ihx,
// NAME.txt, NAME.png and NAME.log of up to 255 bytes.
TEST(LongNames, OutputsUpToTheNameLimitAreWritten) {
    TempDir dir;
    const long limit = ::pathconf(dir.path().c_str(), _PC_NAME_MAX);
    for (const long nameLength : {limit - 11, limit - 4}) {
        const std::string name(static_cast<std::size_t>(nameLength), 'n');
        copyExample(dir, name + ".kvz");
        const ProcessResult run = kvzpack(dir, {"--preview", name + ".kvz"});
        EXPECT_EQ(run.exitStatus, 0) << nameLength << ": " << run.err;
        for (const char* extension : {".ihx", ".txt", ".png", ".log"})
            EXPECT_TRUE(fs::exists(dir / (name + extension))) << nameLength << extension;
    }
    const std::string kvz(static_cast<std::size_t>(limit), 'k');
    const ProcessResult built = testing::runProgram(
        {testing::kvzdeckBinary().string(), "build", testing::sourcePath("examples/example.tsv").string(), kvz},
        dir.path());
    EXPECT_EQ(built.exitStatus, 0) << built.err;
    EXPECT_EQ(testing::readFileText(dir / kvz), testing::readFileText(testing::sourcePath("examples/example.kvz")));
    for (const auto& [name, contents] : filesIn(dir)) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
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

    constexpr int kDecks = 12;
    for (const int interruptAt : {1, 3, 8}) {
        TempDir dir;
        std::vector<std::string> args{testing::kvzpackBinary().string()};
        for (int i = 0; i < kDecks; ++i) {
            const std::string name = std::string("deck").append(std::to_string(i));
            fs::copy_file(reference / "large.kvz", dir / (name + ".kvz"));
            testing::writeFile(dir / (name + ".ihx"), std::string_view("older image"));
            testing::writeFile(dir / (name + ".txt"), std::string_view("older numbered"));
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
                EXPECT_EQ(contents, "older image") << name;
                EXPECT_EQ(numbered, "older numbered") << name;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

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
