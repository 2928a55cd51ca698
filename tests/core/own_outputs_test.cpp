// The files that kvzpack recognises as its own outputs, and those it leaves
// alone: a user's export under an output's name is never replaced.
#include <gtest/gtest.h>

#include <string>

#include "core/own_outputs.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

std::string pinned(const std::string& name) {
    return testing::readFileText(testing::sourcePath("tests/cli/cases/kvzpack/pinned/pinned-example/files/" + name));
}

struct OwnCase {
    const char* name;
    OutputKind kind;
    std::string contents;
    bool own;
};

class OwnOutput : public ::testing::TestWithParam<OwnCase> {};

TEST_P(OwnOutput, IsRecognisedByItsContents) {
    EXPECT_EQ(isOwnOutput(GetParam().kind, GetParam().contents), GetParam().own);
}

std::string withLf(std::string text) {
    std::string out;
    for (const char c : text)
        if (c != '\r') out += c;
    return out;
}

const std::string kPng = std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);

INSTANTIATE_TEST_SUITE_P(
    Files, OwnOutput,
    ::testing::Values(
        OwnCase{"Image", OutputKind::image, pinned("example.ihx"), true},
        OwnCase{"ImageWithLfLineEnds", OutputKind::image, withLf(pinned("example.ihx")), true},
        OwnCase{"ImageWithoutItsLastLineEnd", OutputKind::image,
                pinned("example.ihx").substr(0, pinned("example.ihx").size() - 2), true},
        OwnCase{"EndRecordAlone", OutputKind::image, ":00000001FF\r\n", true},
        OwnCase{"ImageWithoutEndRecord", OutputKind::image,
                pinned("example.ihx").substr(0, pinned("example.ihx").find(":00000001FF")), false},
        OwnCase{"ImageWithTextBehindTheEnd", OutputKind::image, pinned("example.ihx") + "notes\r\n", false},
        OwnCase{"ImageWithAWrongChecksum", OutputKind::image,
                ":1005D00000000C06010101038B61270000000000F1\r\n:00000001FF\r\n", false},
        OwnCase{"ImageWithARecordCutShort", OutputKind::image, ":1005D00000000C0601\r\n:00000001FF\r\n", false},
        OwnCase{"NumberedTextAsImage", OutputKind::image, pinned("example.txt"), false},
        OwnCase{"EmptyImage", OutputKind::image, "", false},
        OwnCase{"NumberedText", OutputKind::numberedImage, pinned("example.txt"), true},
        OwnCase{"ImageAsNumberedText", OutputKind::numberedImage, pinned("example.ihx"), false},
        OwnCase{"NumberedTextOutOfOrder", OutputKind::numberedImage,
                "2:1005D00000000C06010101038B61270000000000F0\r\n1:00000001FF\r\n", false},
        OwnCase{"AnkiExport", OutputKind::numberedImage, "#separator:tab\n#html:true\nfront\tback\n", false},
        OwnCase{"Preview", OutputKind::preview, kPng, true},
        OwnCase{"PngWithoutHeaderChunk", OutputKind::preview, std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIDAT", 16), false},
        OwnCase{"JpegAsPreview", OutputKind::preview, std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0\1\1\0\0\1", 16), false},
        OwnCase{"Log", OutputKind::log, pinned("example.log"), true},
        OwnCase{"LogOfSeveralFiles", OutputKind::log, "a b.kvz:05D0-062E\r\nx:y.kvz:05D0-1275\r\n", true},
        OwnCase{"EmptyLog", OutputKind::log, "", true},
        OwnCase{"LogWithLowerCaseAddresses", OutputKind::log, "a.kvz:05d0-062e\r\n", false},
        OwnCase{"LogWithANote", OutputKind::log, "a.kvz:05D0-062E\r\nremember this\r\n", false},
        OwnCase{"LogWithoutAFileName", OutputKind::log, ":05D0-062E\r\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OwnImageTextEnd, IsOnePastTheLastAddressHeld) {
    EXPECT_EQ(ownImageTextEnd(pinned("example.ihx"), false), 0x062Fu);
    EXPECT_EQ(ownImageTextEnd(pinned("example.txt"), true), 0x062Fu);
    EXPECT_EQ(ownImageTextEnd(":00000001FF\r\n", false), 0x05D0u);
    EXPECT_EQ(ownImageTextEnd(pinned("example.txt"), false), std::nullopt);
}

TEST(UnnumberedImageText, IsTheImageTheNumberedTextHolds) {
    EXPECT_EQ(unnumberedImageText(pinned("example.txt")), pinned("example.ihx"));
    EXPECT_EQ(unnumberedImageText(withLf(pinned("example.txt"))), pinned("example.ihx"));
    EXPECT_EQ(unnumberedImageText(pinned("example.ihx")), std::nullopt);
    EXPECT_EQ(unnumberedImageText("#separator:tab\nfront\tback\n"), std::nullopt);
}

TEST(OwnOutput, TextsLongerThanAnyImageAreNotOnes) {
    std::string text;
    while (text.size() <= ownOutputReadLimit(OutputKind::image))
        text += ":1005D00000000C06010101038B61270000000000F0\r\n";
    EXPECT_FALSE(isOwnOutput(OutputKind::image, text + ":00000001FF\r\n"));
}

TEST(ForeignOutput, NamesTheFileAndTheWayOut) {
    EXPECT_EQ(describeForeignOutput("notes.txt", OutputKind::numberedImage),
              "notes.txt exists and is not a numbered HEX file written by kvzpack; it is left as it is: rename "
              "it, or write the outputs elsewhere with --output-dir DIR");
    EXPECT_EQ(describeForeignOutput("notes.ihx", OutputKind::image),
              "notes.ihx exists and is not an Intel HEX file written by kvzpack; it is left as it is: rename it, "
              "or write the outputs elsewhere with --output-dir DIR");
}

}  // namespace
}  // namespace kvz
