#include "runtime/image_scale.hpp"

#include <algorithm>
#include <cmath>

namespace rt {

namespace {

// Weights of the source samples that one destination sample covers along one axis.
struct Tap {
    int first = 0;
    std::vector<float> weights;
};

std::vector<Tap> axisTaps(int from, int to) {
    std::vector<Tap> taps(static_cast<std::size_t>(to));
    const double ratio = static_cast<double>(from) / to;
    for (int d = 0; d < to; ++d) {
        Tap& tap = taps[static_cast<std::size_t>(d)];
        if (ratio >= 1.0) {
            // Box filter over the covered source span, partial pixels weighted by coverage.
            double lo = d * ratio, hi = lo + ratio;
            int first = static_cast<int>(std::floor(lo));
            int last = std::min(from - 1, static_cast<int>(std::ceil(hi)) - 1);
            tap.first = first;
            for (int s = first; s <= last; ++s) {
                double cover = std::min<double>(hi, s + 1) - std::max<double>(lo, s);
                tap.weights.push_back(static_cast<float>(cover / ratio));
            }
        } else {
            double centre = (d + 0.5) * ratio - 0.5;
            int s0 = static_cast<int>(std::floor(centre));
            double t = centre - s0;
            int a = std::clamp(s0, 0, from - 1), b = std::clamp(s0 + 1, 0, from - 1);
            tap.first = a;
            if (a == b) tap.weights = {1.0f};
            else tap.weights = {static_cast<float>(1.0 - t), static_cast<float>(t)};
        }
    }
    return taps;
}

}  // namespace

Image scaleImage(const Image& source, int width, int height) {
    Image out;
    if (width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0) return out;
    out.width = width;
    out.height = height;
    if (width == source.width && height == source.height) {
        out.pixels = source.pixels;
        return out;
    }
    const auto xt = axisTaps(source.width, width);
    const auto yt = axisTaps(source.height, height);
    // Horizontal pass into floats, then vertical.
    std::vector<float> mid(static_cast<std::size_t>(width) * source.height * 4);
    for (int y = 0; y < source.height; ++y) {
        const std::uint32_t* row = &source.pixels[static_cast<std::size_t>(y) * source.width];
        for (int x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            const Tap& tap = xt[static_cast<std::size_t>(x)];
            for (std::size_t k = 0; k < tap.weights.size(); ++k) {
                std::uint32_t p = row[tap.first + static_cast<int>(k)];
                for (int c = 0; c < 4; ++c) acc[c] += tap.weights[k] * static_cast<float>((p >> (8 * c)) & 0xFF);
            }
            float* m = &mid[(static_cast<std::size_t>(y) * width + x) * 4];
            std::copy(acc, acc + 4, m);
        }
    }
    out.pixels.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const Tap& tap = yt[static_cast<std::size_t>(y)];
        for (int x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (std::size_t k = 0; k < tap.weights.size(); ++k) {
                const float* m = &mid[(static_cast<std::size_t>(tap.first + static_cast<int>(k)) * width + x) * 4];
                for (int c = 0; c < 4; ++c) acc[c] += tap.weights[k] * m[c];
            }
            std::uint32_t p = 0;
            for (int c = 0; c < 4; ++c) {
                auto v = static_cast<std::uint32_t>(std::clamp(std::lround(acc[c]), 0L, 255L));
                p |= v << (8 * c);
            }
            out.pixels[static_cast<std::size_t>(y) * width + x] = p;
        }
    }
    return out;
}

}  // namespace rt
