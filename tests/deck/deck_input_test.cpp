// Decks from tables and flashcard exports: the same cards in every form a
// spreadsheet or flashcard program saves give the same deck; cells read back
// exactly whatever they hold; every refused line listed, each with its fix.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "deck/anki.h"
#include "deck/deck_input.h"
#include "deck/table.h"
#include "deck/text_encoding.h"
#include "support/fixtures.h"
#include "system_cp932.h"

namespace kvz {
namespace {

Result<DeckInput> readFixture(const std::string& name, DeckInputOptions options = {}) {
    options.fileName = name;
    return readDeckInput(testing::readFileText(testing::sourcePath("tests/deck/inputs/" + name)), options);
}

struct Form {
    const char* file;
    TextEncoding encoding;
    DeckForm form;
};

class SameCards : public ::testing::TestWithParam<Form> {};

// The cards as kvzdeck's own layout says them, written by hand.
constexpr std::string_view kCardsAsOwnLayout =
    "動物\n"
    "dog a domestic animal\t犬\t　\t　\t　\t　\n"
    "cat a small animal (pet)\t猫\t　\t　\t　\t　\n"
    "色\n"
    "red & crimson\t赤い\t　\t　\t　\t　\n"
    "the world\t世の中\t　\t　\t　\t　\n"
    "-\n-\n-\n-\n-\n-\n";

TEST_P(SameCards, GiveTheSameDeckByteForByte) {
    const Result<DeckInput> input = readFixture(GetParam().file);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->encoding, GetParam().encoding);
    EXPECT_EQ(input->form, GetParam().form);
    EXPECT_EQ(input->cards, 4u);
    EXPECT_EQ(input->check.problemCount, 0u);
    EXPECT_TRUE(input->check.warnings.empty());
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv(kCardsAsOwnLayout));
    // The deck's own layout builds the same deck again.
    EXPECT_EQ(testing::deckFromTsv(input->ownLayout), input->check.kvz);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, SameCards,
    ::testing::Values(Form{"anki-notes.txt", TextEncoding::utf8, DeckForm::flashcardExport},
                      Form{"cards-utf8-bom.csv", TextEncoding::utf8WithBom, DeckForm::table},
                      Form{"cards-cp932.csv", TextEncoding::cp932, DeckForm::table},
                      Form{"cards-utf16le.txt", TextEncoding::utf16le, DeckForm::table}),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string_view(info.param.file)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// ---------------------------------------------------------------- tables

// A plain writer: every cell quoted when it holds the separator, a quote or a
// line break, quotes doubled, rows ended with `rowEnd`.
std::string writeTable(const std::vector<std::vector<std::string>>& rows, char separator, std::string_view rowEnd) {
    std::string text;
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c > 0) text += separator;
            const std::string& cell = row[c];
            if (cell.find_first_of(std::string("\"\r\n") + separator) == std::string::npos) {
                text += cell;
                continue;
            }
            text += '"';
            for (const char ch : cell) text += ch == '"' ? std::string("\"\"") : std::string(1, ch);
            text += '"';
        }
        text += rowEnd;
    }
    return text;
}

struct Encoded {
    TextEncoding encoding;
    const char* iconvName;  // nullptr: UTF-8 as it is
    std::string_view bom;
};

std::string encodeWithIconv(const std::string& utf8, const Encoded& form) {
    if (!form.iconvName) return std::string(form.bom) + utf8;
    cp932gen::IconvHandle handle(form.iconvName, "UTF-8");
    const std::optional<std::string> converted = handle.convert(utf8);
    EXPECT_TRUE(converted.has_value());
    return std::string(form.bom) + converted.value_or("");
}

