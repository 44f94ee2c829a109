#include "HVRemoteCommandQuoting.h"
#include "HVRemoteListingParser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <unistd.h>

namespace {

std::vector<HVRemoteFile> parse(std::vector<std::string> lines, HVRemoteProtocol protocol,
                                std::string_view path = "/base") {
    return HVRemoteListingParser::parse(lines, protocol, path);
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool underAddressSanitizer = true;
#else
constexpr bool underAddressSanitizer = false;
#endif
#else
constexpr bool underAddressSanitizer = false;
#endif

} // namespace

TEST(HVRemoteListingParser, ReadsEveryFieldOfAUnixLine) {
    auto files = parse({"drwxr-x---    3 alice staff       4096 Dec  5 15:24 my dir"},
                       HVRemoteProtocol::SFTP);
    ASSERT_EQ(files.size(), 1u);
    const HVRemoteFile& file = files[0];
    EXPECT_EQ(file.modeString().value_or(""), "drwxr-x---");
    EXPECT_EQ(file.user.value_or(""), "alice");
    EXPECT_EQ(file.group.value_or(""), "staff");
    EXPECT_EQ(file.size, 4096u);
    EXPECT_EQ(file.dateString.value_or(""), "Dec  5 15:24");
    EXPECT_EQ(file.name, "my dir");
    EXPECT_EQ(file.path, "/base/my dir");
    EXPECT_TRUE(file.isDirectory);
    EXPECT_FALSE(file.isSymlink);
    EXPECT_EQ(file.sizeString(), "--");
}

TEST(HVRemoteListingParser, ASymlinkIsTheLinkWithoutItsTarget) {
    auto files = parse({"lrwxrwxrwx    1 bob users          7 Jan 12  2023 a -> b c"},
                       HVRemoteProtocol::FTP, "/");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "a");
    EXPECT_EQ(files[0].path, "/a");
    EXPECT_TRUE(files[0].isSymlink);
    EXPECT_FALSE(files[0].isDirectory);
    EXPECT_EQ(files[0].dateString.value_or(""), "Jan 12  2023");
    EXPECT_EQ(files[0].size, 7u);
}

TEST(HVRemoteListingParser, WithoutAGroupColumnTheSizeIsTakenForTheGroup) {
    auto files =
        parse({"-rw-r--r--   1 carol      1234 Dec 05 15:24 notes.txt"}, HVRemoteProtocol::FTP);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].user.value_or(""), "carol");
    EXPECT_EQ(files[0].group.value_or(""), "1234");
    EXPECT_EQ(files[0].size, 0u);
    EXPECT_EQ(files[0].name, "notes.txt");
}

TEST(HVRemoteListingParser, ReadsWindowsAndWebDAVLines) {
    struct Case {
        std::string line;
        HVRemoteProtocol protocol;
        std::string name;
        bool isDirectory;
        std::uint64_t size;
        std::string date;
    };
    const Case cases[] = {
        {"12-05-23  03:24PM       <DIR>          new dir", HVRemoteProtocol::FTP, "new dir", true,
         0, "12-05-23  03:24PM"},
        {"01-17-24  11:02AM                 2048 read me.txt", HVRemoteProtocol::FTP, "read me.txt",
         false, 2048, "01-17-24  11:02AM"},
        // A client speaking French: its own month names.
        {"        up 7.txt     16  déc.  5  2023", HVRemoteProtocol::WebDAV, "up 7.txt", false, 16,
         "déc.  5  2023"},
        {"        Coll: x.txt     16  Dec  5 15:25", HVRemoteProtocol::WebDAV, "Coll: x.txt", false,
         16, "Dec  5 15:25"},
    };
    for (const Case& c : cases) {
        auto files = parse({c.line}, c.protocol);
        ASSERT_EQ(files.size(), 1u) << c.line;
        EXPECT_EQ(files[0].name, c.name) << c.line;
        EXPECT_EQ(files[0].isDirectory, c.isDirectory) << c.line;
        EXPECT_EQ(files[0].size, c.size) << c.line;
        EXPECT_EQ(files[0].dateString.value_or(""), c.date) << c.line;
    }
}

TEST(HVRemoteListingParser, TheSFTPLinkCountIsNotTakenForTheOwner) {
    auto files = parse({"drwxr-xr-x    ? 1001     1002         4096 Dec  5 15:24 newdir"},
                       HVRemoteProtocol::SFTP);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].user.value_or(""), "1001");
    EXPECT_EQ(files[0].group.value_or(""), "1002");
}

