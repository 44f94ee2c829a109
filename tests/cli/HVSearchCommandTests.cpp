#include "HVChildProcess.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>

namespace {

HVChildProcess::Result search(std::vector<std::string> arguments,
                              const std::string& workingDirectory = {}) {
    HVChildProcess::Options options;
    options.arguments = {HALVET_CLI_PATH, "search"};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.workingDirectory = workingDirectory;
    options.timeLimit = 60;
    auto result = HVChildProcess::run(options);
    EXPECT_TRUE(result);
    return result.value_or(HVChildProcess::Result{});
}

} // namespace

// The file is decoded as the editor decodes it (here by its declaration), so a Cyrillic
// pattern typed in UTF-8 finds Cyrillic text stored in windows-1251, and the line is printed in
// UTF-8.
TEST(HalvetCLISearch, FindsUnicodeTextInAFileOfAnotherEncoding) {
    HVTemporaryDirectory dir;
    dir.write("site/page.html", "<html><head><meta http-equiv=\"Content-Type\" "
                                "content=\"text/html; charset=windows-1251\"></head>\n"
                                "<p>\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0!</p>\n");
    auto result = search({"\xD0\xBC\xD0\xB8\xD1\x80", "site"}, dir.path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.standardOutput, "site/page.html:2:12:<p>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2"
                                     "\xD0\xB5\xD1\x82, \xD0\xBC\xD0\xB8\xD1\x80!</p>\n");
}

// Columns count characters: "é" is two bytes and one UTF-16 unit, "😀" four bytes and two
// units, and each is one column.
TEST(HalvetCLISearch, ColumnsCountCharactersNotBytesOrCodeUnits) {
    HVTemporaryDirectory dir;
    std::string file = dir.write("a.txt", "first\n\xC3\xA9\xF0\x9F\x98\x80 x x\r\nlast x\n");
    auto result = search({"x", file});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, file + ":2:4:\xC3\xA9\xF0\x9F\x98\x80 x x\n" + file +
                                         ":2:6:\xC3\xA9\xF0\x9F\x98\x80 x x\n" + file +
                                         ":3:6:last x\n");
}

TEST(HalvetCLISearch, ExitStatusSaysWhetherAnythingMatchedOrWentWrong) {
    HVTemporaryDirectory dir;
    std::string file = dir.write("a.txt", "needle\n");
    EXPECT_EQ(search({"needle", file}).exitStatus, 0);
    EXPECT_EQ(search({"thread", file}).exitStatus, 1);

    // As grep: an error makes it 2 even though the other path matched, whose lines still print.
    auto missing = search({"needle", dir.pathFor("missing"), file});
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_EQ(missing.standardOutput, file + ":1:1:needle\n");
    EXPECT_NE(missing.standardError.find("missing\": No such file"), std::string::npos);

    auto badPattern = search({"--regex", "needle(", file});
    EXPECT_EQ(badPattern.exitStatus, 2);
    EXPECT_EQ(badPattern.standardOutput, "");
    EXPECT_NE(badPattern.standardError.find("invalid regular expression"), std::string::npos);

    EXPECT_EQ(search({"--frobnicate", "needle", file}).exitStatus, 2);
    EXPECT_EQ(search({"needle"}).exitStatus, 2);
}

TEST(HalvetCLISearch, CaseSensitiveUnlessAskedAndLiteralUnlessRegex) {
    HVTemporaryDirectory dir;
    std::string file = dir.write("a.txt", "Hello\nhello\nh.llo\n");
    EXPECT_EQ(search({"hello", file}).standardOutput, file + ":2:1:hello\n");
    EXPECT_EQ(search({"--ignore-case", "hello", file}).standardOutput,
              file + ":1:1:Hello\n" + file + ":2:1:hello\n");
    EXPECT_EQ(search({"h.llo", file}).standardOutput, file + ":3:1:h.llo\n");
    EXPECT_EQ(search({"--regex", "^h.llo$", file}).standardOutput,
              file + ":2:1:hello\n" + file + ":3:1:h.llo\n");
    EXPECT_EQ(search({"--regex", "--ignore-case", "^H\\w", file}).standardOutput,
              file + ":1:1:Hello\n" + file + ":2:1:hello\n");
    // A match across lines shows the line it starts on.
    EXPECT_EQ(search({"--regex", "lo\\nh", file}).standardOutput,
              file + ":1:4:Hello\n" + file + ":2:4:hello\n");
}

// Every match counts, several on a line too, as ripgrep's --count-matches counts them.
TEST(HalvetCLISearch, CountGivesEveryMatchPerFile) {
    HVTemporaryDirectory dir;
    dir.write("tree/a.js", "function a() { function b() {} }\nfunction c() {}\n");
    dir.write("tree/b.js", "nothing here\n");
    dir.write("tree/sub/c.js", "function d() {}\n");
    auto result = search({"--count", "--regex", "function\\s+\\w+\\s*\\(", "tree/"}, dir.path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "tree/a.js:3\ntree/sub/c.js:1\n");
}

// Files of a folder come in name order, folders in their place; files that are not text are
// not searched.
TEST(HalvetCLISearch, FolderInNameOrderWithoutBinaryFiles) {
    HVTemporaryDirectory dir;
    dir.write("tree/b.txt", "needle\n");
    dir.write("tree/a/z.txt", "needle\n");
    dir.write("tree/c.txt", "needle\n");
    constexpr char png[] = "\x89PNG\r\n\x1A\n\0\0\0\rIHDR needle\n";
    dir.write("tree/image.png", std::string_view(png, sizeof png - 1));
    // A name of no known kind is looked at: a NUL byte makes it binary.
    dir.write("tree/data", std::string_view("needle\0\x01\n", 9));
    auto result = search({"needle", "tree"}, dir.path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.standardOutput,
              "tree/a/z.txt:1:1:needle\ntree/b.txt:1:1:needle\ntree/c.txt:1:1:needle\n");
}
