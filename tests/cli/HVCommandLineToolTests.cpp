#include "HVCLITestSupport.h"
#include "HVChildProcess.h"
#include "HVFileSystem.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

// Which encoding a file is read in is the core tests' (by name, declaration or mark): this is
// how the answer is written.
TEST(HalvetCLIInfo, ReportsEncodingLineBreaksAndLength) {
    HVIsolatedPreferences preferences;
    HVTemporaryDirectory dir;
    std::string lf = dir.write("lf.txt", "one\ntwo\n");
    std::string mixed = dir.write("mixed.txt", "a\r\nb\nc\r");
    std::string none = dir.write("none.txt", "");
    std::string latin = dir.write("latin.txt", "caf\xE9\r\n");
    auto run = HVRunTool({"info", lf, mixed, none, latin});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, lf + "\tutf-8\tLF\t8\n" + mixed + "\tutf-8\tLF+CR+CRLF\t7\n" + none +
                           "\tutf-8\tnone\t0\n" + latin +
                           "\tutf-8 (fallback iso-8859-1)\tCRLF\t6\n");
}

TEST(HalvetCLIInfo, UnreadablePathsAreReportedAndTheRestStillAnswered) {
    HVTemporaryDirectory dir;
    std::string good = dir.write("good.txt", "x");
    HVChildProcess::Options options;
    options.arguments = {HALVET_CLI_PATH, "info", dir.pathFor("missing.txt"), good, dir.path()};
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->exitStatus, 1);
    EXPECT_EQ(result->standardOutput, good + "\tutf-8\tnone\t1\n");
    EXPECT_NE(result->standardError.find("missing.txt"), std::string::npos);
    EXPECT_NE(result->standardError.find("No such file"), std::string::npos);
    EXPECT_NE(result->standardError.find("Is a directory"), std::string::npos);
}

TEST(HalvetCLI, UsageOnBadArguments) {
    EXPECT_EQ(HVRunTool({}).status, 2);
    EXPECT_EQ(HVRunTool({"info"}).status, 2);
    EXPECT_NE(HVRunTool({"frobnicate"}).err.find("usage"), std::string::npos);
}

TEST(HalvetCLI, FindsItsDataBesideTheInstalledProgram) {
    // The layout that "cmake --install" makes: PREFIX/bin/halvet-cli and PREFIX/share/halvet.
    HVTemporaryDirectory prefix;
    HVFileSystem::createDirectory(prefix.pathFor("bin"));
    prefix.write("share/halvet/Themes/x.plist", "<plist/>");
    std::string installed = prefix.pathFor("bin/halvet-cli");
    ASSERT_TRUE(HVFileSystem::writeFileAtomically(installed, HVReadFile(HALVET_CLI_PATH)));
    ::chmod(installed.c_str(), 0755);
    HVChildProcess::Options options;
    options.arguments = {installed, "paths"};
    options.environment = std::vector<std::string>{"HOME=" + prefix.path(), "XDG_DATA_HOME=/data"};
    auto result = HVChildProcess::run(options);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->standardOutput,
              "support\t/data/Halvet\nresources\t" + prefix.pathFor("share/halvet") + "\n");
}
