// The program as users run it: names, the log, messages, exit statuses and
// the files left behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <regex>

#include "cli_support.h"
#include "core/convert.h"
#include "cli/driver.h"
#include "input/kvz.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::TempDir;

TEST(BaseFileName, RemovesTheLastExtensionOfTheLastComponent) {
    const std::pair<const char*, const char*> cases[] = {
        {"data.dat", "data"},
        {"data", "data"},
        {"a.b.c", "a.b"},
        {"name.", "name"},
        {".profile", ""},
        {".", ""},
        {"", ""},
        {"dir.old/data", "dir.old/data"},  // the search stops at the separator
        {"dir.old/data.dat", "dir.old/data"},
        {"/abs/x.y/z.kvz", "/abs/x.y/z"},
        {"dir/.hidden", "dir/"},
    };
    for (auto [path, base] : cases) EXPECT_EQ(getBaseFileName(path), base) << path;
}

using cli_testing::exampleDeck;
using cli_testing::kvzpack;
using cli_testing::messages;

// A small valid deck: group names G0..G7 and `entries` entries in group 0.
std::vector<std::uint8_t> smallDeck(int entries = 1) {
    std::string tsv = "G0\n";
    for (int i = 0; i < entries; ++i) {
        tsv += "long text ";
        tsv += std::to_string(i);
        tsv += "\ta\tb\tc\td\te\n";
    }
    for (int g = 1; g < 8; ++g) {
        tsv += 'G';
        tsv += std::to_string(g);
        tsv += '\n';
    }
    return testing::deckFromTsv(tsv);
}

std::vector<std::string> linesOf(const std::string& text, const std::string& end) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t next = text.find(end, at);
        if (next == std::string::npos) {
            lines.push_back(text.substr(at) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(at, next - at));
        at = next + end.size();
    }
    return lines;
}

std::vector<fs::path> filesIn(const TempDir& dir) {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Program, UsageWithoutArguments) {
    TempDir dir;
    testing::writeFile(dir / "x.log", std::string_view("keep"));
    const ProcessResult run = kvzpack(dir, {});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "USAGE: " + testing::kvzpackBinary().string() + " [KVZ file] ...\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(testing::readFileText(dir / "x.log"), "keep");
}

TEST(Program, WholeFileExampleEndToEnd) {
    TempDir dir;
    testing::writeFile(dir / "example.kvz", exampleDeck());
    const ProcessResult run = kvzpack(dir, {"example.kvz"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "example.kvz:05D0-062E\n");
    EXPECT_EQ(messages(run.err), "");
    EXPECT_EQ(testing::readFileText(dir / "example.log"), "example.kvz:05D0-062E\r\n");

    const auto hex = linesOf(testing::readFileText(dir / "example.ihx"), "\r\n");
    ASSERT_EQ(hex.size(), 7u);
    const std::regex record(":([0-9A-F]{2})([0-9A-F]{4})00([0-9A-F]*)");
    for (int i = 0; i < 6; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(hex[static_cast<std::size_t>(i)], m, record)) << hex[static_cast<std::size_t>(i)];
        EXPECT_EQ(m[1], i < 5 ? "10" : "0F");
        char address[5];
        std::snprintf(address, sizeof address, "%04X", 0x05D0 + 16 * i);
        EXPECT_EQ(m[2], address);
    }
    EXPECT_EQ(hex[6], ":00000001FF");
    // Header 00 00 0C 06 and the first stream bytes.
    EXPECT_EQ(hex[0].substr(9, 16), "0000" "0C06" "01010103");

    const auto numbered = linesOf(testing::readFileText(dir / "example.txt"), "\r\n");
    ASSERT_EQ(numbered.size(), 7u);
    for (std::size_t i = 0; i < numbered.size(); ++i) EXPECT_EQ(numbered[i], std::to_string(i + 1) + hex[i]);
}

