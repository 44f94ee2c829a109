#include "HVDispatcher.h"
#include "HVNetworkController.h"

#include <gtest/gtest.h>

TEST(HVNetworkController, NormalisesHostsGivenWithSchemesAndPaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"example.org", "example.org"},       {"sftp://example.org/var/www", "example.org"},
        {"https:example.org", "example.org"}, {"example.org/dav/", "example.org"},
        {"127.0.0.1", "127.0.0.1"},           {"", ""},
    };
    for (const auto& [host, expected] : cases)
        EXPECT_EQ(HVNetworkController::normalizedHostName(host), expected) << host;
}

TEST(HVNetworkController, JudgesReachabilityByNameAndRoute) {
    EXPECT_TRUE(HVNetworkController::hostIsReachable("127.0.0.1"));
    EXPECT_TRUE(HVNetworkController::hostIsReachable("ftp://localhost/pub"));

    HVError error;
    EXPECT_FALSE(HVNetworkController::hostIsReachable("sftp://no-such-host.invalid/x", &error));
    EXPECT_TRUE(error.is(HVErrorDomain, 10));
    EXPECT_EQ(error.description(), "Cannot connect to host");
    EXPECT_EQ(error.recoverySuggestion(),
              "Halvet was unable to connect to \"no-such-host.invalid\". "
              "Please check your network configuration.");
}

TEST(HVNetworkController, TellsTheObserversOfAHostOnTheMainThreadUntilTheyGoAway) {
    auto& controller = HVNetworkController::sharedInstance();
    std::vector<std::string> heard;
    auto first =
        controller.addObserver("sftp://127.0.0.1/www", [&](const std::string& host, bool up) {
            EXPECT_TRUE(HVDispatcher::main().isMainThread());
            heard.push_back("first " + host + (up ? " up" : " down"));
        });
    auto other = controller.addObserver("example.org", [&](const std::string& host, bool up) {
        heard.push_back("other " + host + (up ? " up" : " down"));
    });

    std::thread([&] { controller.reachabilityChanged("127.0.0.1", false); }).join();
    HVDispatcher::main().runUntil([&] { return !heard.empty(); }, 5);
    first.reset();
    controller.reachabilityChanged("127.0.0.1", true);
    controller.reachabilityChanged("example.org", true);
    HVDispatcher::main().runUntil([&] { return heard.size() >= 2; }, 5);

    EXPECT_EQ(heard, (std::vector<std::string>{"first 127.0.0.1 down", "other example.org up"}));
}
