#include "HVSeededRuns.h"
#include "HVTextBlock.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::u16string contents(const HVTextBlock& block) {
    std::u16string out(block.size(), u'\0');
    block.copy(0, block.size(), out.data());
    return out;
}

} // namespace

TEST(HVTextBlock, RandomReplacementsAgreeWithAPlainString) {
    HVForEachSeed(50, [](HVSeededRun& random) {
        std::u16string model = u"slice of a larger text";
        // Half the blocks start as a slice of shared storage, as adopted text does.
        auto shared = std::make_shared_for_overwrite<char16_t[]>(model.size());
        std::copy(model.begin(), model.end(), shared.get());
        HVTextBlock block = random.seed() % 2 ? HVTextBlock(model, 32)
                                              : HVTextBlock(shared, shared.get(), model.size());
        const std::size_t maximum = 64;
        for (int step = 0; step < 100; ++step) {
            std::size_t from = random.below(model.size() + 1);
            std::size_t to = from + random.below(model.size() - from + 1);
            std::u16string text(random.below(6), char16_t(u'a' + random.below(26)));
            if (model.size() - (to - from) + text.size() <= maximum) {
                block.replace(from, to, text, maximum);
                model.replace(from, to - from, text);
            }
            std::string where = random.where(step);
            ASSERT_EQ(contents(block), model) << where;
            std::size_t a = random.below(model.size() + 1), b = random.below(model.size() + 1);
            if (a > b)
                std::swap(a, b);
            EXPECT_EQ(std::u16string(block.contiguous(a, b), b - a), model.substr(a, b - a))
                << where;
            if (!model.empty()) {
                std::size_t i = random.below(model.size());
                EXPECT_EQ(block.at(i), model[i]) << where;
            }
        }
    });
}
