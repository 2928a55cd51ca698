// The check of a numbered .txt read back: exactly the image's lines, each
// after its number, and the first line that differs named.
#include <gtest/gtest.h>

#include <string>

#include "common/layout.h"
#include "core/verify.h"
#include "hexfile/hex.h"

namespace kvz {
namespace {

// An image of 40 bytes: 3 data lines and the end record.
std::string imageText(bool numbered) {
    std::vector<std::uint8_t> image(40);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    return formatHexAbs(image, kLoadAddress, numbered).value();
}

TEST(NumberedText, TheWrittenNumberedFormPasses) {
    EXPECT_TRUE(checkNumberedText(imageText(true), imageText(false)).ok());
}

struct Difference {
    const char* what;
    std::string numbered;
    int line;  // the line the reason names
};

TEST(NumberedText, EveryDifferenceNamesItsFirstLine) {
    const std::string numbered = imageText(true);
    const std::size_t line2 = numbered.find("\n") + 1;
    const std::size_t line3 = numbered.find("\n", line2) + 1;
    const std::size_t line4 = numbered.find("\n", line3) + 1;
    std::string digit = numbered;
    digit[line2 + 12] = digit[line2 + 12] == '0' ? '1' : '0';
    std::string number = numbered;
    number[line3] = '9';
    const Difference differences[] = {
        {"a data digit", digit, 2},
        {"a line's number", number, 3},
        {"a line missing", numbered.substr(0, line3) + numbered.substr(line4), 3},
        {"the end record missing", numbered.substr(0, line4), 4},
        {"a line more", numbered + "5:00000001FF\r\n", 5},
        {"no numbers", imageText(false), 1},
        {"LF line ends", std::string(numbered).erase(numbered.find('\r'), 1), 1},
        {"empty", "", 1},
    };
    for (const Difference& difference : differences) {
        const Status checked = checkNumberedText(difference.numbered, imageText(false));
        ASSERT_FALSE(checked.ok()) << difference.what;
        const std::string line = std::to_string(difference.line);
        EXPECT_EQ(checked.reason(), "line " + line + " is not line " + line + " of the image, numbered")
            << difference.what;
    }
}

}  // namespace
}  // namespace kvz
