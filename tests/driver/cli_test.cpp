// The command line parsed into options, and the figures of --verbose
// checked against each other. What kvzpack prints for each command line is
// pinned in tests/cli.
#include <gtest/gtest.h>

#include <regex>

#include "cli/cli.h"
#include "cli_support.h"

namespace kvz {
namespace {

using cli_testing::kvzpack;
using testing::ProcessResult;
using testing::TempDir;

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

}  // namespace
}  // namespace kvz
