#include "HVPerlPathResolver.h"

#include "HVFileSystem.h"

const HVPerlPathResolver& HVPerlPathResolver::sharedResolver() {
    static const HVPerlPathResolver resolver;
    return resolver;
}

std::optional<std::string> HVPerlPathResolver::pathForString(const std::string& string,
                                                             const std::string& base,
                                                             bool& isTag) const {
    if (!HVFileSystem::pathExtension(HVFileSystem::lastPathComponent(string)).empty())
        return HVPathResolver::pathForString(string, base, isTag);
    std::string file;
    for (std::size_t i = 0; i < string.size(); ++i) {
        if (string.compare(i, 2, "::") == 0) {
            file += '/';
            ++i;
        } else {
            file += string[i];
        }
    }
    if (auto path = HVPathResolver::pathForString(file + ".pm", base, isTag))
        return path;
    isTag = true;
    return string;
}

const std::vector<std::string>& HVPerlPathResolver::searchPaths() const {
    static const std::vector<std::string> paths = pathsFromRunningScript(
        "#!/usr/bin/env perl\nforeach(@INC) {\nprint $_ . \"\\n\";\n}\nexit 0;\n");
    return paths;
}
