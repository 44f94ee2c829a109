#include "HVBlockedText.h"
#include "HVSeededRuns.h"

#include <gtest/gtest.h>
#include <string>

TEST(HVBlockedText, RandomEditsAgreeWithAPlainString) {
    HVForEachSeed(40, [](HVSeededRun& random) {
        // Blocks of 16 units, so that a few characters split and join them.
        HVBlockedText text(16);
        std::u16string model;
        for (int step = 0; step < 300; ++step) {
            std::string where = random.where(step);
            std::size_t from = random.below(model.size() + 1);
            std::size_t to =
                from + random.below(std::min<std::size_t>(model.size() - from, 40) + 1);
            switch (random.below(8)) {
            case 0: {
                // A large text taken over whole.
                std::u16string large(100 + random.below(200), char16_t(u'A' + random.below(26)));
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
                std::u16string inserted(random.below(random.below(4) == 0 ? 80 : 6),
                                        char16_t(u'a' + random.below(26)));
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
                std::size_t i = random.below(model.size());
                ASSERT_EQ(text.at(i), model[i]) << where;
            }
        }
    });
}
