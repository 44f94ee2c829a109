#include "HVAttributeSetTable.h"
#include "HVSeededRuns.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Attachment : HVTextAttachment {
    std::u16string text = u"...";
    const std::u16string& string() const override { return text; }
};

} // namespace

TEST(HVAttributeSetTable, RandomSetsInternMergeAndCollectLikeTheirValues) {
    HVForEachSeed(8, [](HVSeededRun& random) {
        auto randomSet = [&] {
            HVAttributes attributes;
            for (std::size_t i = random.below(4); i > 0; --i)
                attributes = attributes.setting("k" + std::to_string(random.below(3)),
                                                std::int64_t(random.below(40)));
            if (random.below(8) == 0)
                attributes =
                    attributes.setting(HVAttachmentAttribute, std::make_shared<const Attachment>());
            return attributes;
        };
        HVAttributeSetTable table;
        // The ids that "runs" hold, with the values they must still stand for.
        std::vector<std::pair<std::uint32_t, HVAttributes>> used;
        for (int step = 0; step < 600; ++step) {
            std::string where = random.where(step);
            HVAttributes value = randomSet();
            const HVAttributeSetTable::Set* set = table.internValue(value);
            if (value.empty()) {
                ASSERT_EQ(set, nullptr) << where;
                continue;
            }
            ASSERT_EQ(*set->attributes, value) << where;
            ASSERT_EQ(table.intern(set->attributes), set) << where;
            ASSERT_EQ(table.internValue(value), set) << where;
            ASSERT_EQ(set->attachment, value.attachment() != nullptr) << where;
            HVAttributes other = randomSet();
            const HVAttributeSetTable::Set* merged = table.merge(set, table.internValue(other));
            ASSERT_EQ(merged ? *merged->attributes : HVAttributes(), value.adding(other)) << where;
            if (random.below(3) == 0)
                used.push_back({set->id, value});
            if (random.below(50) == 0 && !used.empty())
                used.erase(used.begin() + std::ptrdiff_t(random.below(used.size())));
            table.collectIfNeeded([&](auto mark) {
                for (const auto& [id, attributes] : used)
                    mark(id);
            });
            for (const auto& [id, attributes] : used)
                ASSERT_EQ(*table.set(id)->attributes, attributes) << where;
            std::size_t attachments = 0;
            for (const auto& [id, attributes] : used)
                attachments += attributes.attachment() ? 1 : 0;
            ASSERT_GE(table.attachmentSets(), attachments > 0 ? 1u : 0u) << where;
        }
        // Collecting keeps the table near what is used.
        EXPECT_LT(table.count(), 4 * used.size() + 300) << "seed " << random.seed();
    });
}
