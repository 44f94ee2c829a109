#include "HVSearchCommand.h"

#include "HVMultiFileSearchNode.h"
#include "HVRegex.h"
#include "HVSearch.h"
#include "HVSearchRunner.h"
#include "HVUnicode.h"

#include <ostream>

namespace {

// Written out when the buffer holds this much, and always at the end of a file.
constexpr std::size_t kFlushSize = std::size_t(1) << 16;

// The breaks HVMultiFileSearchNode::lineAndColumn counts.
bool isLineBreak(char16_t character) {
    return character == u'\n' || character == u'\r' || character == 0x2028 || character == 0x2029;
}

} // namespace

const char* HVSearchCommand::usageText() {
    return "       halvet-cli search [--regex] [--ignore-case] [--count] PATTERN PATH...\n";
}

int HVSearchCommand::run(const std::vector<std::string>& arguments) {
    bool regex = false;
    bool ignoreCase = false;
    bool count = false;
    bool optionsEnded = false;
    std::vector<std::string> words;
    for (const std::string& argument : arguments) {
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            words.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--regex") {
            regex = true;
        } else if (argument == "--ignore-case" || argument == "-i") {
            ignoreCase = true;
        } else if (argument == "--count" || argument == "-c") {
            count = true;
        } else {
            m_err << "halvet-cli: unknown option " << argument << "\n"
                  << "usage:\n"
                  << usageText();
            return 2;
        }
    }
    if (words.size() < 2) {
        m_err << "usage:\n" << usageText();
        return 2;
    }

    std::u16string pattern = HVUnicode::utf16(words.front());
    if (pattern.empty()) {
        m_err << "halvet-cli: the pattern is empty\n";
        return 2;
    }
    std::unique_ptr<HVSearch> search;
    if (regex) {
        search = HVSearch::initWithExpressionString(pattern, !ignoreCase);
        if (!search) {
            m_err << "halvet-cli: invalid regular expression: " << HVRegex::errorForPattern(pattern)
                  << "\n";
            return 2;
        }
    } else {
        search = HVSearch::initWithSearchString(pattern);
        search->setCaseSensitive(!ignoreCase);
    }

    HVSearchScope scope;
    // Paths below a folder are the folder as typed joined with the names below it.
    scope.paths.assign(words.begin() + 1, words.end());

    bool matched = false;
    bool failed = false;
    std::string buffer;
    HVSearchRunner::searchNow(*search, scope, [&](std::shared_ptr<HVMultiFileSearchNode> node) {
        const std::string& path = node->path();
        if (node->skipped()) {
            // The reason names the path.
            m_err << "halvet-cli: " << node->skipped()->description() << "\n";
            failed = true;
            return;
        }
        if (node->results().empty())
            return;
        matched = true;
        if (count) {
            buffer += path;
            buffer += ':';
            buffer += std::to_string(node->results().size());
            buffer += '\n';
            if (buffer.size() >= kFlushSize) {
                m_out.write(buffer.data(), std::streamsize(buffer.size()));
                buffer.clear();
            }
            return;
        }
        writeMatches(*node, buffer);
        m_out.write(buffer.data(), std::streamsize(buffer.size()));
        buffer.clear();
    });
    m_out.write(buffer.data(), std::streamsize(buffer.size()));
    m_out.flush();
    if (!m_out) {
        m_err << "halvet-cli: could not write the output\n";
        return 2;
    }
    if (failed)
        return 2;
    return matched ? 0 : 1;
}

