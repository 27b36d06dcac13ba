// The banner picture's XPM decoding, which the views without an XPM reader of their own use.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "login/LoginPicture.h"

namespace varnholt::test {
namespace {

RgbImage Decode(const std::vector<const char*>& lines) { return DecodeXpm(lines.data(), lines.size()); }

std::vector<uint8_t> Pixel(const RgbImage& image, int32_t x, int32_t y) {
    const auto at = image.Pixels.begin() + 3 * (static_cast<ptrdiff_t>(y) * image.Width + x);
    return {at, at + 3};
}

TEST(LoginPicture, DecodesOneAndTwoCharacterCodesRowByRow) {
    const RgbImage one = Decode({"3 2 2 1", "a c #FF0000", "b c #00ff80", "aba", "bba"});
    ASSERT_EQ(one.Width, 3);
    ASSERT_EQ(one.Height, 2);
    EXPECT_EQ(one.Pixels, (std::vector<uint8_t>{255, 0, 0, 0, 255, 128, 255, 0, 0,  //
                                                0, 255, 128, 0, 255, 128, 255, 0, 0}));

    // "ab" and "ba" share their characters: codes are whole pairs, not single characters.
    const RgbImage two = Decode({"2 1 2 2", "ab c #010203", "ba c #0A0B0C", "baab"});
    ASSERT_EQ(two.Width, 2);
    EXPECT_EQ(two.Pixels, (std::vector<uint8_t>{10, 11, 12, 1, 2, 3}));
}

TEST(LoginPicture, MalformedLinesGiveAnEmptyImage) {
    const std::vector<std::vector<const char*>> cases = {
        {"2 1 1"},                              // header without the code length
        {"0 1 1 1", "a c #000000", ""},         // no width
        {"2 1 1 1", "a c #000000"},             // a row missing
        {"2 1 1 1", "a c None", "aa"},          // symbolic colour
        {"2 1 1 1", "a c #00000", "aa"},        // short colour
        {"2 1 1 1", "a c #0000GG", "aa"},       // not hexadecimal
        {"2 1 1 1", "a s #000000", "aa"},       // not a colour key
        {"2 1 1 1", "a c #000000", "ab"},       // unknown code
        {"2 1 1 1", "a c #000000", "aaa"},      // long row
        {"2 2 1 1", "a c #000000", "aa", "a"},  // short row
        {"1 1 1 2", "a", "aa"},                 // colour line shorter than a code
        {"-1 1 1 1", "a c #000000", "a"},       // negative size
    };
    for (const auto& lines : cases) {
        const RgbImage image = Decode(lines);
        EXPECT_TRUE(image.Empty()) << lines[0] << " / " << (lines.size() > 1 ? lines[1] : "");
    }
    EXPECT_TRUE(DecodeXpm(nullptr, 3).Empty());
    const char* header[] = {"1 1 1 1", "a c #000000", "a"};
    EXPECT_TRUE(DecodeXpm(header, 2).Empty());  // fewer lines than the header announces
    EXPECT_FALSE(DecodeXpm(header, std::size(header)).Empty());
}

TEST(LoginPicture, TheBannerPictureIsSeventySevenBySeventyTwoOnWhite) {
    const RgbImage& picture = LoginPicture();
    ASSERT_EQ(picture.Width, 77);
    ASSERT_EQ(picture.Height, 72);
    ASSERT_EQ(picture.Pixels.size(), 77u * 72u * 3u);
    // White corners blend into the white banner; the drawing itself is not white.
    for (auto [x, y] : {std::pair{0, 0}, std::pair{76, 0}, std::pair{0, 71}, std::pair{76, 71}})
        EXPECT_EQ(Pixel(picture, x, y), (std::vector<uint8_t>{255, 255, 255})) << x << "," << y;
    size_t drawn = 0;
    for (int32_t y = 0; y < 72; ++y)
        for (int32_t x = 0; x < 77; ++x)
            if (Pixel(picture, x, y) != std::vector<uint8_t>{255, 255, 255}) ++drawn;
    EXPECT_GT(drawn, 77u * 72u / 4);
    EXPECT_EQ(&LoginPicture(), &picture);
}

}  // namespace
}  // namespace varnholt::test
