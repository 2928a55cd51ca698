// What both front ends take from the core: the log line at the edges of the
// address range, the inspection's warnings and refusals, and the preview
// sheet that a conversion hands over.
#include "core/frontend.h"

#include <gtest/gtest.h>

#include <cctype>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/layout.h"
#include "core/preview.h"
#include "decode/decode.h"
#include "hexfile/hex.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct LogLineCase {
    const char* file;
    std::size_t imageBytes;
    const char* line;
};

class LogLine : public ::testing::TestWithParam<LogLineCase> {};

TEST_P(LogLine, NamesTheFirstAndLastAddressInFourUpperCaseDigits) {
    EXPECT_EQ(formatLogLine(GetParam().file, GetParam().imageBytes), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Core, LogLine,
    ::testing::Values(LogLineCase{"deck.kvz", 1, "deck.kvz:05D0-05D0"},
                      LogLineCase{"deck.kvz", 0x30, "deck.kvz:05D0-05FF"},
                      LogLineCase{"../decks/a:b.kvz", 0x1000, "../decks/a:b.kvz:05D0-15CF"},
                      LogLineCase{"full.kvz", kImageCapacity, "full.kvz:05D0-FFFF"}));

struct FileNameCase {
    const char* path;
    const char* stem;       // what the outputs are named after
    const char* stemName;   // a group's name when the table has none
    const char* extension;
    bool image;
};

class FileName : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(FileName, TakesTheExtensionFromTheLastNameOnly) {
    const FileNameCase& c = GetParam();
    EXPECT_EQ(fileStem(c.path), c.stem);
    EXPECT_EQ(fileStemName(c.path), c.stemName);
    EXPECT_EQ(fileExtension(c.path), c.extension);
    EXPECT_EQ(isImageFileName(c.path), c.image);
}

INSTANTIATE_TEST_SUITE_P(
    Core, FileName,
    ::testing::Values(FileNameCase{"data.dat", "data", "data", ".dat", false},
                      FileNameCase{"data", "data", "data", "", false},
                      FileNameCase{"a.b.c", "a.b", "a.b", ".c", false},
                      FileNameCase{"name.", "name", "name", ".", false},
                      FileNameCase{".profile", "", "", ".profile", false},
                      FileNameCase{".", "", "", ".", false},
                      FileNameCase{"", "", "", "", false},
                      FileNameCase{"dir.old/data", "dir.old/data", "data", "", false},
                      FileNameCase{"dir.old/data.dat", "dir.old/data", "data", ".dat", false},
                      FileNameCase{"/abs/x.y/z.kvz", "/abs/x.y/z", "z", ".kvz", false},
                      FileNameCase{"dir/.hidden", "dir/", "", ".hidden", false},
                      FileNameCase{"C:\\decks.old\\Notes.CSV", "C:\\decks.old\\Notes", "Notes", ".csv", false},
                      FileNameCase{"deck.IHX", "deck", "deck", ".ihx", true},
                      FileNameCase{"deck.hex", "deck", "deck", ".hex", true},
                      FileNameCase{"images.ihx/deck", "images.ihx/deck", "deck", "", false},
                      FileNameCase{"deck.ihx.kvz", "deck.ihx", "deck.ihx", ".kvz", false}));

TEST(WithinMemory, GivesTheWorksResultOrTheRefusalOfTheFileThatRanOutOfMemory) {
    std::vector<std::string> told;
    const auto refuse = [&](const std::string& line) {
        told.push_back(line);
        return -1;
    };
    EXPECT_EQ(withinMemory(kPackProgram, "small.kvz", [] { return 7; }, refuse), 7);
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(withinMemory(kDeckProgram, "big.tsv", []() -> int { throw std::bad_alloc(); }, refuse), -1);
    EXPECT_EQ(told, std::vector<std::string>{"kvzdeck: big.tsv: out of memory"});
}

TEST(PartNames, NameEachPartAfterTheDeckAndLeadBackToIt) {
    for (const char* base : {"deck", "dir-1/my-deck", "deck-2"}) {
        for (std::size_t part : {1u, 2u, 64u}) {
            const std::string name = partName(base, part);
            EXPECT_EQ(name, std::string(base) + "-" + std::to_string(part));
            EXPECT_EQ(splitDeckName(name), base) << name;
        }
    }
    EXPECT_EQ(imageFileNames("dir/deck-2", false), (std::vector<std::string>{"dir/deck-2.ihx", "dir/deck-2.txt"}));
    EXPECT_EQ(imageFileNames("deck", true), (std::vector<std::string>{"deck.ihx", "deck.txt", "deck.png"}));
}

PackedDeck packExample(const std::string& name, const PackOptions& options) {
    const Bytes deck = testing::readFileBytes(testing::sourcePath("examples/" + name + ".kvz"));
    auto packed = packDeckBytes(deck, options);
    EXPECT_TRUE(packed.ok()) << packed.reason();
    return packed.ok() ? std::move(packed.value()) : PackedDeck{};
}

std::string hexTextOf(const Bytes& image, std::uint32_t address) {
    auto text = formatHexAbs(image, address, false);
    EXPECT_TRUE(text.ok()) << text.reason();
    return text.ok() ? *text : std::string();
}

// A record behind the end record: read as a warning, not as data.
std::string withRecordAfterTheEnd(const std::string& hexText) { return hexText + ":0105D000002A\r\n"; }

std::size_t lineCount(const std::string& text) { return testing::splitLines(text, "\r\n").size(); }

TEST(InspectHexText, GivesTheSummaryUnderTheNameAndTheImagesSize) {
    const PackedDeck packed = packExample("sample", PackOptions{});
    const ImageInspection inspection = inspectHexText(packed.hexText, "some/sample.ihx", std::nullopt);
    EXPECT_TRUE(inspection.warnings.empty());
    ASSERT_TRUE(inspection.inspected.ok()) << inspection.inspected.reason();
    const InspectedImage& inspected = *inspection.inspected;
    EXPECT_EQ(inspected.text.rfind("some/sample.ihx: image 05D0-", 0), 0u) << inspected.text;
    EXPECT_EQ(inspected.imageBytes, packed.image.size());
    EXPECT_EQ(inspected.decoded.cells.size(), packed.figures.distinctCharacters);
}

TEST(InspectHexText, DrawsTheSelectionInsteadOfTheSummary) {
    const PackedDeck packed = packExample("sample", PackOptions{});
    const ImageInspection inspection = inspectHexText(packed.hexText, "sample.ihx", EntrySelection{1, 2});
    ASSERT_TRUE(inspection.inspected.ok()) << inspection.inspected.reason();
    EXPECT_EQ(inspection.inspected->text.rfind("group 1 entry 2\nlong field: ", 0), 0u);
}

// Warnings are told before the text or the refusal, so they stay when the
// inspection fails.
struct RefusalCase {
    const char* what;
    std::string hexText;
    std::optional<EntrySelection> entry;
    std::vector<std::string> warnings;
    std::string reason;  // a reason ending in ": " is a prefix
};

class InspectRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(InspectRefusals, KeepTheWarningsAndGiveTheReason) {
    const RefusalCase& c = GetParam();
    const ImageInspection inspection = inspectHexText(c.hexText, "image.ihx", c.entry);
    EXPECT_EQ(inspection.warnings, c.warnings);
    ASSERT_FALSE(inspection.inspected.ok());
    if (c.reason.ends_with(": "))
        EXPECT_EQ(inspection.inspected.reason().rfind(c.reason, 0), 0u) << inspection.inspected.reason();
    else
        EXPECT_EQ(inspection.inspected.reason(), c.reason);
    // The lines told: the warnings first, the refusal last.
    const InspectionReport report = reportInspection(c.hexText, "image.ihx", c.entry);
    EXPECT_FALSE(report.inspected.has_value());
    ASSERT_EQ(report.lines.size(), c.warnings.size() + 1);
    for (std::size_t i = 0; i < c.warnings.size(); ++i)
        EXPECT_EQ(report.lines[i], "kvzpack: image.ihx: warning: " + c.warnings[i]);
    EXPECT_EQ(report.lines.back(), "kvzpack: image.ihx: " + inspection.inspected.reason());
}

std::vector<RefusalCase> refusalCases() {
    const std::string example = packExample("example", PackOptions{}).hexText;
    const std::string noDevice = withRecordAfterTheEnd(hexTextOf(Bytes{0, 0, 0, 0}, kLoadAddress));
    const auto trailing = [](std::size_t line) {
        return "line " + std::to_string(line) + ": records after the end record, not read";
    };
    return {
        {"no device image, behind a warning", noDevice, std::nullopt, {trailing(lineCount(noDevice))},
         "not a device image: "},
        {"data elsewhere", hexTextOf(Bytes{0, 0, 0, 0}, 0x0600), std::nullopt, {},
         "not a device image: its data starts at 0x0600, not at 0x05D0"},
        {"no such entry", withRecordAfterTheEnd(example), EntrySelection{0, 1},
         {trailing(lineCount(example) + 1)},
         "group 0 has 1 entry; there is no entry 1"},
        {"no such group", example, EntrySelection{8, -1}, {}, "there is no group 8"},
        {"a damaged record", example.substr(0, 1) + "11" + example.substr(3), std::nullopt, {}, "line 1: "},
    };
}

INSTANTIATE_TEST_SUITE_P(Core, InspectRefusals, ::testing::ValuesIn(refusalCases()),
                         [](const auto& info) {
                             std::string name = info.param.what;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

void expectSameSheet(const PreviewSheet& actual, const PreviewSheet& expected) {
    EXPECT_EQ(actual.bitmap.width, expected.bitmap.width);
    EXPECT_EQ(actual.bitmap.height, expected.bitmap.height);
    EXPECT_TRUE(actual.bitmap.pixels == expected.bitmap.pixels);
    ASSERT_EQ(actual.texts.size(), expected.texts.size());
    for (std::size_t i = 0; i < actual.texts.size(); ++i) {
        EXPECT_EQ(describeTextPlace(actual.texts[i].place), describeTextPlace(expected.texts[i].place));
        EXPECT_EQ(actual.texts[i].x, expected.texts[i].x);
        EXPECT_EQ(actual.texts[i].y, expected.texts[i].y);
        EXPECT_EQ(actual.texts[i].codes, expected.texts[i].codes);
    }
}

class SheetOfAConversion : public ::testing::TestWithParam<bool> {};

// The page draws the sheet it is handed and the command line writes the PNG:
// both must be the written image's.
TEST_P(SheetOfAConversion, IsTheWrittenImagesAndThePngIsIt) {
    const bool verify = GetParam();
    const PackedDeck packed =
        packExample("sample", PackOptions{.verify = verify, .preview = true, .sheet = true});
    ASSERT_TRUE(packed.sheet.has_value());
    auto decoded = decodeImage(packed.image, kLoadAddress);
    ASSERT_TRUE(decoded.ok()) << decoded.reason();
    auto expected = drawPreviewSheet(*decoded);
    ASSERT_TRUE(expected.ok()) << expected.reason();
    expectSameSheet(*packed.sheet, *expected);
    auto png = encodePng(packed.sheet->bitmap, kPreviewScale);
    ASSERT_TRUE(png.ok()) << png.reason();
    EXPECT_TRUE(packed.png == *png);
    EXPECT_FALSE(packExample("sample", PackOptions{.verify = verify, .preview = true}).sheet);
}

INSTANTIATE_TEST_SUITE_P(Core, SheetOfAConversion, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Verified" : "Unverified"; });

}  // namespace
}  // namespace kvz
