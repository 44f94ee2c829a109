#include "HVCLITestSupport.h"
#include "HVChildProcess.h"
#include "HVPreferences.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

TEST(HalvetCLIHighlight, HTMLIsAStandalonePageInTheThemesColours) {
    HVTemporaryDirectory directory;
    std::string path = directory.write("p.tmarkup", "<b class=\"x\">a & b</b>\n<!-- c -->\n");
    auto run = HVRunTool({"highlight", "--theme", kCLITestTheme, path});
    EXPECT_EQ(run.status, 0) << run.err;
    // Every run that does not look like plain text is a span styled in place; the text is
    // escaped.
    EXPECT_EQ(
        run.out,
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>p.tmarkup</title>\n"
        "<style>\nbody { margin: 0; background-color: #101010; color: #e0e0e0; }\n"
        "pre { margin: 0; padding: 8px; font-family: monospace; }\n"
        "</style>\n</head>\n<body>\n<pre>"
        "<span style=\"color:#0000ff;\">&lt;b class=</span>"
        "<span style=\"color:#00ff00;\">\"x\"</span>"
        "<span style=\"color:#0000ff;\">&gt;</span>a &amp; b"
        "<span style=\"color:#0000ff;\">&lt;/b&gt;</span>\n"
        "<span style=\"color:#808080;background-color:#202020;font-style:italic;\">"
        "&lt;!-- c --&gt;</span>\n"
        "</pre>\n</body>\n</html>\n");
}

TEST(HalvetCLIHighlight, ANSIUsesTwentyFourBitColoursAndResetsAtLineEnds) {
    HVTemporaryDirectory directory;
    std::string path = directory.write("c.tscript", "if x\n/* a\nb */");
    auto run = HVRunTool({"highlight", "--format", "ansi", "--theme", kCLITestTheme, path});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string plain = "\x1b[0;38;2;224;224;224;48;2;16;16;16m";
    const std::string keyword = "\x1b[0;38;2;255;0;0;48;2;16;16;16;1m";
    const std::string comment = "\x1b[0;38;2;128;128;128;48;2;32;32;32;3m";
    const std::string reset = "\x1b[0m";
    EXPECT_EQ(run.out, keyword + "if" + reset + plain + " x" + reset + "\n" + comment + "/* a" +
                           reset + "\n" + comment + "b */" + reset);
}

