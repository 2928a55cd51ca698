// The command line parsed into options, and the output names derived from
// an input's name. What kvzpack prints for each command line is pinned in
// the cases beside this file.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "cli/cli.h"
#include "cli/driver.h"

namespace kvz {
namespace {

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

// The short form takes its value from the rest of the argument or from the
// next one, also last in a cluster of flags.
TEST(CliParse, OutputDirInEveryForm) {
    struct Form {
        std::vector<std::string> args;
        std::string folder;
        bool verbose;
    };
    for (const Form& form : {Form{{"--output-dir", "-out", "a.kvz"}, "-out", false},
                             Form{{"--output-dir=out/", "a.kvz"}, "out/", false},
                             Form{{"-o", "out", "a.kvz"}, "out", false},
                             Form{{"a.kvz", "-oout"}, "out", false},
                             Form{{"-vo", "out", "a.kvz"}, "out", true},
                             Form{{"-ov", "a.kvz"}, "v", false}}) {
        auto options = parseCommandLine(form.args);
        ASSERT_TRUE(options.ok()) << options.reason();
        EXPECT_EQ(options->outputDir, form.folder);
        EXPECT_EQ(options->verbose, form.verbose);
        EXPECT_EQ(options->files, std::vector<std::string>{"a.kvz"});
    }
    EXPECT_EQ(parseCommandLine(std::vector<std::string>{"a.kvz", "-o"}).reason(), "option '-o' needs DIR");
    EXPECT_EQ(parseCommandLine(std::vector<std::string>{"a.kvz", "--output-dir="}).reason(),
              "option '--output-dir' needs DIR, not an empty name");
    EXPECT_EQ(parseCommandLine(std::vector<std::string>{"--inspect", "a.ihx", "-o", "out"}).reason(),
              "option '--output-dir' converts files and does not go with '--inspect'");
}

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

}  // namespace
}  // namespace kvz
