#pragma once

#include "HVError.h"
#include "HVRemoteFile.h"
#include "HVRemoteProtocol.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads the directory listings the transfer clients print. Listings come from the server and
// are untrusted: names that could lead out of the listed directory ("", ".", "..", anything
// holding "/" or NUL) are dropped, and the limits below bound time and memory.
// Lines that are not UTF-8 are read as Latin-1, so their names come back as UTF-8.
// Thread-safe; the patterns are compiled once per process.
class HVRemoteListingParser {
public:
    enum class Format { Unix, Windows, WebDAV };

    // Longer lines are skipped: no real entry comes near.
    static constexpr std::size_t maximumLineLength = 64 * 1024;
    // A listing with more lines (the client's own included) or more text is refused whole.
    static constexpr std::size_t maximumLines = 1'000'000;
    static constexpr std::size_t maximumListingBytes = 256u * 1024 * 1024;

    // The entries, in the listing's order. Empty, with the reason, when a limit is exceeded.
    static std::vector<HVRemoteFile> parse(const std::vector<std::string>& lines,
                                           HVRemoteProtocol protocol, std::string_view listingPath,
                                           HVError* error = nullptr);
    // One line; none when it is a header or holds no usable name. A size beyond 64 bits
    // refuses the line rather than showing a wrong size. A name that starts with namePrefix
    // loses it first.
    static std::optional<HVRemoteFile> parseLine(std::string_view line, Format format,
                                                 std::string_view listingPath,
                                                 std::string_view namePrefix = {});
    // OpenSSH sftp prints each entry of "ls -la PATH" as "PATH/name" ("./name" for ".", the
    // path typed for an empty one).
    static std::string sftpNamePrefix(std::string_view listingPath);
    // The format an FTP server used for this line.
    static Format ftpFormatOfLine(std::string_view line);
    static bool isSafeName(std::string_view name);
};
