#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

// The transcript of one connection: everything its client printed. Text arrives from the
// reading thread; control characters and escape sequences are stored escaped ("\x1b"), so
// nothing a server sends can drive a terminal or a widget, and a line redrawn after a
// carriage return (a progress meter) becomes a line of its own.
class HVRemoteLogController : public std::enable_shared_from_this<HVRemoteLogController> {
public:
    // Appends from any thread; tells the watcher (the log window) on the main thread when the
    // log is owned by a shared pointer.
    void appendStringToLog(std::string_view text);
    std::string transcript() const;

    using Watcher = std::function<void(const std::string& appended)>;
    // One watcher (the window showing the log); an empty function removes it.
    void setWatcher(Watcher watcher);

private:
    mutable std::mutex m_mutex;
    std::string m_transcript;
    Watcher m_watcher;
    std::uint64_t m_watcherGeneration = 0;
    // A carriage return waits for what follows it, which may come with the next piece.
    bool m_pendingReturn = false;
    bool m_atLineStart = true;
};

// Text with every control character except line feed and tab written as "\xNN", invalid UTF-8
// bytes written the same way, and carriage returns before a line feed dropped.
std::string HVEscapeControlCharacters(std::string_view text);
