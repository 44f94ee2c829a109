#include "HVChildProcess.h"
#include "HVFileSystem.h"
#include "HVPathResolver.h"
#include "HVPerlPathResolver.h"
#include "HVRubyPathResolver.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct Resolved {
    std::optional<std::string> path;
    bool isTag = true;
};

Resolved resolve(const HVPathResolver& resolver, const std::string& string,
                 const std::string& base) {
    Resolved result;
    result.path = resolver.pathForString(string, base, result.isTag);
    return result;
}

bool interpreterRuns(const char* name) {
    HVChildProcess::Options options;
    options.arguments = {"/usr/bin/env", name, "-e", "exit 0"};
    auto result = HVChildProcess::run(options);
    return result && result->succeeded();
}

} // namespace

TEST(HVPathResolverTest, NamesResolveAgainstTheIndexedFilesFolder) {
    HVTemporaryDirectory folder;
    std::string lib = folder.write("lib/a.php", "");
    std::string sibling = folder.write("src/b.php", "");
    std::string base = folder.pathFor("src/main.php");
    const HVPathResolver& plain = HVPathResolver::resolverNamed("NoSuchResolver");
    EXPECT_EQ(plain.name(), "HVPathResolver");
    EXPECT_EQ(resolve(plain, "../lib/a.php", base).path, lib);
    EXPECT_EQ(resolve(plain, "./b.php", base).path, sibling);
    EXPECT_EQ(resolve(plain, "b.php", base).path, sibling);
    EXPECT_FALSE(resolve(plain, "c.php", base).path);
    // An absolute name is taken as it is, there or not.
    Resolved absolute = resolve(plain, "/no/such/file.php", base);
    EXPECT_EQ(absolute.path, "/no/such/file.php");
    EXPECT_FALSE(absolute.isTag);
}

TEST(HVPathResolverTest, PerlPackagesAreModulesInIncOrElseTags) {
    const HVPathResolver& perl = HVPathResolver::resolverNamed("HVPerlPathResolver");
    ASSERT_FALSE(perl.searchPaths().empty()) << "perl is installed here";
    for (const auto& path : perl.searchPaths())
        EXPECT_TRUE(path.ends_with('/')) << path;
    Resolved module = resolve(perl, "File::Spec", "/tmp/x.pl");
    ASSERT_TRUE(module.path);
    EXPECT_TRUE(module.path->ends_with("/File/Spec.pm")) << *module.path;
    EXPECT_TRUE(HVFileSystem::isRegularFile(*module.path));
    EXPECT_FALSE(module.isTag);
    Resolved unknown = resolve(perl, "No::Such::Package", "/tmp/x.pl");
    EXPECT_EQ(unknown.path, "No::Such::Package");
    EXPECT_TRUE(unknown.isTag);
}

TEST(HVPathResolverTest, RubyNamesWithoutExtensionAreRubyFiles) {
    if (!interpreterRuns("ruby"))
        GTEST_SKIP() << "no ruby here";
    const HVPathResolver& ruby = HVPathResolver::resolverNamed("HVRubyPathResolver");
    ASSERT_FALSE(ruby.searchPaths().empty());
    Resolved set = resolve(ruby, "set", "/tmp/x.rb");
    ASSERT_TRUE(set.path);
    EXPECT_TRUE(set.path->ends_with("/set.rb")) << *set.path;
}

TEST(HVPathResolverTest, AScriptThatFailsGivesNoPaths) {
    EXPECT_EQ(HVPathResolver::pathsFromRunningScript("#!/bin/sh\necho /usr/lib\nexit 3\n"),
              std::vector<std::string>{});
    EXPECT_EQ(HVPathResolver::pathsFromRunningScript("#!/bin/sh\nprintf '/a\\n.\\n\\n/b\\n'\n"),
              (std::vector<std::string>{"/a/", "/b/"}));
}