void HVSearchCommand::writeMatches(const HVMultiFileSearchNode& node, std::string& buffer) {
    if (auto bytes = node.utf8Text()) {
        writeMatchesInUTF8(node, *bytes, buffer);
        return;
    }
    const std::string& path = node.path();
    std::u16string_view text = node.text();
    // Lines and columns as HVMultiFileSearchNode::lineAndColumn counts them, found in one walk
    // forward through the results (which come in order) rather than from the start for each:
    // a minified line matched thousands of times is walked once, and its UTF-8 made once.
    std::size_t scanned = 0;
    std::size_t lineNumber = 1;
    std::size_t lineStart = 0;
    std::size_t column = 1;
    std::size_t convertedLineStart = std::u16string_view::npos;
    std::string line;
    for (const HVSearchResult& result : node.results()) {
        std::size_t location = std::min<std::size_t>(result.range().location, text.size());
        for (; scanned < location; ++scanned) {
            char16_t unit = text[scanned];
            // Most characters are neither breaks nor surrogates.
            if (unit > u'\r' && unit < 0x2028) {
                ++column;
                continue;
            }
            if (isLineBreak(unit)) {
                // CR LF is one break, counted at the LF.
                if (unit == u'\r' && scanned + 1 < text.size() && text[scanned + 1] == u'\n')
                    continue;
                ++lineNumber;
                lineStart = scanned + 1;
                column = 1;
            } else if ((unit & 0xFC00) != 0xDC00 || scanned == lineStart ||
                       (text[scanned - 1] & 0xFC00) != 0xD800) {
                // The second half of a surrogate pair adds no column.
                ++column;
            }
        }
        if (lineStart != convertedLineStart) {
            std::size_t end = location;
            while (end < text.size() && !isLineBreak(text[end]))
                ++end;
            line = HVUnicode::utf8(text.substr(lineStart, end - lineStart));
            convertedLineStart = lineStart;
        }
        writeMatchLine(path, lineNumber, column, line, buffer);
    }
}

// The same lines from a UTF-8 file's own bytes, which are written as they are: decoding every
// matched file costs more than the whole search (minified lines are long and matched often).
void HVSearchCommand::writeMatchesInUTF8(const HVMultiFileSearchNode& node, std::string_view bytes,
                                         std::string& buffer) {
    const std::string& path = node.path();
    // A walk forward in step with the results' UTF-16 positions.
    std::size_t byte = 0;
    std::size_t unit = 0;
    std::size_t lineNumber = 1;
    std::size_t lineStart = 0;
    std::size_t column = 1;
    auto lineBreakAt = [&](std::size_t i) -> std::size_t {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n' || c == '\r')
            return 1;
        // U+2028 and U+2029.
        if (c == 0xE2 && i + 2 < bytes.size() && static_cast<unsigned char>(bytes[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(bytes[i + 2]) & 0xFE) == 0xA8)
            return 3;
        return 0;
    };
    std::size_t lineEnd = std::string_view::npos;
    for (const HVSearchResult& result : node.results()) {
        std::size_t location = result.range().location;
        while (unit < location && byte < bytes.size()) {
            unsigned char c = static_cast<unsigned char>(bytes[byte]);
            if (std::size_t breakLength = lineBreakAt(byte)) {
                // CR LF is one break, counted at the LF.
                if (c == '\r' && byte + 1 < bytes.size() && bytes[byte + 1] == '\n') {
                    ++byte;
                    ++unit;
                    continue;
                }
                byte += breakLength;
                ++unit;
                ++lineNumber;
                lineStart = byte;
                column = 1;
                lineEnd = std::string_view::npos;
                continue;
            }
            std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            byte += length;
            unit += length == 4 ? 2 : 1;
            ++column;
        }
        if (lineEnd == std::string_view::npos) {
            lineEnd = std::max(byte, lineStart);
            while (lineEnd < bytes.size() && !lineBreakAt(lineEnd))
                ++lineEnd;
        }
        std::string_view line = bytes.substr(lineStart, lineEnd - lineStart);
        writeMatchLine(path, lineNumber, column, line, buffer);
    }
}

void HVSearchCommand::writeMatchLine(const std::string& path, std::size_t lineNumber,
                                     std::size_t column, std::string_view line,
                                     std::string& buffer) {
    buffer += path;
    buffer += ':';
    buffer += std::to_string(lineNumber);
    buffer += ':';
    buffer += std::to_string(column);
    buffer += ':';
    if (line.size() >= kFlushSize) {
        // A long line (minified code) goes out as it is rather than copied again.
        m_out.write(buffer.data(), std::streamsize(buffer.size()));
        m_out.write(line.data(), std::streamsize(line.size()));
        buffer.clear();
    } else {
        buffer += line;
    }
    buffer += '\n';
    if (buffer.size() >= kFlushSize) {
        m_out.write(buffer.data(), std::streamsize(buffer.size()));
        buffer.clear();
    }
}
