// The package reader over the system's libraries, on the packages that
// tools/ankipkg/make-packages.py writes into examples/anki.
#include "deck/anki_package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "package/package_libraries.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

Bytes packageBytes(const std::string& name) {
    std::ifstream in(testing::sourcePath("examples/anki/" + name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

PackageLibraries libraries() {
    const std::optional<PackageLibraries> system = systemPackageLibraries();
    if (!system) throw std::runtime_error("this build reads no Anki packages");
    return *system;
}

std::vector<std::string> firstFields(const AnkiCollection& collection) {
    std::vector<std::string> fields;
    for (const AnkiNote& note : collection.notes) fields.push_back(note.fields.at(0));
    return fields;
}

// The generator's notes of words-*.apkg, by id: the table holds them in
// another order, and the fourth note's first card (ord 0) is in 第2課,
// though its card of ord 1 comes first in the table and is in 第1課.
const std::vector<std::string> kWordsInIdOrder{"猫[ねこ]", "食べる[たべる]<br>飲[の]む", "<div>犬</div>", "<b>学校</b>",
                                               "先生"};
const std::vector<std::string> kWordDecks{"日本語::第1課", "日本語::第2課", "日本語::第1課", "日本語::第2課",
                                          "日本語::第2課"};

struct PackageCase {
    const char* file;
    const char* entry;
    int schema;
};

class PackageRead : public ::testing::TestWithParam<PackageCase> {};

TEST_P(PackageRead, ReadsTheNewestCollectionItsNotesInIdOrderEachInItsFirstCardsDeck) {
    const Result<AnkiCollection> read = readAnkiPackage(packageBytes(GetParam().file), libraries());
    ASSERT_TRUE(read) << read.reason();
    EXPECT_EQ(read->entry, GetParam().entry);
    EXPECT_EQ(read->schema, GetParam().schema);
    std::vector<std::string> words = firstFields(*read), decks;
    words.resize(std::min<std::size_t>(words.size(), 5));
    EXPECT_EQ(words, kWordsInIdOrder);
    for (std::size_t n = 0; n < 5; ++n) decks.push_back(read->notes[n].deck);
    EXPECT_EQ(decks, kWordDecks);
    EXPECT_EQ(read->noteTypes.front().fields, (std::vector<std::string>{"Expression", "Meaning", "Reading"}));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, PackageRead,
                         ::testing::Values(PackageCase{"words-11.apkg", "collection.anki2", 11},
                                         PackageCase{"words-18.apkg", "collection.anki21b", 18},
                                         PackageCase{"collection.colpkg", "collection.anki21", 11}));

TEST(PackageRead, RefusesAnEntryOrFrameThatExpandsPastTheLimit) {
    // words-11's collection is 53248 bytes; words-18's is 1778 compressed.
    const Result<AnkiCollection> entry = readAnkiPackage(packageBytes("words-11.apkg"), libraries(), 4096);
    ASSERT_FALSE(entry);
    EXPECT_NE(entry.reason().find("zip bomb: its entry collection.anki2"), std::string::npos) << entry.reason();
    const Result<AnkiCollection> frame = readAnkiPackage(packageBytes("words-18.apkg"), libraries(), 4096);
    ASSERT_FALSE(frame);
    EXPECT_NE(frame.reason().find("zip bomb: its collection collection.anki21b would decompress"), std::string::npos)
        << frame.reason();
}

TEST(PackageRead, StopsReadingAnEntryThatExpandsPastWhatItDeclares) {
    PackageLibraries lying = libraries();
    const auto list = lying.listEntries;
    lying.listEntries = [list](ByteView zip) -> Result<std::vector<ZipEntry>> {
        Result<std::vector<ZipEntry>> entries = list(zip);
        if (entries)
            for (ZipEntry& entry : *entries) entry.size = 1;
        return entries;
    };
    const Result<AnkiCollection> read = readAnkiPackage(packageBytes("words-11.apkg"), lying, 4096);
    ASSERT_FALSE(read);
    EXPECT_NE(read.reason().find("zip bomb"), std::string::npos) << read.reason();
}

TEST(PackageRead, RefusesAnEntryWhoseBytesFailTheirCheck) {
    Bytes bytes = packageBytes("words-11.apkg");
    // Inside the first entry's deflated data, past its local header and name.
    bytes[30 + 16 + 200] ^= 0x55;
    const Result<AnkiCollection> read = readAnkiPackage(bytes, libraries());
    ASSERT_FALSE(read);
    EXPECT_NE(read.reason().find("damaged"), std::string::npos) << read.reason();
}

struct NameCase {
    const char* name;
    bool refused;
};

class EntryNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNames, RefusesANameThatPointsOutsideThePackage) {
    PackageLibraries named = libraries();
    const auto list = named.listEntries;
    const std::string extra = GetParam().name;
    named.listEntries = [list, extra](ByteView zip) -> Result<std::vector<ZipEntry>> {
        Result<std::vector<ZipEntry>> entries = list(zip);
        if (entries) entries->push_back({extra, 1});
        return entries;
    };
    const Result<AnkiCollection> read = readAnkiPackage(packageBytes("words-11.apkg"), named);
    EXPECT_EQ(!read, GetParam().refused) << (read ? std::string("read") : read.reason());
    if (!read) {
        EXPECT_NE(read.reason().find("points outside the package"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, EntryNames,
                         ::testing::Values(NameCase{"../x", true}, NameCase{"a/../../x", true}, NameCase{"/etc/x", true},
                                         NameCase{"\\x", true}, NameCase{"a\\..\\b", true}, NameCase{"a/..", true},
                                         NameCase{"a..b", false}, NameCase{"..a", false}, NameCase{"12", false},
                                         NameCase{"media", false}));

TEST(KeepDeck, KeepsADeckAndItsSubdecksInAnyCase) {
    Result<AnkiCollection> read = readAnkiPackage(packageBytes("collection.colpkg"), libraries());
    ASSERT_TRUE(read) << read.reason();
    const Result<AnkiCollection> japanese = keepDeck(*read, "日本語");
    ASSERT_TRUE(japanese) << japanese.reason();
    EXPECT_EQ(firstFields(*japanese), kWordsInIdOrder);
    const Result<AnkiCollection> kanji = keepDeck(*read, "kanji");
    ASSERT_TRUE(kanji) << kanji.reason();
    EXPECT_EQ(firstFields(*kanji), (std::vector<std::string>{"山", "川", "{{c1::東京::city}}は日本の首都です",
                                                             "{{c1::富士山}}は{{c2::3776}}mです"}));
    // A deck's name is a whole part: "日本" is no deck, though "日本語" starts with it.
    EXPECT_FALSE(keepDeck(*read, "日本"));
    const Result<AnkiCollection> lesson = keepDeck(*read, "日本語::第1課");
    ASSERT_TRUE(lesson);
    EXPECT_EQ(lesson->notes.size(), 2u);
}

}  // namespace
}  // namespace kvz
