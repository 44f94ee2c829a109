#include "HVBlockedText.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

TEST(HVBlockedText, RandomEditsAgreeWithAPlainString) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        auto below = [&](std::size_t n) {
            return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
        };
        // Blocks of 16 units, so that a few characters split and join them.
        HVBlockedText text(16);
        std::u16string model;
        for (int step = 0; step < 300; ++step) {
            std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
            std::size_t from = below(model.size() + 1);
            std::size_t to = from + below(std::min<std::size_t>(model.size() - from, 40) + 1);
            switch (below(8)) {
            case 0: {
                // A large text taken over whole.
                std::u16string large(100 + below(200), char16_t(u'A' + below(26)));
                model = large;
                HVBlockedText fresh(16);
                fresh.adopt(std::move(large));
                ASSERT_EQ(fresh.whole(), model) << where;
                text.replace(0, text.length(), model);
                break;
            }
            case 1:
                ASSERT_EQ(text.whole(), model) << where;
                break;
            case 2:
                ASSERT_EQ(text.contiguous(from, to), model.substr(from, to - from)) << where;
                break;
            default: {
                std::u16string inserted(below(below(4) == 0 ? 80 : 6), char16_t(u'a' + below(26)));
                text.replace(from, to, inserted);
                model.replace(from, to - from, inserted);
            }
            }
            ASSERT_EQ(text.problem(), "") << where;
            ASSERT_EQ(text.length(), model.size()) << where;
            std::u16string copied(model.size(), u'\0');
            text.copy(0, model.size(), copied.data());
            ASSERT_EQ(copied, model) << where;
            if (!model.empty()) {
                std::size_t i = below(model.size());
                ASSERT_EQ(text.at(i), model[i]) << where;
            }
        }
    }
}
