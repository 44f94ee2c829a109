#include "HVDispatcher.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

TEST(HVDispatcher, RunsPostedWorkOnTheMainThreadInOrder) {
    auto& main = HVDispatcher::main();
    main.adoptCurrentThread();
    std::vector<int> order;
    std::atomic<bool> onMain{true};
    std::thread worker([&] {
        EXPECT_FALSE(main.isMainThread());
        for (int i = 0; i < 100; ++i)
            main.post([&, i] {
                if (!main.isMainThread())
                    onMain = false;
                order.push_back(i);
            });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "posting never runs the work inside the call";
    EXPECT_TRUE(main.runUntil([&] { return order.size() == 100; }, 5));
    EXPECT_TRUE(onMain);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[std::size_t(i)], i);
}

TEST(HVDispatcher, DelayedWorkWaitsItsTurnAndCanBeCancelled) {
    auto& main = HVDispatcher::main();
    main.adoptCurrentThread();
    std::vector<std::string> order;
    main.postAfterDelay(0.15, [&] { order.push_back("late"); });
    auto cancelled = main.postAfterDelay(0.05, [&] { order.push_back("cancelled"); });
    main.postAfterDelay(0.0, [&] { order.push_back("zero"); });
    main.post([&] { order.push_back("now"); });
    EXPECT_TRUE(main.cancel(cancelled));
    EXPECT_FALSE(main.cancel(cancelled));
    main.runPending();
    EXPECT_EQ(order, (std::vector<std::string>{"zero", "now"}));
    EXPECT_TRUE(main.runUntil([&] { return order.size() == 3; }, 5));
    EXPECT_EQ(order.back(), "late");
    EXPECT_FALSE(main.timeUntilNextTask().has_value());
}

TEST(HVDispatcher, WorkPostedByWorkRunsOnTheNextPass) {
    auto& main = HVDispatcher::main();
    main.adoptCurrentThread();
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        main.post(again);
    };
    main.post(again);
    EXPECT_EQ(main.runPending(), 1u);
    EXPECT_EQ(runs, 1);
    main.runPending();
    EXPECT_EQ(runs, 2);
    // End the chain: the copy still waiting posts this one, which posts nothing.
    again = [&] { ++runs; };
    main.runPending();
    main.runPending();
    EXPECT_EQ(runs, 4);
    EXPECT_FALSE(main.timeUntilNextTask().has_value());
}

TEST(HVDispatcher, PerformAndWaitBlocksTheWorkerUntilTheMainThreadRanIt) {
    auto& main = HVDispatcher::main();
    main.adoptCurrentThread();
    std::atomic<int> value{0};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        main.performAndWait([&] { value = 7; });
        EXPECT_EQ(value.load(), 7);
        finished = true;
    });
    EXPECT_TRUE(main.runUntil([&] { return finished.load(); }, 5));
    worker.join();
    int direct = 0;
    main.performAndWait([&] { direct = 1; });
    EXPECT_EQ(direct, 1);
}

TEST(HVDispatcher, WakeUpHandlerHearsOfEarlierWork) {
    auto& main = HVDispatcher::main();
    main.adoptCurrentThread();
    std::atomic<int> wakes{0};
    main.setWakeUpHandler([&] { ++wakes; });
    auto first = main.postAfterDelay(10, [] {});
    auto second = main.postAfterDelay(20, [] {});
    main.post([] {});
    EXPECT_EQ(wakes.load(), 2);
    main.setWakeUpHandler(nullptr);
    main.runPending();
    EXPECT_TRUE(main.timeUntilNextTask().has_value());
    EXPECT_TRUE(main.cancel(first));
    EXPECT_TRUE(main.cancel(second));
    EXPECT_FALSE(main.timeUntilNextTask().has_value());
}
