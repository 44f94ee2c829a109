#include "HVSeededRuns.h"
#include "HVShiftedOffsets.h"

#include <gtest/gtest.h>

TEST(HVShiftedOffsets, RandomShiftsAgreeWithAPlainVector) {
    HVForEachSeed(50, [](HVSeededRun& random) {
        HVShiftedOffsets offsets;
        std::vector<std::size_t> model;
        for (std::size_t i = 0; i < 20; ++i)
            model.push_back(i * 100);
        offsets.values() = model;
        for (int step = 0; step < 200; ++step) {
            std::size_t index = random.below(model.size() + 1);
            switch (random.below(4)) {
            case 0: {
                // Growth and shrinkage that keep the offsets ascending.
                std::size_t delta = random.below(50);
                bool shrink = random.below(2) == 0 && index > 0 && index < model.size() &&
                              model[index] - model[index - 1] > delta;
                for (std::size_t i = index; i < model.size(); ++i)
                    model[i] = shrink ? model[i] - delta : model[i] + delta;
                offsets.add(index, shrink ? 0 - delta : delta);
                break;
            }
            case 1:
                if (index < model.size() && (index == 0 || model[index - 1] < model[index])) {
                    std::size_t value = model[index] - std::min(random.below(2), model[index]);
                    if (index == 0 || value > model[index - 1]) {
                        model[index] = value;
                        offsets.set(index, value);
                    }
                }
                break;
            case 2: {
                // A change of their number, as splitting a block makes.
                auto& values = offsets.values();
                ASSERT_EQ(values, model) << "seed " << random.seed();
                if (index < model.size() && index > 0 && model[index] - model[index - 1] > 1) {
                    model.insert(model.begin() + std::ptrdiff_t(index), model[index] - 1);
                    values.insert(values.begin() + std::ptrdiff_t(index), values[index] - 1);
                }
                break;
            }
            default: {
                std::size_t value = random.below(model.back() + 100);
                EXPECT_EQ(offsets.upperBound(value),
                          std::size_t(std::upper_bound(model.begin(), model.end(), value) -
                                      model.begin()))
                    << "seed " << random.seed() << " value " << value;
            }
            }
            ASSERT_EQ(offsets.size(), model.size()) << random.where(step);
            for (std::size_t i = 0; i < model.size(); ++i)
                ASSERT_EQ(offsets[i], model[i]) << random.where(step);
        }
    });
}
