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

namespace {

struct Sample {
    std::string language;
    std::string path;
};

std::vector<Sample> samples() {
    std::vector<Sample> found;
    std::string root = HVTestDataPath("highlight");
    std::vector<std::string> paths = HVFileSystem::listRecursively(root);
    std::sort(paths.begin(), paths.end());
    for (const std::string& path : paths) {
        std::string name = HVFileSystem::lastPathComponent(path);
        std::string folder = HVFileSystem::deletingLastPathComponent(path);
        if (name.rfind("sample.", 0) != 0 ||
            HVFileSystem::deletingLastPathComponent(folder) != root)
            continue;
        std::string extension = HVFileSystem::pathExtension(name);
        if (extension == "runs" || extension == "outline" || !HVFileSystem::isRegularFile(path))
            continue;
        found.push_back({HVFileSystem::lastPathComponent(folder), path});
    }
    return found;
}

bool regenerating() {
    const char* value = std::getenv("HALVET_REGENERATE_REFERENCES");
    return value && std::string(value) == "1";
}

class ReferenceTest : public ::testing::Test {
public:
    explicit ReferenceTest(Sample sample) : m_sample(std::move(sample)) {}

    void TestBody() override {
        HVInstallCLITestData();
        check({"highlight", "--format", "runs"}, ".runs");
        check({"outline"}, ".outline");
    }

private:
    void check(std::vector<std::string> arguments, const std::string& suffix) {
        arguments.insert(arguments.begin(), HALVET_CLI_PATH);
        arguments.push_back(m_sample.path);
        HVChildProcess::Options options;
        options.arguments = arguments;
        options.timeLimit = 300;
        HVError error;
        auto result = HVChildProcess::run(options, &error);
        ASSERT_TRUE(result) << error.fullDescription();
        ASSERT_EQ(result->exitStatus, 0) << result->standardError;
        std::string reference = m_sample.path + suffix;
        if (regenerating()) {
            ASSERT_TRUE(
                HVFileSystem::writeFileAtomically(reference, result->standardOutput, &error))
                << error.fullDescription();
            std::cout << "wrote " << reference << "\n";
            return;
        }
        ASSERT_TRUE(HVFileSystem::isRegularFile(reference))
            << reference << " is missing: run scripts/test --regenerate-references";
        EXPECT_EQ(result->standardOutput, HVReadFile(reference))
            << "the output differs from " << reference
            << "; if the change is right, run scripts/test --regenerate-references and review "
               "the diff";
    }

    Sample m_sample;
};

// One test per language, named after its folder.
const bool registered = [] {
    for (Sample& sample : samples()) {
        std::string name = sample.language;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum((unsigned char)c); }, '_');
        ::testing::RegisterTest(
            "HVHighlightReferences", name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
            [sample]() -> ::testing::Test* { return new ReferenceTest(sample); });
    }
    return true;
}();

} // namespace
