#include "HVImageSize.h"

#include "HVTestSupport.h"

#include <gtest/gtest.h>

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int value : values)
        out += char(value);
    return out;
}

// The headers of small images as their encoders write them: 300 × 2 pixels, except where
// the format stores the size less one.
std::string png() {
    return "\x89PNG\r\n\x1A\n" + bytes({0, 0, 0, 13}) + "IHDR" +
           bytes({0, 0, 1, 44, 0, 0, 0, 2, 8, 2, 0, 0, 0, 0x12, 0x34, 0x56, 0x78});
}
std::string gif() {
    return "GIF89a" + bytes({44, 1, 2, 0, 0x80, 0, 0});
}
// JFIF, a quantisation table and a fill byte before the progressive frame header.
std::string jpeg() {
    return bytes({0xFF, 0xD8, 0xFF, 0xE0, 0, 16}) + "JFIF" + std::string(1, '\0') +
           bytes({1, 1, 0, 0, 1, 0, 1, 0, 0}) + bytes({0xFF, 0xDB, 0, 4, 0, 1}) +
           bytes({0xFF, 0xFF, 0xC2, 0, 17, 8, 0, 2, 1, 44, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
}
std::string riff(std::string_view chunk, const std::string& payload) {
    return "RIFF" + bytes({40, 0, 0, 0}) + "WEBP" + std::string(chunk) + bytes({20, 0, 0, 0}) +
           payload;
}
std::string webpLossy() {
    return riff("VP8 ", bytes({0x50, 0x02, 0x00, 0x9D, 0x01, 0x2A, 44, 1, 2, 0, 0, 0}));
}
std::string webpLossless() {
    // 14 bits of width - 1, then 14 bits of height - 1.
    std::uint32_t bits = (300 - 1) | (2 - 1) << 14;
    return riff("VP8L", bytes({0x2F, int(bits & 0xFF), int(bits >> 8 & 0xFF),
                               int(bits >> 16 & 0xFF), int(bits >> 24), 0}));
}
std::string webpExtended() {
    return riff("VP8X", bytes({0x10, 0, 0, 0, 43, 1, 0, 1, 0, 0}));
}

} // namespace

TEST(HVImageSize, HeadersOfEachFormatGiveTheSize) {
    struct Case {
        const char* name;
        std::string data;
        HVImageSize size;
    } cases[] = {
        {"PNG", png(), {300, 2}},
        {"GIF", gif(), {300, 2}},
        {"JPEG", jpeg(), {300, 2}},
        {"WebP lossy", webpLossy(), {300, 2}},
        {"WebP lossless", webpLossless(), {300, 2}},
        {"WebP extended", webpExtended(), {300, 2}},
        {"SVG sizes",
         "<?xml version=\"1.0\"?>\n<!-- <svg width=\"1\"> -->\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" stroke-width=\"9\" "
         "width=\"300\" height='2px'><rect/></svg>",
         {300, 2}},
        {"SVG absolute units", "<svg width=\"1in\" height=\"3pt\"/>", {96, 4}},
        {"SVG viewBox", "<svg viewBox=\"0 0 300 2\"></svg>", {300, 2}},
        {"SVG relative width",
         "<svg width=\"100%\" height=\"50%\" viewBox=\"0,0,30,20\"/>",
         {30, 20}},
        {"SVG one side", "<svg width=\"60\" viewBox=\"0 0 30 20\"/>", {60, 40}},
    };
    for (const Case& c : cases) {
        HVError error;
        auto size = HVImageSize::ofData(c.data, &error);
        ASSERT_TRUE(size.has_value()) << c.name << ": " << error.description();
        EXPECT_EQ(*size, c.size) << c.name;
    }
}

TEST(HVImageSize, TruncatedFilesAndOtherFilesAreErrors) {
    const std::string truncated = "The image file ends before its size.";
    const std::string foreign = "The file is not a PNG, GIF, JPEG, WebP or SVG image.";
    struct Case {
        const char* name;
        std::string data;
        const std::string& description;
    } cases[] = {
        {"PNG in its signature", png().substr(0, 5), truncated},
        {"PNG before the height", png().substr(0, 22), truncated},
        {"GIF", gif().substr(0, 8), truncated},
        {"JPEG in a segment", jpeg().substr(0, 24), truncated},
        {"JPEG in the frame header", jpeg().substr(0, jpeg().size() - 13), truncated},
        {"WebP", webpLossy().substr(0, 27), truncated},
        {"JPEG data before a frame", bytes({0xFF, 0xD8, 0xFF, 0xDA, 0, 2}), foreign},
        {"text", "just words", foreign},
        {"SVG without a size", "<svg><rect/></svg>", foreign},
        {"empty", "", foreign},
        {"WAV", "RIFF" + bytes({4, 0, 0, 0}) + "WAVEfmt ", foreign},
    };
    for (const Case& c : cases) {
        HVError error;
        EXPECT_FALSE(HVImageSize::ofData(c.data, &error).has_value()) << c.name;
        EXPECT_EQ(error.description(), c.description) << c.name;
    }
}

TEST(HVImageSize, FilesAreReadAndAMissingOneIsAnError) {
    HVTemporaryDirectory dir;
    EXPECT_EQ(HVImageSize::ofFile(dir.write("a.gif", gif())), (HVImageSize{300, 2}));
    HVError error;
    EXPECT_FALSE(HVImageSize::ofFile(dir.pathFor("missing.png"), &error).has_value());
    EXPECT_EQ(error.code(), ENOENT);
}
