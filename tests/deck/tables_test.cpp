// Tables as people write them: header rows in their own words, the
// separator found from the first rows, more lessons than a deck's groups.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "deck/anki.h"
#include "deck/deck.h"
#include "deck/deck_input.h"
#include "deck/html_entities.h"
#include "deck/text_encoding.h"
#include "support/fixtures.h"
#include "system_cp932.h"

namespace kvz {
namespace {

Result<DeckInput> readTable(std::string_view text, DeckInputOptions options = {}) {
    if (options.fileName.empty()) options.fileName = "words.csv";
    return readDeckInput(text, options);
}

DeckInputOptions withColumns(std::string_view list) {
    DeckInputOptions options;
    const Result<ColumnList> columns = parseColumnList(list);
    EXPECT_TRUE(columns.ok()) << columns.reason();
    if (columns) {
        options.columns = columns->roles;
        options.namedColumns = columns->named;
    }
    return options;
}

// The --columns value of the command a refusal suggests.
std::string suggestedColumns(const std::string& reason) {
    const std::size_t at = reason.find("--columns ");
    if (at == std::string::npos) return {};
    std::string value = reason.substr(at + 10, reason.find(' ', at + 10) - at - 10);
    if (value.size() >= 2 && value.front() == '\'') value = value.substr(1, value.size() - 2);
    return value;
}

// The deck that the cards below make, whichever way the table is written.
const std::string kTwoCards = "L1\ndog\t犬\tいぬ\t　\t　\t　\ncat\t猫\tねこ\t　\t　\t　\n-\n-\n-\n-\n-\n-\n-\n";

struct HeaderRow {
    const char* name;
    std::string text;
    std::string_view columns;
};
class HeaderRowsInTheirOwnWords : public ::testing::TestWithParam<HeaderRow> {};

TEST_P(HeaderRowsInTheirOwnWords, NameTheColumnsAndAreNoCard) {
    const Result<DeckInput> input = readTable(GetParam().text, withColumns(GetParam().columns));
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->cards, 2u);
    EXPECT_TRUE(input->check.warnings.empty()) << input->check.warnings.front().text;
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv(kTwoCards));
}

TEST_P(HeaderRowsInTheirOwnWords, AreRefusedWithACommandThatReadsThem) {
    DeckInputOptions options;
    options.deckName = "words.kvz";
    const Result<DeckInput> refused = readTable(GetParam().text, options);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.reason().find("run kvzdeck build --columns "), std::string::npos) << refused.reason();
    const Result<DeckInput> input = readTable(GetParam().text, withColumns(suggestedColumns(refused.reason())));
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv(kTwoCards)) << refused.reason();
}

INSTANTIATE_TEST_SUITE_P(
    Tables, HeaderRowsInTheirOwnWords,
    ::testing::Values(
        HeaderRow{"English", "Lesson,Word,Reading,Meaning\nL1,犬,いぬ,dog\nL1,猫,ねこ,cat\n",
                  "word=short1,meaning=long,reading=short2,lesson=group"},
        HeaderRow{"Japanese", "課,単語,読み,意味,メモ\nL1,犬,いぬ,dog,x\nL1,猫,ねこ,cat,y\n",
                  "意味=long,単語=short1,課=group,読み=short2"},
        HeaderRow{"TrimmedAndInAnyCase", " WORD ,reading , Meaning,lesson\n犬,いぬ,dog,L1\n猫,ねこ,cat,L1\n",
                  "Word=short1,MEANING=long, reading =short2,LESSON=group"},
        HeaderRow{"KvzdecksNamesAmongOthers", "short1,kana,english,deck\n犬,いぬ,dog,L1\n猫,ねこ,cat,L1\n",
                  "short1=short1,kana=short2,english=long,deck=group"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderRows, TheSuggestionIsTheExactCommandWithTheOptionsGiven) {
    DeckInputOptions options;
    options.fileName = "my words.csv";
    options.deckName = "words.kvz";
    options.fixes.cut = true;
    const Result<DeckInput> refused = readTable("単語,読み,意味,備考\n犬,いぬ,dog,x\n", options);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.reason(),
              "1: the table names none of its columns; its first row is \"単語,読み,意味,備考\": to read it as the "
              "header row, run kvzdeck build --columns 単語=short1,読み=short2,意味=long,備考=- --cut 'my words.csv' "
              "words.kvz (each role one of long, short1 to short5, group, and - for a column to skip)");
}

TEST(HeaderRows, OtherCellsThatCannotBeNamedAreLeftOutOfTheSuggestion) {
    DeckInputOptions options;
    options.deckName = "words.kvz";
    const Result<DeckInput> refused = readTable("\"notes, misc\",word,a=b\nx,犬,y\n", options);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.reason().find("run kvzdeck build --columns word=short1 words.csv words.kvz"), std::string::npos)
        << refused.reason();
}

