#include "HVFileEncodings.h"
#include "HVFileSystem.h"
#include "HVPreferences.h"
#include "HVTestSupport.h"
#include "HVTextBuffer.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class HVFileEncodingsTest : public ::testing::Test {
protected:
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory dir;

    HVStringEncoding detect(const std::string& name, std::string_view bytes) {
        return HVFileEncodings::encodingForPath(dir.write(name, bytes));
    }
};

} // namespace

TEST_F(HVFileEncodingsTest, NamesAreMatchedWithoutDashesAndCaseSensitively) {
    EXPECT_EQ(HVFileEncodings::encodingFromString("utf-8"), HVUTF8StringEncoding);
    EXPECT_EQ(HVFileEncodings::encodingFromString("u_t-f_8"), HVUTF8StringEncoding);
    EXPECT_EQ(HVFileEncodings::encodingFromString("UTF-8"), HVNoStringEncoding);
    EXPECT_EQ(HVFileEncodings::encodingFromString("Shift_JIS"), HVNoStringEncoding);
    EXPECT_EQ(HVFileEncodings::encodingFromString("shift_jis"),
              HVFileEncodings::encodingFromString("shift-jis"));
    EXPECT_EQ(HVFileEncodings::encodingFromString(""), HVNoStringEncoding);
    EXPECT_EQ(HVFileEncodings::encodingFromString("--"), HVNoStringEncoding);
    EXPECT_EQ(HVFileEncodings::stringFromEncoding(HVMacOSRomanStringEncoding), "macintosh");
    EXPECT_EQ(HVFileEncodings::stringFromEncoding(99999), std::nullopt);
    // The five fixed numbers.
    EXPECT_EQ(HVFileEncodings::encodingFromString("usascii"), 1u);
    EXPECT_EQ(HVFileEncodings::encodingFromString("iso88591"), 5u);
    EXPECT_EQ(HVFileEncodings::encodingFromString("utf16"), 10u);
    // Every canonical name leads back to an encoding with that name.
    for (const auto& info : HVFileEncodings::allEncodings()) {
        auto number = HVFileEncodings::encodingFromString(info.canonicalName);
        EXPECT_EQ(HVFileEncodings::stringFromEncoding(number), info.canonicalName);
    }
}

TEST_F(HVFileEncodingsTest, RealTextRoundTripsThroughEveryEncodingOfTheTable) {
    for (const auto& info : HVFileEncodings::allEncodings()) {
        if (info.encoding == HVMacOSRomanStringEncoding)
            continue; // shares its sample with the other Mac OS Roman entry
        SCOPED_TRACE(info.canonicalName);
        std::string samplePath =
            HVTestDataPath(std::string("encodings/") + info.canonicalName + ".txt");
        std::string bytes = HVReadFile(samplePath);
        std::u16string expected = HVUnicode::utf16(HVReadFile(
            HVTestDataPath(std::string("encodings/expected/") + info.canonicalName + ".utf8")));
        ASSERT_FALSE(bytes.empty());
        ASSERT_FALSE(expected.empty());

        // Detected by its file name, decoded without a fallback.
        HVStringEncoding encoding = HVNoStringEncoding;
        HVError error;
        auto text = HVFileEncodings::createWithContentsOfFile(samplePath, encoding, &error);
        ASSERT_TRUE(text);
        EXPECT_EQ(encoding, HVFileEncodings::encodingFromString(info.canonicalName));
        EXPECT_EQ(error.code(), 0) << error.description();
        EXPECT_TRUE(*text == expected) << HVUnicode::utf8(*text);

        // Encoded back to the very same bytes.
        HVStringEncoding out = info.encoding;
        auto written = HVFileEncodings::dataUsingEncoding(expected, out, &error);
        ASSERT_TRUE(written);
        EXPECT_EQ(out, info.encoding);
        EXPECT_TRUE(*written == bytes);
    }
}

