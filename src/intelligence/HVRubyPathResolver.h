#pragma once

#include "HVPathResolver.h"

// Ruby's "require": a name without an extension means a ".rb" file in Ruby's load path.
class HVRubyPathResolver : public HVPathResolver {
public:
    static const HVRubyPathResolver& sharedResolver();
    std::string name() const override { return "HVRubyPathResolver"; }
    std::optional<std::string> pathForString(const std::string& string, const std::string& base,
                                             bool& isTag) const override;
    const std::vector<std::string>& searchPaths() const override;
};
