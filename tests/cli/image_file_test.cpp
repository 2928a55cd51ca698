// Image files read back through their text: the file's contents go to the
// core's check (tests/core/verify_test.cpp), and a file that cannot be read
// or is damaged is refused as an image that cannot be read back.
#include "cli/image_file.h"

#include <gtest/gtest.h>

#include "core/convert.h"
#include "glyph/glyph.h"
#include "io/format_files.h"
#include "support/fixtures.h"

namespace kvz {
namespace {

TEST(VerifyWrittenImage, ReadsTheFileBackOrSaysWhyItCannot) {
    auto deck = readKvzBytes(testing::bundledDeckBytes("example.kvz"));
    ASSERT_TRUE(deck.ok()) << deck.reason();
    auto conversion = convertKvz(*deck);
    ASSERT_TRUE(conversion.ok()) << conversion.reason();
    const testing::TempDir dir;
    const auto verified = [&](const std::string& name) {
        return verifyWrittenImage((dir / name).string(), conversion->image.size(), *deck, conversion->charTable);
    };
    ASSERT_TRUE(writeHexAbs((dir / "good.ihx").string(), conversion->image, kLoadAddress, false).ok());
    auto good = verified("good.ihx");
    ASSERT_TRUE(good.ok()) << good.reason();
    EXPECT_EQ(*good, conversion->image);

    std::string text = testing::readFileText(dir / "good.ihx");
    text[12] = text[12] == 'F' ? 'E' : 'F';
    testing::writeFile(dir / "damaged.ihx", text);
    for (const char* name : {"damaged.ihx", "missing.ihx"}) {
        auto checked = verified(name);
        ASSERT_FALSE(checked.ok()) << name;
        EXPECT_EQ(checked.reason().rfind("cannot read back the image written: ", 0), 0u) << checked.reason();
    }
}

}  // namespace
}  // namespace kvz