// The file name comes first: the first dotted part from the left that names an encoding wins.
// Then a declaration in the first thirty lines, however long they are and whatever breaks them;
// upper case is no known name, and the short form "<meta charset>" captures nothing. Then a
// UTF-16 byte-order mark (a UTF-8 one is not looked for), and last the default.
TEST_F(HVFileEncodingsTest, DetectionOrder) {
    HVPreferences::sharedInstance().setObject("HVTextEncoding", "windows-1251");
    const std::string xml = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>";
    const std::string koi = "<?xml version=\"1.0\" encoding=\"koi8-r\"?>\n";
    const std::string meta2 = "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                              "charset=iso-8859-2\">\n";
    std::string lines;
    for (int i = 1; i < 30; ++i)
        lines += "line\n";
    struct Case {
        const char* name;
        std::string bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"page.utf8.html", "<meta content=\"text/html; charset=iso-8859-2\">", "utf-8"},
        {"utf8.txt", "x", "utf-8"},
        {"notes.big5.txt", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n", "big-5"},
        {"koi8-r.windows-1251.txt", "x", "koi8-r"},
        {"a.xml", xml + "\n<a/>\n", "iso-8859-1"},
        {"b.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- x -->\n" + meta2, "iso-8859-2"},
        {"c.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", "windows-1251"},
        {"d.html", "<html><head><meta charset=\"iso-8859-2\">\n", "windows-1251"},
        {"e.html", "<META HTTP-EQUIV=\"content-type\" CONTENT=\"text/html; charset=iso-8859-2\">\n",
         "iso-8859-2"},
        {"line30.xml", lines + koi, "koi8-r"},
        {"line31.xml", lines + "line\n" + koi, "windows-1251"},
        {"long.xml", std::string(5000, 'x') + xml + "\n", "iso-8859-1"},
        {"cr.xml", "first\rsecond\r" + xml + "\r", "iso-8859-1"},
        {"last.xml", xml, "iso-8859-1"}, // a last line without a line break
        {"le.txt", std::string("\xFF\xFEh\0i\0", 6), "utf-16"},
        {"be.txt", std::string("\xFE\xFF\0h\0i", 6), "utf-16"},
        {"bom8.txt", "\xEF\xBB\xBFtext", "windows-1251"},
        {"both.xml", "\xFF\xFE<?xml encoding=\"iso-8859-1\"?>\n", "iso-8859-1"},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(
            HVFileEncodings::stringFromEncoding(detect(test.name, test.bytes)).value_or("none"),
            test.expected)
            << test.name;
    }
}

TEST_F(HVFileEncodingsTest, BadBytesFallBackWithAWarningForFilesAndData) {
    std::string bytes = "caf\xE9 cr\xE8me\n"; // Latin 1, not UTF-8
    std::string path = dir.write("menu.txt", bytes);
    HVStringEncoding encoding = HVNoStringEncoding;
    HVError error;
    auto text = HVFileEncodings::createWithContentsOfFile(path, encoding, &error);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, u"café crème\n");
    EXPECT_EQ(encoding, HVUTF8StringEncoding) << "the detected encoding is handed back";
    EXPECT_TRUE(error.is(HVErrorDomain, 16));
    EXPECT_EQ(error.description(), "Opened using iso-8859-1");

    HVStringEncoding fromData = HVUTF8StringEncoding;
    HVError dataError;
    auto dataText = HVFileEncodings::createWithData(bytes, path, fromData, &dataError);
    ASSERT_TRUE(dataText);
    EXPECT_EQ(*dataText, *text);
    EXPECT_EQ(dataError.description(), "Opened using iso-8859-1");

    // A chosen encoding that cannot read the bytes falls back the same way.
    HVStringEncoding ascii = HVASCIIStringEncoding;
    HVError asciiError;
    EXPECT_TRUE(HVFileEncodings::createWithData(bytes, "", ascii, &asciiError));
    EXPECT_EQ(asciiError.code(), 16);
    EXPECT_EQ(ascii, HVASCIIStringEncoding);

    // Truncated UTF-16 is bad input too.
    HVStringEncoding utf16 = HVUnicodeStringEncoding;
    HVError utf16Error;
    EXPECT_TRUE(
        HVFileEncodings::createWithData(std::string("\xFF\xFEh\0i", 5), "", utf16, &utf16Error));
    EXPECT_EQ(utf16Error.code(), 16);
}

TEST_F(HVFileEncodingsTest, AnUnreadableFileIsAnError) {
    HVStringEncoding encoding = HVNoStringEncoding;
    HVError error;
    EXPECT_FALSE(
        HVFileEncodings::createWithContentsOfFile(dir.pathFor("missing.txt"), encoding, &error));
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_FALSE(HVFileEncodings::createWithContentsOfFile(dir.path(), encoding, &error));
}