TEST(HVRemoteListingParser, SkipsRepliesAndHeadersAndNamesThatLeaveTheDirectory) {
    auto files = parse(
        {
            "ls -la \"/base\"",
            "150 Here comes the directory listing.",
            "total 12",
            "drwxr-xr-x    2 u g 4096 Dec  5 15:24 .",
            "drwxr-xr-x    2 u g 4096 Dec  5 15:24 ..",
            "-rw-r--r--    1 u g 1 Dec  5 15:24 ../x",
            "-rw-r--r--    1 u g 1 Dec  5 15:24 /etc/x",
            "-rw-r--r--    1 u g 1 Dec  5 15:24 a/b",
            "-rw-r--r--    1 u g 1 Dec  5 15:24    ",
            std::string("-rw-r--r--    1 u g 1 Dec  5 15:24 nul") + '\0' + "name",
            "-rw-r--r--    1 u g 1 Dec  5 15:24 kept",
            "226 Directory send OK.",
        },
        HVRemoteProtocol::FTP);
    std::string names;
    for (const HVRemoteFile& file : files)
        names += "[" + file.name + "]";
    EXPECT_EQ(names, "[kept]");
}

TEST(HVRemoteListingParser, ReadsLinesThatAreNotUTF8AsLatin1) {
    auto files = parse({"-rw-r--r--    1 u g 5 Dec  5 15:24 caf\xe9 \xff"}, HVRemoteProtocol::SFTP);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "caf\xc3\xa9 \xc3\xbf");
    EXPECT_EQ(files[0].size, 5u);
}

TEST(HVRemoteListingParser, ReadsSFTPOctalEscapesOfControlCharactersBack) {
    // sftp prints ESC as "\033"; other backslashes and digits are the name's own.
    auto files = parse({"-rw-r--r--    1 u g 5 Dec  5 15:24 esc\\033[1m\\177 \\101 \\9.txt"},
                       HVRemoteProtocol::SFTP);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ("esc\x1b[1m\x7f \\101 \\9.txt", files[0].name);
    EXPECT_EQ(parse({"-rw-r--r--    1 u g 5 Dec  5 15:24 esc\\033.txt"}, HVRemoteProtocol::FTP)
                  .at(0)
                  .name,
              "esc\\033.txt");
}

TEST(HVRemoteListingParser, RefusesALineWhoseSizeDoesNotFit) {
    auto files = parse({"-rw-r--r-- 1 u g 99999999999999999999999 Dec  5 15:24 huge",
                        "-rw-r--r-- 1 u g 18446744073709551615 Dec  5 15:24 largest"},
                       HVRemoteProtocol::SFTP);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "largest");
    EXPECT_EQ(files[0].size, 18446744073709551615u);
}

TEST(HVRemoteListingParser, ModeStringMarksAndPlaceholders) {
    HVRemoteFile file;
    EXPECT_FALSE(file.effectiveModeString().has_value());
    file.isDirectory = true;
    EXPECT_EQ(file.effectiveModeString().value_or(""), "d---------");
    file.setModeString("-rw-r--r--");
    EXPECT_TRUE(file.isDirectory) << "a mode never clears the mark";
    EXPECT_EQ(file.effectiveModeString().value_or(""), "-rw-r--r--");
    HVRemoteFile link;
    link.setModeString("lrwxrwxrwx");
    EXPECT_TRUE(link.isSymlink);
    HVRemoteFile plain;
    plain.isSymlink = true;
    EXPECT_EQ(plain.effectiveModeString().value_or(""), "l---------");
    plain.size = 42;
    EXPECT_EQ(plain.sizeString(), "42");
}

