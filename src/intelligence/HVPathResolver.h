#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Turns a name found in an include or require statement into a file on disk, trying the
// language's library folders and then the folder of the file being indexed. Each kind is one
// shared object, found by its name in an indexer definition ("pathResolution").
class HVPathResolver {
public:
    virtual ~HVPathResolver() = default;

    // The resolver of that name ("HVPathResolver", "HVRubyPathResolver",
    // "HVPerlPathResolver"); the plain one for any other name.
    static const HVPathResolver& resolverNamed(std::string_view name);
    static const HVPathResolver& defaultResolver();
    // The name a definition uses for it.
    virtual std::string name() const { return "HVPathResolver"; }

    // The file a string names, given the path of the file it was found in; none when nothing
    // on disk matches. isTag comes back true when the answer is a name to look up among the
    // tags files define rather than a path.
    virtual std::optional<std::string> pathForString(const std::string& string,
                                                     const std::string& base, bool& isTag) const;
    // The string resolved against each search path and then the base's folder; the first
    // that exists.
    std::optional<std::string> pathForRelativeString(const std::string& string,
                                                     const std::string& base) const;
    // The language's library folders, each ending in "/"; computed once per process.
    virtual const std::vector<std::string>& searchPaths() const;

    // Writes the script to a temporary file (mode 0755), runs it and answers its output lines
    // that are neither empty nor ".", each with a trailing "/"; empty when anything fails.
    static std::vector<std::string> pathsFromRunningScript(const std::string& script);

protected:
    HVPathResolver() = default;
};