TEST_F(HVFileEncodingsTest, AFileLongerThanABufferHoldsIsRefusedBeforeItIsRead) {
    // Sparse: it takes no room on disk, and reading it would take 4 GB of memory.
    std::string path = dir.write("huge.txt", "");
    ASSERT_EQ(::truncate(path.c_str(), off_t(HVTextBuffer::maximumLength) + 1), 0);
    HVStringEncoding encoding = HVNoStringEncoding;
    HVError error;
    EXPECT_FALSE(HVFileEncodings::createWithContentsOfFile(path, encoding, &error));
    EXPECT_EQ(error.code(), EFBIG);
    EXPECT_NE(error.description().find(path), std::string::npos);
}

TEST_F(HVFileEncodingsTest, LossyEncodingWarnsAndNamesTheEncoding) {
    std::u16string text = u"Price: 5 € — Привет";
    HVStringEncoding encoding = HVISOLatin1StringEncoding;
    HVError error;
    auto bytes = HVFileEncodings::dataUsingEncoding(text, encoding, &error);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, "Price: 5 ? ? ??????");
    EXPECT_EQ(encoding, HVISOLatin1StringEncoding);
    EXPECT_TRUE(error.is(HVErrorDomain, 16));
    EXPECT_EQ(error.description(), "Some characters could not be saved");
    EXPECT_NE(error.recoverySuggestion().find("iso-8859-1"), std::string::npos);

    // Multi-byte encodings substitute the same way.
    HVStringEncoding sjis = HVFileEncodings::encodingFromString("shift-jis");
    HVError sjisError;
    auto sjisBytes = HVFileEncodings::dataUsingEncoding(u"日本 Привет 😀", sjis, &sjisError);
    ASSERT_TRUE(sjisBytes);
    EXPECT_EQ(sjisError.code(), 16);
    EXPECT_NE(sjisBytes->find("?"), std::string::npos);

    // An encoding that the table does not know falls back to the 8-bit default.
    HVStringEncoding unknown = 4242;
    HVError unknownError;
    auto fallback = HVFileEncodings::dataUsingEncoding(u"abc", unknown, &unknownError);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(*fallback, "abc");
    EXPECT_EQ(unknown, HVISOLatin1StringEncoding);
    EXPECT_EQ(unknownError.code(), 16);
}

TEST_F(HVFileEncodingsTest, TheDefaultEncodingComesFromThePreference) {
    HVStringEncoding encoding = HVNoStringEncoding;
    auto bytes = HVFileEncodings::dataUsingEncoding(u"é", encoding);
    EXPECT_EQ(encoding, HVUTF8StringEncoding);
    EXPECT_EQ(*bytes, "\xC3\xA9");
    HVPreferences::sharedInstance().setObject("HVTextEncoding", "iso-8859-15");
    encoding = HVNoStringEncoding;
    bytes = HVFileEncodings::dataUsingEncoding(u"€", encoding);
    EXPECT_EQ(*bytes, "\xA4");
    // A value of the wrong type is absent, so the default is utf-8 again.
    HVPreferences::sharedInstance().setObject("HVTextEncoding", 12);
    EXPECT_EQ(HVFileEncodings::defaultEncoding(), HVUTF8StringEncoding);
}

// Little-endian text with its mark is the round trip of the UTF-16 sample above. Data without a
// file (a remote copy) is detected from its bytes.
TEST_F(HVFileEncodingsTest, BigEndianUTF16IsReadAndWrittenBackBigEndian) {
    std::string big("\xFE\xFF\0h\xD8\x3D\xDE\x00", 8);
    EXPECT_EQ(HVFileEncodings::byteOrderOfData(big), HVByteOrder::BigEndian);
    EXPECT_EQ(HVFileEncodings::byteOrderOfData("\xFF\xFE"), HVByteOrder::LittleEndian);
    HVStringEncoding encoding = HVNoStringEncoding;
    auto text = HVFileEncodings::createWithData(big, dir.pathFor("remote-copy.txt"), encoding);
    ASSERT_TRUE(text);
    EXPECT_EQ(encoding, HVUnicodeStringEncoding);
    EXPECT_EQ(*text, u"h😀");
    EXPECT_EQ(HVFileEncodings::dataUsingEncoding(*text, encoding, nullptr, HVByteOrder::BigEndian),
              big);
}
