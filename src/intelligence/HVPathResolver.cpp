#include "HVPathResolver.h"

#include "HVChildProcess.h"
#include "HVFileSystem.h"
#include "HVPerlPathResolver.h"
#include "HVRubyPathResolver.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The string against one candidate: the candidate itself when it is a folder ("/" at the
// end), else the candidate's folder; leading "." components are dropped and each leading
// ".." climbs one folder.
std::string resolveAgainst(std::string_view string, const std::string& candidate) {
    std::string folder = candidate.ends_with('/')
                             ? candidate.substr(0, candidate.size() - 1)
                             : HVFileSystem::deletingLastPathComponent(candidate);
    while (true) {
        if (string.starts_with("./")) {
            string.remove_prefix(2);
        } else if (string.starts_with("../")) {
            string.remove_prefix(3);
            folder = HVFileSystem::deletingLastPathComponent(folder);
        } else {
            break;
        }
    }
    return HVFileSystem::appendingPathComponent(folder, string);
}

} // namespace

const HVPathResolver& HVPathResolver::defaultResolver() {
    static const HVPathResolver resolver;
    return resolver;
}

const HVPathResolver& HVPathResolver::resolverNamed(std::string_view name) {
    if (name == "HVRubyPathResolver")
        return HVRubyPathResolver::sharedResolver();
    if (name == "HVPerlPathResolver")
        return HVPerlPathResolver::sharedResolver();
    return defaultResolver();
}

std::optional<std::string> HVPathResolver::pathForString(const std::string& string,
                                                         const std::string& base,
                                                         bool& isTag) const {
    isTag = false;
    if (string.starts_with('/'))
        return string;
    return pathForRelativeString(string, base);
}

std::optional<std::string> HVPathResolver::pathForRelativeString(const std::string& string,
                                                                 const std::string& base) const {
    if (string.empty())
        return std::nullopt;
    auto exists = [](const std::string& path) {
        struct stat info;
        return ::stat(path.c_str(), &info) == 0;
    };
    for (const std::string& candidate : searchPaths()) {
        std::string path = resolveAgainst(string, candidate);
        if (exists(path))
            return path;
    }
    std::string path = resolveAgainst(string, base);
    if (exists(path))
        return path;
    return std::nullopt;
}

const std::vector<std::string>& HVPathResolver::searchPaths() const {
    static const std::vector<std::string> none;
    return none;
}

std::vector<std::string> HVPathResolver::pathsFromRunningScript(const std::string& script) {
    int fd = -1;
    auto scriptPath = HVFileSystem::makeTemporaryFile("/tmp/HalvetPaths.XXXXXX", &fd);
    if (!scriptPath)
        return {};
    bool written = ::write(fd, script.data(), script.size()) == ssize_t(script.size());
    ::close(fd);
    std::vector<std::string> paths;
    if (written && ::chmod(scriptPath->c_str(), 0755) == 0) {
        HVChildProcess::Options options;
        options.arguments = {*scriptPath};
        options.timeLimit = 10;
        auto result = HVChildProcess::run(options);
        if (result && result->succeeded()) {
            std::string_view output = result->standardOutput;
            while (!output.empty()) {
                std::size_t end = output.find('\n');
                std::string_view line = output.substr(0, end);
                if (!line.empty() && line != ".")
                    paths.push_back(std::string(line) + "/");
                if (end == std::string_view::npos)
                    break;
                output.remove_prefix(end + 1);
            }
        }
    }
    ::unlink(scriptPath->c_str());
    return paths;
}
