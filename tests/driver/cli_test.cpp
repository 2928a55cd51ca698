// kvzpack's options as users type them: help, version, "--", refusals of
// the command line, the order of options and files, --verbose and
// --no-verify.
#include <gtest/gtest.h>

#include <regex>

#include "cli/cli.h"
#include "cli_support.h"

namespace kvz {
namespace {

namespace fs = std::filesystem;
using cli_testing::copyExample;
using cli_testing::kvzpack;
using cli_testing::messages;
using testing::ProcessResult;
using testing::TempDir;

constexpr const char* kHint = "Try 'kvzpack --help' for more information.\n";

TEST(CliHelp, ShortAndLongFormPrintUsageAndEveryOption) {
    for (const char* option : {"-h", "--help"}) {
        TempDir dir;
        copyExample(dir);
        const ProcessResult run = kvzpack(dir, {option, "example.kvz"});
        EXPECT_EQ(run.exitStatus, 0) << option;
        EXPECT_EQ(run.err, "") << option;
        EXPECT_EQ(run.out.rfind("Usage: kvzpack [OPTION]... FILE.kvz...\n", 0), 0u) << run.out;
        for (const char* name : {"--verbose", "--preview", "--strict", "--no-verify", "--inspect", "--entry",
                                 "--help", "--version", "Exit status"})
            EXPECT_NE(run.out.find(name), std::string::npos) << name;
        EXPECT_FALSE(fs::exists(dir / "example.ihx")) << "help converts nothing";
    }
}

TEST(CliVersion, ShortAndLongForm) {
    for (const char* option : {"-V", "--version"}) {
        TempDir dir;
        const ProcessResult run = kvzpack(dir, {option});
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, "kvzpack " KVZPACK_VERSION "\n");
        EXPECT_EQ(run.err, "");
    }
}

TEST(CliUsage, OptionsWithoutFilesShowTheOriginalUsageLine) {
    TempDir dir;
    testing::writeFile(dir / "x.log", std::string_view("keep"));
    for (const char* option : {"-v", "--strict", "--"}) {
        const ProcessResult run = kvzpack(dir, {option});
        EXPECT_EQ(run.exitStatus, 0) << option;
        EXPECT_EQ(run.err, "USAGE: " + testing::kvzpackBinary().string() + " [KVZ file] ...\n") << option;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(testing::readFileText(dir / "x.log"), "keep");
}

struct Refusal {
    std::vector<std::string> args;
    std::string line;  // after "kvzpack: "
};

TEST(CliRefusal, OneLineAndTheHintExitStatus2NothingTouched) {
    const Refusal refusals[] = {
        {{"--x", "example.kvz"}, "unknown option '--x'"},
        {{"example.kvz", "--x=3"}, "unknown option '--x'"},
        {{"-x", "example.kvz"}, "unknown option '-x'"},
        {{"-vx", "example.kvz"}, "unknown option '-x'"},
        {{"--verb", "example.kvz"}, "unknown option '--verb'"},  // no abbreviations
        {{"-example.kvz"}, "unknown option '-e'"},
        {{"--verbose=1", "example.kvz"}, "option '--verbose' takes no value"},
        {{"example.kvz", "--inspect"}, "option '--inspect' needs an image file"},
        {{"--inspect", "a.ihx", "--entry"}, "option '--entry' needs G or G:N"},
        {{"--entry", "0:0", "example.kvz"}, "option '--entry' needs '--inspect'"},
        {{"--inspect", "a.ihx", "example.kvz"},
         "'--inspect' reads one image and converts no files: 'example.kvz' is one too many"},
    };
    for (const Refusal& refusal : refusals) {
        TempDir dir;
        copyExample(dir);
        testing::writeFile(dir / "example.log", std::string_view("older"));
        const ProcessResult run = kvzpack(dir, refusal.args);
        EXPECT_EQ(run.exitStatus, 2) << refusal.line;
        EXPECT_EQ(run.err, "kvzpack: " + refusal.line + "\n" + kHint);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(testing::readFileText(dir / "example.log"), "older") << "the log is not even removed";
        EXPECT_FALSE(fs::exists(dir / "example.ihx"));
    }
}

TEST(CliRefusal, BadEntrySelections) {
    for (const char* entry : {"8", "8:0", "-1", "0:", ":0", "0:x", "0:65536", "a", "", "0:1:2", " 1"}) {
        TempDir dir;
        const ProcessResult run = kvzpack(dir, {"--inspect", "a.ihx", std::string("--entry=") + entry});
        EXPECT_EQ(run.exitStatus, 2) << entry;
        EXPECT_EQ(run.err.rfind("kvzpack: invalid entry '" + std::string(entry) + "'", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(kHint), std::string::npos);
    }
}

TEST(CliParse, EntrySelections) {
    const std::tuple<const char*, int, int> cases[] = {
        {"0", 0, -1}, {"7", 7, -1}, {"3:0", 3, 0}, {"0:65535", 0, 65535}, {"2:12", 2, 12}};
    for (auto [text, group, entry] : cases) {
        auto parsed = parseEntrySelection(text);
        ASSERT_TRUE(parsed.ok()) << text << ": " << parsed.reason();
        EXPECT_EQ(parsed->group, group) << text;
        EXPECT_EQ(parsed->entry, entry) << text;
    }
}

TEST(CliParse, OptionsMixWithFilesInTheirOrder) {
    const std::vector<std::string> args{"b.kvz", "-v", "--no-verify", "a.kvz", "--preview", "--",
                                        "--strict", "-", "-V"};
    auto options = parseCommandLine(args);
    ASSERT_TRUE(options.ok()) << options.reason();
    EXPECT_TRUE(options->verbose);
    EXPECT_FALSE(options->verify);
    EXPECT_TRUE(options->preview);
    EXPECT_FALSE(options->strict) << "after --";
    EXPECT_FALSE(options->version) << "after --";
    EXPECT_EQ(options->files, (std::vector<std::string>{"b.kvz", "a.kvz", "--strict", "-", "-V"}));
}

TEST(CliParse, InspectValueInBothForms) {
    for (const auto& args : {std::vector<std::string>{"--inspect", "-x.ihx", "--entry", "1:2"},
                             std::vector<std::string>{"--entry=1:2", "--inspect=-x.ihx"}}) {
        auto options = parseCommandLine(args);
        ASSERT_TRUE(options.ok()) << options.reason();
        EXPECT_EQ(options->inspect, "-x.ihx");
        ASSERT_TRUE(options->entry.has_value());
        EXPECT_EQ(options->entry->group, 1);
        EXPECT_EQ(options->entry->entry, 2);
    }
}

TEST(CliDoubleDash, EndsTheOptionsSoThatAnyNameWorks) {
    TempDir dir;
    copyExample(dir, "-v.kvz");
    copyExample(dir, "--x.kvz");
    const ProcessResult run = kvzpack(dir, {"--", "-v.kvz", "--x.kvz"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "-v.kvz:05D0-062E\n--x.kvz:05D0-062E\n");
    EXPECT_EQ(testing::readFileText(dir / "-v.log"), "-v.kvz:05D0-062E\r\n--x.kvz:05D0-062E\r\n");
    for (const char* name : {"-v.ihx", "-v.txt", "--x.ihx", "--x.txt"}) EXPECT_TRUE(fs::exists(dir / name)) << name;
}

TEST(CliDoubleDash, ALoneDashIsAFileName) {
    TempDir dir;
    copyExample(dir, "-");
    const ProcessResult run = kvzpack(dir, {"-"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "-:05D0-062E\n");
    EXPECT_TRUE(fs::exists(dir / "-.ihx"));
}

TEST(CliOrder, TheLogIsNamedAfterTheFirstFileWhereverTheOptionsStand) {
    TempDir dir;
    copyExample(dir, "first.kvz");
    copyExample(dir, "second.kvz");
    const ProcessResult run = kvzpack(dir, {"--no-verify", "first.kvz", "--verbose", "second.kvz"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(testing::readFileText(dir / "first.log"), "first.kvz:05D0-062E\r\nsecond.kvz:05D0-062E\r\n");
    EXPECT_FALSE(fs::exists(dir / "--no-verify.log"));
    const auto lines = cli_testing::splitLines(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    EXPECT_EQ(lines[0], "first.kvz:05D0-062E");
    EXPECT_EQ(lines[1].rfind("first.kvz: 14 texts", 0), 0u) << "--verbose counts for every file";
    EXPECT_EQ(lines[2], "second.kvz:05D0-062E");
    EXPECT_EQ(lines[3].rfind("second.kvz: 14 texts", 0), 0u);
}

TEST(CliVerbose, SummaryLineOfTheExampleAfterItsLogLine) {
    TempDir dir;
    copyExample(dir);
    const ProcessResult run = kvzpack(dir, {"-v", "example.kvz"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    // 8 group names and 6 fields; characters: A 10, E 6, C 5, B 4, D 3; the
    // phrase ABCD; 57 stream values packed into 8 groups of 7 bytes; 5 cells
    // of 7 columns packed into 5 groups; 4 + 56 + 35 bytes of 64048.
    const std::regex expected(
        "example\\.kvz:05D0-062E\n"
        "example\\.kvz: 14 texts, 28 characters \\(5 distinct\\), 1 phrase, stream 56 bytes, "
        "glyphs 35 bytes, image 95 bytes = 0\\.1% of 64048, [0-9]+\\.[0-9]{3} s\n");
    EXPECT_TRUE(std::regex_match(run.out, expected)) << run.out;
    EXPECT_EQ(testing::readFileText(dir / "example.log"), "example.kvz:05D0-062E\r\n") << "the log is unchanged";
}

TEST(CliVerbose, FiguresAddUpOnEveryExample) {
    const std::regex range(R"(([^:]+):05D0-([0-9A-F]{4}))");
    const std::regex summary(
        R"((.+): (\d+) texts, (\d+) characters \((\d+) distinct\), (\d+) phrases?, stream (\d+) bytes, )"
        R"(glyphs (\d+) bytes, image (\d+) bytes = (\d+\.\d)% of 64048, \d+\.\d{3} s)");
    for (const char* name : {"example.kvz", "sample.kvz"}) {
        TempDir dir;
        testing::writeFile(dir / name, testing::readFileBytes(testing::sourcePath(std::string("examples/") + name)));
        const ProcessResult run = kvzpack(dir, {name, "--verbose"});
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const auto lines = cli_testing::splitLines(run.out);
        ASSERT_EQ(lines.size(), 2u);
        std::smatch r, s;
        ASSERT_TRUE(std::regex_match(lines[0], r, range)) << lines[0];
        ASSERT_TRUE(std::regex_match(lines[1], s, summary)) << lines[1];
        const auto number = [&](int i) { return std::stoul(s[i].str()); };
        const unsigned long image = number(8);
        EXPECT_EQ(image, std::stoul(r[2].str(), nullptr, 16) - 0x05D0 + 1) << "the image of the range";
        EXPECT_EQ(4 + number(6) + number(7), image) << "header, stream and glyphs";
        EXPECT_EQ(number(6) % 7, 0u);
        EXPECT_EQ(number(7), 7 * ((7 * number(4) + 7) / 8)) << "one packed cell per distinct character";
        EXPECT_LE(number(4), number(3));
        char share[16];
        std::snprintf(share, sizeof share, "%.1f", 100.0 * static_cast<double>(image) / 64048);
        EXPECT_EQ(s[9].str(), share);
    }
}

TEST(CliNoVerify, WritesTheSameFilesAndLines) {
    TempDir checked, unchecked;
    for (const TempDir* dir : {&checked, &unchecked})
        testing::writeFile(*dir / "sample.kvz", testing::readFileBytes(testing::sourcePath("examples/sample.kvz")));
    const ProcessResult a = kvzpack(checked, {"sample.kvz"});
    const ProcessResult b = kvzpack(unchecked, {"--no-verify", "sample.kvz"});
    ASSERT_EQ(a.exitStatus, 0);
    ASSERT_EQ(b.exitStatus, 0);
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(a.err, b.err);
    for (const char* name : {"sample.ihx", "sample.txt", "sample.log"})
        EXPECT_EQ(testing::readFileBytes(checked / name), testing::readFileBytes(unchecked / name)) << name;
    EXPECT_FALSE(fs::exists(unchecked / "sample.png")) << "no preview unless asked";
}

}  // namespace
}  // namespace kvz
