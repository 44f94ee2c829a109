#include "HVDispatcher.h"
#include "HVRemoteLogController.h"

#include <gtest/gtest.h>

TEST(HVRemoteLogController, EscapesWhatCouldDriveATerminal) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"226 Directory send OK.\r\n", "226 Directory send OK.\n"},
        {"\x1b[?2004hdav:/dav/> ", "\\x1b[?2004hdav:/dav/> "},
        {"bell\a and nul", "bell\\x07 and nul"},
        {"caf\xc3\xa9 \xe6\x97\xa5", "caf\xc3\xa9 \xe6\x97\xa5"},
        {"bad \xff\xfe byte", "bad \\xff\\xfe byte"},
        // A C1 control (CSI) is an escape on some terminals.
        {"c1 \xc2\x9b"
         "31m",
         "c1 \\xc2\\x9b31m"},
        {"lone \r carriage", "lone \\x0d carriage"},
        {"cut \xe6\x97", "cut \\xe6\\x97"},
        {"del \x7f", "del \\x7f"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HVEscapeControlCharacters(c.input), c.expected) << c.input;
}

TEST(HVRemoteLogController, KeepsTheTranscriptAndTellsItsWatcherOnTheMainThread) {
    auto log = std::make_shared<HVRemoteLogController>();
    std::string seen;
    log->setWatcher([&](const std::string& appended) {
        EXPECT_TRUE(HVDispatcher::main().isMainThread());
        seen += appended;
    });
    std::thread reader([&] {
        log->appendStringToLog("ftp> ls\r\n");
        log->appendStringToLog("\x1b]0;title\a");
    });
    reader.join();
    HVDispatcher::main().runUntil([&] { return !seen.empty() && seen.size() > 8; }, 5);
    EXPECT_EQ(log->transcript(), "ftp> ls\n\\x1b]0;title\\x07");
    EXPECT_EQ(seen, log->transcript());

    // Redrawn lines (sftp's progress meter, its "\r" before a prompt) become lines; the
    // returns before a line feed go, also when the feed comes with the next piece.
    auto progress = std::make_shared<HVRemoteLogController>();
    for (const char* piece :
         {"\rpass: \n", "a.css   0%\ra.css 100%\r", "\r\nsftp> get x\r\r", "\n"})
        progress->appendStringToLog(piece);
    EXPECT_EQ(progress->transcript(), "pass: \na.css   0%\na.css 100%\nsftp> get x\n");

    // A log that goes away before the main thread runs its news is not touched.
    log->appendStringToLog("late");
    log.reset();
    HVDispatcher::main().runFor(0.01);
}
