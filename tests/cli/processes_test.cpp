// kvzpack and kvzdeck as processes among others: runs at the same time,
// files damaged on their way to the disk, temporary files that cannot be
// made, and signals that arrive at the worst moment. The faults come from
// the fault library (support/fault_shim.cpp), preloaded into the programs.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support/fixtures.h"

namespace kvz {
namespace {

namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::TempDir;
using Contents = std::map<std::string, std::string>;

// The environment that preloads the fault library and asks it for `faults`
// ("KVZPACK_TEST_...=TEXT" each).
std::vector<std::string> withFaults(std::vector<std::string> faults) {
    faults.push_back(std::string("LD_PRELOAD=") + KVZPACK_FAULT_SHIM);
    // A sanitizer build's runtime refuses to start after a preloaded library.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    faults.push_back("ASAN_OPTIONS=" + (sanitizer ? std::string(sanitizer) + ":" : std::string()) +
                     "verify_asan_link_order=0");
    return faults;
}

testing::StartedProgram start(const TempDir& dir, const fs::path& program, std::vector<std::string> args,
                              const std::vector<std::string>& environment = {}) {
    args.insert(args.begin(), program.string());
    return testing::startProgram(args, dir.path(), {}, environment);
}

ProcessResult run(const TempDir& dir, const fs::path& program, std::vector<std::string> args,
                  const std::vector<std::string>& environment = {}) {
    testing::StartedProgram started = start(dir, program, std::move(args), environment);
    return testing::finishProgram(started);
}

void copyDeck(const TempDir& dir, const std::string& bundled, const std::string& name) {
    testing::writeFile(dir / name, testing::bundledDeckBytes(bundled));
}

// examples/example.kvz's image, as pinned by its command-line case.
std::string exampleImage() {
    return testing::readFileText(testing::sourcePath("tests/cli/cases/kvzpack/pinned/pinned-example/files/example.ihx"));
}

// Outputs that kvzpack wrote for NAME.kvz, from examples/sample.kvz (with
// --preview also NAME.png), which a later run may replace; the deck is then
// examples/example.kvz. Their contents by name.
Contents writeOlderOutputs(const TempDir& dir, const std::string& name, bool preview) {
    copyDeck(dir, "sample.kvz", name + ".kvz");
    std::vector<std::string> args{name + ".kvz"};
    if (preview) args.insert(args.begin(), "--preview");
    EXPECT_EQ(run(dir, testing::kvzpackBinary(), args).exitStatus, 0);
    fs::remove(dir / (name + ".log"));
    copyDeck(dir, "example.kvz", name + ".kvz");
    Contents older;
    for (const char* extension : {".ihx", ".txt", ".png"})
        if (fs::exists(dir / (name + extension)))
            older[name + extension] = testing::readFileText(dir / (name + extension));
    return older;
}

// A pipe whose write end a started program inherits; the fault library
// writes a byte to it when a write stalls.
class StallNotice {
public:
    StallNotice() {
        if (::pipe(ends_) != 0) ends_[0] = ends_[1] = -1;
    }
    ~StallNotice() {
        for (const int end : ends_)
            if (end >= 0) ::close(end);
    }
    StallNotice(const StallNotice&) = delete;
    StallNotice& operator=(const StallNotice&) = delete;

