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
#include "deck/utf8.h"
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
                      Conversion{"LineBreaksAndSpacesCollapse", "  a \n\n b  ", "a b"},
                      Conversion{"NumericNoBreakSpacesAreSpaces", "a&#160;b&#xa0;c&nbsp;d", "a b c d"},
                      Conversion{"NumericOfAnyLength", "&#x0000003042;&#000012354;&#X3042;", "あああ"},
                      Conversion{"NumericOfNoCharacterKept", "&#0; &#xD800; &#1114112; &#x; &#12", "&#0; &#xD800; &#1114112; &#x; &#12"},
                      Conversion{"AmpersandsOpeningNothingKept", "&&&amp &amp;", "&&&amp &"},
                      Conversion{"TagNeverClosedKept", "a<b <c", "a<b <c"},
                      Conversion{"TagsThenOneNeverClosed", "<b>x</b> < y", "x < y"},
                      Conversion{"SoundNeverClosedKept", "[sound:a.mp3 [sound:b", "[sound:a.mp3 [sound:b"}),
    [](const auto& info) { return std::string(info.param.name); });

class ClozeFields : public ::testing::TestWithParam<Conversion> {};
TEST_P(ClozeFields, GiveTheirText) { EXPECT_EQ(removeCloze(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(
    Texts, ClozeFields,
    ::testing::Values(Conversion{"Nested", "{{c1::日本{{c2::語}}です}}", "日本語です"},
                      Conversion{"NestedWithHints", "{{c1::a{{c2::b::hint b}}c::hint a}}", "abc"},
                      Conversion{"ClozeInAHintDropped", "{{c1::x::h{{c2::y}}}}z", "xz"},
                      Conversion{"HintHoldingColons", "{{c1::x::a::b}}", "x"},
                      Conversion{"NeverClosedKept", "{{c1::open", "{{c1::open"},
                      Conversion{"OuterNeverClosedInnerTaken", "{{c1::a {{c2::b}}", "{{c1::a b"},
                      Conversion{"CloseOfNothingKept", "a}} b::c", "a}} b::c"},
                      Conversion{"NoNumberIsNoCloze", "{{c::x}} {{c1:x}}", "{{c::x}} {{c1:x}}"},
                      Conversion{"ThreeClosingBraces", "{{c1::x}}}", "x}"}),
    [](const auto& info) { return std::string(info.param.name); });

struct FuriganaBrackets {
    const char* name;
    std::string_view in;
    std::string_view base;
};
class FuriganaReadings : public ::testing::TestWithParam<FuriganaBrackets> {};
// A bracket is furigana only where it holds kana; the reading kind then
// shows the bracket's text instead of the base, the other brackets stay.
TEST_P(FuriganaReadings, AreKanaOrKeptAsWritten) {
    EXPECT_EQ(applyFurigana(GetParam().in, Furigana::base), GetParam().base);
}
INSTANTIATE_TEST_SUITE_P(
    Texts, FuriganaReadings,
    ::testing::Values(FuriganaBrackets{"Hiragana", "漢字[かんじ]", "漢字"},
                      FuriganaBrackets{"KatakanaAndLongVowel", "東京[トーキョー]", "東京"},
                      FuriganaBrackets{"HalfWidthKatakana", "東[ﾋｶﾞｼ]", "東"},
                      FuriganaBrackets{"AnIndex", "arr[i]", "arr[i]"},
                      FuriganaBrackets{"AChemicalState", "H2O[aq]", "H2O[aq]"},
                      FuriganaBrackets{"KanaAndMore", "日本[にほん1] 日本[日本]", "日本[にほん1] 日本[日本]"},
                      FuriganaBrackets{"Empty", "x[]", "x[]"},
                      FuriganaBrackets{"NoBase", "[かな]", "[かな]"},
                      FuriganaBrackets{"NeverClosed", "漢[か 字[じ]", "漢[か字"},
                      FuriganaBrackets{"BracketBeforeTheReading", "a[[か]", "a["}),
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

// ---------------------------------------------------------------- export headers

struct HeaderCase {
    const char* name;
    std::string_view text;
    bool present;
    std::string_view refusal;  // empty: read
};
class ExportHeaders : public ::testing::TestWithParam<HeaderCase> {};
TEST_P(ExportHeaders, AreTheExactKeysAtTheStartWithValuesOfTheirKind) {
    const Result<ExportHeader> header = readExportHeader(GetParam().text);
    if (!GetParam().refusal.empty()) {
        ASSERT_FALSE(header.ok());
        EXPECT_EQ(header.reason(), GetParam().refusal);
        return;
    }
    ASSERT_TRUE(header.ok()) << header.reason();
    EXPECT_EQ(header->present, GetParam().present);
}
INSTANTIATE_TEST_SUITE_P(
    Texts, ExportHeaders,
    ::testing::Values(
        HeaderCase{"Separator", "#separator:tab\na\tb\n", true, ""},
        HeaderCase{"EveryKey", "#separator:Pipe\n#html:false\n#guid column:1\n#notetype column:2\n#deck column:3\n"
                               "#tags column:6\n#columns:Front|Back\n", true, ""},
        HeaderCase{"ACommentFirst", "# separator: tab (my notes)\n#separator:tab\n", false, ""},
        HeaderCase{"AKeyInAnotherCase", "#Separator:tab\n", false, ""},
        HeaderCase{"AnUnknownKeyFirst", "#deck:Default\n#html:maybe\n", false, ""},
        HeaderCase{"CommentsAmongTheKeys", "#separator:tab\n# exported today\n#html:true\n", true, ""},
        HeaderCase{"NoSuchSeparator", "#separator:Foo\n", true,
                   "1: the header line '#separator:Foo' names no separator; an export names it as Tab, Comma, "
                   "Semicolon, Space, Pipe, Colon or the character itself"},
        HeaderCase{"ColumnZero", "#separator:tab\n#deck column:0\n", true,
                   "2: the header line '#deck column:0' names no column; columns are numbered from 1"},
        HeaderCase{"ColumnOfLetters", "#separator:tab\r#tags column:last\r", true,
                   "2: the header line '#tags column:last' names no column; columns are numbered from 1"},
        HeaderCase{"HtmlNeitherTrueNorFalse", "#html:yes\n", true, "1: the header line '#html:yes' takes true or false"},
        HeaderCase{"NoColumns", "#separator:tab\r\n#columns:\r\n", true, "2: the header line '#columns:' names no column"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExportHeaders, EndInLfCrLfOrCrAlone) {
    for (const std::string_view end : {"\n", "\r\n", "\r"}) {
        const std::string text = "#separator:comma" + std::string(end) + "#deck column:2" + std::string(end) + "a,b" +
                                 std::string(end);
        const Result<ExportHeader> header = readExportHeader(text);
        ASSERT_TRUE(header.ok()) << header.reason();
        EXPECT_EQ(header->lines, 2u);
        EXPECT_EQ(header->separator, U',');
        EXPECT_EQ(header->deckColumn, 2u);
        EXPECT_EQ(text.substr(header->bodyStart), "a,b" + std::string(end));
    }
}

// ---------------------------------------------------------------- excerpts

struct ExcerptCase {
    const char* name;
    std::string in;
    std::string out;
};
class Excerpts : public ::testing::TestWithParam<ExcerptCase> {};
TEST_P(Excerpts, AreOneBoundedLine) { EXPECT_EQ(inputExcerpt(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(
    Texts, Excerpts,
    ::testing::Values(ExcerptCase{"Short", "犬\tdog", "犬\tdog"},
                      ExcerptCase{"SixtyCharacters", std::string(60, 'a'), std::string(60, 'a')},
                      ExcerptCase{"CutAtSixty", std::string(61, 'a'), std::string(60, 'a') + "..."},
                      ExcerptCase{"CutAtACharacterBoundary", std::string(59, 'a') + "ああ", std::string(59, 'a') + "あ..."},
                      ExcerptCase{"ControlsAsBytes", std::string("a\0b\nc\r\x1b[1m\x7f\u0085", 13),
                                  "a\\x00b\\x0Ac\\x0D\\x1B[1m\\x7F\\xC2\\x85"},
                      ExcerptCase{"BytesThatAreNoUtf8", "a\xff\xe3\x81", "a\\xFF\\xE3\\x81"}),
    [](const auto& info) { return std::string(info.param.name); });

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
    const Result<DeckInput> input = readText("犬,いぬ,dog\n", {});
    ASSERT_FALSE(input.ok());
    EXPECT_EQ(input.reason(),
              "1: the table names none of its columns; its first row is \"犬,いぬ,dog\": name them with "
              "--columns in the order of the columns, e.g. --columns short1,long,short2 (long, short1 to short5, "
              "group, and - for a column to skip), or write these names in a header row");
}

// The --columns value of a refusal's suggested command: quoted or not.
std::string suggestedColumns(const std::string& reason) {
    const std::size_t at = reason.find("--columns ");
    if (at == std::string::npos) return {};
    std::size_t start = at + 10, end = 0;
    if (reason[start] == '\'') {
        ++start;
        end = reason.find('\'', start);
    } else {
        end = reason.find(' ', start);
    }
    return reason.substr(start, end - start);
}

// A table whose header row is in the user's words is refused with the
// command that reads it; that command's --columns is taken as it is
// written and builds the deck, also where two cells share a name or a cell
// holds what --columns cannot name.
TEST(Columns, TheCommandARefusalSuggestsBuildsTheDeck) {
    const struct {
        const char* name;
        const char* table;
        const char* columns;  // as suggested
        const char* deck;     // kvzdeck's own layout
    } cases[] = {
        {"InEnglish", "word,reading,meaning\n犬,いぬ,dog\n", "word=short1,reading=short2,meaning=long",
         "words\ndog\t犬\tいぬ\t　\t　\t　\n-\n-\n-\n-\n-\n-\n-\n"},
        {"NotesTwice", "単語,備考,備考,意味\n犬,a,b,dog\n", "単語=short1,意味=long",
         "words\ndog\t犬\t　\t　\t　\t　\n-\n-\n-\n-\n-\n-\n-\n"},
        {"AWordTwice", "word,word,meaning\n犬,いぬ,dog\n", "short1,-,long",
         "words\ndog\t犬\t　\t　\t　\t　\n-\n-\n-\n-\n-\n-\n-\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<DeckInput> refused = readText(c.table, {});
        ASSERT_FALSE(refused.ok());
        const std::string columns = suggestedColumns(refused.reason());
        EXPECT_EQ(columns, c.columns) << refused.reason();
        const Result<ColumnList> list = parseColumnList(columns);
        ASSERT_TRUE(list.ok()) << list.reason();
        DeckInputOptions options;
        options.columns = list->roles;
        options.namedColumns = list->named;
        if (refused.reason().find("--header") != std::string::npos) options.headerRow = true;
        const Result<DeckInput> built = readText(c.table, options);
        ASSERT_TRUE(built.ok()) << built.reason();
        EXPECT_EQ(built->check.kvz, testing::deckFromTsv(c.deck));
    }
}

// The start of a text as the page's form shows it, and the options its
// choices give, each building the deck that the same choices give on the
// command line.
TEST(TableHeads, TellTheFormTheSeparatorAndTheFirstRowWithItsSuggestedRoles) {
    DeckInputOptions options;
    options.fileName = "words.txt";
    const Result<TableHead> japanese = readTableHead("課;単語;読み;意味;単語\n第1課;犬;いぬ;dog;x\n", options);
    ASSERT_TRUE(japanese.ok()) << japanese.reason();
    EXPECT_EQ(japanese->form, DeckForm::table);
    EXPECT_EQ(japanese->separator, U';');
    EXPECT_TRUE(japanese->separatorFound);
    EXPECT_EQ(japanese->firstRow, (std::vector<std::string>{"課", "単語", "読み", "意味", "単語"}));
    EXPECT_EQ(japanese->suggested, (std::vector<ColumnRole>{ColumnRole::group, ColumnRole::short1, ColumnRole::short2,
                                                            ColumnRole::longField, ColumnRole::skip}));
    EXPECT_FALSE(japanese->namesItsColumns);

    const Result<TableHead> own = readTableHead("group,short1\nA,犬\n", options);
    ASSERT_TRUE(own.ok());
    EXPECT_TRUE(own->namesItsColumns);
    const Result<TableHead> exported = readTableHead("#separator:tab\n#html:true\n犬\tdog\n", options);
    ASSERT_TRUE(exported.ok());
    EXPECT_EQ(exported->form, DeckForm::flashcardExport);
    EXPECT_TRUE(exported->firstRow.empty());
    const Result<TableHead> layout = readTableHead("動物\ndog\t犬\ta\tb\tc\td\n", options);
    ASSERT_TRUE(layout.ok());
    EXPECT_EQ(layout->form, DeckForm::ownLayout);
    DeckInputOptions utf8;
    utf8.encoding = TextEncoding::utf8;
    EXPECT_FALSE(readTableHead("\xFF\xFE\x00", utf8).ok());
}

TEST(TableHeads, RolesChosenForTheColumnsGiveTheCommandLineThatBuildsThem) {
    using R = ColumnRole;
    const std::string deckOfDog = "words\ndog\t犬\tいぬ\t　\t　\t　\n-\n-\n-\n-\n-\n-\n-\n";
    const struct {
        const char* name;
        const char* table;
        std::vector<ColumnRole> roles;
        bool header;
        const char* command;
        std::string deck;
    } cases[] = {
        {"NamedCells", "Word,Reading,Meaning,Notes\n犬,いぬ,dog,x\n", {R::short1, R::short2, R::longField, R::skip}, true,
         "--columns Word=short1,Reading=short2,Meaning=long,Notes=-", deckOfDog},
        {"ACellTwice", "word,reading,meaning,word\n犬,いぬ,dog,x\n", {R::short1, R::short2, R::longField, R::skip}, true,
         "--header --columns short1,short2,long,-", deckOfDog},
        {"ACellWithAComma", "\"word, kanji\",reading,meaning\n犬,いぬ,dog\n", {R::short1, R::short2, R::longField},
         true, "--header --columns short1,short2,long", deckOfDog},
        {"NoHeaderRow", "犬,いぬ,dog\n", {R::short1, R::short2, R::longField}, false,
         "--no-header --columns short1,short2,long", deckOfDog},
        {"NoFieldChosen", "犬,いぬ,dog\n", {R::skip, R::group, R::skip}, true, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeckInputOptions given;
        given.fileName = "words.csv";
        const Result<TableHead> head = readTableHead(c.table, given);
        ASSERT_TRUE(head.ok()) << head.reason();
        const DeckInputOptions options = withColumnRoles(*head, c.roles, c.header, given);
        EXPECT_EQ(buildCommand(options), c.command);
        if (c.deck.empty()) continue;
        // The command line's options, read as kvzdeck reads them, build the deck.
        DeckInputOptions parsed;
        parsed.fileName = "words.csv";
        for (const BuildOption& option : buildOptions(options)) {
            if (option.name == "--header" || option.name == "--no-header") parsed.headerRow = option.name == "--header";
            if (option.name != "--columns") continue;
            const Result<ColumnList> list = parseColumnList(option.value);
            ASSERT_TRUE(list.ok()) << list.reason();
            parsed.columns = list->roles;
            parsed.namedColumns = list->named;
        }
        const Result<DeckInput> built = readDeckInput(c.table, parsed);
        ASSERT_TRUE(built.ok()) << built.reason();
        EXPECT_EQ(built->check.kvz, testing::deckFromTsv(c.deck));
    }
}

// Every entry's input line, in the deck's order, whatever the order of the
// rows: a table's groups gather rows from anywhere in it.
TEST(EntryLines, AreTheInputLinesOfTheEntriesInTheDecksOrder) {
    const Result<DeckInput> table = readText("group,short1,long\nB,b1,x\n\nA,\"a\n1\",x\nB,b2,x\n", {});
    ASSERT_TRUE(table.ok()) << table.reason();
    EXPECT_EQ(table->check.entryLines, (std::vector<std::size_t>{2, 6, 4}));
    DeckInputOptions tsv;
    tsv.fileName = "deck.tsv";
    const Result<DeckInput> own =
        readText("# deck\nA\nx\ta\tb\tc\td\te\n\nB\ny\ta\tb\tc\td\te\nz\ta\tb\tc\td\te\nC\nD\nE\nF\nG\nH\n", tsv);
    ASSERT_TRUE(own.ok()) << own.reason();
    EXPECT_EQ(own->check.entryLines, (std::vector<std::size_t>{3, 6, 7}));
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
                                            "g6, g7, g8, g9; to merge them into 8 groups of 2 cards in their order, "
                                            "give --group-size 2; to make one deck of each 8 groups in their order, "
                                            "give --decks");
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

// ---------------------------------------------------------------- what the input is

TEST(OwnLayout, ACommentLikeAHeaderKeyIsAComment) {
    const std::string tsv = "# separator: tab (my notes)\n動物\ndog\t犬\tx\ty\tz\tw\n-\n-\n-\n-\n-\n-\n-\n";
    DeckInputOptions options;
    options.fileName = "words.tsv";
    const Result<DeckInput> input = readDeckInput(tsv, options);
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->form, DeckForm::ownLayout);
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv(tsv));
}

struct NoCard {
    const char* name;
    const char* file;
    std::string text;
    std::string_view reason;
};
class InputsOfNoCard : public ::testing::TestWithParam<NoCard> {};
TEST_P(InputsOfNoCard, AreRefused) {
    DeckInputOptions options;
    options.fileName = GetParam().file;
    const Result<DeckInput> input = readDeckInput(GetParam().text, options);
    ASSERT_FALSE(input.ok()) << input->cards;
    EXPECT_EQ(input.reason(), GetParam().reason);
}
constexpr std::string_view kNoNote =
    "holds no card: the export has its header lines and no note below them; a deck needs at least one card";
INSTANTIATE_TEST_SUITE_P(
    Texts, InputsOfNoCard,
    ::testing::Values(
        NoCard{"EmptyTable", "words.csv", "", "is empty; a deck needs at least one card"},
        NoCard{"EmptyOwnLayout", "words.tsv", "\xEF\xBB\xBF\r\n\n", "is empty; a deck needs at least one card"},
        NoCard{"HeaderOnlyExport", "notes.txt", "#separator:tab\n#html:true\n", kNoNote},
        NoCard{"HeaderOnlyExportInCrAlone", "notes.txt", "#separator:tab\r#html:true\r", kNoNote},
        NoCard{"HeaderRowOnly", "words.csv", "short1,long\n,\n",
               "holds no card: the table has no row below its header; a deck needs at least one card"},
        NoCard{"NoRowBelowAHeaderInCrLf", "words.csv", "long,short1\r\n,\r\n\r\n",
               "holds no card: the table has no row below its header; a deck needs at least one card"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Exports, WithLinesEndingInCrAloneAreRead) {
    const Result<DeckInput> input = readText("#separator:comma\r#deck column:1\r動物,dog,犬\r色,red,赤い\r", {});
    ASSERT_TRUE(input.ok()) << input.reason();
    EXPECT_EQ(input->form, DeckForm::flashcardExport);
    EXPECT_EQ(input->cards, 2u);
    EXPECT_EQ(input->check.kvz, testing::deckFromTsv("動物\n犬\tdog\t　\t　\t　\t　\n色\n赤い\tred\t　\t　\t　\t　\n"
                                                     "-\n-\n-\n-\n-\n-\n"));
}

TEST(Exports, AHeaderValueThatMakesNoSenseIsRefusedAtItsLine) {
    const Result<DeckInput> input = readText("#separator:tab\n#deck column:0\na\tb\n", {});
    ASSERT_FALSE(input.ok());
    EXPECT_EQ(input.reason(), "2: the header line '#deck column:0' names no column; columns are numbered from 1");
}

TEST(Columns, AHeaderRowNamingAFieldTwiceIsRefused) {
    for (const std::string_view header : {"short1,long,long,group", "short1,long,LONG field,group"}) {
        const Result<DeckInput> input = readText(std::string(header) + "\na,b,c,g\n", {});
        ASSERT_FALSE(input.ok()) << header;
        EXPECT_EQ(input.reason(), "1: the header row names 'long' twice, in columns 2 and 3; each field has one "
                                  "column: name the other one -, or give --columns");
    }
    const Result<DeckInput> skipped = readText("-,long,-,short1\nx,b,y,a\n", {});
    ASSERT_TRUE(skipped.ok()) << skipped.reason();
    EXPECT_EQ(skipped->cards, 1u);
}

TEST(Warnings, SaidOfManyLinesAreSaidOnceWithTheirCountAndFirstLines) {
    std::string table = "group,short1\n";
    for (int row = 0; row < 500; ++row) table += std::string(row % 2 ? "b c" : "a b") + ",x\n";
    const Result<DeckInput> input = readText(table, {});
    ASSERT_TRUE(input.ok()) << input.reason();
    ASSERT_EQ(input->check.warnings.size(), 2u);
    EXPECT_EQ(input->check.warnings[0].line, 2u);
    EXPECT_EQ(input->check.warnings[0].text, "warning: group name 'a b' holds spaces, which would end it: written "
                                             "with full-width spaces; the same on 249 more lines: 4, 6, 8, ...");
    EXPECT_EQ(input->check.warnings[1].line, 3u);
    const Result<DeckInput> few = readText("group,short1\na b,x\na b,y\na b,z\n", {});
    ASSERT_TRUE(few.ok()) << few.reason();
    ASSERT_EQ(few->check.warnings.size(), 1u);
    EXPECT_TRUE(few->check.warnings[0].text.ends_with("; the same on lines 3 and 4")) << few->check.warnings[0].text;
}

TEST(Messages, QuoteABoundedPartOfTheInput) {
    const std::string longCell(100000, 'x');
    const Result<DeckInput> unnamed = readText(longCell + "," + longCell + "\n", {});
    ASSERT_FALSE(unnamed.ok());
    EXPECT_LT(unnamed.reason().size(), 400u);
    EXPECT_NE(unnamed.reason().find("\"" + std::string(60, 'x') + "...\""), std::string::npos) << unnamed.reason();

    std::string groups = "group,short1\n";
    for (int g = 0; g < 20000; ++g) groups += longCell.substr(0, 10) + std::to_string(g) + ",x\n";
    const Result<DeckInput> many = readText(groups, {});
    ASSERT_FALSE(many.ok());
    EXPECT_LT(many.reason().size(), 400u);
    EXPECT_TRUE(many.reason().starts_with("the group column names 20000 groups, and a deck holds 8: xxxxxxxxxx0, "))
        << many.reason();

    DeckInputOptions cut;
    cut.fixes.cut = true;
    const Result<DeckInput> cutCell = readText("short1\n" + longCell + "\n", cut);
    ASSERT_TRUE(cutCell.ok()) << cutCell.reason();
    ASSERT_EQ(cutCell->check.changes.size(), 1u);
    EXPECT_EQ(cutCell->check.changes[0].text, "short field 1: cut to 28 bytes, dropping '" + std::string(60, 'x') + "...'");
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
