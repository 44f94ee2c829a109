#include "HVNotificationCenter.h"

#include <gtest/gtest.h>

TEST(HVNotificationCenter, MatchesByNameAndObject) {
    HVNotificationCenter center;
    int a = 0, b = 0;
    std::vector<std::string> seen;
    center.addObserver("HVFileDidSave", &a,
                       [&](const HVNotification& n) { seen.push_back("a:" + n.name); });
    center.addObserver("HVFileDidSave", nullptr,
                       [&](const HVNotification& n) { seen.push_back("any:" + n.name); });
    center.addObserver("", nullptr,
                       [&](const HVNotification& n) { seen.push_back("*:" + n.name); });
    center.postNotificationName("HVFileDidSave", &b);
    center.postNotificationName("HVFileDidSave", &a);
    center.postNotificationName("HVFileWillClose", &a);
    EXPECT_EQ(seen, (std::vector<std::string>{"any:HVFileDidSave", "*:HVFileDidSave",
                                              "a:HVFileDidSave", "any:HVFileDidSave",
                                              "*:HVFileDidSave", "*:HVFileWillClose"}));
}

TEST(HVNotificationCenter, AnObserverMayRemoveItselfAndOthersWhileNotified) {
    HVNotificationCenter center;
    std::vector<int> calls;
    HVNotificationCenter::ObserverToken first = 0, second = 0, third = 0;
    first = center.addObserver("n", nullptr, [&](const HVNotification&) {
        calls.push_back(1);
        center.removeObserver(first);
        center.removeObserver(second);
    });
    second = center.addObserver("n", nullptr, [&](const HVNotification&) { calls.push_back(2); });
    third = center.addObserver("n", nullptr, [&](const HVNotification&) {
        calls.push_back(3);
        // Added during delivery: called from the next post on.
        center.addObserver("n", nullptr, [&](const HVNotification&) { calls.push_back(4); });
        center.removeObserver(third);
    });
    center.postNotificationName("n");
    center.postNotificationName("n");
    EXPECT_EQ(calls, (std::vector<int>{1, 3, 4}));
}

TEST(HVNotificationCenter, ScopedObserverRemovesOnDestruction) {
    HVNotificationCenter center;
    int calls = 0;
    {
        HVScopedObserver observer(
            center, center.addObserver("n", nullptr, [&](const HVNotification&) { ++calls; }));
        center.postNotificationName("n");
    }
    center.postNotificationName("n");
    EXPECT_EQ(calls, 1);
}