    // The variable that points the fault library at the pipe.
    std::string variable() const { return "KVZPACK_TEST_STALL_NOTIFY=" + std::to_string(ends_[1]); }
    // Once the program is started: true when it reports a stalled write
    // within a minute, false when it ends or the time passes first.
    bool waitForStall() {
        ::close(ends_[1]);
        ends_[1] = -1;
        pollfd ready{ends_[0], POLLIN, 0};
        char byte = 0;
        return ::poll(&ready, 1, 60000) == 1 && ::read(ends_[0], &byte, 1) == 1;
    }

private:
    int ends_[2];
};

void expectNoTemporaryFile(const TempDir& dir) {
    for (const auto& [name, contents] : testing::filesIn(dir.path()))
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

struct Damage {
    const char* name;
    const char* file;    // the temporary file whose write is damaged
    const char* reason;  // the start of what the internal error says
};

class DamagedOnTheWay : public ::testing::TestWithParam<Damage> {};

// One byte of a file flips between the program and the disk: the file read
// back shows it, the older outputs stay, and the next deck still converts.
TEST_P(DamagedOnTheWay, IsFoundInTheFileReadBackAndKeepsTheOlderOutputs) {
    TempDir dir;
    const Contents older = writeOlderOutputs(dir, "x", true);
    copyDeck(dir, "example.kvz", "y.kvz");
    const ProcessResult converted =
        run(dir, testing::kvzpackBinary(), {"--preview", "x.kvz", "y.kvz"},
            withFaults({std::string("KVZPACK_TEST_FLIP=") + GetParam().file}));
    EXPECT_EQ(converted.exitStatus, 1);
    EXPECT_EQ(converted.out, "y.kvz:05D0-062E\n");
    const std::string expected = std::string("kvzpack: x.kvz: internal error: ") + GetParam().reason;
    EXPECT_EQ(testing::withoutProgress(converted.err).rfind(expected, 0), 0u) << converted.err;
    const Contents after = testing::filesIn(dir.path());
    for (const auto& [name, contents] : older) EXPECT_EQ(after.at(name), contents) << name;
    EXPECT_EQ(after.at("x.log"), "y.kvz:05D0-062E\r\n");
    EXPECT_EQ(after.at("y.ihx"), exampleImage());
    expectNoTemporaryFile(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, DamagedOnTheWay,
    ::testing::Values(Damage{"Image", "x.ihx.part", "cannot read back the image written: line 1: checksum "},
                      Damage{"NumberedText", "x.txt.part",
                             "cannot read back the numbered text written: line 1 is not line 1 of the image, "
                             "numbered\n"},
                      Damage{"Preview", "x.png.part", "the preview read back is not the one written\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TemporaryFiles, OneThatCannotBeMadeIsToldAsTheOutputThatCannotBeWritten) {
    TempDir dir;
    copyDeck(dir, "example.kvz", "x.kvz");
    copyDeck(dir, "example.kvz", "y.kvz");
    const std::string olderImage = writeOlderOutputs(dir, "x", false).at("x.ihx");
    fs::remove(dir / "x.txt");
    const ProcessResult converted =
        run(dir, testing::kvzpackBinary(), {"x.kvz", "y.kvz"}, withFaults({"KVZPACK_TEST_FAIL_CREATE=x.txt.part"}));
    EXPECT_EQ(converted.exitStatus, 1);
    EXPECT_EQ(testing::withoutProgress(converted.err), "kvzpack: x.kvz: cannot write x.txt: Permission denied\n");
    EXPECT_EQ(converted.out, "y.kvz:05D0-062E\n");
    EXPECT_EQ(testing::readFileText(dir / "x.ihx"), olderImage);
    EXPECT_FALSE(fs::exists(dir / "x.txt"));
    expectNoTemporaryFile(dir);
}

// A run of `program` whose write to the file named by `stalledFile` stalls,
// sent `signal` while that write waits.
struct Interruption {
    bool stalled = false;  // false: the run ended, or a minute passed, before the stall
    ProcessResult result;
};
Interruption interruptWhileWriting(const TempDir& dir, const fs::path& program, std::vector<std::string> args,
                                   const std::string& stalledFile, int signal) {
    StallNotice notice;
    testing::StartedProgram started =
        start(dir, program, std::move(args), withFaults({"KVZPACK_TEST_STALL=" + stalledFile, notice.variable()}));
    const bool stalled = notice.waitForStall();
    ::kill(started.pid, signal);
    return {stalled, testing::finishProgram(started)};
}

// A signal that arrives once a file's outputs are in place but before its
// log line is written waits for the line, and for its echo.
TEST(Interrupted, AfterPublishingTheLogLineAndItsEchoAreStillWritten) {
    TempDir dir;
    copyDeck(dir, "example.kvz", "x.kvz");
    const Interruption run = interruptWhileWriting(dir, testing::kvzpackBinary(), {"x.kvz"}, "x.log", SIGTERM);
    ASSERT_TRUE(run.stalled) << run.result.err;
    EXPECT_FALSE(run.result.signalled);
    EXPECT_EQ(run.result.exitStatus, 128 + SIGTERM);
    EXPECT_EQ(run.result.out, "x.kvz:05D0-062E\n");
    EXPECT_EQ(testing::readFileText(dir / "x.log"), "x.kvz:05D0-062E\r\n");
    EXPECT_EQ(testing::readFileText(dir / "x.ihx"), exampleImage());
    expectNoTemporaryFile(dir);
}

// The text of a deck with `entries` entries in group 0, each of six short
// ASCII texts: about 256 bytes of deck per 20 bytes of text.
std::string largeDeckText(int entries) {
    std::string text = "G0\n";
    for (int e = 0; e < entries; ++e) text.append("long ").append(std::to_string(e)).append("\ta\tb\tc\td\te\n");
    for (int g = 1; g < 8; ++g) text.append("G").append(std::to_string(g)).append("\n");
    return text;
}

class InterruptedBuild : public ::testing::TestWithParam<int> {};

// kvzdeck is stopped while it writes a deck of 16 MB: its temporary file
// goes, the older deck stays, and the status is 128 + the signal's number.
TEST_P(InterruptedBuild, RemovesTheTemporaryDeckAndKeepsTheOlderOne) {
    const int signal = GetParam();
    TempDir dir;
    testing::writeFile(dir / "big.tsv", largeDeckText(65000));
    testing::writeFile(dir / "big.kvz", std::string_view("older deck"));
    const Interruption run = interruptWhileWriting(dir, testing::kvzdeckBinary(), {"build", "big.tsv", "big.kvz"},
                                                   "big.kvz.part", signal);
    ASSERT_TRUE(run.stalled) << run.result.err;
    EXPECT_FALSE(run.result.signalled);
    EXPECT_EQ(run.result.exitStatus, 128 + signal);
    EXPECT_EQ(run.result.err, "");
    const Contents after = testing::filesIn(dir.path());
    EXPECT_EQ(after.size(), 2u);
    EXPECT_EQ(after.at("big.kvz"), "older deck");
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedBuild, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// Two runs at once whose outputs have the same names, q.ihx and q.txt, from
// two different decks: after each pair both runs succeed, and the outputs
// are the pair of one of the decks.
TEST(ConcurrentRuns, OutputsOfTheSameNamesAreAlwaysTheSetOfOneRun) {
    TempDir reference;
    copyDeck(reference, "example.kvz", "one.kvz");
    copyDeck(reference, "sample.kvz", "two.kvz");
    ASSERT_EQ(run(reference, testing::kvzpackBinary(), {"one.kvz", "two.kvz"}).exitStatus, 0);
    const std::map<std::string, std::string> numberedOf{
        {testing::readFileText(reference / "one.ihx"), testing::readFileText(reference / "one.txt")},
        {testing::readFileText(reference / "two.ihx"), testing::readFileText(reference / "two.txt")}};
    TempDir dir;
    copyDeck(dir, "example.kvz", "q.one");
    copyDeck(dir, "sample.kvz", "q.two");
    for (int pair = 0; pair < 60; ++pair) {
        testing::StartedProgram first = start(dir, testing::kvzpackBinary(), {"q.one"});
        testing::StartedProgram second = start(dir, testing::kvzpackBinary(), {"q.two"});
        const ProcessResult one = testing::finishProgram(first);
        const ProcessResult two = testing::finishProgram(second);
        ASSERT_EQ(one.exitStatus, 0) << one.err;
        ASSERT_EQ(two.exitStatus, 0) << two.err;
        ASSERT_EQ(one.out.rfind("q.one:05D0-", 0), 0u) << one.out;
        ASSERT_EQ(two.out.rfind("q.two:05D0-", 0), 0u) << two.out;
        const Contents after = testing::filesIn(dir.path());
        ASSERT_EQ(after.size(), 5u) << "pair " << pair;  // the decks, q.ihx, q.txt, q.log
        ASSERT_TRUE(numberedOf.contains(after.at("q.ihx"))) << "pair " << pair;
        ASSERT_EQ(after.at("q.txt"), numberedOf.at(after.at("q.ihx"))) << "pair " << pair;
        // The shared log holds whole lines of the two runs, at most one each.
        const std::vector<std::string> lines = testing::splitLines(after.at("q.log"), "\r\n");
        ASSERT_LE(lines.size(), 2u);
        for (const std::string& line : lines) ASSERT_TRUE(line + "\n" == one.out || line + "\n" == two.out) << line;
        if (lines.size() == 2) {
            ASSERT_NE(lines[0], lines[1]);
        }
    }
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

// What a folder holds of a deck's outputs: every file but the decks and
// the logs.
Contents outputsIn(const TempDir& dir) {
    Contents outputs = testing::filesIn(dir.path());
    std::erase_if(outputs, [](const auto& file) { return file.first.ends_with(".kvz") || file.first.ends_with(".log"); });
    return outputs;
}

// A conversion and the deck it converts over the outputs of an earlier one.
struct KilledConversion {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::uint8_t> olderDeck;
    std::vector<std::uint8_t> deck;
};

// Writes `deck` as deck.kvz in `dir` and runs the conversion's kvzpack on it.
ProcessResult convertIn(const TempDir& dir, const KilledConversion& conversion, const std::vector<std::uint8_t>& deck,
                        const std::vector<std::string>& environment) {
    testing::writeFile(dir / "deck.kvz", deck);
    return run(dir, testing::kvzpackBinary(), conversion.args, environment);
}

class KilledAtARename : public ::testing::TestWithParam<KilledConversion> {};

// The run is killed (SIGKILL, as a power loss would end it) at each rename
// in turn. The next run in the folder finds the journal first, says what
// it did, and leaves the older set or the new one, whole, with no temporary
// file and no journal; a run killed at no rename publishes the new set.
TEST_P(KilledAtARename, TheNextRunRepairsTheSet) {
    const KilledConversion& conversion = GetParam();
    const auto convert = [&](const TempDir& dir, const std::vector<std::uint8_t>& deck,
                             const std::vector<std::string>& environment = {}) {
        return convertIn(dir, conversion, deck, environment);
    };
    TempDir reference;
    ASSERT_EQ(convert(reference, conversion.deck).exitStatus, 0);
    const Contents newer = outputsIn(reference);
    int killed = 0;
    for (int at = 1;; ++at) {
        TempDir dir;
        ASSERT_EQ(convert(dir, conversion.olderDeck).exitStatus, 0);
        const Contents older = outputsIn(dir);
        ASSERT_NE(older, newer);
        const ProcessResult interrupted = convert(dir, conversion.deck, withFaults({"KVZPACK_TEST_KILL_AT_RENAME=" + std::to_string(at)}));
        if (!interrupted.signalled) {
            EXPECT_EQ(interrupted.exitStatus, 0) << interrupted.err;
            EXPECT_EQ(outputsIn(dir), newer);
            break;
        }
        ++killed;
        EXPECT_EQ(interrupted.exitStatus, 128 + SIGKILL);
        EXPECT_TRUE(fs::exists(dir / ".kvzpack-journal")) << "killed at rename " << at;
        // A run that converts nothing in the folder repairs it all the same.
        const ProcessResult next = run(dir, testing::kvzpackBinary(), {"missing.kvz"});
        EXPECT_EQ(next.err.rfind("kvzpack: .kvzpack-journal: a run was killed ", 0), 0u) << next.err;
        EXPECT_EQ(std::count(next.err.begin(), next.err.end(), '\n'), 2) << next.err;
        const Contents after = outputsIn(dir);
        EXPECT_TRUE(after == older || after == newer) << "killed at rename " << at;
        for (const auto& [name, contents] : after) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
        EXPECT_FALSE(fs::exists(dir / ".kvzpack-journal"));
        // And the conversion then goes through.
        EXPECT_EQ(convert(dir, conversion.deck).exitStatus, 0);
        EXPECT_EQ(outputsIn(dir), newer);
        ASSERT_LT(at, 40) << "the run never got past its renames";
    }
    EXPECT_EQ(killed, static_cast<int>(newer.size())) << "one rename per output";
}

std::vector<std::uint8_t> bigDeck() {
    return testing::randomKanjiDeck({900, 0, 0, 0, 0, 0, 0, 0}, 58, 1);
}

const auto kKilledConversions =
    ::testing::Values(KilledConversion{"Plain", {"deck.kvz"}, testing::bundledDeckBytes("sample.kvz"),
                                       testing::bundledDeckBytes("example.kvz")},
                      KilledConversion{"WithPreview", {"--preview", "deck.kvz"}, testing::bundledDeckBytes("sample.kvz"),
                                       testing::bundledDeckBytes("example.kvz")},
                      KilledConversion{"Split", {"--split", "deck.kvz"}, testing::repeatedEntries(bigDeck(), 1, 7),
                                       bigDeck()});

INSTANTIATE_TEST_SUITE_P(Conversions, KilledAtARename, kKilledConversions,
                         [](const auto& info) { return std::string(info.param.name); });

class KilledWhileWriting : public ::testing::TestWithParam<KilledConversion> {};

// The run is killed (SIGKILL) as it makes each temporary output in turn,
// before any name changes: the older set stays, and the next run in the
// folder removes the temporary files already made, says so, and leaves no
// record of them; a run killed at none publishes the new set.
TEST_P(KilledWhileWriting, TheNextRunRemovesItsTemporaryFiles) {
    const KilledConversion& conversion = GetParam();
    const auto convert = [&](const TempDir& dir, const std::vector<std::uint8_t>& deck,
                             const std::vector<std::string>& environment = {}) {
        return convertIn(dir, conversion, deck, environment);
    };
    const auto leftOver = [](const TempDir& dir) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            if (const std::string name = entry.path().filename().string();
                name.find(".part") != std::string::npos || name.starts_with(".kvzpack-"))
                names.push_back(name);
        return names;
    };
    TempDir reference;
    ASSERT_EQ(convert(reference, conversion.deck).exitStatus, 0);
    const Contents newer = outputsIn(reference);
    for (int at = 1;; ++at) {
        TempDir dir;
        ASSERT_EQ(convert(dir, conversion.olderDeck).exitStatus, 0);
        const Contents older = outputsIn(dir);
        const ProcessResult interrupted = convert(dir, conversion.deck, withFaults({"KVZPACK_TEST_KILL_AT_CREATE=" + std::to_string(at)}));
        if (!interrupted.signalled) {
            EXPECT_EQ(interrupted.exitStatus, 0) << interrupted.err;
            EXPECT_EQ(outputsIn(dir), newer);
            EXPECT_TRUE(leftOver(dir).empty());
            EXPECT_GT(at, 2) << "the outputs were made under temporary names";
            break;
        }
        Contents kept = outputsIn(dir);
        std::erase_if(kept, [](const auto& file) {
            return file.first.find(".part") != std::string::npos || file.first.starts_with(".kvzpack-");
        });
        EXPECT_EQ(kept, older) << "killed at temporary file " << at;
        const ProcessResult next = run(dir, testing::kvzpackBinary(), {"missing.kvz"});
        if (at == 1) {
            EXPECT_EQ(next.err.find("killed"), std::string::npos) << next.err;
        } else {
            const std::string told = ": a run was killed while it wrote its outputs: " + std::to_string(at - 1) +
                                     (at == 2 ? " temporary file removed\n" : " temporary files removed\n");
            EXPECT_EQ(next.err.rfind("kvzpack: .kvzpack-staging-", 0), 0u) << next.err;
            EXPECT_NE(next.err.find(told), std::string::npos) << next.err;
        }
        EXPECT_EQ(leftOver(dir), std::vector<std::string>{}) << "killed at temporary file " << at;
        EXPECT_EQ(outputsIn(dir), older);
        ASSERT_LT(at, 60) << "the run never got past its temporary files";
    }
}

INSTANTIATE_TEST_SUITE_P(Conversions, KilledWhileWriting, kKilledConversions,
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvz
