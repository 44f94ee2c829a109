// Reference tests: every tests/data/highlight/<language>/sample.<ext> is highlighted and
// outlined by the program, and the output is compared with sample.<ext>.runs and
// sample.<ext>.outline beside it. With HALVET_REGENERATE_REFERENCES=1 the files are written
// instead, for a reviewer to read in the diff.

#include "HVCLITestSupport.h"
#include "HVChildProcess.h"
#include "HVFileSystem.h"
#include "HVTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

TEST(HVHighlightReferences, EverySampleHighlightsAndOutlinesAsItsReference) {
    HVInstallCLITestData();
    const char* regenerate = std::getenv("HALVET_REGENERATE_REFERENCES");
    std::string root = HVTestDataPath("highlight");
    std::vector<std::string> paths = HVFileSystem::listRecursively(root);
    std::sort(paths.begin(), paths.end());
    for (const std::string& path : paths) {
        std::string name = HVFileSystem::lastPathComponent(path);
        std::string extension = HVFileSystem::pathExtension(name);
        if (name.rfind("sample.", 0) != 0 || extension == "runs" || extension == "outline" ||
            !HVFileSystem::isRegularFile(path))
            continue;
        for (auto [command, suffix] : {std::pair<std::vector<std::string>, std::string>{
                                           {"highlight", "--format", "runs"}, ".runs"},
                                       {{"outline"}, ".outline"}}) {
            SCOPED_TRACE(path + suffix);
            HVChildProcess::Options options;
            options.arguments = {HALVET_CLI_PATH};
            options.arguments.insert(options.arguments.end(), command.begin(), command.end());
            options.arguments.push_back(path);
            options.timeLimit = 300;
            HVError error;
            auto result = HVChildProcess::run(options, &error);
            ASSERT_TRUE(result) << error.fullDescription();
            EXPECT_EQ(result->exitStatus, 0) << result->standardError;
            std::string reference = path + suffix;
            if (regenerate && std::string(regenerate) == "1") {
                ASSERT_TRUE(
                    HVFileSystem::writeFileAtomically(reference, result->standardOutput, &error))
                    << error.fullDescription();
                std::cout << "wrote " << reference << "\n";
                continue;
            }
            if (!HVFileSystem::isRegularFile(reference)) {
                ADD_FAILURE() << "missing: run scripts/test --regenerate-references";
                continue;
            }
            EXPECT_EQ(result->standardOutput, HVReadFile(reference))
                << "if the change is right, run scripts/test --regenerate-references and review "
                   "the diff";
        }
    }
}