TEST(TableReader, ReadsBackEveryCellOfRandomTablesInEveryEncoding) {
    const std::vector<std::string> pieces{"a", "Z", "1", " ", ",", ";", "\t", "\"", "\n", "犬", "ねこ", "①", "ｶﾞ", "#", "\\", ""};
    const std::vector<Encoded> forms{{TextEncoding::utf8, nullptr, ""},
                                     {TextEncoding::utf8WithBom, nullptr, "\xEF\xBB\xBF"},
                                     {TextEncoding::utf16le, "UTF-16LE", "\xFF\xFE"},
                                     {TextEncoding::utf16be, "UTF-16BE", "\xFE\xFF"},
                                     {TextEncoding::cp932, "CP932", ""}};
    std::mt19937 random(18);
    for (int round = 0; round < 300; ++round) {
        const char separator = std::string_view(",;\t|")[round % 4];
        std::vector<std::vector<std::string>> rows(1 + random() % 6);
        const std::size_t columns = 1 + random() % 5;
        for (auto& row : rows) {
            for (std::size_t c = 0; c < columns; ++c) {
                std::string cell;
                for (std::size_t n = random() % 5; n > 0; --n) cell += pieces[random() % pieces.size()];
                row.push_back(cell);
            }
            row[0] += "x";  // rows of empty cells only are left out
        }
        const std::string utf8 = writeTable(rows, separator, round % 2 ? "\r\n" : "\n");
        const Encoded& form = forms[static_cast<std::size_t>(round) % forms.size()];
        const std::string bytes = encodeWithIconv(utf8, form);
        // Valid UTF-8 can also be valid CP932: a table that is ASCII is the same in both.
        const Result<DecodedText> decoded = decodeText(bytes, form.encoding == TextEncoding::cp932
                                                                  ? std::optional(TextEncoding::cp932)
                                                                  : std::nullopt);
        ASSERT_TRUE(decoded.ok()) << decoded.reason();
        if (form.encoding != TextEncoding::cp932) {
            EXPECT_EQ(decoded->encoding, form.encoding);
        }
        const Table table = readTable(decoded->utf8, static_cast<char32_t>(separator));
        ASSERT_TRUE(table.problems.empty()) << utf8;
        ASSERT_EQ(table.rows.size(), rows.size()) << utf8;
        for (std::size_t r = 0; r < rows.size(); ++r) EXPECT_EQ(table.rows[r].cells, rows[r]) << utf8;
    }
}

TEST(TextEncoding, DetectsCp932WhereTheBytesAreNoUtf8) {
    const std::string cp932 = *cp932gen::IconvHandle("CP932", "UTF-8").convert("犬,いぬ\n");
    EXPECT_EQ(detectEncoding(cp932), TextEncoding::cp932);
    EXPECT_EQ(decodeText(cp932, std::nullopt)->utf8, "犬,いぬ\n");
}

TEST(TextEncoding, RefusesBytesTheGivenEncodingCannotRead) {
    const Result<DecodedText> decoded = decodeText("ok\n\x82\x20", TextEncoding::cp932);
    ASSERT_FALSE(decoded.ok());
    EXPECT_EQ(decoded.reason(), "2: bytes 0x82 0x20 are not CP932 (Shift_JIS); save the file as UTF-8, or give the "
                                "encoding it was saved in with --encoding (utf-8, utf-16le, utf-16be, cp932)");
}

TEST(TableReader, NamesTheLineOfAQuoteNeverClosed) {
    const Table table = readTable("a,b\nc,\"d\ne\n", U',');
    ASSERT_EQ(table.problems.size(), 1u);
    EXPECT_EQ(table.problems[0].line, 2u);
    ASSERT_EQ(table.rows.size(), 1u);
}

// ---------------------------------------------------------------- flashcard texts

struct Conversion {
    const char* name;
    std::string_view in;
    std::string_view out;
};