TEST(Program, ImageIsTheConversionOfTheDeck) {
    TempDir dir;
    const auto deck = testing::readFileBytes(testing::sourcePath("examples/sample.kvz"));
    testing::writeFile(dir / "sample.kvz", deck);
    ASSERT_EQ(kvzpack(dir, {"sample.kvz"}).exitStatus, 0);
    const ProcessResult objcopy = testing::runProgram(
        {"/usr/bin/objcopy", "-I", "ihex", "-O", "binary", "sample.ihx", "sample.bin"}, dir.path());
    ASSERT_EQ(objcopy.exitStatus, 0) << objcopy.err;
    auto file = readKvzBytes(deck);
    ASSERT_TRUE(file.ok());
    auto conversion = convertKvz(*file);
    ASSERT_TRUE(conversion.ok());
    EXPECT_EQ(testing::readFileBytes(dir / "sample.bin"), conversion->image);

    const ProcessResult srecord = testing::runProgram(
        {"/usr/bin/srec_cat", "sample.ihx", "-intel", "-offset", "-0x05D0", "-o", "srec.bin", "-binary"},
        dir.path());
    ASSERT_EQ(srecord.exitStatus, 0) << srecord.err;
    EXPECT_EQ(testing::readFileBytes(dir / "srec.bin"), conversion->image);
}

