#include "HVTextBlock.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

std::u16string contents(const HVTextBlock& block) {
    std::u16string out(block.size(), u'\0');
    block.copy(0, block.size(), out.data());
    return out;
}

} // namespace

TEST(HVTextBlock, RandomReplacementsAgreeWithAPlainString) {
    for (std::uint32_t seed = 1; seed <= 50; ++seed) {
        std::mt19937 random(seed);
        auto below = [&](std::size_t n) {
            return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
        };
        std::u16string model = u"slice of a larger text";
        // Half the blocks start as a slice of shared storage, as adopted text does.
        auto shared = std::make_shared_for_overwrite<char16_t[]>(model.size());
        std::copy(model.begin(), model.end(), shared.get());
        HVTextBlock block =
            seed % 2 ? HVTextBlock(model, 32) : HVTextBlock(shared, shared.get(), model.size());
        const std::size_t maximum = 64;
        for (int step = 0; step < 100; ++step) {
            std::size_t from = below(model.size() + 1);
            std::size_t to = from + below(model.size() - from + 1);
            std::u16string text(below(6), char16_t(u'a' + below(26)));
            if (model.size() - (to - from) + text.size() <= maximum) {
                block.replace(from, to, text, maximum);
                model.replace(from, to - from, text);
            }
            std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
            ASSERT_EQ(contents(block), model) << where;
            std::size_t a = below(model.size() + 1), b = below(model.size() + 1);
            if (a > b)
                std::swap(a, b);
            EXPECT_EQ(std::u16string(block.contiguous(a, b), b - a), model.substr(a, b - a))
                << where;
            if (!model.empty()) {
                std::size_t i = below(model.size());
                EXPECT_EQ(block.at(i), model[i]) << where;
            }
        }
    }
}
