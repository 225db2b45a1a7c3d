#include <gtest/gtest.h>

#include "runtime/image_scale.hpp"

using rt::Image;

namespace {
Image solid(int w, int h, std::uint32_t p) { return Image{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, p)}; }
}  // namespace

TEST(ScaleImage, SolidColourStaysExactAtAnySize) {
    const Image src = solid(130, 130, 0xFF336699u);
    for (auto [w, h] : {std::pair{65, 65}, {98, 98}, {130, 130}, {260, 260}, {1, 1}}) {
        Image out = scaleImage(src, w, h);
        ASSERT_EQ(out.pixels.size(), static_cast<std::size_t>(w) * h);
        for (auto p : out.pixels) ASSERT_EQ(p, 0xFF336699u) << w;
    }
}

TEST(ScaleImage, HalvingAveragesEachTwoByTwoBlock) {
    // Black and white columns average to mid grey; a nearest-neighbour scaler would keep one of them.
    Image src{4, 2, {0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFFFFFFu}};
    Image out = scaleImage(src, 2, 1);
    EXPECT_EQ(out.pixels[0] & 0xFF, 128u);
    EXPECT_EQ(out.pixels[1] & 0xFF, 128u);
    EXPECT_EQ(out.pixels[0] >> 24, 0xFFu);
}

TEST(ScaleImage, DegenerateSizesGiveEmptyImage) {
    EXPECT_TRUE(scaleImage(solid(4, 4, 1), 0, 3).pixels.empty());
    EXPECT_TRUE(scaleImage(Image{}, 3, 3).pixels.empty());
}