TEST(HeaderRows, NamedColumnsTheHeaderDoesNotHoldAreRefused) {
    const Result<DeckInput> input = readTable("word,reading\n犬,いぬ\n", withColumns("word=short1,meaning=long"));
    ASSERT_FALSE(input.ok());
    EXPECT_EQ(input.reason(), "1: --columns names 'meaning', and the header row \"word,reading\" has no such cell; "
                              "name its cells as they are written there");
    EXPECT_EQ(parseColumnList("word=short1,long").reason(),
              "--columns: 'long' gives no header name; write every column as NAME=ROLE (word=short1), or list the "
              "roles alone in the order of the columns");
    EXPECT_EQ(parseColumnList("word=short1,Word=long").reason(), "--columns: the header name 'Word' is given twice");
    EXPECT_EQ(parseColumnList("a=short1,b=short1").reason(),
              "--columns: 'short1' is given twice; each field has one column");
}

struct FirstRow {
    const char* name;
    std::optional<bool> header;
    std::size_t cards;
    bool warned;
};
class TheFirstRow : public ::testing::TestWithParam<FirstRow> {};
TEST_P(TheFirstRow, IsAHeaderOrACardAsSaid) {
    DeckInputOptions options = withColumns("short1,short2,long");
    options.headerRow = GetParam().header;
    const Result<DeckInput> input = readTable("word,reading,meaning\n犬,いぬ,dog\n", options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->cards, GetParam().cards);
    ASSERT_EQ(input->check.warnings.size(), GetParam().warned ? 1u : 0u);
    if (GetParam().warned) {
        EXPECT_EQ(input->check.warnings[0].line, 1u);
        EXPECT_EQ(input->check.warnings[0].text,
                  "warning: the row \"word,reading,meaning\" was read as a card, though each of its cells names a "
                  "column, as a header row's do; if it is the header row, give --header --columns short1,short2,long");
    }
}
INSTANTIATE_TEST_SUITE_P(Options, TheFirstRow,
                         ::testing::Values(FirstRow{"NotSaid", std::nullopt, 2, true},
                                           FirstRow{"Header", true, 1, false},
                                           FirstRow{"NoHeader", false, 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HeaderRows, ARowOfNamesFurtherDownIsWarnedAbout) {
    DeckInputOptions options;
    options.encoding = TextEncoding::utf8;  // these bytes are CP932 too
    const Result<DeckInput> input = readTable("short1,long\n犬,dog\nword,meaning\n猫,cat\n", options);
    ASSERT_TRUE(input.ok()) << input.reason();
    ASSERT_EQ(input->check.warnings.size(), 1u);
    EXPECT_EQ(input->check.warnings[0].line, 3u);
    EXPECT_TRUE(input->check.warnings[0].text.ends_with("; if it is one, remove it")) << input->check.warnings[0].text;
}

TEST(HeaderRows, KvzdecksOwnNamesAreSkippedWithHeaderAndACardWithNoHeader) {
    DeckInputOptions options;
    options.headerRow = true;
    const Result<DeckInput> skipped = readTable("-,short1\nx,犬\n", options);
    ASSERT_TRUE(skipped.ok()) << skipped.reason();
    EXPECT_EQ(skipped->cards, 1u);
    options.headerRow = false;
    EXPECT_FALSE(readTable("short1,long\n犬,dog\n", options).ok());
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

// ---------------------------------------------------------------- the separator

struct Separated {
    const char* name;
    const char* file;
    std::string text;
    char32_t separator;
    bool found;
};
class Separators : public ::testing::TestWithParam<Separated> {};
TEST_P(Separators, AreFoundFromTheFirstRowsWhateverTheExtension) {
    DeckInputOptions options;
    options.fileName = GetParam().file;
    const Result<DeckInput> input = readDeckInput(GetParam().text, options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->form, DeckForm::table);
    EXPECT_EQ(input->separator, GetParam().separator);
    EXPECT_EQ(input->separatorFound, GetParam().found);
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv(kTwoCards));
}
INSTANTIATE_TEST_SUITE_P(
    Tables, Separators,
    ::testing::Values(
        Separated{"SemicolonCsv", "words.csv", "group;short1;short2;long\nL1;犬;いぬ;dog\nL1;猫;ねこ;cat\n", U';', true},
        Separated{"SemicolonTxt", "words.txt", "group;short1;short2;long\r\nL1;犬;いぬ;dog\r\nL1;猫;ねこ;cat\r\n", U';', true},
        Separated{"PipeWithCommasInCells", "words.tsv",
                  "group|short1|short2|long\nL1|犬|いぬ|dog\nL1|猫|ねこ|cat\n", U'|', true},
        Separated{"TabInACsv", "words.csv", "group\tshort1\tshort2\tlong\nL1\t犬\tいぬ\tdog\nL1\t猫\tねこ\tcat\n", U'\t', true},
        // Quotes respected: the semicolons in quotes split nothing.
        Separated{"CommaWithQuotedSemicolons", "words.txt",
                  "group,short1,short2,long\n\"L1\",犬,\"いぬ\",dog\nL1,猫,ねこ,cat\n", U',', true},
        // Commas in cells vary from row to row: the one separator that splits alike is found.
        Separated{"SemicolonWithCommasInCells", "words.csv",
                  "group;short1;short2;long\nL1;犬;いぬ;dog\nL1;猫;ねこ;cat\n", U';', true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SeparatorChoice, WhereNoneSplitsAlikeTheExtensionSays) {
    DeckInputOptions options = withColumns("short1");
    for (const auto& [file, separator] : {std::pair{"words.csv", U','}, std::pair{"words.txt", U'\t'}}) {
        options.fileName = file;
        const Result<DeckInput> input = readDeckInput("short1\n犬\n猫\n", options);
        ASSERT_TRUE(input.ok()) << input.reason();
        EXPECT_EQ(input->cards, 2u);
        EXPECT_EQ(input->separator, separator);
        EXPECT_FALSE(input->separatorFound);
    }
}

TEST(SeparatorChoice, ARefusalAnotherSeparatorAvoidsNamesIt) {
    DeckInputOptions options;
    options.fileName = "words.csv";
    options.deckName = "words.kvz";
    options.separator = U',';
    const Result<DeckInput> input = readDeckInput("Word;Reading;Meaning\n犬;いぬ;dog\n", options);
    ASSERT_FALSE(input.ok());
    EXPECT_TRUE(input.reason().ends_with(
        "; read with --separator semicolon, its first row names its columns: run kvzdeck build --separator semicolon "
        "--columns Word=short1,Reading=short2,Meaning=long words.csv words.kvz"))
        << input.reason();
}

TEST(SeparatorChoice, DescribedForVerbose) {
    DeckInputOptions options;
    options.fileName = "words.txt";
    const Result<DeckInput> input = readDeckInput("short1;long\n犬;dog\n", options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(describeDeckForm(*input), "a semicolon-separated table (the separator found from its first rows), 1 card");
}

// ---------------------------------------------------------------- rows that once went astray

struct LineEnds {
    const char* name;
    std::string_view end;
};
class HashLedRows : public ::testing::TestWithParam<LineEnds> {};
TEST_P(HashLedRows, AreCardsNotHeaderLines) {
    const std::string end(GetParam().end);
    DeckInputOptions options = withColumns("long,short1,short2");
    const Result<DeckInput> input = readTable("#1,猫,cat" + end + "#2,犬,dog" + end + "3,鳥,bird" + end, options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->cards, 3u);
    EXPECT_EQ(input->check.problemCount, 0u);
}
TEST_P(HashLedRows, AfterTheHeaderKeysOfAnExportAreNotes) {
    const std::string end(GetParam().end);
    const Result<DeckInput> input = readTable("#separator:comma" + end + "#1,猫" + end + "#html:x,犬" + end);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->form, DeckForm::flashcardExport);
    EXPECT_EQ(input->cards, 2u);
}
INSTANTIATE_TEST_SUITE_P(Ends, HashLedRows,
                         ::testing::Values(LineEnds{"Lf", "\n"}, LineEnds{"CrLf", "\r\n"}, LineEnds{"Cr", "\r"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LineEndsInCrAlone, ATabInTheFirstLineMakesATable) {
    DeckInputOptions options;
    options.fileName = "words.txt";
    const Result<DeckInput> input = readDeckInput("group\tshort1\tshort2\tlong\rL1\t犬\tいぬ\tdog\rL1\t猫\tねこ\tcat\r", options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->form, DeckForm::table);
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv(kTwoCards));
    // kvzdeck's own layout in CR alone is still refused as such.
    const Result<DeckInput> own = readDeckInput("L1\rdog\t犬\tいぬ\t　\t　\t　\r", options);
    ASSERT_TRUE(own.ok()) << own.reason();
    EXPECT_EQ(own->form, DeckForm::ownLayout);
    EXPECT_GT(own->check.problemCount, 0u);
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

// ---------------------------------------------------------------- more lessons than groups

std::string lessonName(std::size_t lesson) {
    std::string name = "L";
    name += std::to_string(lesson);
    return name;
}

// "L3,w2,x": a row of lesson 3.
std::string lessonRow(std::size_t lesson, std::size_t word) {
    std::string row = lessonName(lesson);
    row += ",w";
    row += std::to_string(word);
    row += ",x\n";
    return row;
}

// "group,short1,long" rows: `lessons` lessons of `perLesson` cards each.
std::string lessonTable(std::size_t lessons, std::size_t perLesson) {
    std::string table = "group,short1,long\n";
    for (std::size_t l = 1; l <= lessons; ++l)
        for (std::size_t w = 1; w <= perLesson; ++w)
            table += lessonRow(l, l * 100 + w);
    return table;
}

std::string optionAfter(const std::string& reason, std::string_view option) {
    const std::size_t at = reason.find(option);
    if (at == std::string::npos) return {};
    const std::size_t start = at + option.size() + 1;
    return reason.substr(start, reason.find(' ', start) - start);
}

TEST(Lessons, MoreThanEightAreRefusedWithTwoCommandsThatWork) {
    DeckInputOptions options;
    options.deckName = "lessons.kvz";
    const std::string table = lessonTable(30, 3);
    const Result<DeckInput> refused = readTable(table, options);
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.reason().starts_with("the group column names 30 groups, and a deck holds 8: L1, L2, "))
        << refused.reason();
    EXPECT_NE(refused.reason().find("; to merge them into 8 groups of 12 cards in their order, run kvzdeck build "
                                    "--group-size 12 words.csv lessons.kvz; to make one deck of each 8 groups in their "
                                    "order, lessons-1.kvz to lessons-4.kvz, run kvzdeck build --decks words.csv "
                                    "lessons.kvz"),
              std::string::npos)
        << refused.reason();

    DeckInputOptions merged = options;
    merged.groupSize = std::stoul(optionAfter(refused.reason(), "--group-size"));
    const Result<DeckInput> eight = readTable(table, merged);
    ASSERT_TRUE(eight.ok()) << eight.reason();
    EXPECT_EQ(eight->check.problemCount, 0u);
    EXPECT_EQ(eight->cards, 90u);
    EXPECT_TRUE(eight->ownLayout.find("\nL1～L4\n") != std::string::npos) << eight->ownLayout;
    EXPECT_TRUE(eight->ownLayout.find("\nL29～L30\n") != std::string::npos) << eight->ownLayout;
}

// Each deck of a set is the deck that its groups' rows make on their own.
TEST(Lessons, ASetOfDecksHoldsEightGroupsEachInTheirOrder) {
    for (const std::size_t lessons : {8u, 9u, 16u, 30u}) {
        DeckInputOptions options;
        options.decks = true;
        // Rows of the lessons interleaved: groups are in the order they first appear.
        std::string table = "group,short1,long\n";
        for (std::size_t w = 1; w <= 2; ++w)
            for (std::size_t l = 1; l <= lessons; ++l) table += lessonRow(l, w);
        const Result<DeckInput> set = readTable(table, options);
        ASSERT_TRUE(set.ok()) << set.reason();
        ASSERT_EQ(set->parts.size(), (lessons + 7) / 8);
        EXPECT_TRUE(set->check.kvz.empty());
        for (std::size_t p = 0; p < set->parts.size(); ++p) {
            std::string alone = "group,short1,long\n";
            std::vector<std::string> names;
            for (std::size_t w = 1; w <= 2; ++w) {
                for (std::size_t l = 8 * p + 1; l <= std::min(lessons, 8 * p + 8); ++l) {
                    alone += lessonRow(l, w);
                    if (w == 1) names.push_back(lessonName(l));
                }
            }
            EXPECT_EQ(set->parts[p].groups, names);
            const Result<DeckInput> single = readTable(alone);
            ASSERT_TRUE(single.ok()) << single.reason();
            EXPECT_EQ(set->parts[p].kvz, single->check.kvz) << lessons << " lessons, deck " << p + 1;
        }
    }
}

TEST(Lessons, ASetListsTheProblemsOfEveryDeckAtTheirLines) {
    DeckInputOptions options;
    options.decks = true;
    std::string table = lessonTable(10, 1);
    table += "L10,😀,x\n";  // line 12, in the second deck
    const Result<DeckInput> set = readTable(table, options);
    ASSERT_TRUE(set.ok()) << set.reason();
    ASSERT_EQ(set->check.problemCount, 1u);
    EXPECT_EQ(set->check.problems[0].line, 12u);
}

TEST(Lessons, DeckNamesOfASet) {
    EXPECT_EQ(deckPartName("lessons.kvz", 1), "lessons-1.kvz");
    EXPECT_EQ(deckPartName("dir.d/out", 12), "dir.d/out-12");
    EXPECT_EQ(deckPartName(".kvz", 2), ".kvz-2");
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

// ---------------------------------------------------------------- what a cell or a byte holds

TEST(GroupCells, QuotedLineBreaksAndTabsBecomeIdeographicSpaces) {
    for (const std::string_view cell : {"\"L 1\"", "\"L\n1\"", "\"L\r\n1\"", "\"L\t1\""}) {
        const Result<DeckInput> input = readTable("group,short1,long\n" + std::string(cell) + ",犬,dog\n");
        ASSERT_TRUE(input.ok()) << input.reason();
        EXPECT_EQ(input->check.problemCount, 0u) << cell << ": " << input->check.problems.front().text;
        EXPECT_EQ(input->check.kvz, testing::deckFromTsv("L　1\ndog\t犬\t　\t　\t　\t　\n-\n-\n-\n-\n-\n-\n-\n")) << cell;
    }
}

struct Unreadable {
    const char* name;
    std::string bytes;
    TextEncoding encoding;
    std::string_view reasonStart;
};
class UnreadableBytes : public ::testing::TestWithParam<Unreadable> {};
TEST_P(UnreadableBytes, AreNamedAtTheirLineWhateverTheLineEnds) {
    const Result<DecodedText> decoded = decodeText(GetParam().bytes, GetParam().encoding);
    ASSERT_FALSE(decoded.ok());
    EXPECT_TRUE(decoded.reason().starts_with(GetParam().reasonStart)) << decoded.reason();
}
INSTANTIATE_TEST_SUITE_P(
    Ends, UnreadableBytes,
    ::testing::Values(Unreadable{"Cp932InCrAlone", "a\rb\rc\x82\x20", TextEncoding::cp932, "3: bytes 0x82 0x20"},
                      Unreadable{"Cp932InCrLf", "a\r\nb\r\nc\x82\x20", TextEncoding::cp932, "3: bytes 0x82 0x20"},
                      Unreadable{"Cp932Mixed", "a\rb\nc\r\n\x82\x20", TextEncoding::cp932, "4: bytes 0x82 0x20"},
                      Unreadable{"Utf8InCrAlone", "a\rb\r\xFF", TextEncoding::utf8, "3: byte 0xFF"},
                      Unreadable{"Utf16InCrAlone", std::string("a\0\r\0\0\xD8", 6), TextEncoding::utf16le,
                                 "2: bytes 0x00 0xD8"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Encodings, Utf16WithoutAByteOrderMarkIsToldByItsZeroBytes) {
    const std::string le("s\0h\0o\0r\0t\0001\0\n\0\x2C\x73\n\0", 18);  // "short1\n犬\n"
    std::string be;
    for (std::size_t i = 0; i < le.size(); i += 2) be += std::string{le[i + 1], le[i]};
    EXPECT_EQ(detectEncoding(le), TextEncoding::utf16le);
    EXPECT_EQ(detectEncoding(be), TextEncoding::utf16be);
    for (const std::string& bytes : {le, be}) {
        DeckInputOptions options;
        options.fileName = "words.csv";
        const Result<DeckInput> input = readDeckInput(bytes, options);
        ASSERT_TRUE(input.ok()) << input.reason();
        EXPECT_EQ(input->cards, 1u);
    }
    // An odd count of bytes, or zero bytes at both kinds of position, is no UTF-16.
    EXPECT_EQ(detectEncoding(std::string("a\0b", 3)), TextEncoding::utf8);
    EXPECT_EQ(detectEncoding(std::string("a\0\0b", 4)), TextEncoding::utf8);
    // Nor is a text of several lines with a stray zero byte: a line end
    // falls where UTF-16 would have a high byte. 「」 and 《 keep theirs low.
    EXPECT_EQ(detectEncoding(std::string("short1,long\nabcd,ef\0g\nhij,klm\n", 30)), TextEncoding::utf8);
    EXPECT_EQ(detectEncoding(std::string("short1\rab\0c\rd\r", 14)), TextEncoding::utf8);
    const std::string brackets("\x0C\x30\x0D\x30\x0A\x30\n\0", 8);  // "「」《\n"
    EXPECT_EQ(detectEncoding(brackets), TextEncoding::utf16le);
    std::string swapped;
    for (std::size_t i = 0; i < brackets.size(); i += 2) swapped += std::string{brackets[i + 1], brackets[i]};
    EXPECT_EQ(detectEncoding(swapped), TextEncoding::utf16be);
}

TEST(Encodings, AGuessBetweenUtf8AndCp932IsSaid) {
    const std::string both = "short1\n犬\n";  // E7 8A AC: a CP932 kanji and a half-width katakana too
    ASSERT_TRUE(readableAsUtf8AndCp932(both));
    const Result<DeckInput> guessed = readTable(both);
    ASSERT_TRUE(guessed.ok()) << guessed.reason();
    ASSERT_EQ(guessed->check.warnings.size(), 1u);
    EXPECT_EQ(guessed->check.warnings[0].line, 2u);
    EXPECT_EQ(guessed->check.warnings[0].text, "warning: the text reads as UTF-8 and as CP932 (Shift_JIS) alike, and "
                                               "was read as UTF-8; if it was saved as CP932, give --encoding cp932");
    DeckInputOptions given;
    given.encoding = TextEncoding::utf8;
    EXPECT_TRUE(readTable(both, given)->check.warnings.empty());
    EXPECT_TRUE(readTable("\xEF\xBB\xBF" + both)->check.warnings.empty());
    EXPECT_TRUE(readTable("short1\nあいうえお\n")->check.warnings.empty());  // 0x81 0x82 ... is no CP932
    EXPECT_FALSE(readableAsUtf8AndCp932("short1\ndog\n"));
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

// ---------------------------------------------------------------- exports' HTML

struct Field {
    const char* name;
    std::string_view html;
    Furigana kind;
    std::string_view text;
};
class ExportFields : public ::testing::TestWithParam<Field> {};
TEST_P(ExportFields, AsAnkisFuriganaFilterReadsThem) {
    EXPECT_EQ(htmlFieldText(GetParam().html, GetParam().kind), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(
    Fields, ExportFields,
    ::testing::Values(
        Field{"BreakBeforeABase", "食べる[たべる]<br>飲[の]む", Furigana::base, "食べる 飲む"},
        Field{"BreakBeforeAReading", "食べる[たべる]<br/>飲[の]む", Furigana::reading, "たべる のむ"},
        Field{"Blocks", "<div>食べる[たべる]</div><div>飲[の]む</div>", Furigana::both, "食べる(たべる) 飲(の)む"},
        Field{"NbspMarksABase", "私&nbsp;漢字[かんじ]", Furigana::base, "私漢字"},
        Field{"ASpaceMarksABase", "世[よ]の 中[なか]", Furigana::base, "世の中"},
        Field{"RubyBase", "<ruby><rb>漢字</rb><rt>かんじ</rt></ruby>を", Furigana::base, "漢字を"},
        Field{"RubyReading", "<ruby><rb>漢字</rb><rt>かんじ</rt></ruby>を", Furigana::reading, "かんじを"},
        Field{"RubyBoth", "<ruby><rb>漢字</rb><rt>かんじ</rt></ruby>を", Furigana::both, "漢字(かんじ)を"},
        Field{"RubyOfPairsWithParentheses", "<RUBY>漢<rp>(</rp><rt>かん</rt><rp>)</rp>字<rt>じ</rt></RUBY>",
              Furigana::both, "漢(かん)字(じ)"},
        Field{"RubyAfterText", "私は<ruby>猫<rt>ねこ</rt></ruby>です", Furigana::reading, "私はねこです"},
        Field{"RubyNeverClosed", "<ruby>漢字<rt>かんじ</rt>", Furigana::base, "漢字かんじ"},
        Field{"NamedEntities", "a&hellip;b&mdash;c&times;d&AMP;&eacute;&fjlig;", Furigana::base, "a…b—c×d&éfj"},
        Field{"EntitiesThatAreNone", "&foo; &hellip &;", Furigana::base, "&foo; &hellip &;"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HtmlEntities, AreSortedOnceEachForTheirSearch) {
    for (std::size_t i = 1; i < kHtmlEntities.size(); ++i)
        EXPECT_LT(kHtmlEntities[i - 1].name, kHtmlEntities[i].name) << kHtmlEntities[i].name;
    for (const NamedEntity& entity : kHtmlEntities) {
        EXPECT_FALSE(entity.text.empty()) << entity.name;
        // Spaces at the ends of a field are trimmed.
        const bool space = entity.text.find_first_not_of(" \t\n") == std::string_view::npos || entity.name == "nbsp" ||
                           entity.name == "NonBreakingSpace";
        std::string reference = "&";
        reference.append(entity.name).append(";");
        EXPECT_EQ(htmlToText(reference), space ? "" : entity.text) << entity.name;
    }
}

// Tags and furigana that never close are read once, not once per opening.
TEST(ExportMarkup, NeverClosedIsReadInOnePass) {
    std::string html;
    for (int i = 0; i < 100000; ++i) html += "<ruby>漢[";
    html += "</ruby";
    EXPECT_FALSE(htmlFieldText(html, Furigana::both).empty());
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

TEST(CombiningMarks, DecomposedKanaInATableOrOwnLayoutBecomeTheirCharacters) {
    const Result<DeckInput> table = readTable("short1,long\nか\u3099っこう,school\nハ\u309Aン,bread\n");
    ASSERT_TRUE(table.ok()) << table.reason();
    EXPECT_EQ(table->check.problemCount, 0u) << table->check.problems.front().text;
    EXPECT_EQ(table->check.kvz, testing::deckFromTsv("words\nschool\tがっこう\t　\t　\t　\t　\nbread\tパン\t　\t　\t　\t　\n"
                                                     "-\n-\n-\n-\n-\n-\n-\n"));
    DeckInputOptions options;
    options.fileName = "deck.tsv";
    const std::string own = "L\nschool\tか\u3099っこう\tx\ty\tz\tw\n-\n-\n-\n-\n-\n-\n-\n";
    const Result<DeckInput> layout = readDeckInput(own, options);
    ASSERT_TRUE(layout.ok()) << layout.reason();
    EXPECT_EQ(layout->check.problemCount, 0u) << layout->check.problems.front().text;
    EXPECT_EQ(layout->check.kvz, testing::deckFromTsv("L\nschool\tがっこう\tx\ty\tz\tw\n-\n-\n-\n-\n-\n-\n-\n"));
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

// ---------------------------------------------------------------- against a plain reader

// A plain writer: a cell quoted when it holds the separator, a quote or a
// line break (or, with `quoteAll`, any of the separators), quotes doubled.
std::string writeRows(const std::vector<std::vector<std::string>>& rows, char separator, std::string_view rowEnd,
                      bool quoteAll) {
    std::string text;
    const std::string quoted = std::string("\"\r\n") + (quoteAll ? "\t;|," : std::string(1, separator));
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c > 0) text += separator;
            if (row[c].find_first_of(quoted) == std::string::npos) {
                text += row[c];
                continue;
            }
            text += '"';
            for (const char ch : row[c]) text += ch == '"' ? std::string("\"\"") : std::string(1, ch);
            text += '"';
        }
        text += rowEnd;
    }
    return text;
}

// What kvzdeck's own layout says of a cell, written plainly: a line break
// or tab read from quotes as the space it is shown as; in a group name
// every space ideographic.
std::string ownField(const std::string& cell, bool first, bool groupName) {
    if (cell.empty()) return "　";
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const char c = cell[i];
        if (c == '\r' && i + 1 < cell.size() && cell[i + 1] == '\n') continue;
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (space) {
            out += groupName ? "　" : " ";
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out += c;
        }
    }
    if (first && out.front() == '#') out.insert(0, "\\");
    for (std::size_t at = out.find("か\u3099"); at != std::string::npos; at = out.find("か\u3099"))
        out.replace(at, std::string_view("か\u3099").size(), "が");
    return out;
}

TEST(PlainReader, RandomTablesGiveTheDeckItsRowsSay) {
    const std::vector<std::string> pieces{"a", "Z", "1", " ", ",", ";", "|", "\t", "\"", "\n", "\r\n", "犬", "ねこ",
                                          "①", "ｶﾞ", "#", "\\", "か\u3099", ""};
    const std::vector<std::string> groupPieces{"#", "L", " ", "\n", "課", "1", "\""};
    struct Form {
        const char* iconvName;  // nullptr: UTF-8 as it is
        std::string_view bom;
    };
    const std::array<Form, 5> forms{{{nullptr, ""}, {nullptr, "\xEF\xBB\xBF"}, {"UTF-16LE", "\xFF\xFE"},
                                     {"UTF-16BE", "\xFE\xFF"}, {"CP932", ""}}};
    std::mt19937 random(2500);
    for (int round = 0; round < 600; ++round) {
        const Form& form = forms[static_cast<std::size_t>(round) % forms.size()];
        const bool cp932 = form.iconvName != nullptr && std::string_view(form.iconvName) == "CP932";  // no U+3099
        const char separator = std::string_view("\t;|,")[random() % 4];
        const std::string_view rowEnd = std::array<std::string_view, 3>{"\n", "\r\n", "\r"}[random() % 3];
        const bool header = random() % 2 == 0;
        // A separator to be found: no cell holds another one, which would
        // make a table of one or two rows ambiguous.
        const bool given = random() % 2 == 0;
        const auto piece = [&] {
            while (true) {
                const std::string& chosen = pieces[random() % (pieces.size() - (cp932 ? 2 : 0))];
                if (given || chosen.size() != 1 || std::string_view("\t;|,").find(chosen[0]) == std::string_view::npos ||
                    chosen[0] == separator)
                    return chosen;
            }
        };
        std::vector<std::vector<std::string>> rows;
        if (header) rows.push_back({"group", "short1", "long"});
        std::vector<std::string> groupNames;
        std::vector<std::vector<std::string>> entriesOf;
        for (std::size_t n = 1 + random() % 8; n > 0; --n) {
            std::string group;
            for (std::size_t p = random() % 3; p > 0; --p) group += groupPieces[random() % groupPieces.size()];
            group += std::to_string(random() % 8);
            std::array<std::string, 2> fields;
            for (std::string& field : fields)
                for (std::size_t p = random() % 4; p > 0; --p) field += piece();
            if (random() % 3 == 0) fields[1] = "#" + fields[1];  // a #-led long field, first in its entry
            rows.push_back({group, fields[0], fields[1]});
            const std::string name = ownField(group, true, true);
            const auto known = std::find(groupNames.begin(), groupNames.end(), name);
            const std::size_t g = static_cast<std::size_t>(known - groupNames.begin());
            if (known == groupNames.end()) {
                groupNames.push_back(name);
                entriesOf.emplace_back();
            }
            entriesOf[g].push_back(ownField(fields[1], true, false) + "\t" + ownField(fields[0], false, false) +
                                   "\t　\t　\t　\t　\n");
        }
        std::string expected;
        for (std::size_t g = 0; g < 8; ++g) {
            expected += (g < groupNames.size() ? groupNames[g] : "-") + "\n";
            if (g < groupNames.size())
                for (const std::string& entry : entriesOf[g]) expected += entry;
        }
        const std::string utf8 = writeRows(rows, separator, rowEnd, false);
        std::string bytes = std::string(form.bom) + utf8;
        if (form.iconvName) bytes = std::string(form.bom) + *cp932gen::IconvHandle(form.iconvName, "UTF-8").convert(utf8);
        DeckInputOptions options;
        if (cp932) options.encoding = TextEncoding::cp932;  // ASCII or UTF-8 alike otherwise
        options.fileName = "words.txt";
        if (!header) options.columns = {ColumnRole::group, ColumnRole::short1, ColumnRole::longField};
        if (given) options.separator = static_cast<char32_t>(separator);
        const Result<DeckInput> input = readDeckInput(bytes, options);
        ASSERT_TRUE(input.ok()) << input.reason() << "\n" << utf8;
        ASSERT_EQ(input->check.problemCount, 0u) << input->check.problems.front().text << "\n" << utf8;
        EXPECT_EQ(input->check.kvz, testing::deckFromTsv(expected)) << utf8 << "\n---\n" << input->ownLayout;
    }
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

struct LineProblems {
    const char* name;
    std::string entry;
    std::vector<std::string_view> problems;  // in the order of the fields
};
class EveryProblemOfALine : public ::testing::TestWithParam<LineProblems> {};
TEST_P(EveryProblemOfALine, IsListed) {
    const Result<DeckCheck> check = checkDeck("L\n" + GetParam().entry + "\n-\n-\n-\n-\n-\n-\n-\n", {});
    ASSERT_TRUE(check.ok()) << check.reason();
    ASSERT_EQ(check->problemCount, 1u);
    EXPECT_EQ(check->problems[0].line, 2u);
    std::size_t at = 0;
    for (const std::string_view problem : GetParam().problems) {
        const std::size_t found = check->problems[0].text.find(problem, at);
        ASSERT_NE(found, std::string::npos) << problem << "\nin: " << check->problems[0].text;
        at = found + problem.size();
    }
    EXPECT_EQ(check->problems[0].text.find("; also ", at), std::string::npos) << check->problems[0].text;
}
INSTANTIATE_TEST_SUITE_P(
    Entries, EveryProblemOfALine,
    ::testing::Values(
        LineProblems{"TwoFieldsTooLong", "x\t" + std::string(29, 'a') + "\tb\t" + std::string(30, 'c') + "\td\te",
                     {"short field 1 is 29 bytes in Shift_JIS, the field holds 28",
                      "; also short field 3 is 30 bytes in Shift_JIS, the field holds 28"}},
        LineProblems{"EveryCharacterWithoutShiftJis", "x\t😀a♞😀\tb\tc\td\te",
                     {"short field 1: '😀' (U+1F600), '♞' (U+265E) have no Shift_JIS form; write other characters"}},
        LineProblems{"BothInOneField", "x\t😀" + std::string(28, 'a') + "\tb\tc\td\t😎",
                     {"short field 1: '😀' (U+1F600) has no Shift_JIS form", "; also short field 1 is 30 bytes",
                      "; also short field 5: '😎' (U+1F60E) has no Shift_JIS form"}},
        LineProblems{"ManyCharactersNamedAsFew", "x\t①😀😁😂😃😄😅😆\tb\tc\td\te",
                     {"'😀' (U+1F600), '😁' (U+1F601), '😂' (U+1F602), '😃' (U+1F603), '😄' (U+1F604) and 2 more "
                      "have no Shift_JIS form"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

struct Command {
    const char* name;
    DeckInputOptions options;
    std::string_view command;
};
DeckInputOptions commandOptions(std::string file, std::string deck) {
    DeckInputOptions options;
    options.fileName = std::move(file);
    options.deckName = std::move(deck);
    return options;
}
class SuggestedCommands : public ::testing::TestWithParam<Command> {};
TEST_P(SuggestedCommands, AreWordsAShellReadsBack) { EXPECT_EQ(buildCommand(GetParam().options), GetParam().command); }
INSTANTIATE_TEST_SUITE_P(
    Options, SuggestedCommands,
    ::testing::Values(
        Command{"Plain", commandOptions("words.csv", "words.kvz"), "kvzdeck build words.csv words.kvz"},
        Command{"NamesQuoted", commandOptions("my word's.csv", "$HOME.kvz"),
                "kvzdeck build 'my word'\\''s.csv' '$HOME.kvz'"},
        Command{"EveryOption",
                [] {
                    DeckInputOptions options = commandOptions("単語.csv", "out.kvz");
                    options.encoding = TextEncoding::utf16le;
                    options.separator = U'\t';
                    options.headerRow = true;
                    options.columns = {ColumnRole::skip, ColumnRole::short1};
                    options.furigana = Furigana::both;
                    options.groupSize = 12;
                    options.decks = true;
                    options.fixes.cut = true;
                    options.fixes.replacement = U'〓';
                    return options;
                }(),
                "kvzdeck build --encoding utf-16le --separator tab --header --columns '-,short1' --furigana both "
                "--group-size 12 --decks --cut --replace 〓 単語.csv out.kvz"},
        Command{"NamedColumnsWithSpaces",
                [] {
                    DeckInputOptions options = commandOptions("w.csv", "");
                    options.namedColumns = {{"my word", ColumnRole::short1}, {"訳", ColumnRole::longField}};
                    options.separator = U'*';
                    return options;
                }(),
                "--separator '*' --columns 'my word=short1,訳=long'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Lessons, ASetOfDecksIsForTablesAndExports) {
    DeckInputOptions options;
    options.fileName = "deck.tsv";
    options.decks = true;
    const Result<DeckInput> input = readDeckInput("L\nx\tw\ta\tb\tc\td\n-\n-\n-\n-\n-\n-\n-\n", options);
    ASSERT_FALSE(input.ok());
    EXPECT_EQ(input.reason(),
              "is in kvzdeck's own layout, whose 8 groups make one deck: --decks is for tables and exports");
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

// A deck whose group name and entries hold one comma each is still kvzdeck's own layout.
TEST(OwnLayout, CommasAlikeOnEveryLineMakeNoTable) {
    DeckInputOptions options;
    options.fileName = "deck.txt";
    std::string tsv;
    for (int g = 1; g <= 8; ++g) {
        tsv += "L," + std::to_string(g) + "\n";
        tsv += "to eat, to drink\t食べる\tx\ty\tz\tw\n";
    }
    const Result<DeckInput> input = readDeckInput(tsv, options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->form, DeckForm::ownLayout);
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv(tsv));
}

}  // namespace
}  // namespace kvz

namespace kvz {
namespace {

TEST(Lessons, AHeaderRowOfMoreLessonsThanGroupsIsSuggestedAsASet) {
    DeckInputOptions options;
    options.deckName = "lessons.kvz";
    std::string table = "Lesson,Word,Meaning\n";
    for (std::size_t l = 1; l <= 30; ++l) table += lessonRow(l, l);
    const Result<DeckInput> refused = readTable(table, options);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.reason().find("run kvzdeck build --columns Lesson=group,Word=short1,Meaning=long --decks "
                                    "words.csv lessons.kvz (each role one of long, short1 to short5, group, and - for a "
                                    "column to skip); its 30 groups make 4 decks of 8 groups, or with --group-size 4 "
                                    "instead of --decks one deck of 8 groups merged in their order"),
              std::string::npos)
        << refused.reason();
    DeckInputOptions suggested = withColumns(suggestedColumns(refused.reason()));
    suggested.decks = true;
    const Result<DeckInput> set = readTable(table, suggested);
    ASSERT_TRUE(set.ok()) << set.reason();
    EXPECT_EQ(set->check.problemCount, 0u);
    EXPECT_EQ(set->parts.size(), 4u);
}

}  // namespace
}  // namespace kvz
