#pragma once
// Resampling of premultiplied BGRA pictures: area averaging when shrinking, bilinear when growing.
#include <cstdint>
#include <vector>

namespace rt {

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // row-major, top-down, premultiplied BGRA
};

[[nodiscard]] Image scaleImage(const Image& source, int width, int height);

}  // namespace rt
