#pragma once

#include "HVError.h"
#include "HVNotificationCenter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Posted on the main thread, with the list as object, whenever an entry is added or changes.
inline constexpr std::string_view HVUploadListChangedNotification = "HVUploadListChanged";

// Every upload the program has started and not yet seen finish, across all projects, so that
// no upload fails without a word: the window lists them, a failed one keeps its reason until it
// is retried or cancelled, and quitting asks while any is unfinished. Main thread only.
class HVUploadList {
public:
    enum class State { Queued, Failed, Finished };
    struct Entry {
        std::uint64_t identifier = 0;
        // The project's root directory, and the file's path below it.
        std::string site;
        std::string path;
        State state = State::Queued;
        std::optional<HVError> error;
    };
    struct Actions {
        // Queues the upload again.
        std::function<void()> retry;
        // Gives the upload up: a waiting one leaves the queue; the document stops waiting.
        std::function<void()> cancel;
    };

    static HVUploadList& sharedInstance();

    // A new entry, or the unfinished entry of the same site and path, queued again.
    std::uint64_t add(std::string site, std::string path, Actions actions);
    void finished(std::uint64_t identifier);
    void failed(std::uint64_t identifier, HVError error);
    void retry(std::uint64_t identifier);
    void cancel(std::uint64_t identifier);
    // Failed entries are queued again (the network came back).
    void retryFailed(std::string_view site);

    // Newest last; finished entries are kept until more than a few have gathered.
    std::vector<Entry> entries() const;
    std::optional<Entry> entry(std::uint64_t identifier) const;
    // Queued or failed.
    std::size_t countOfUnfinished() const;
    // Tests start from an empty list.
    void reset();

private:
    HVUploadList() = default;
    struct Item {
        Entry entry;
        Actions actions;
    };
    Item* find(std::uint64_t identifier);
    void dropOldFinishedEntries();
    void changed();
    std::vector<Item> m_items;
    std::uint64_t m_nextIdentifier = 1;
};