class HtmlFields : public ::testing::TestWithParam<Conversion> {};
TEST_P(HtmlFields, BecomePlainText) { EXPECT_EQ(htmlToText(removeCloze(GetParam().in)), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(
    Texts, HtmlFields,
    ::testing::Values(Conversion{"Breaks", "a<br>b<br/>c<div>d</div>", "a b c d"},
                      Conversion{"Entities", "&lt;&amp;&gt;&quot;&#39;&#x3042;&nbsp;x", "<&>\"'あ x"},
                      Conversion{"UnknownEntityKept", "&bogus; &", "&bogus; &"},
                      Conversion{"SoundAndImageDropped", "[sound:a.mp3]犬<img src=\"a.png\">", "犬"},
                      Conversion{"Cloze", "{{c1::赤}}と{{c12::青::colour}}", "赤と青"},
                      Conversion{"LineBreaksAndSpacesCollapse", "  a \n\n b  ", "a b"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FuriganaCase {
    Furigana kind;
    std::string_view out;
};
class FuriganaKinds : public ::testing::TestWithParam<FuriganaCase> {};
TEST_P(FuriganaKinds, AsAsked) {
    EXPECT_EQ(applyFurigana("世[よ]の 中[なか]に 漢字[かんじ]", GetParam().kind), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(Texts, FuriganaKinds,
                         ::testing::Values(FuriganaCase{Furigana::base, "世の中に漢字"},
                                           FuriganaCase{Furigana::reading, "よのなかにかんじ"},
                                           FuriganaCase{Furigana::both, "世(よ)の中(なか)に漢字(かんじ)"}));

// ---------------------------------------------------------------- columns and groups

Result<DeckInput> readText(std::string_view text, DeckInputOptions options) {
    if (options.fileName.empty()) options.fileName = "words.csv";
    return readDeckInput(text, options);
}

TEST(Columns, FromTheOptionAndFillersForWhatIsMissing) {
    DeckInputOptions options;
    options.columns = *parseColumns("-,short1,long");
    const Result<DeckInput> input = readText("1,犬,dog\n2,猫,\n", options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv("words\ndog\t犬\t　\t　\t　\t　\n　\t猫\t　\t　\t　\t　\n"
                                                     "-\n-\n-\n-\n-\n-\n-\n"));
}

TEST(Columns, RefusedWhenNamedNowhere) {
    const Result<DeckInput> input = readText("word,reading,meaning\n犬,いぬ,dog\n", {});
    ASSERT_FALSE(input.ok());
    EXPECT_EQ(input.reason(),
              "1: the table names none of its columns; its first row is \"word,reading,meaning\": name them with "
              "--columns in the order of the columns, e.g. --columns short1,long,short2 (long, short1 to short5, "
              "group, and - for a column to skip), or write these names in a header row");
}

TEST(Columns, ParsingRefusesUnknownNamesAndRolesGivenTwice) {
    EXPECT_EQ(parseColumns("short1,word").reason(),
              "--columns: 'word' names no column; the names are long, short1 to short5, group, and - for a column to skip");
    EXPECT_EQ(parseColumns("long,-,-,Long").reason(), "--columns: 'long' is given twice; each field has one column");
}

TEST(Groups, InOrderOfFirstAppearanceAnEmptyCellTakingTheOneAbove) {
    const Result<DeckInput> input = readText("group,short1,long\nB,b1,x\n,b2,x\nA,a1,x\nB,b3,x\n", {});
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->check.kvz,
              testing::deckFromTsv("B\nx\tb1\t　\t　\t　\t　\nx\tb2\t　\t　\t　\t　\nx\tb3\t　\t　\t　\t　\n"
                                   "A\nx\ta1\t　\t　\t　\t　\n-\n-\n-\n-\n-\n-\n"));
}

TEST(Groups, MoreThanEightAreRefusedByName) {
    std::string table = "group,short1\n";
    for (const char* name : {"g1", "g2", "g3", "g4", "g5", "g6", "g7", "g8", "g9"}) table += std::string(name) + ",x\n";
    EXPECT_EQ(readText(table, {}).reason(), "the group column names 9 groups, and a deck holds 8: g1, g2, g3, g4, g5, "
                                            "g6, g7, g8, g9; give some cards the same group, or make a deck of each "
                                            "part of the table");
}

TEST(Groups, BySizeNamedAfterTheFile) {
    DeckInputOptions options;
    options.groupSize = 2;
    options.fileName = "lesson words.csv";
    const Result<DeckInput> input = readText("short1\na\nb\nc\n", options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->check.kvz,
              testing::deckFromTsv("lesson　words-1\n　\ta\t　\t　\t　\t　\n　\tb\t　\t　\t　\t　\n"
                                   "lesson　words-2\n　\tc\t　\t　\t　\t　\n-\n-\n-\n-\n-\n-\n"));
    options.groupSize = 1;
    std::string many = "short1\n";
    for (int i = 0; i < 9; ++i) many += "x\n";
    EXPECT_EQ(readText(many, options).reason(),
              "--group-size 1 makes 9 groups of the 9 cards, and a deck holds 8: give --group-size 2 or more");
}

TEST(Groups, ExportDecksTakeTheirLastPartCutToFitWithAWarning) {
    const std::string text = "#separator:comma\n#deck column:1\nTop::Very long subdeck name,a,b\n";
    const Result<DeckInput> input = readText(text, {});
    ASSERT_TRUE(input.ok()) << input.reason();
    ASSERT_EQ(input->check.warnings.size(), 2u);
    EXPECT_EQ(input->check.warnings[1].line, 3u);
    EXPECT_EQ(input->check.warnings[1].text,
              "warning: group name: the deck 'Top::Very long subdeck name' is cut to 'Very　long　subd', to fit the "
              "16 bytes of a group name");
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv("Very　long　subd\nb\ta\t　\t　\t　\t　\n-\n-\n-\n-\n-\n-\n-\n"));
}

// ---------------------------------------------------------------- problems and fixes

TEST(Problems, EveryRefusedLineIsListedWithItsInputLine) {
    const std::string text = "short1,long\n"
                             "ok,fine\n"
                             "\"" + std::string(27, 'x') + "あ\",x\n"  // line 3: 29 bytes in a short field
                             "😀,x\n";                                     // line 4
    const Result<DeckInput> input = readText(text, {});
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_TRUE(input->check.kvz.empty());
    ASSERT_EQ(input->check.problemCount, 2u);
    EXPECT_EQ(input->check.problems[0].line, 3u);
    EXPECT_EQ(input->check.problems[1].line, 4u);
    EXPECT_TRUE(input->check.problems[1].text.starts_with("short field 1: '😀' (U+1F600) has no Shift_JIS form; "))
        << input->check.problems[1].text;
}

TEST(Problems, PastAHundredOnlyCounted) {
    std::string text = "short1\n";
    for (int i = 0; i < 150; ++i) text += "😀\n";
    const Result<DeckInput> input = readText(text, {});
    ASSERT_TRUE(input.ok());
    EXPECT_EQ(input->check.problems.size(), kProblemsListed);
    EXPECT_EQ(input->check.problemCount, 150u);
    EXPECT_EQ(input->check.problems.back().line, 101u);
}

TEST(Fixes, CutAndReplaceAreEachListedAndCounted) {
    DeckInputOptions options;
    options.fixes.cut = true;
    options.fixes.replacement = U'〓';
    const std::string text = "short1,long\n" + std::string(25, 'x') + "あい,😀犬\n";
    const Result<DeckInput> input = readText(text, options);
    ASSERT_TRUE(input.ok()) << input.reason();
    ASSERT_EQ(input->check.problemCount, 0u);
    ASSERT_EQ(input->check.changes.size(), 2u);
    EXPECT_EQ(input->check.changes[0].line, 2u);
    EXPECT_EQ(input->check.changes[0].text, "long field: '😀' (U+1F600) replaced by '〓'");
    EXPECT_EQ(input->check.changes[1].text, "short field 1: cut to 27 bytes, dropping 'い'");
    EXPECT_EQ(describeChanges(input->check), "1 field cut, 1 character replaced");
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv("words\n〓犬\t" + std::string(25, 'x') +
                                                     "あ\t　\t　\t　\t　\n-\n-\n-\n-\n-\n-\n-\n"));
}

// The text offered beside a fixed deck is the fixed deck's: built without
// the fixes, from a table or from kvzdeck's own layout, it gives that deck.
TEST(Fixes, TheOwnLayoutOfAFixedDeckBuildsItWithoutFixes) {
    const std::string tooLong(20, 'g');
    const std::string ownLayout = tooLong + "\n😀犬\tx\ty\tz\tv\tw\n-\n-\n-\n-\n-\n-\n-\n";
    const std::string table = "group,short1,long\n" + tooLong + ",x,😀犬\n";
    for (const auto& [name, text] : {std::pair{"deck.tsv", ownLayout}, std::pair{"words.csv", table}}) {
        DeckInputOptions fixed;
        fixed.fileName = name;
        fixed.fixes.cut = true;
        fixed.fixes.replacement = U'〓';
        const Result<DeckInput> input = readText(text, fixed);
        ASSERT_TRUE(input.ok()) << input.reason();
        ASSERT_EQ(input->check.problemCount, 0u) << text;
        ASSERT_EQ(input->check.changes.size(), 2u) << text;
        DeckInputOptions plain;
        plain.fileName = "deck.tsv";
        const Result<DeckInput> again = readText(input->ownLayout, plain);
        ASSERT_TRUE(again.ok()) << again.reason();
        EXPECT_EQ(again->check.problemCount, 0u) << input->ownLayout;
        EXPECT_EQ(again->check.kvz, input->check.kvz) << text;
    }
}

TEST(OwnLayout, IsReadInEveryEncoding) {
    const std::string tsv = testing::readFileText(testing::sourcePath("examples/sample.tsv"));
    DeckInputOptions options;
    options.fileName = "sample.tsv";
    for (const Encoded& form : {Encoded{TextEncoding::cp932, "CP932", ""},
                                Encoded{TextEncoding::utf16le, "UTF-16LE", "\xFF\xFE"},
                                Encoded{TextEncoding::utf16be, "UTF-16BE", "\xFE\xFF"}}) {
        const Result<DeckInput> input = readDeckInput(encodeWithIconv(tsv, form), options);
        ASSERT_TRUE(input.ok()) << input.reason();
        EXPECT_EQ(input->encoding, form.encoding);
        EXPECT_EQ(input->form, DeckForm::ownLayout);
        EXPECT_EQ(input->check.kvz, testing::deckFromTsv(tsv));
    }
}

TEST(OwnLayout, IsReadAsToday) {
    const std::string tsv = testing::readFileText(testing::sourcePath("examples/example.tsv"));
    DeckInputOptions options;
    options.fileName = "example.tsv";
    const Result<DeckInput> input = readDeckInput(tsv, options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->form, DeckForm::ownLayout);
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv(tsv));
}

}  // namespace
}  // namespace kvz
