#pragma once

#include <string>
#include <vector>

// Puts the test bundles of tests/data/bundles and a theme of known colours ("test.cli") into
// the user's support folder of this test run, once, before the command line's shared bundle
// and theme repositories first load.
void HVInstallCLITestData();

// The test theme's colours, by style id, as the HTML output writes them.
inline constexpr const char* kCLITestTheme = "test.cli";

// What one run of halvet-cli in this process printed, and its exit status.
struct HVToolRun {
    int status;
    std::string out;
    std::string err;
};
// Runs the command line tool in this process, after HVInstallCLITestData().
HVToolRun HVRunTool(std::vector<std::string> arguments);
