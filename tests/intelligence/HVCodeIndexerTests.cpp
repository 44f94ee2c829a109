#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVCodeIndexTestSupport.h"
#include "HVCodeIndexer.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVPropertyList.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

namespace {

using HVCodeIndexerTest = HVIndexWorld;

std::string joined(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& item : list)
        out += (out.empty() ? "" : " ") + item;
    return out;
}

} // namespace

TEST_F(HVCodeIndexerTest, EmbeddedCodeIsIndexedByItsLanguageAndBlankedForTheMarkup) {
    auto page = HVCodeIndexer::indexerForPath(files.pathFor("a.tpage"));
    ASSERT_NE(page, nullptr);
    std::string include = write("lib/inc.tcode", "");
    auto keys = page->indexUTF8Data("<p id=\"top\">function prose</p>\n"
                                    "<?code function inCode($a) {} include 'lib/inc.tcode'; ?>\n"
                                    "<div id=\"end\"></div><?code CLASS Open { function tail() }",
                                    files.pathFor("a.tpage"));
    EXPECT_EQ(HVDescribeKeys(keys), "Open class source.tcode, end id text.tpage, "
                                    "inCode early source.tcode, inCode function source.tcode, "
                                    "prose markup text.tpage, tail early source.tcode, "
                                    "tail function source.tcode, top id text.tpage");
    EXPECT_EQ(joined(page->referencedFiles()), include);
}

TEST_F(HVCodeIndexerTest, CommentsGoFirstAndRemovedTextOnlyAfterThePreRemoveKeys) {
    auto code = HVCodeIndexer::indexerForPath(files.pathFor("a.tcode"));
    ASSERT_NE(code, nullptr);
    auto keys = code->indexUTF8Data("/* function hidden() */ // function gone()\n"
                                    "define('LIMIT', 1); $s = 'function quoted()';\n"
                                    "function real($x) {} function real($y) {} function other() {}",
                                    files.pathFor("a.tcode"));
    // Each pass finds a name once; the two passes are counted apart.
    EXPECT_EQ(HVDescribeKeys(keys), "LIMIT constant source.tcode, other early source.tcode, "
                                    "other function source.tcode, quoted early source.tcode, "
                                    "real early source.tcode, real function source.tcode");
    EXPECT_EQ(HVUnicode::utf8(keys.back().completion), "function other()");
}

TEST_F(HVCodeIndexerTest, PatternsThatMatchNothingEndAndBrokenOnesAreDropped) {
    std::vector<HVError> errors;
    auto indexer = HVCodeIndexer::initWithBundle(
        nullptr,
        Dict{{"tags", Array{"x*"}},
             {"keys", Array{Dict{{"pattern", "y*"}, {"key", 0}, {"type", "t"}},
                            Dict{{"pattern", "(unclosed"}, {"key", 1}, {"type", "t"}}}}},
        &errors);
    auto keys = indexer->indexUTF8Data("abyyxc", "/nowhere");
    EXPECT_EQ(HVDescribeKeys(keys), "yy t ");
    EXPECT_EQ(joined(indexer->tags()), "x");
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(indexer->plistRepresentation().arrayForKey("keys")->size(), 1u);
}

TEST_F(HVCodeIndexerTest, SwitchedOffLanguagesHaveNoIndexerAndOthersNeedNoSwitch) {
    EXPECT_EQ(HVCodeIndexer::indexerForPath(files.pathFor("a.tquiet")), nullptr);
    EXPECT_EQ(HVCodeIndexer::indexerForPath(files.pathFor("a.unknown")), nullptr);
    auto code = HVCodeIndexer::indexerForPath(files.pathFor("a.tcode"));
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(code->enabled(), 0);
    EXPECT_EQ(code->indexClass(), "source.tcode");
}

TEST_F(HVCodeIndexerTest, ADefinitionReadAgainWhenThePreferencesCloseIsCompiledAgain) {
    auto before = HVCodeIndexer::indexerForPath(files.pathFor("a.tcode"));
    EXPECT_EQ(HVCodeIndexer::indexerForPath(files.pathFor("b.tcode")), before);
    auto bundle = HVBundleRepository::sharedRepository().bundleForIdentifier("source.tcode");
    HVPropertyList::writeToFile(
        Dict{{"keys", Array{Dict{{"pattern", "fn (\\w+)"}, {"key", 1}, {"type", "fn"}}}}},
        bundle->path() + "/Contents/indexer.plist", HVPlistFormat::XML);
    HVNotificationCenter::defaultCenter().postNotificationName("HalvetPrefsClosed");
    auto after = HVCodeIndexer::indexerForPath(files.pathFor("a.tcode"));
    ASSERT_NE(after, before);
    EXPECT_EQ(HVDescribeKeys(after->indexUTF8Data("fn go", "/x.tcode")), "go fn source.tcode");
}

TEST_F(HVCodeIndexerTest, FilesAreReadInTheirOwnEncodingAndUnreadableOnesGiveNothing) {
    auto code = HVCodeIndexer::indexerForPath(files.pathFor("a.tcode"));
    std::string latin1 = write("latin1.tcode", "function f($caf\xe9) {}");
    auto keys = code->indexFile(latin1);
    ASSERT_EQ(keys.size(), 2u) << HVDescribeKeys(keys);
    EXPECT_EQ(HVUnicode::utf8(keys[1].completion), "function f($caf\xc3\xa9)");
    EXPECT_EQ(HVKeyNames(code->indexFile(files.pathFor("missing.tcode"))), "");
    EXPECT_TRUE(code->tags().empty());
}

TEST_F(HVCodeIndexerTest, CommittedDefinitionReadsBackTheSame) {
    auto perl = HVCodeIndexer::indexerForPath(files.pathFor("a.tpl"));
    ASSERT_NE(perl, nullptr);
    perl->setEnabled(1);
    std::string contents = files.pathFor("Out/Contents");
    HVFileSystem::createDirectory(contents);
    HVError error;
    ASSERT_TRUE(perl->commitToPath(contents, &error)) << error.fullDescription();
    std::string bytes = HVReadFile(contents + "/indexer.plist");
    EXPECT_EQ(bytes.substr(0, 6), "bplist");
    auto written = HVPropertyList::readFromData(bytes);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written->stringForKey("pathResolution"), "HVPerlPathResolver");
    EXPECT_EQ(*written->boolForKey("enabled"), true);
    EXPECT_EQ(written->arrayForKey("tags")->size(), 1u);
    auto again = HVCodeIndexer::initWithBundle(nullptr, *written);
    EXPECT_EQ(again->plistRepresentation(), *written);
}
