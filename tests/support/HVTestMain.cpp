#include "HVDispatcher.h"
#include "HVFileSystem.h"

#include <cstdlib>
#include <gtest/gtest.h>

// Every test program runs with a home of its own, so that no test reads or writes the
// preferences and support folder of the person running it.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Tests start threads that post to the main thread before the test asks for it.
    HVDispatcher::main().adoptCurrentThread();
    auto home = HVFileSystem::makeTemporaryDirectory("/tmp/halvet-home.XXXXXX");
    if (!home)
        return 2;
    ::setenv("HOME", home->c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (*home + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (*home + "/data").c_str(), 1);
    int result = RUN_ALL_TESTS();
    HVFileSystem::removeRecursively(*home);
    return result;
}
