#pragma once

#include "HVError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The size in pixels of a PNG, GIF, JPEG, WebP or SVG image, read from its header alone, for
// the width and height of an image element. An SVG image gives its width and height
// attributes in pixels (absolute units converted at 96 per inch), else its viewBox.
struct HVImageSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    // A file that is no image of these kinds, or that ends before its size, is an error.
    static std::optional<HVImageSize> ofData(std::string_view data, HVError* error = nullptr);
    static std::optional<HVImageSize> ofFile(const std::string& path, HVError* error = nullptr);

    friend bool operator==(const HVImageSize&, const HVImageSize&) = default;
};