// Mutated real lines and random bytes, under AddressSanitizer in the sanitizer build.
TEST(HVRemoteListingParser, SurvivesHostileListings) {
    const std::vector<std::string> seeds = {
        "-rw-r--r--    1 1001     1001           16 Dec 05 15:24 up.txt",
        "drwxr-xr-x    ? 1001     1001         4096 Dec  5 15:24 newdir",
        "lrwxrwxrwx    1 u g 7 Jan 12  2023 a -> b",
        "Coll:   newdir      0  Dec  5 15:25",
        "        up.txt     16  Dec  5 15:25",
        "12-05-23  03:24PM       <DIR>          new dir",
        "01-17-24  11:02AM                 2048 read me.txt",
        "226 Transfer complete.",
    };
    const std::string alphabet = " -drwxlsStT?0123456789:<>/.DIRColl\t\xc3\xa9\xff\x80\x01";
    std::mt19937 random(20261207);
    auto pick = [&](std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
    };
    const HVRemoteProtocol protocols[] = {HVRemoteProtocol::FTP, HVRemoteProtocol::SFTP,
                                          HVRemoteProtocol::WebDAV};
    std::size_t entries = 0;
    for (int batch = 0; batch < 100; ++batch) {
        std::vector<std::string> lines;
        for (int i = 0; i < 1000; ++i) {
            std::string line = seeds[pick(seeds.size())];
            switch (pick(6)) {
            case 0: // random bytes
                line.clear();
                for (std::size_t n = pick(120); n > 0; --n)
                    line += static_cast<char>(pick(256));
                break;
            case 1: // over-long
                line += std::string(pick(2) ? 70'000 : 5'000, "a -"[pick(3)]);
                break;
            default:
                for (std::size_t n = pick(8); n > 0; --n) {
                    std::size_t at = pick(line.size() + 1);
                    switch (pick(4)) {
                    case 0:
                        line.insert(at, 1, alphabet[pick(alphabet.size())]);
                        break;
                    case 1:
                        if (at < line.size())
                            line.erase(at, 1);
                        break;
                    case 2:
                        line.insert(at, pick(2) ? " -> " : std::string(1, '\0'));
                        break;
                    default:
                        line.insert(0, std::string(pick(4), ' '));
                        break;
                    }
                }
                break;
            }
            lines.push_back(std::move(line));
        }
        auto files = HVRemoteListingParser::parse(lines, protocols[batch % 3], "/base");
        entries += files.size();
        for (const HVRemoteFile& file : files) {
            ASSERT_TRUE(HVRemoteListingParser::isSafeName(file.name)) << file.name;
            EXPECT_EQ(file.name.find('/'), std::string::npos);
            EXPECT_EQ(file.path, "/base/" + file.name);
            EXPECT_TRUE(HVRemoteCommandQuoting::isValidUTF8(file.name)) << file.name;
        }
    }
    EXPECT_GT(entries, 10'000u) << "the mutations should leave many lines readable";
}

TEST(HVRemoteListingParser, SkipsAHugeLineAndBoundsAHugeListing) {
    std::string huge = "-rw-r--r-- 1 u g 5 Dec  5 15:24 " + std::string(10'000'000, 'x');
    EXPECT_EQ(parse({huge, "-rw-r--r-- 1 u g 5 Dec  5 15:24 after"}, HVRemoteProtocol::SFTP).size(),
              1u);

    // A million entries in the plain build; fewer under AddressSanitizer, which is several
    // times slower and doubles the memory of every allocation.
    const std::size_t count = underAddressSanitizer ? 200'000 : 1'000'000;
    std::vector<std::string> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        lines.push_back("-rw-r--r-- 1 u g " + std::to_string(i) + " Dec  5 15:24 f" +
                        std::to_string(i));
    std::size_t before = residentBytes();
    auto files = HVRemoteListingParser::parse(lines, HVRemoteProtocol::SFTP, "/d");
    std::size_t grown = residentBytes() - std::min(before, residentBytes());
    EXPECT_EQ(files.size(), count);
    // An entry is about 240 bytes of short strings. AddressSanitizer adds red zones and keeps
    // freed scratch strings in quarantine, so it gets a looser bound.
    const std::size_t bytesPerEntry = underAddressSanitizer ? 2048 : 512;
    EXPECT_LT(grown, count * bytesPerEntry) << grown / count << " bytes per entry";

    lines.resize(HVRemoteListingParser::maximumLines + 1, "x");
    HVError error;
    EXPECT_TRUE(HVRemoteListingParser::parse(lines, HVRemoteProtocol::SFTP, "/d", &error).empty());
    EXPECT_EQ(error.code(), 1);
    EXPECT_NE(error.recoverySuggestion().find("1000000 lines"), std::string::npos)
        << error.recoverySuggestion();
}

TEST(HVRemoteListingParser, SFTPNamesLoseTheListedPathTheClientPutsInFront) {
    struct Case {
        std::string listingPath;
        std::string line;
        std::string name;
        std::string path;
    };
    const Case cases[] = {
        {"/tmp/qt/e/", "drwxr-xr-x    ? root root 4096 Dec  7 04:10 /tmp/qt/e/loc", "loc",
         "/tmp/qt/e/loc"},
        {"/", "-rwxr-xr-x    ? root root 0 Oct 15 22:25 /.dockerenv", ".dockerenv", "/.dockerenv"},
        {"", "drwxr-xr-x    ? root root 4096 Dec  7 04:10 ./loc", "loc", "loc"},
        {"loc", "-rw-r--r--    ? root root 1 Dec  7 04:10 loc/a b", "a b", "loc/a b"},
    };
    for (const Case& c : cases) {
        auto files = parse({c.line}, HVRemoteProtocol::SFTP, c.listingPath);
        ASSERT_EQ(files.size(), 1u) << c.line;
        EXPECT_EQ(files[0].name, c.name);
        EXPECT_EQ(files[0].path, c.path);
    }
    EXPECT_TRUE(parse({"drwxr-xr-x    ? root root 4096 Dec  7 04:10 /tmp/qt/e/.",
                       "drwxr-xr-x    ? root root 4096 Dec  7 04:10 /tmp/qt/e/..",
                       "drwxr-xr-x    ? root root 4096 Dec  7 04:10 /elsewhere/x"},
                      HVRemoteProtocol::SFTP, "/tmp/qt/e")
                    .empty());
}
