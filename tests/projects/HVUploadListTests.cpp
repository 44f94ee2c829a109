#include "HVUploadList.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// The list as one line: "path state[: error]" per entry, oldest first.
std::string dump(const HVUploadList& list) {
    std::string result;
    for (const HVUploadList::Entry& entry : list.entries()) {
        result += (result.empty() ? "" : "; ") + entry.path;
        result += std::array{" queued", " failed", " finished"}[int(entry.state)];
        if (entry.error)
            result += ": " + entry.error->description();
    }
    return result;
}

HVError uploadError() {
    return HVError(HVErrorDomain, 1, "Could not upload file");
}

class HVUploadListTest : public ::testing::Test {
protected:
    void SetUp() override { list.reset(); }
    void TearDown() override { list.reset(); }
    HVUploadList& list = HVUploadList::sharedInstance();
};

} // namespace

TEST_F(HVUploadListTest, SavingAFileAgainReusesItsUnfinishedRowWithTheNewUploadsActions) {
    int oldRetries = 0;
    int newRetries = 0;
    std::uint64_t first = list.add("/site", "index.html", {[&] { ++oldRetries; }, {}});
    list.failed(first, uploadError());
    std::uint64_t second = list.add("/site", "index.html", {[&] { ++newRetries; }, {}});
    EXPECT_EQ(second, first);
    EXPECT_EQ(dump(list), "index.html queued");

    // The same path on another site is another file.
    list.add("/other", "index.html", {});
    EXPECT_EQ(list.entries().size(), 2u);

    list.failed(first, uploadError());
    list.retry(first);
    EXPECT_EQ(oldRetries, 0);
    EXPECT_EQ(newRetries, 1);

    // Once uploaded, the next save is a new row, and the finished one stays to be seen.
    list.finished(first);
    std::uint64_t third = list.add("/site", "index.html", {});
    EXPECT_NE(third, first);
    EXPECT_EQ(dump(list), "index.html finished; index.html queued; index.html queued");
    EXPECT_EQ(list.countOfUnfinished(), 2u);
}

TEST_F(HVUploadListTest, DropsTheOldestFinishedEntriesButNeverAnUnfinishedOne) {
    std::uint64_t waiting = list.add("/site", "waiting.css", {});
    std::uint64_t broken = list.add("/site", "broken.css", {});
    list.failed(broken, uploadError());
    for (int i = 0; i < 25; ++i)
        list.finished(list.add("/site", "file" + std::to_string(i) + ".html", {}));

    std::vector<HVUploadList::Entry> entries = list.entries();
    ASSERT_EQ(entries.size(), 22u);
    EXPECT_EQ(entries[0].identifier, waiting);
    EXPECT_EQ(entries[1].identifier, broken);
    EXPECT_EQ(entries[2].path + " " + entries.back().path, "file5.html file24.html");
}

TEST_F(HVUploadListTest, RetryAndCancelCallTheEntrysActions) {
    std::uint64_t identifier = 0;
    std::vector<std::string> calls;
    // The network is still down: the retried upload fails again before retry returns.
    identifier = list.add("/site", "a.js",
                          {[&] {
                               calls.push_back("retry");
                               list.failed(identifier, uploadError());
                           },
                           [&] { calls.push_back("cancel"); }});
    list.failed(identifier, uploadError());
    list.retry(identifier);
    EXPECT_EQ(dump(list), "a.js failed: Could not upload file");

    list.cancel(identifier);
    EXPECT_EQ(calls, (std::vector<std::string>{"retry", "cancel"}));
    EXPECT_EQ(dump(list), "");
    EXPECT_EQ(list.countOfUnfinished(), 0u);

    // A finished upload has nothing left to retry or cancel.
    int actions = 0;
    std::uint64_t done = list.add("/site", "b.js", {[&] { ++actions; }, [&] { ++actions; }});
    list.finished(done);
    list.retry(done);
    list.cancel(done);
    EXPECT_EQ(actions, 0);
    EXPECT_EQ(dump(list), "b.js finished");
}

TEST_F(HVUploadListTest, RetryingASitesFailuresLeavesOtherSitesAndWaitingEntriesAlone) {
    std::vector<std::string> retried;
    auto actions = [&](std::string name) {
        return HVUploadList::Actions{[&retried, name] { retried.push_back(name); }, {}};
    };
    std::uint64_t a = list.add("/site", "a", actions("a"));
    list.add("/site", "b", actions("b"));
    std::uint64_t c = list.add("/other", "c", actions("c"));
    std::uint64_t d = list.add("/site", "d", actions("d"));
    list.failed(a, uploadError());
    list.failed(c, uploadError());
    list.failed(d, uploadError());

    list.retryFailed("/site");
    EXPECT_EQ(retried, (std::vector<std::string>{"a", "d"}));
    EXPECT_EQ(dump(list), "a queued; b queued; c failed: Could not upload file; d queued");
}

TEST_F(HVUploadListTest, TellsObserversOfEveryChange) {
    int notifications = 0;
    HVScopedObserver observer(HVNotificationCenter::defaultCenter(),
                              HVNotificationCenter::defaultCenter().addObserver(
                                  std::string(HVUploadListChangedNotification), &list,
                                  [&](const HVNotification&) { ++notifications; }));
    std::uint64_t a = list.add("/site", "a", {});
    list.add("/site", "a", {});
    list.failed(a, uploadError());
    list.retry(a);
    list.finished(a);
    std::uint64_t b = list.add("/site", "b", {});
    list.cancel(b);
    EXPECT_EQ(notifications, 7);
}
