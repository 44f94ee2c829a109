#include "HVPropertyList.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

HVPlistValue sampleValue() {
    HVPlistValue::Dictionary inner;
    inner["flag"] = true;
    inner["name"] = "caf\xC3\xA9 & <tags>";
    HVPlistValue::Dictionary root;
    root["integer"] = 42;
    root["negative"] = -7;
    root["large"] = 1LL << 40;
    root["real"] = 270.5;
    root["falseFlag"] = false;
    root["date"] = HVPlistDate{1700000000.0};
    root["data"] = HVPlistValue::Data{0, 1, 2, 0xFF};
    root["array"] = HVPlistValue::Array{1, "two", 3.0, HVPlistValue::Array{}};
    root["inner"] = inner;
    root["empty"] = "";
    return root;
}

} // namespace

TEST(HVPropertyList, RoundTripsEveryTypeThroughXMLAndBinary) {
    HVTemporaryDirectory dir;
    for (auto format : {HVPlistFormat::XML, HVPlistFormat::Binary}) {
        std::string path = dir.pathFor(format == HVPlistFormat::XML ? "a.plist" : "b.plist");
        HVError error;
        ASSERT_TRUE(HVPropertyList::writeToFile(sampleValue(), path, format, &error))
            << error.fullDescription();
        auto read = HVPropertyList::readFromFile(path, &error);
        ASSERT_TRUE(read) << error.fullDescription();
        EXPECT_EQ(*read, sampleValue());
    }
}

TEST(HVPropertyList, ReadsListsWrittenByOtherTools) {
    // A doctype, a comment, an entity and an indented layout, as hand-written lists have.
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- a comment -->
<dict>
    <key>title</key>
    <string>Fish &amp; Chips</string>
    <key>sizes</key>
    <array><integer>1</integer><real>2.5</real><true/></array>
</dict>
</plist>
)";
    HVError error;
    auto value = HVPropertyList::readFromData(xml, &error);
    ASSERT_TRUE(value) << error.fullDescription();
    EXPECT_EQ(*value->stringForKey("title"), "Fish & Chips");
    const auto* sizes = value->arrayForKey("sizes");
    ASSERT_NE(sizes, nullptr);
    ASSERT_EQ(sizes->size(), 3u);
    EXPECT_EQ((*sizes)[1], HVPlistValue(2.5));
    EXPECT_EQ((*sizes)[2], HVPlistValue(true));
}

TEST(HVPropertyList, MalformedInputIsAnErrorNeverACrash) {
    auto valid = *HVPropertyList::serialize(sampleValue(), HVPlistFormat::Binary);
    auto validXML = *HVPropertyList::serialize(sampleValue(), HVPlistFormat::XML);
    std::vector<std::string> inputs = {
        "",
        "not a plist at all",
        "<plist><dict><key>a</key></dict></plist>",
        "<plist><dict><string>a</string></dict></plist>",
        "<plist><date>garbage</date><real>xx</real><data>!!!</data></plist>",
        "<plist><dict><key>a</key><string>unterminated",
        "<plist><array><integer>12x</integer></array>",
        "bplist00",
        valid.substr(0, valid.size() / 2),
        validXML.substr(0, validXML.size() / 2),
        std::string("bplist00\xD5\x01\x02", 11),
    };
    // Every single-byte corruption of the binary trailer and object table must be survivable.
    for (std::size_t i = 8; i < valid.size(); ++i) {
        std::string corrupted = valid;
        corrupted[i] = char(corrupted[i] ^ 0x5A);
        inputs.push_back(corrupted);
    }
    for (const auto& input : inputs) {
        HVError error;
        auto value = HVPropertyList::readFromData(input, &error);
        if (!value) {
            EXPECT_EQ(error.domain(), HVPlatformErrorDomain);
            EXPECT_FALSE(error.description().empty());
        }
    }
    // These must fail, not merely survive: a value without its key, and nesting deeper than
    // a reader allows.
    std::string deep = "<plist>";
    for (int i = 0; i < 400; ++i)
        deep.insert(7, "<array>").append("</array>");
    for (const std::string& input :
         {std::string("<plist><dict><string>a</string></dict></plist>"), deep + "</plist>"}) {
        HVError error;
        EXPECT_FALSE(HVPropertyList::readFromData(input, &error)) << input.substr(0, 40);
        EXPECT_EQ(error.code(), HVFileReadCorruptFileError) << input.substr(0, 40);
    }
}

TEST(HVPropertyList, WritingKeepsTheOldFilesPermissionsAndFailsCleanly) {
    HVTemporaryDirectory dir;
    std::string path = dir.write("keep.plist", "old");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(HVPropertyList::writeToFile(sampleValue(), path, HVPlistFormat::XML));
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    HVError error;
    EXPECT_FALSE(HVPropertyList::writeToFile(HVPlistValue(), path, HVPlistFormat::XML, &error));
    EXPECT_EQ(*HVPropertyList::readFromFile(path), sampleValue());
    EXPECT_FALSE(HVPropertyList::writeToFile(sampleValue(), dir.pathFor("missing/dir/x.plist"),
                                             HVPlistFormat::Binary, &error));
}
