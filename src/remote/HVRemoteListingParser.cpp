#include "HVRemoteListingParser.h"

#include "HVFileSystem.h"
#include "HVRegex.h"
#include "HVRemoteCommandQuoting.h"

#include <charconv>
#include <memory>
#include <mutex>

namespace {

enum Pattern {
    SkipLine,
    UnixMode,
    UnixDate,
    OwnerGroup,
    Size,
    LinkTarget,
    Name,
    WindowsDate,
    WebDAVDate,
    PatternCount
};

// Each regex is searched from one thread at a time, so a parse holds the lock throughout.
struct Patterns {
    std::mutex lock;
    std::unique_ptr<HVRegex> regex[PatternCount];

    Patterns() {
        const char* sources[PatternCount] = {
            "^(([1-5][0-5][0-9][^0-9])|(ls)|(total)|(Listing))",
            // sftp prints "?" for the link count of entries it only stat()ed.
            "([-bcdlpsw?]([-rw]{2}[-SsTtx]){3})( +([0-9]+|\\?))?",
            "[A-Z][a-z]{2} {1,2}[0-9]{1,2} {1,2}[0-9:]{4,6}",
            // The look-behind starts the search only where a run of name characters starts:
            // the leftmost match is the same, and a long run is not rescanned from each byte.
            "(?<![a-zA-Z0-9@.?_()-])([a-zA-Z0-9@.?_()-]+) +([a-zA-Z0-9@.?_()-]+)",
            " ([0-9]+) ",
            " -> [^ ].*$",
            "[^ ].*$",
            "[0-9]{2}-[0-9]{2}-[0-9]{2} {2,}[0-9]{2}:[0-9]{2}(A|P)M",
            // cadaver's date ends the line, its month in the client's language ("dic", "déc.").
            " ([^ ]+ {1,2}[0-9]{1,2} {1,2}[0-9:]{4,6}) *$",
        };
        for (int i = 0; i < PatternCount; ++i)
            regex[i] = HVRegex::initWithPattern(std::string_view(sources[i]));
    }
};

Patterns& patterns() {
    static Patterns shared;
    return shared;
}

std::optional<HVRegexMatch> search(Pattern pattern, std::string_view text) {
    return patterns().regex[pattern]->copyMatchForUTF8Data(text, HVMakeRange(0, text.size()));
}

std::string_view captured(std::string_view text, const HVRegexMatch& match, std::size_t group) {
    HVRange range = match.rangeForCapture(group);
    if (!HVRangeIsFound(range))
        return {};
    return text.substr(range.location, range.length);
}

// Removes a taken field; a blank in its place keeps the neighbours apart.
void removeMatch(std::string& text, const HVRegexMatch& match) {
    HVRange whole = match.rangeForCapture(0);
    text.replace(whole.location, whole.length, " ");
}

// Takes the leftmost match of the pattern out of the text and returns the wanted group.
std::optional<std::string> take(Pattern pattern, std::string& text, std::size_t group = 0) {
    auto match = search(pattern, text);
    if (!match)
        return std::nullopt;
    std::string value(captured(text, *match, group));
    removeMatch(text, *match);
    return value;
}

std::string latin1ToUTF8(std::string_view text) {
    std::string result;
    result.reserve(text.size() * 2);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            result += c;
        } else {
            result += static_cast<char>(0xC0 | (byte >> 6));
            result += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return result;
}

std::string trimmed(std::string_view text) {
    const char* blanks = " \t\r\n\f\v";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    std::size_t last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

// False when the digits do not fit: the line is refused rather than shown with a wrong size.
bool takeSize(std::string& text, HVRemoteFile& file) {
    auto digits = take(Size, text, 1);
    if (!digits)
        return true;
    auto [end, status] =
        std::from_chars(digits->data(), digits->data() + digits->size(), file.size);
    return status == std::errc();
}

bool takeName(std::string& text, HVRemoteFile& file, std::string_view prefix = {}) {
    auto name = take(Name, text);
    if (!name)
        return false;
    file.name = trimmed(*name);
    if (!prefix.empty() && file.name.size() > prefix.size() && file.name.starts_with(prefix))
        file.name.erase(0, prefix.size());
    return true;
}

bool parseUnix(std::string text, HVRemoteFile& file, std::string_view prefix) {
    if (auto mode = take(UnixMode, text, 1))
        file.setModeString(*mode);
    file.dateString = take(UnixDate, text);
    if (auto match = search(OwnerGroup, text)) {
        file.user = std::string(captured(text, *match, 1));
        file.group = std::string(captured(text, *match, 2));
        removeMatch(text, *match);
    }
    if (!takeSize(text, file))
        return false;
    // The link's target is not kept: the entry is the link itself.
    take(LinkTarget, text);
    return takeName(text, file, prefix);
}

// cadaver prints the name first and the size last, so the size is the last number: a name
// such as "a 5 b.txt" keeps its digits.
bool takeTrailingSize(std::string& text, HVRemoteFile& file) {
    std::size_t end = text.find_last_not_of(' ');
    if (end == std::string::npos)
        return true;
    std::size_t start = end + 1;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9')
        --start;
    if (start == end + 1 || start == 0 || text[start - 1] != ' ')
        return true;
    const auto [last, status] =
        std::from_chars(text.data() + start, text.data() + end + 1, file.size);
    if (status != std::errc())
        return false;
    text.erase(start);
    return true;
}

// A collection's line starts with cadaver's marker, right-aligned in five columns and
// translated with the rest ("Coll:", " Col:"); a file's name starts after eight blanks.
bool parseWebDAV(std::string text, HVRemoteFile& file) {
    file.dateString = take(WebDAVDate, text, 1);
    const std::size_t first = text.find_first_not_of(' ');
    if (first != std::string::npos && first < 5) {
        const std::size_t blank = text.find(' ', first);
        if (blank != std::string::npos && text[blank - 1] == ':') {
            file.isDirectory = true;
            text.replace(0, blank, " ");
        }
    }
    if (!takeTrailingSize(text, file))
        return false;
    return takeName(text, file);
}

bool parseWindows(std::string text, HVRemoteFile& file) {
    file.dateString = take(WindowsDate, text);
    if (auto marker = text.find("<DIR>"); marker != std::string::npos) {
        file.isDirectory = true;
        text.replace(marker, 5, " ");
    }
    if (!takeSize(text, file))
        return false;
    return takeName(text, file);
}

std::optional<HVRemoteFile> parseLineLocked(std::string_view line,
                                            HVRemoteListingParser::Format format,
                                            std::string_view listingPath,
                                            std::string_view namePrefix) {
    if (line.size() > HVRemoteListingParser::maximumLineLength)
        return std::nullopt;
    std::string text =
        HVRemoteCommandQuoting::isValidUTF8(line) ? std::string(line) : latin1ToUTF8(line);
    if (search(SkipLine, text))
        return std::nullopt;
    HVRemoteFile file;
    bool parsed = false;
    switch (format) {
    case HVRemoteListingParser::Format::Unix:
        parsed = parseUnix(std::move(text), file, namePrefix);
        break;
    case HVRemoteListingParser::Format::WebDAV:
        parsed = parseWebDAV(std::move(text), file);
        break;
    case HVRemoteListingParser::Format::Windows:
        parsed = parseWindows(std::move(text), file);
        break;
    }
    if (!parsed || !HVRemoteListingParser::isSafeName(file.name))
        return std::nullopt;
    file.path = HVFileSystem::appendingPathComponent(listingPath, file.name);
    return file;
}

// OpenSSH's sftp prints a control character of a name as a backslash and three octal digits
// ("\033"); the name holds the character itself. Only control characters are read back: a
// name may hold a backslash and digits of its own.
std::string unescapedSFTPName(std::string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] >= '0' && name[i + 1] <= '3' &&
            name[i + 2] >= '0' && name[i + 2] <= '7' && name[i + 3] >= '0' && name[i + 3] <= '7') {
            const int value =
                (name[i + 1] - '0') * 64 + (name[i + 2] - '0') * 8 + (name[i + 3] - '0');
            if (value < 0x20 || value == 0x7F) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

HVRemoteListingParser::Format ftpFormatLocked(std::string_view line) {
    using Format = HVRemoteListingParser::Format;
    std::size_t space = line.find(' ');
    if (line.find("<DIR>") != std::string_view::npos || line.starts_with("Coll:") ||
        space == std::string_view::npos)
        return Format::Windows;
    std::string_view first = line.substr(0, space);
    if (!HVRemoteCommandQuoting::isValidUTF8(first))
        return Format::Windows;
    return search(UnixMode, first) ? Format::Unix : Format::Windows;
}

} // namespace

bool HVRemoteListingParser::isSafeName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

HVRemoteListingParser::Format HVRemoteListingParser::ftpFormatOfLine(std::string_view line) {
    Patterns& shared = patterns();
    std::lock_guard guard(shared.lock);
    return ftpFormatLocked(line);
}

std::optional<HVRemoteFile> HVRemoteListingParser::parseLine(std::string_view line, Format format,
                                                             std::string_view listingPath,
                                                             std::string_view namePrefix) {
    Patterns& shared = patterns();
    std::lock_guard guard(shared.lock);
    return parseLineLocked(line, format, listingPath, namePrefix);
}

std::string HVRemoteListingParser::sftpNamePrefix(std::string_view listingPath) {
    if (listingPath.empty())
        return "./";
    while (listingPath.size() > 1 && listingPath.back() == '/')
        listingPath.remove_suffix(1);
    return listingPath == "/" ? std::string("/") : std::string(listingPath) + "/";
}

std::vector<HVRemoteFile> HVRemoteListingParser::parse(const std::vector<std::string>& lines,
                                                       HVRemoteProtocol protocol,
                                                       std::string_view listingPath,
                                                       HVError* error) {
    std::size_t bytes = 0;
    for (const std::string& line : lines)
        bytes += line.size();
    if (lines.size() > maximumLines || bytes > maximumListingBytes) {
        HVSetError(error,
                   HVError(HVErrorDomain, 1, "The file listing is too large",
                           "The listing has " + std::to_string(lines.size()) + " lines and " +
                               std::to_string(bytes) + " bytes; Halvet reads at most " +
                               std::to_string(maximumLines) + " lines and " +
                               std::to_string(maximumListingBytes) + " bytes."));
        return {};
    }
    std::string prefix = protocol == HVRemoteProtocol::SFTP ? sftpNamePrefix(listingPath) : "";
    std::vector<HVRemoteFile> files;
    // At most one entry a line; growing by doubling would briefly need twice the memory.
    files.reserve(lines.size());
    Patterns& shared = patterns();
    std::lock_guard guard(shared.lock);
    for (const std::string& line : lines) {
        Format format = Format::Unix;
        if (protocol == HVRemoteProtocol::WebDAV)
            format = Format::WebDAV;
        else if (protocol == HVRemoteProtocol::FTP)
            format = ftpFormatLocked(line);
        auto file = parseLineLocked(line, format, listingPath, prefix);
        if (file && protocol == HVRemoteProtocol::SFTP &&
            file->name.find('\\') != std::string::npos) {
            file->name = unescapedSFTPName(file->name);
            if (!isSafeName(file->name))
                continue;
            file->path = HVFileSystem::appendingPathComponent(listingPath, file->name);
        }
        if (file)
            files.push_back(std::move(*file));
    }
    if (files.size() < files.capacity() / 2)
        files.shrink_to_fit();
    return files;
}
