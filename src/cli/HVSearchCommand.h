#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

class HVMultiFileSearchNode;

// "halvet-cli search": the editor's multi-file search over files and folders, printed as grep
// prints: one line per match, "path:line:column:text", or "path:count" per file with --count.
// Exit status 0 when something matched, 1 when nothing did, 2 when anything went wrong (a bad
// pattern, a missing path, an unreadable file), matches or not.
class HVSearchCommand {
public:
    HVSearchCommand(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    static const char* usageText();
    // The arguments after "search".
    int run(const std::vector<std::string>& arguments);

private:
    // The node's matches, appended to the output buffer; the buffer is written out whenever it
    // grows large, so that a long minified line matched many times does not pile up.
    void writeMatches(const HVMultiFileSearchNode& node, std::string& buffer);
    void writeMatchesInUTF8(const HVMultiFileSearchNode& node, std::string_view bytes,
                            std::string& buffer);
    // One "path:line:column:text" line into buffer, flushed when it is full.
    void writeMatchLine(const std::string& path, std::size_t lineNumber, std::size_t column,
                        std::string_view line, std::string& buffer);

    std::ostream& m_out;
    std::ostream& m_err;
};
