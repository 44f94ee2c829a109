#pragma once

#include "HVError.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// File-system helpers that every layer shares. Paths are UTF-8; bytes travel in std::string.
class HVFileSystem {
public:
    static bool exists(const std::string& path);
    static bool isDirectory(const std::string& path);
    static bool isRegularFile(const std::string& path);
    static bool isExecutable(const std::string& path);

    static std::optional<std::string> readFile(const std::string& path, HVError* error = nullptr);

    // Replaces the file at path in one step: a temporary file in the same directory is written,
    // synced and renamed over the old one, so a failure leaves the old file as it was. The new
    // file keeps the old one's mode and group; a symbolic link is written through to its target.
    static bool writeFileAtomically(const std::string& path, std::string_view bytes,
                                    HVError* error = nullptr);

    // Creates the directory and any missing parents; true when it exists afterwards.
    static bool createDirectory(const std::string& path, mode_t mode = 0777,
                                HVError* error = nullptr);
    static bool removeRecursively(const std::string& path);
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

    // The path with symbolic links resolved; the path itself when it cannot be resolved.
    static std::string resolvingSymlinks(const std::string& path);
    static std::string homeDirectory();
    static std::string executablePath();

    // Asks the kernel to back a large buffer that is about to be filled with huge pages: filling
    // 100 MB then takes a few dozen page faults instead of tens of thousands. A hint only.
    static void adviseHugePages(const void* start, std::size_t length);

    static std::string lastPathComponent(std::string_view path);
    static std::string deletingLastPathComponent(std::string_view path);
    static std::string pathExtension(std::string_view path);
    static std::string appendingPathComponent(std::string_view path, std::string_view component);
};