TEST(Program, LogIsNamedAfterTheFirstArgumentEvenWhenItFails) {
    TempDir dir;
    testing::writeFile(dir / "b.dat", exampleDeck());
    testing::writeFile(dir / "a.log", std::string_view("old line\r\n"));
    const ProcessResult run = kvzpack(dir, {"a.dat", "b.dat"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(messages(run.err), "Cannot open a.dat\n");
    EXPECT_EQ(run.out, "b.dat:05D0-062E\n");
    EXPECT_EQ(testing::readFileText(dir / "a.log"), "b.dat:05D0-062E\r\n");
    EXPECT_TRUE(fs::exists(dir / "b.ihx"));
    EXPECT_TRUE(fs::exists(dir / "b.txt"));
    EXPECT_FALSE(fs::exists(dir / "b.log"));
}

TEST(Program, EveryFileFailingLeavesNoLog) {
    TempDir dir;
    testing::writeFile(dir / "a.log", std::string_view("from an earlier run\r\n"));
    const ProcessResult run = kvzpack(dir, {"a.kvz", "b.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(messages(run.err), "Cannot open a.kvz\nCannot open b.kvz\n");
    EXPECT_EQ(filesIn(dir), std::vector<fs::path>{});
}

TEST(Program, SameBaseNameTwice) {
    TempDir dir;
    testing::writeFile(dir / "q.one", exampleDeck());
    testing::writeFile(dir / "q.two", smallDeck());
    const ProcessResult run = kvzpack(dir, {"q.one", "q.two"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto log = linesOf(testing::readFileText(dir / "q.log"), "\r\n");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "q.one:05D0-062E");
    EXPECT_EQ(log[1].substr(0, 11), "q.two:05D0-");
    // The second file's outputs replaced the first's.
    EXPECT_NE(testing::readFileText(dir / "q.ihx").find(":1005D000"), std::string::npos);
    EXPECT_NE(testing::readFileText(dir / "q.ihx").size(), 281u);
}

TEST(Program, OutputsLieBesideTheInput) {
    TempDir dir;
    fs::create_directory(dir / "dir.old");
    testing::writeFile(dir / "dir.old" / "data", exampleDeck());
    const ProcessResult run = kvzpack(dir, {"dir.old/data"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir / "dir.old" / "data.ihx"));
    EXPECT_TRUE(fs::exists(dir / "dir.old" / "data.txt"));
    EXPECT_TRUE(fs::exists(dir / "dir.old" / "data.log"));
    EXPECT_FALSE(fs::exists(dir / "dir.ihx"));
    EXPECT_FALSE(fs::exists(dir / "dir.log"));
}

struct Refusal {
    const char* name;
    std::vector<std::uint8_t> (*deck)();
    const char* message;  // a regular expression for the whole message line
};

std::vector<std::uint8_t> truncatedDeck() {
    auto deck = smallDeck(4);
    deck.resize(deck.size() - 256);
    return deck;
}

std::vector<std::uint8_t> hugeCountFewRecords() {
    std::vector<std::uint8_t> deck;
    testing::appendRecord(deck, testing::groupRecord("G0", 65535));
    for (int g = 1; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("G", 65535));
    testing::appendRecord(deck, testing::entryRecord({"a", "b", "c", "d", "e", "f"}));
    return deck;
}

std::vector<std::uint8_t> emptyField() {
    std::vector<std::uint8_t> deck;
    testing::appendRecord(deck, testing::groupRecord("G0", 0));
    testing::appendRecord(deck, testing::groupRecord("G1", 0));
    testing::appendRecord(deck, testing::groupRecord("G2", 2));
    for (int g = 3; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("G", 0));
    testing::appendRecord(deck, testing::entryRecord({"a", "b", "c", "d", "e", "f"}));
    testing::appendRecord(deck, testing::entryRecord({"a", "b", "c", "", "e", "f"}));
    return deck;
}

// Random kanji, so that hardly anything repeats: the stream gets larger
// than the device's memory.
std::vector<std::uint8_t> tooLargeForTheDevice() { return cli_testing::randomKanjiDeck(1200); }

// Nearly every possible two-byte character once, then 1800 distinct pairs
// three times each, which become phrases: more than 16257 codes in all.
std::vector<std::uint8_t> tooManyCodes() {
    std::vector<std::string> characters;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isKanji(static_cast<std::uint8_t>(lead)) || lead == 0x81 || lead == 0x83) continue;
        for (int trail = 0x01; trail <= 0xFF; ++trail) {
            if (trail == 0x20 || trail == 0xA0) continue;  // keep clear of every terminator
            characters.push_back(std::string{static_cast<char>(lead), static_cast<char>(trail)});
        }
    }
    std::vector<std::string> texts;
    std::string text;
    auto add = [&](const std::string& piece) {
        if (text.size() + piece.size() > 116) {
            texts.push_back(text);
            text.clear();
        }
        text += piece;
    };
    const std::size_t pairs = 1800;
    for (std::size_t i = 2 * pairs; i < characters.size(); ++i) add(characters[i]);
    for (int copy = 0; copy < 3; ++copy)
        for (std::size_t p = 0; p < pairs; ++p) {
            add(characters[2 * p] + characters[2 * p + 1]);
            if (text.size() + 4 <= 116) add(characters[characters.size() - 1 - (p + copy * pairs) % 3000]);
        }
    texts.push_back(text);
    std::vector<std::uint8_t> deck;
    testing::appendRecord(deck, testing::groupRecord("G0", static_cast<std::uint16_t>(texts.size())));
    for (int g = 1; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("G", 0));
    for (const std::string& t : texts) testing::appendRecord(deck, testing::entryRecord({t, "a", "b", "c", "d", "e"}));
    return deck;
}

// More than 65535 times the same character: 566 long fields of 116 A.
std::vector<std::uint8_t> characterTooFrequent() {
    const int entries = 566;
    std::vector<std::uint8_t> deck;
    testing::appendRecord(deck, testing::groupRecord("G0", entries));
    for (int g = 1; g < 8; ++g) testing::appendRecord(deck, testing::groupRecord("G", 0));
    const std::string text(116, 'A');
    for (int e = 0; e < entries; ++e) testing::appendRecord(deck, testing::entryRecord({text, "a", "b", "c", "d", "e"}));
    return deck;
}

TEST(Program, RefusalsNameTheFileAndTheCauseAndLeaveNothing) {
    const Refusal cases[] = {
        {"truncated", truncatedDeck, R"(kvzpack: bad\.kvz: truncated: 11 records, the group records announce 12)"},
        {"huge count", hugeCountFewRecords, R"(kvzpack: bad\.kvz: does not look like a KVZ deck: 9 records, the group records announce 524288)"},
        {"empty field", emptyField, R"(kvzpack: bad\.kvz: .*empty text in group 2 entry 1 short field 3.*)"},
        {"too large", tooLargeForTheDevice,
         R"(kvzpack: bad\.kvz: image of \d+ bytes exceeds the device's 64048 bytes; the first \d+ of \d+ entries fit; .*)"},
        {"character too frequent", characterTooFrequent,
         R"(kvzpack: bad\.kvz: character 0x8260 occurs 65656 times; at most 65535 fit the character table)"},
        {"too many codes", tooManyCodes, R"(kvzpack: bad\.kvz: the texts need 1\d{4} codes; the stream holds at most 16257; split the deck)"},
    };
    for (const Refusal& c : cases) {
        TempDir dir;
        testing::writeFile(dir / "bad.kvz", c.deck());
        testing::writeFile(dir / "good.kvz", exampleDeck());
        testing::writeFile(dir / "bad.ihx", std::string_view("older output"));
        const ProcessResult run = kvzpack(dir, {"bad.kvz", "good.kvz"});
        EXPECT_EQ(run.exitStatus, 1) << c.name;
        // Characters without a glyph may be warned about as well.
        const std::string err = std::regex_replace(messages(run.err), std::regex(".*: warning: .*\n"), "");
        EXPECT_TRUE(std::regex_match(err, std::regex(std::string(c.message) + "\n"))) << c.name << ": " << err;
        EXPECT_EQ(run.out, "good.kvz:05D0-062E\n") << c.name;
        EXPECT_EQ(testing::readFileText(dir / "bad.ihx"), "older output") << c.name;
        EXPECT_FALSE(fs::exists(dir / "bad.txt")) << c.name;
        EXPECT_EQ(filesIn(dir), (std::vector<fs::path>{"bad.ihx", "bad.kvz", "bad.log", "good.ihx", "good.kvz", "good.txt"}))
            << c.name;
    }
}

TEST(Program, DirectoryAndMissingInputs) {
    TempDir dir;
    fs::create_directory(dir / "folder.kvz");
    testing::writeFile(dir / "good.kvz", exampleDeck());
    const ProcessResult run = kvzpack(dir, {"folder.kvz", "missing.kvz", "good.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(messages(run.err), "kvzpack: folder.kvz: is a directory\nCannot open missing.kvz\n");
    EXPECT_EQ(run.out, "good.kvz:05D0-062E\n");
    EXPECT_EQ(testing::readFileText(dir / "folder.log"), "good.kvz:05D0-062E\r\n");
}

TEST(Program, FifoWithoutAWriterIsRefusedWithoutWaiting) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.kvz").c_str(), 0600), 0);
    const ProcessResult run = kvzpack(dir, {"pipe.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(messages(run.err),
              "kvzpack: pipe.kvz: truncated: 0 records, a KVZ file starts with 8 group records\n");
}

// Inputs that an output or the log would overwrite: every input is left as
// it was, and nothing is written where an input stands.
struct InputInTheWay {
    const char* name;
    std::vector<std::string> inputs;  // each written with the example deck
    int exitStatus;
    const char* message;
    std::vector<fs::path> filesAfter;
};

class InputsInTheWay : public ::testing::TestWithParam<InputInTheWay> {};

TEST_P(InputsInTheWay, AreNeverOverwritten) {
    const InputInTheWay& c = GetParam();
    TempDir dir;
    for (const std::string& input : c.inputs) testing::writeFile(dir / input, exampleDeck());
    const ProcessResult run = kvzpack(dir, c.inputs);
    EXPECT_EQ(run.exitStatus, c.exitStatus);
    EXPECT_EQ(messages(run.err), c.message);
    for (const std::string& input : c.inputs) EXPECT_EQ(testing::readFileBytes(dir / input), exampleDeck()) << input;
    EXPECT_EQ(filesIn(dir), c.filesAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Program, InputsInTheWay,
    ::testing::Values(
        // x.ihx is a deck whose outputs would be x.ihx and x.txt.
        InputInTheWay{"OutputIsThatInput", {"y.kvz", "x.ihx"}, 1,
                      "kvzpack: x.ihx: its output x.ihx is the input file x.ihx; it would be overwritten\n",
                      {"x.ihx", "y.ihx", "y.kvz", "y.log", "y.txt"}},
        InputInTheWay{"OutputIsAnotherInput", {"z.kvz", "z.txt"}, 1,
                      "kvzpack: z.kvz: its output z.txt is the input file z.txt; it would be overwritten\n"
                      "kvzpack: z.txt: its output z.txt is the input file z.txt; it would be overwritten\n",
                      {"z.kvz", "z.txt"}},
        InputInTheWay{"LogIsAnInput", {"deck", "deck.log"}, 2,
                      "kvzpack: the log deck.log is the input file deck.log; nothing converted\n",
                      {"deck", "deck.log"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Program, UnwritableOutputIsReportedAndLeavesNoPartialFiles) {
    TempDir dir;
    testing::writeFile(dir / "x.kvz", exampleDeck());
    testing::writeFile(dir / "x.txt", std::string_view("older"));
    fs::create_directory(dir / "x.ihx");
    testing::writeFile(dir / "y.kvz", exampleDeck());
    const ProcessResult run = kvzpack(dir, {"x.kvz", "y.kvz"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(messages(run.err), "kvzpack: x.kvz: cannot write x.ihx: Is a directory\n");
    EXPECT_EQ(run.out, "y.kvz:05D0-062E\n");
    EXPECT_EQ(testing::readFileText(dir / "x.log"), "y.kvz:05D0-062E\r\n");
    EXPECT_EQ(testing::readFileText(dir / "x.txt"), "older");
    EXPECT_EQ(filesIn(dir), (std::vector<fs::path>{"x.ihx", "x.kvz", "x.log", "x.txt", "y.ihx", "y.kvz", "y.txt"}));
}

// Runs kvzpack with every file it writes limited to `limit` bytes, as on a
// nearly full file system: a write past it fails with EFBIG.
int runWithFileSizeLimit(const TempDir& dir, const std::vector<std::string>& args, rlim_t limit,
                         std::string& err) {
    const fs::path errPath = dir / "stderr.out";
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit small{limit, limit};
        ::signal(SIGXFSZ, SIG_IGN);
        const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (errFd < 0 || ::dup2(errFd, 2) < 0 || ::chdir(dir.path().c_str()) != 0 ||
            ::setrlimit(RLIMIT_FSIZE, &small) != 0)
            ::_exit(126);
        std::vector<std::string> argv{testing::kvzpackBinary().string()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& arg : argv) pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    err = messages(testing::readFileText(errPath));
    fs::remove(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Program, FullFileSystemIsAFailureNotASuccess) {
    TempDir dir;
    testing::writeFile(dir / "sample.kvz", testing::readFileBytes(testing::sourcePath("examples/sample.kvz")));
    testing::writeFile(dir / "sample.ihx", std::string_view("older"));
    std::string err;
    EXPECT_EQ(runWithFileSizeLimit(dir, {"sample.kvz"}, 4096, err), 1);
    EXPECT_EQ(err, "kvzpack: sample.kvz: cannot write sample.ihx: File too large\n");
    EXPECT_EQ(testing::readFileText(dir / "sample.ihx"), "older");
    EXPECT_EQ(filesIn(dir), (std::vector<fs::path>{"sample.ihx", "sample.kvz"}));
}

TEST(Program, UnwritableLogIsReportedAndTheOutputsKept) {
    TempDir dir;
    testing::writeFile(dir / "x.kvz", exampleDeck());
    fs::create_directory(dir / "x.log");
    const ProcessResult run = kvzpack(dir, {"x.kvz"});
    EXPECT_EQ(messages(run.err), "kvzpack: cannot append to the log x.log: Is a directory\n");
    EXPECT_EQ(run.out, "x.kvz:05D0-062E\n");  // the run's record stays on standard output
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(fs::exists(dir / "x.ihx"));
    EXPECT_TRUE(fs::exists(dir / "x.txt"));
}

TEST(Program, ProgressLinesOnePerStage) {
    TempDir dir;
    testing::writeFile(dir / "example.kvz", exampleDeck());
    const ProcessResult run = kvzpack(dir, {"example.kvz"});
    std::string expected;
    char line[8];
    for (int stage = 114; stage >= 0; --stage) {
        std::snprintf(line, sizeof line, "[%03d]\r", stage);
        expected += line;
    }
    EXPECT_EQ(run.err, expected);
}

}  // namespace
}  // namespace kvz
