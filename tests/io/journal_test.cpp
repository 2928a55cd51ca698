// The journal of a set being published, and what a later run does with one
// that a killed run left; the names Windows opens as devices.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "io/io.h"
#include "io/journal.h"
#include "support/fixtures.h"

namespace kvz::io {
namespace {

namespace fs = std::filesystem;

struct DeviceName {
    const char* path;
    bool device;
};

class WindowsDeviceName : public ::testing::TestWithParam<DeviceName> {};

TEST_P(WindowsDeviceName, IsTheNameBeforeTheFirstDot) {
    EXPECT_EQ(isWindowsDeviceName(GetParam().path), GetParam().device) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Names, WindowsDeviceName,
    ::testing::Values(DeviceName{"aux.kvz", true}, DeviceName{"AUX", true}, DeviceName{"COM1.kvz", true},
                      DeviceName{"com9.tsv", true}, DeviceName{"Lpt3.ihx", true}, DeviceName{"nul.tsv.kvz", true},
                      DeviceName{"con", true}, DeviceName{"PRN.txt", true}, DeviceName{"nul .txt", true},
                      DeviceName{"dir/aux.kvz", true}, DeviceName{"dir\\CON.log", true},
                      DeviceName{"conout$.txt", true}, DeviceName{"COM\xC2\xB9.kvz", true},
                      DeviceName{"COM0.kvz", false}, DeviceName{"COM10.kvz", false}, DeviceName{"LPT.kvz", false},
                      DeviceName{"auxiliary.kvz", false}, DeviceName{"aux-1.ihx", false},
                      DeviceName{"my.aux.kvz", false}, DeviceName{"aux.kvz/deck.kvz", false},
                      DeviceName{"", false}, DeviceName{".kvz", false}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

using Contents = std::map<std::string, std::string>;

// The folder's files by name.
Contents filesIn(const testing::TempDir& dir) { return testing::filesIn(dir.path()); }

std::string temporaryOf(const std::string& name, const std::string& random) { return name + ".part" + random; }

TEST(Journal, ReadsBackWhatItWrote) {
    const std::vector<JournalEntry> entries{{"deck.ihx", temporaryOf("deck.ihx", "Ab12Cd"), temporaryOf("deck.ihx", "zz99ZZ")},
                                            {"deck.txt", temporaryOf("deck.txt", "000000"), ""}};
    const Result<Journal> ready = parseJournal(formatJournal(entries), "");
    ASSERT_TRUE(ready.ok()) << ready.reason();
    EXPECT_EQ(ready->entries, entries);
    EXPECT_TRUE(ready->ready);
    EXPECT_FALSE(ready->published);
    const Result<Journal> published = parseJournal(formatJournal(entries) + formatJournalMark(), "");
    ASSERT_TRUE(published.ok());
    EXPECT_TRUE(published->published);
    // Cut short anywhere before "ready": the set had not started to change.
    const std::string text = formatJournal(entries);
    for (std::size_t length = 0; length < text.size() - 1; ++length) {
        const Result<Journal> cut = parseJournal(text.substr(0, length), "");
        ASSERT_TRUE(cut.ok()) << length;
        EXPECT_FALSE(cut->ready) << length;
    }
}

TEST(Journal, NamesThatLeadToOtherFilesAreRefused) {
    const std::vector<std::vector<JournalEntry>> refused{
        {{"../deck.ihx", temporaryOf("../deck.ihx", "Ab12Cd"), ""}},
        {{"deck.ihx", "notes.txt", ""}},
        {{"deck.ihx", temporaryOf("deck.ihx", "Ab12Cd"), "important.doc"}},
        {{"deck.ihx", temporaryOf("deck.ihx", "Ab/2Cd"), ""}},
        {{"deck.ihx", temporaryOf("deck.txt", "Ab12Cd"), ""}},
        {{"..", temporaryOf("..", "Ab12Cd"), ""}},
    };
    for (const std::vector<JournalEntry>& entries : refused)
        EXPECT_FALSE(parseJournal(formatJournal(entries), "").ok()) << formatJournal(entries);
    EXPECT_FALSE(parseJournal("kvzpack publication 0\nready\nextra\n", "").ok());
    EXPECT_FALSE(parseJournal("notes\n", "").ok());
}

// A folder where a run was killed: deck.ihx replaced, deck.txt not yet,
// deck.png new (it had none) and already renamed into place.
struct KilledSet {
    testing::TempDir dir;
    std::vector<JournalEntry> entries{
        {"deck.ihx", temporaryOf("deck.ihx", "AAAAAA"), temporaryOf("deck.ihx", "BBBBBB")},
        {"deck.txt", temporaryOf("deck.txt", "CCCCCC"), temporaryOf("deck.txt", "DDDDDD")},
        {"deck.png", temporaryOf("deck.png", "EEEEEE"), ""},
    };
    explicit KilledSet(bool published) {
        testing::writeFile(dir / "deck.ihx", std::string_view("new image"));
        testing::writeFile(dir / entries[0].backup, std::string_view("older image"));
        testing::writeFile(dir / entries[1].temporary, std::string_view("new numbered"));
        testing::writeFile(dir / "deck.txt", std::string_view("older numbered"));
        fs::create_hard_link(dir / "deck.txt", dir / entries[1].backup);
        testing::writeFile(dir / "deck.png", std::string_view("new sheet"));
        testing::writeFile(dir / ".kvzpack-journal", formatJournal(entries) + (published ? formatJournalMark() : ""));
    }
};

TEST(RepairInterruptedPublication, RollsBackASetNotMarkedPublished) {
    const KilledSet killed(false);
    const std::string folder = killed.dir.path().string() + "/";
    const Result<std::optional<std::string>> repaired = repairInterruptedPublication(folder);
    ASSERT_TRUE(repaired.ok()) << repaired.reason();
    ASSERT_TRUE(repaired->has_value());
    EXPECT_EQ(**repaired,
              "a run was killed while it replaced 3 files (deck.ihx, deck.txt, deck.png): they are the older "
              "files again; 2 temporary files removed");
    EXPECT_EQ(filesIn(killed.dir), (Contents{{"deck.ihx", "older image"}, {"deck.txt", "older numbered"}}));
}

TEST(RepairInterruptedPublication, CompletesASetMarkedPublished) {
    const KilledSet killed(true);
    fs::rename(killed.dir / killed.entries[1].temporary, killed.dir / "deck.txt");
    const Result<std::optional<std::string>> repaired = repairInterruptedPublication(killed.dir.path().string());
    ASSERT_TRUE(repaired.ok()) << repaired.reason();
    EXPECT_EQ(filesIn(killed.dir),
              (Contents{{"deck.ihx", "new image"}, {"deck.txt", "new numbered"}, {"deck.png", "new sheet"}}));
}

TEST(RepairInterruptedPublication, LeavesAJournalItCannotReadAndEveryFile) {
    const testing::TempDir dir;
    testing::writeFile(dir / "deck.ihx", std::string_view("image"));
    testing::writeFile(dir / ".kvzpack-journal", std::string_view("kvzpack publication 1\n/etc/passwd\nx\n\nready\n"));
    const Contents before = filesIn(dir);
    const Result<std::optional<std::string>> repaired = repairInterruptedPublication(dir.path().string());
    EXPECT_FALSE(repaired.ok());
    EXPECT_EQ(filesIn(dir), before);
    EXPECT_TRUE(repairInterruptedPublication((dir / "missing").string())->has_value() == false);
}

}  // namespace
}  // namespace kvz::io
