#include "HVImageSize.h"

#include "HVFileSystem.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

enum class Failure { Truncated, NotAnImage };

HVError failure(Failure kind) {
    return HVError(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                   kind == Failure::Truncated
                       ? "The image file ends before its size."
                       : "The file is not a PNG, GIF, JPEG, WebP or SVG image.");
}

struct Reader {
    std::string_view data;

    bool has(std::size_t offset, std::size_t count) const {
        return offset <= data.size() && count <= data.size() - offset;
    }
    std::uint32_t byte(std::size_t offset) const { return std::uint8_t(data[offset]); }
    std::uint32_t be16(std::size_t o) const { return byte(o) << 8 | byte(o + 1); }
    std::uint32_t be32(std::size_t o) const { return be16(o) << 16 | be16(o + 2); }
    std::uint32_t le16(std::size_t o) const { return byte(o) | byte(o + 1) << 8; }
    std::uint32_t le24(std::size_t o) const { return le16(o) | byte(o + 2) << 16; }
    std::uint32_t le32(std::size_t o) const { return le24(o) | byte(o + 3) << 24; }
    // The data begins with the signature at offset; a data that stops inside it counts too,
    // so that a file cut short inside its signature is truncated, not foreign.
    bool matches(std::size_t offset, std::string_view signature, bool* cut) const {
        if (offset >= data.size())
            return false;
        std::string_view part = data.substr(offset, signature.size());
        if (part != signature.substr(0, part.size()))
            return false;
        if (part.size() < signature.size())
            *cut = true;
        return true;
    }
};

using Result = std::optional<HVImageSize>;

Result png(const Reader& r, Failure* why) {
    if (!r.has(0, 24) || r.data.substr(12, 4) != "IHDR") {
        *why = r.has(0, 16) && r.data.substr(12, 4) != "IHDR" ? Failure::NotAnImage
                                                              : Failure::Truncated;
        return std::nullopt;
    }
    return HVImageSize{r.be32(16), r.be32(20)};
}

Result gif(const Reader& r, Failure* why) {
    if (!r.has(0, 10)) {
        *why = Failure::Truncated;
        return std::nullopt;
    }
    return HVImageSize{r.le16(6), r.le16(8)};
}

bool isStartOfFrame(std::uint32_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

Result jpeg(const Reader& r, Failure* why) {
    std::size_t at = 2;
    *why = Failure::Truncated;
    while (r.has(at, 2)) {
        if (r.byte(at) != 0xFF) {
            *why = Failure::NotAnImage;
            return std::nullopt;
        }
        std::uint32_t marker = r.byte(at + 1);
        if (marker == 0xFF) { // fill byte before a marker
            ++at;
            continue;
        }
        at += 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;                           // markers without a segment
        if (marker == 0xD9 || marker == 0xDA) { // the image data or its end, and no frame yet
            *why = Failure::NotAnImage;
            return std::nullopt;
        }
        if (!r.has(at, 2))
            return std::nullopt;
        std::uint32_t length = r.be16(at);
        if (isStartOfFrame(marker)) {
            if (!r.has(at, 7))
                return std::nullopt;
            std::uint32_t height = r.be16(at + 3), width = r.be16(at + 5);
            if (width == 0 || height == 0) { // a height given later (DNL) is not supported
                *why = Failure::NotAnImage;
                return std::nullopt;
            }
            return HVImageSize{width, height};
        }
        if (length < 2) {
            *why = Failure::NotAnImage;
            return std::nullopt;
        }
        at += length;
    }
    return std::nullopt;
}

Result webp(const Reader& r, Failure* why) {
    *why = Failure::Truncated;
    if (!r.has(0, 20))
        return std::nullopt;
    std::string_view chunk = r.data.substr(12, 4);
    if (chunk == "VP8 ") {
        if (!r.has(0, 30))
            return std::nullopt;
        if (r.byte(23) != 0x9D || r.byte(24) != 0x01 || r.byte(25) != 0x2A) {
            *why = Failure::NotAnImage;
            return std::nullopt;
        }
        return HVImageSize{r.le16(26) & 0x3FFF, r.le16(28) & 0x3FFF};
    }
    if (chunk == "VP8L") {
        if (!r.has(0, 25))
            return std::nullopt;
        if (r.byte(20) != 0x2F) {
            *why = Failure::NotAnImage;
            return std::nullopt;
        }
        std::uint32_t bits = r.le32(21);
        return HVImageSize{(bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1};
    }
    if (chunk == "VP8X") {
        if (!r.has(0, 30))
            return std::nullopt;
        return HVImageSize{r.le24(24) + 1, r.le24(27) + 1};
    }
    *why = Failure::NotAnImage;
    return std::nullopt;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// A length in pixels: a number with no unit, "px" or an absolute unit; none for relative
// units ("%", "em"), which have no size of their own.
std::optional<double> pixels(std::string_view value) {
    value = trimmed(value);
    double number = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || !(number > 0))
        return std::nullopt;
    std::string_view unit = trimmed(value.substr(std::size_t(end - value.data())));
    static const std::pair<std::string_view, double> units[] = {
        {"", 1},    {"px", 1},         {"pt", 96.0 / 72}, {"pc", 16},
        {"in", 96}, {"cm", 96 / 2.54}, {"mm", 96 / 25.4},
    };
    for (const auto& [name, factor] : units) {
        if (unit == name)
            return number * factor;
    }
    return std::nullopt;
}

// The attributes of the root element's start tag, which begins at the "<svg".
std::vector<std::pair<std::string_view, std::string_view>> attributes(std::string_view tag) {
    std::vector<std::pair<std::string_view, std::string_view>> found;
    std::size_t i = 4;
    while (i < tag.size() && tag[i] != '>') {
        if (isSpace(tag[i]) || tag[i] == '/') {
            ++i;
            continue;
        }
        std::size_t nameStart = i;
        while (i < tag.size() && !isSpace(tag[i]) && tag[i] != '=' && tag[i] != '>')
            ++i;
        std::string_view name = tag.substr(nameStart, i - nameStart);
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        if (i >= tag.size() || tag[i] != '=')
            continue;
        ++i;
        while (i < tag.size() && isSpace(tag[i]))
            ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\''))
            continue;
        char quote = tag[i++];
        std::size_t end = tag.find(quote, i);
        if (end == std::string_view::npos)
            break;
        found.emplace_back(name, tag.substr(i, end - i));
        i = end + 1;
    }
    return found;
}

