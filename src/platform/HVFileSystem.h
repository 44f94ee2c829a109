#pragma once

#include "HVError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// What tells one version of a file from another: the file (device and inode), its size and
// its modification time in nanoseconds. Another program that rewrote or replaced the file
// changes at least one of them.
struct HVFileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modificationTime = 0;
    friend bool operator==(const HVFileIdentity&, const HVFileIdentity&) = default;
};

// File-system helpers that every layer shares. Paths are UTF-8; bytes travel in std::string.
class HVFileSystem {
public:
    static bool exists(const std::string& path);
    static bool isDirectory(const std::string& path);
    static bool isRegularFile(const std::string& path);
    static bool isExecutable(const std::string& path);

    // Reads a regular file whole. Anything else (a folder, a named pipe, a device, a socket)
    // is refused before a byte is read, and so is a file larger than maxSize (EFBIG). The
    // identity is that of the file the bytes came from.
    static std::optional<std::string> readFile(const std::string& path, HVError* error = nullptr,
                                               HVFileIdentity* identity = nullptr,
                                               std::uint64_t maxSize = UINT64_MAX);
    // The identity of the file at path (links followed); none when it cannot be examined.
    static std::optional<HVFileIdentity> identityOfFile(const std::string& path);

    // Replaces the file at path so that it holds either the old bytes or the new ones, never
    // a mixture or a truncated file: a temporary file in the same directory is written,
    // synced and renamed over the old one. The new file keeps the old one's mode, owner and
    // group; a symbolic link is written through to its target. Where a rename cannot be
    // used (the folder is not writable, the file has other hard links, or a replacement could
    // not keep its owner) the file is rewritten in place after its old bytes were copied
    // aside, and restored from the copy if the write fails. A file the user may not write is
    // refused. The identity is that of the file written.
    static bool writeFileAtomically(const std::string& path, std::string_view bytes,
                                    HVError* error = nullptr, HVFileIdentity* written = nullptr);

    // Creates the directory and any missing parents; true when it exists afterwards.
    static bool createDirectory(const std::string& path, mode_t mode = 0777,
                                HVError* error = nullptr);
    static bool removeRecursively(const std::string& path);
    // Moves without ever replacing what is already at the destination; across devices it
    // copies and then removes the original, as a file manager's move does.
    static bool moveItem(const std::string& from, const std::string& to, HVError* error = nullptr);
    // Copies a directory tree; existing files at the destination are kept.
    static bool copyDirectory(const std::string& from, const std::string& to,
                              HVError* error = nullptr);

    // Every entry below a directory, depth first, in the order the listing yields them.
    static std::vector<std::string> listRecursively(const std::string& directory);

    // mkstemp and mkdtemp: the template ends in "XXXXXX". The file is returned open.
    static std::optional<std::string> makeTemporaryFile(const std::string& pathTemplate, int* fd,
                                                        HVError* error = nullptr);
    static std::optional<std::string> makeTemporaryDirectory(const std::string& pathTemplate,
                                                             HVError* error = nullptr);

    // The file that a path names once every symbolic link on the way is followed (relative,
    // absolute, chained); the final target need not exist. None, with ELOOP, for a cycle.
    static std::optional<std::string> resolvingLinks(const std::string& path,
                                                     HVError* error = nullptr);
    // The path made absolute, without "." and doubled slashes; links stay, except that a path
    // with ".." is resolved as the kernel would (through the link's target).
    static std::string standardizingPath(const std::string& path);
    // An absolute path without ".", ".." and doubled slashes, with links resolved as far as
    // the path exists: two paths of one file give the same answer.
    static std::string canonicalPath(const std::string& path);
    // Whether two paths name one file: the same device and inode when both exist (which also
    // joins hard links), else the same canonical path.
    static bool isSameFile(const std::string& a, const std::string& b);
    static std::string homeDirectory();
    static std::string executablePath();

    // Asks the kernel to back a large buffer that is about to be filled with huge pages: filling
    // 100 MB then takes a few dozen page faults instead of tens of thousands. A hint only.
    static void adviseHugePages(const void* start, std::size_t length);

    static std::string lastPathComponent(std::string_view path);
    static std::string deletingLastPathComponent(std::string_view path);
    // The path of file as written from folder: "../" up to their common folder, then down;
    // "." for the folder itself. Paths inserted into pages are written so.
    static std::string relativePathTo(std::string_view file, std::string_view folder);
    static std::string pathExtension(std::string_view path);
    static std::string appendingPathComponent(std::string_view path, std::string_view component);
};
