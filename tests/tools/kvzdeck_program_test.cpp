// The kvzdeck program: commands, messages and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/fixtures.h"

namespace kvz {
namespace {

using testing::kvzdeckBinary;
using testing::ProcessResult;
using testing::readFileBytes;
using testing::runProgram;
using testing::sourcePath;
using testing::TempDir;
using testing::writeFile;

ProcessResult kvzdeck(std::vector<std::string> args, const std::filesystem::path& workdir = {}) {
    args.insert(args.begin(), kvzdeckBinary().string());
    return runProgram(args, workdir);
}

std::size_t entriesIn(const std::filesystem::path& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir),
                                                  std::filesystem::directory_iterator()));
}

TEST(KvzdeckProgram, HelpGoesToStandardOutput) {
    for (const char* option : {"-h", "--help"}) {
        const ProcessResult run = kvzdeck({option});
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_TRUE(run.out.starts_with("Usage: kvzdeck build DECK.tsv DECK.kvz")) << run.out;
        EXPECT_EQ(run.err, "");
    }
}

TEST(KvzdeckProgram, Version) {
    const ProcessResult run = kvzdeck({"--version"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(run.out.starts_with("kvzdeck ")) << run.out;
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    std::string firstLine;
};

class KvzdeckUsageErrors : public ::testing::TestWithParam<UsageCase> {};

TEST_P(KvzdeckUsageErrors, ExitWithStatus2) {
    const ProcessResult run = kvzdeck(GetParam().args);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, GetParam().firstLine + "\nTry 'kvzdeck --help' for more information.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, KvzdeckUsageErrors,
    ::testing::Values(UsageCase{"NoCommand", {}, "kvzdeck: no command given"},
                      UsageCase{"UnknownCommand", {"make"}, "kvzdeck: unknown command 'make'"},
                      UsageCase{"UnknownOption", {"--frobnicate"}, "kvzdeck: unknown option '--frobnicate'"},
                      UsageCase{"BuildOneOperand", {"build", "a.tsv"}, "kvzdeck: build takes DECK.tsv and DECK.kvz"},
                      UsageCase{"DumpTwoOperands", {"dump", "a", "b"}, "kvzdeck: dump takes one DECK.kvz"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KvzdeckProgram, BuildWritesTheDeck) {
    const TempDir dir;
    const ProcessResult run =
        kvzdeck({"build", sourcePath("examples/example.tsv").string(), (dir / "out.kvz").string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFileBytes(dir / "out.kvz"), readFileBytes(sourcePath("examples/example.kvz")));
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "no temporary file is left";
}

TEST(KvzdeckProgram, BuildErrorNamesFileAndLineAndKeepsTheOldOutput) {
    const TempDir dir;
    writeFile(dir / "bad.tsv", std::string_view("G0\nL\ta\tb\n"));
    writeFile(dir / "out.kvz", std::string_view("old"));
    const ProcessResult run = kvzdeck({"build", "bad.tsv", "out.kvz"}, dir.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "kvzdeck: bad.tsv:2: 3 tab-separated fields; a group name line has 1, an entry line 6\n");
    EXPECT_EQ(testing::readFileText(dir / "out.kvz"), "old");
    EXPECT_EQ(entriesIn(dir.path()), 2u);
}

TEST(KvzdeckProgram, BuildNeverWritesOverItsInput) {
    const TempDir dir;
    const std::string tsv = testing::readFileText(sourcePath("examples/example.tsv"));
    writeFile(dir / "deck.tsv", tsv);
    std::filesystem::create_hard_link(dir / "deck.tsv", dir / "alias");
    for (const char* output : {"deck.tsv", "./deck.tsv", "alias"}) {
        const ProcessResult run = kvzdeck({"build", "deck.tsv", output}, dir.path());
        EXPECT_EQ(run.exitStatus, 2) << output;
        EXPECT_EQ(testing::readFileText(dir / "deck.tsv"), tsv);
    }
}

TEST(KvzdeckProgram, BuildReportsAnUnwritableOutput) {
    const TempDir dir;
    const ProcessResult run = kvzdeck(
        {"build", sourcePath("examples/example.tsv").string(), (dir / "missing" / "out.kvz").string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "kvzdeck: " + (dir / "missing" / "out.kvz").string() + ": No such file or directory\n");
}

TEST(KvzdeckProgram, BuildReportsAMissingInput) {
    const TempDir dir;
    const ProcessResult run = kvzdeck({"build", "absent.tsv", "out.kvz"}, dir.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "kvzdeck: absent.tsv: No such file or directory\n");
}

TEST(KvzdeckProgram, DumpWritesTsvToStandardOutput) {
    const ProcessResult run = kvzdeck({"dump", sourcePath("examples/example.kvz").string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("\nA\nABCDABCDABCD\tC\tC\tE\tEE\tEEE\n"), std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with("\nB\n"));
}

TEST(KvzdeckProgram, DumpThenBuildGivesTheSameFile) {
    const TempDir dir;
    const ProcessResult dump = kvzdeck({"dump", sourcePath("examples/sample.kvz").string()});
    ASSERT_EQ(dump.exitStatus, 0) << dump.err;
    writeFile(dir / "sample.tsv", dump.out);
    const ProcessResult build = kvzdeck({"build", "sample.tsv", "sample.kvz"}, dir.path());
    ASSERT_EQ(build.exitStatus, 0) << build.err;
    EXPECT_EQ(readFileBytes(dir / "sample.kvz"), readFileBytes(sourcePath("examples/sample.kvz")));
}

TEST(KvzdeckProgram, DumpRefusesATruncatedFile) {
    const TempDir dir;
    std::vector<std::uint8_t> kvz = readFileBytes(sourcePath("examples/example.kvz"));
    kvz.resize(8 * 256);
    writeFile(dir / "cut.kvz", kvz);
    const ProcessResult run = kvzdeck({"dump", "cut.kvz"}, dir.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kvzdeck: cut.kvz: truncated: 8 records, the group records announce 9\n");
}

TEST(KvzdeckProgram, DoubleDashEndsTheOptions) {
    const TempDir dir;
    std::filesystem::copy_file(sourcePath("examples/example.kvz"), dir / "-deck.kvz");
    const ProcessResult run = kvzdeck({"dump", "--", "-deck.kvz"}, dir.path());
    EXPECT_EQ(run.exitStatus, 0) << run.err;
}

}  // namespace
}  // namespace kvz