// The root element's start tag: the first "<svg" outside comments.
std::optional<std::size_t> svgStart(std::string_view data) {
    std::size_t at = data.find('<');
    while (at != std::string_view::npos) {
        if (data.substr(at, 4) == "<!--") {
            std::size_t end = data.find("-->", at + 4);
            if (end == std::string_view::npos)
                return std::nullopt;
            at = data.find('<', end + 3);
            continue;
        }
        if (data.substr(at, 4) == "<svg" && at + 4 < data.size() &&
            (isSpace(data[at + 4]) || data[at + 4] == '>' || data[at + 4] == '/'))
            return at;
        at = data.find('<', at + 1);
    }
    return std::nullopt;
}

bool looksLikeMarkup(std::string_view data) {
    if (data.starts_with("\xEF\xBB\xBF"))
        data.remove_prefix(3);
    data = trimmed(data);
    return data.starts_with("<");
}

Result svg(std::string_view data, Failure* why) {
    *why = Failure::NotAnImage;
    auto start = svgStart(data);
    if (!start)
        return std::nullopt;
    std::optional<double> width, height;
    std::vector<double> box;
    for (const auto& [name, value] : attributes(data.substr(*start))) {
        if (name == "width")
            width = pixels(value);
        else if (name == "height")
            height = pixels(value);
        else if (name == "viewBox") {
            std::string_view rest = value;
            while (box.size() < 4) {
                while (!rest.empty() && (isSpace(rest.front()) || rest.front() == ','))
                    rest.remove_prefix(1);
                double number = 0;
                auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
                if (ec != std::errc())
                    break;
                box.push_back(number);
                rest.remove_prefix(std::size_t(end - rest.data()));
            }
        }
    }
    bool hasBox = box.size() == 4 && box[2] > 0 && box[3] > 0;
    // One side given and a viewBox: the other follows the box's proportions.
    if (hasBox && width && !height)
        height = *width * box[3] / box[2];
    if (hasBox && height && !width)
        width = *height * box[2] / box[3];
    if (!width || !height) {
        if (!hasBox)
            return std::nullopt;
        width = box[2];
        height = box[3];
    }
    auto round = [](double value) { return std::uint32_t(std::max(1.0, std::round(value))); };
    return HVImageSize{round(*width), round(*height)};
}

} // namespace

std::optional<HVImageSize> HVImageSize::ofData(std::string_view data, HVError* error) {
    Reader r{data};
    bool cut = false;
    Failure why = Failure::NotAnImage;
    Result size;
    if (r.matches(0, "\x89PNG\r\n\x1A\n", &cut))
        size = cut ? Result() : png(r, &why);
    else if (r.matches(0, "GIF87a", &cut) || r.matches(0, "GIF89a", &cut))
        size = cut ? Result() : gif(r, &why);
    else if (r.matches(0, "\xFF\xD8\xFF", &cut))
        size = cut ? Result() : jpeg(r, &why);
    else if (r.matches(0, "RIFF", &cut) && (cut || r.matches(8, "WEBP", &cut)))
        size = cut ? Result() : webp(r, &why);
    else if (looksLikeMarkup(data))
        size = svg(data, &why);
    if (cut)
        why = Failure::Truncated;
    if (!size)
        HVSetError(error, failure(why));
    return size;
}

std::optional<HVImageSize> HVImageSize::ofFile(const std::string& path, HVError* error) {
    auto data = HVFileSystem::readFile(path, error);
    if (!data)
        return std::nullopt;
    auto size = ofData(*data, error);
    if (!size && error)
        error->setUserInfoValue(HVFilePathErrorKey, path);
    return size;
}
