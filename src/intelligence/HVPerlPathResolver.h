#pragma once

#include "HVPathResolver.h"

// Perl's "use" and "require": a package name ("Foo::Bar") means "Foo/Bar.pm" in @INC; a
// package that is not a file there may be defined by another indexed file, so it comes back
// as a tag.
class HVPerlPathResolver : public HVPathResolver {
public:
    static const HVPerlPathResolver& sharedResolver();
    std::string name() const override { return "HVPerlPathResolver"; }
    std::optional<std::string> pathForString(const std::string& string, const std::string& base,
                                             bool& isTag) const override;
    const std::vector<std::string>& searchPaths() const override;
};
