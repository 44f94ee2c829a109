#include "HVRubyPathResolver.h"

#include "HVFileSystem.h"

const HVRubyPathResolver& HVRubyPathResolver::sharedResolver() {
    static const HVRubyPathResolver resolver;
    return resolver;
}

std::optional<std::string> HVRubyPathResolver::pathForString(const std::string& string,
                                                             const std::string& base,
                                                             bool& isTag) const {
    if (HVFileSystem::pathExtension(HVFileSystem::lastPathComponent(string)).empty())
        return HVPathResolver::pathForString(string + ".rb", base, isTag);
    return HVPathResolver::pathForString(string, base, isTag);
}

const std::vector<std::string>& HVRubyPathResolver::searchPaths() const {
    static const std::vector<std::string> paths =
        pathsFromRunningScript("#!/usr/bin/env ruby\n$:.each do |path|\nprint path, \"\\n\"\nend\n"
                               "exit 0\n");
    return paths;
}