TEST(HalvetCLIOutline, OneLinePerEntryWithItsLineNumber) {
    HVTemporaryDirectory directory;
    std::string path = directory.write("o.tscript", "function a() {}\n// -----\n\nclass B {\n}\n"
                                                    "  function c() {}\n");
    auto run = HVRunTool({"outline", path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "1\ta()\n2\t-\n4\tclass B\n6\tc()\n");
    // A language without code navigation lists nothing.
    std::string style = directory.write("s.tstyle", "a { color: red }\n");
    EXPECT_EQ(HVRunTool({"outline", style}).out, "1\ta\n");
}

TEST(HalvetCLIHighlight, ErrorsAreClearAndEndWithStatusOne) {
    HVTemporaryDirectory directory;
    std::string unknown = directory.write("notes.unknownext", "x");
    auto run = HVRunTool({"highlight", unknown});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "halvet-cli: " + unknown +
                           ": unknown file type: no language bundle claims the extension "
                           "\"unknownext\"\n");
    // Extensions compare exactly, as in the editor.
    std::string capitals = directory.write("A.TSCRIPT", "x");
    EXPECT_EQ(HVRunTool({"outline", capitals}).status, 1);
    std::string bare = directory.write("Makefile", "x");
    EXPECT_NE(HVRunTool({"highlight", bare}).err.find("no extension"), std::string::npos);
    // A dot-file is claimed by its whole name, as in the editor.
    std::string dotFile = directory.write(".tscript", "var");
    EXPECT_EQ(HVRunTool({"highlight", "--format", "runs", dotFile}).out,
              "0\t3\tstorage.type\ttext.test-script\n");

    auto missing = HVRunTool({"highlight", directory.pathFor("missing.tscript")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No such file"), std::string::npos) << missing.err;

    std::string good = directory.write("g.tscript", "var");
    auto theme = HVRunTool({"highlight", "--theme", "no.such.theme", good});
    EXPECT_EQ(theme.status, 1);
    EXPECT_EQ(theme.err, "halvet-cli: no theme has the identifier \"no.such.theme\"\n");
    EXPECT_EQ(HVRunTool({"highlight", "--format", "pdf", good}).status, 2);
    EXPECT_EQ(HVRunTool({"highlight", "--bold", good}).status, 2);
    EXPECT_EQ(HVRunTool({"highlight", good, good}).status, 2);
    EXPECT_EQ(HVRunTool({"outline"}).status, 2);
}

TEST(HalvetCLIHighlight, TheProgramItselfAnswersOnItsStreams) {
    HVInstallCLITestData();
    HVTemporaryDirectory directory;
    std::string path = directory.write("d.tscript", "caf\xE9 = 'x';\n");
    HVChildProcess::Options options;
    options.arguments = {HALVET_CLI_PATH, "highlight", "--format", "runs", path};
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->exitStatus, 0);
    EXPECT_EQ(result->standardOutput, "7\t3\tstring.quoted.single\ttext.test-script\n");
    // Bytes that are not UTF-8 are read with the fallback encoding, and said so.
    EXPECT_NE(result->standardError.find("warning"), std::string::npos) << result->standardError;
}

TEST(HalvetCLIHighlight, LargeTextsKeepEveryCharacter) {
    // More than one output buffer of text with a character outside the BMP every third code
    // unit, so that pieces end next to surrogate pairs.
    std::string line;
    for (int i = 0; i < 200; ++i)
        line += "a\xF0\x9F\x98\x80";
    line += " <&>\n";
    std::string text;
    while (text.size() < 3 * 1024 * 1024)
        text += line;
    HVTemporaryDirectory directory;
    std::string path = directory.write("big.tscript", text);
    auto run = HVRunTool({"highlight", path});
    EXPECT_EQ(run.status, 0) << run.err;
    std::size_t start = run.out.find("<pre>") + 5;
    std::size_t end = run.out.rfind("</pre>");
    std::string body = run.out.substr(start, end - start);
    std::string expected;
    for (char c : text)
        expected += c == '<'   ? std::string("&lt;")
                    : c == '>' ? "&gt;"
                    : c == '&' ? "&amp;"
                               : std::string(1, c);
    EXPECT_TRUE(body == expected) << "the body differs from the escaped text (" << body.size()
                                  << " bytes against " << expected.size() << ")";
}

// The runs name the style and the language of every styled run; every kind of line break
// becomes the preferred one before painting.
TEST(HalvetCLIHighlight, EveryKindOfLineBreakBecomesThePreferredOne) {
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory directory;
    std::string path = directory.write("m.tscript", "if\r\nvar\rx\n'a'\r\n\r");
    std::string unix = directory.write("u.tscript", "if\nvar\nx\n'a'\n\n");
    auto runs = [](const std::string& file) {
        return HVRunTool({"highlight", "--format=runs", file}).out;
    };
    std::string expected = runs(unix);
    EXPECT_EQ(expected, "0\t2\tkeyword.control\ttext.test-script\n"
                        "3\t3\tstorage.type\ttext.test-script\n"
                        "9\t3\tstring.quoted.single\ttext.test-script\n");
    EXPECT_EQ(runs(path), expected);
    // With the preference for CR LF every line break takes two code units.
    HVPreferences::sharedInstance().setObject("HVLineBreak", 2);
    EXPECT_EQ(runs(path), "0\t2\tkeyword.control\ttext.test-script\n"
                          "4\t3\tstorage.type\ttext.test-script\n"
                          "12\t3\tstring.quoted.single\ttext.test-script\n");
    HVPreferences::sharedInstance().setObject("HVLineBreak", 1);
    EXPECT_EQ(runs(unix), expected);
}
