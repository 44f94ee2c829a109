#pragma once

#include "HVCodeIndexKey.h"
#include "HVError.h"
#include "HVPlistValue.h"
#include "HVSyntaxTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// A world of test languages with indexers, for the indexer and the index: "Code" (parser
// "source.tcode", files ".tcode": functions, classes, constants, includes), "Page" (parser
// "text.tpage", files ".tpage": ids, and Code between "<?code" and "?>"), "Perlish" (parser
// "source.tperl", files ".tpl" and ".pm": packages as tags, "use" through the Perl resolver)
// and "Quiet" (".tquiet", its indexer switched off). Files go into a temporary folder.
class HVIndexWorld : public ::testing::Test {
protected:
    HVIndexWorld();
    ~HVIndexWorld() override;

    static HVPlistValue codeIndexer();
    // Writes a shipped bundle with a base parser of that identifier and the indexer.
    std::string language(const std::string& name, const std::string& parserIdentifier,
                         HVPlistValue::Array fileTypes, const HVPlistValue& indexer);
    std::string write(const std::string& relative, const std::string& bytes) const {
        return files.write(relative, bytes);
    }

    HVBundleTestEnvironment environment;
    HVTemporaryDirectory files;
};

// "key type class" per symbol, sorted, joined by ", ".
std::string HVDescribeKeys(const std::vector<HVCodeIndexKey>& keys);
// The keys' names, sorted and joined by " ".
std::string HVKeyNames(const std::vector<HVCodeIndexKey>& keys);
