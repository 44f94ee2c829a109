#include "HVPositionMapper.h"
#include "HVSeededRuns.h"

#include <gtest/gtest.h>
#include <string>

TEST(HVPositionMapper, PositionsKeepTheirPlaceAmongTheCharactersAroundThem) {
    // "abcdefgh": "bc" becomes "XYZ", "f" goes, "Q" is inserted before "h".
    HVPositionMapper mapper;
    mapper.add({1, 2}, 3);
    mapper.add({5, 1}, 0);
    mapper.add({7, 0}, 1);
    // Text after: "aXYZdeg" + "Q" + "h".
    const std::size_t expected[] = {0, 1, 4, 4, 5, 6, 6, 7, 9};
    for (std::size_t p = 0; p < std::size(expected); ++p)
        EXPECT_EQ(mapper.map(p), expected[p]) << "at " << p;
    EXPECT_EQ(mapper.map(HVRange{2, 4}), (HVRange{4, 2}));
    EXPECT_EQ(HVPositionMapper().map(HVRange{3, 2}), (HVRange{3, 2}));
}

// Applying the replacements to a text of markers and finding each marker again gives the
// place of every position outside the replaced ranges.
TEST(HVPositionMapper, RandomReplacementsAgreeWithEditingAPlainString) {
    HVForEachSeed(200, [](HVSeededRun& random) {
        std::size_t length = random.below(20);
        std::u16string text;
        for (std::size_t i = 0; i < length; ++i)
            text += char16_t(u'A' + i);
        HVPositionMapper mapper;
        std::u16string edited;
        std::vector<HVRange> ranges;
        std::vector<std::size_t> insertions;
        std::size_t at = 0;
        while (at <= length && random.below(3) != 0) {
            std::size_t location = at + random.below(length - at + 1);
            std::size_t count = random.below(length - location + 1);
            std::size_t inserted = random.below(4);
            edited += text.substr(at, location - at) + std::u16string(inserted, u'*');
            mapper.add({location, count}, inserted);
            ranges.push_back({location, count});
            insertions.push_back(inserted);
            at = location + count;
            if (count == 0 && inserted == 0)
                break;
        }
        edited += text.substr(std::min(at, length));
        for (std::size_t p = 0; p <= length; ++p) {
            std::size_t mapped = mapper.map(p);
            std::size_t before = 0;
            bool inside = false, starts = false;
            for (std::size_t i = 0; i < ranges.size(); ++i) {
                inside = inside || (p > ranges[i].location && p < ranges[i].end());
                if (p == ranges[i].location && !starts) {
                    starts = true;
                    before = insertions[i];
                }
            }
            std::string where =
                "seed " + std::to_string(random.seed()) + " at " + std::to_string(p);
            if (inside)
                continue;
            // At the start of a replacement the new text follows; elsewhere the character
            // that followed p still follows its new place.
            if (starts)
                EXPECT_EQ(edited.substr(mapped, before), std::u16string(before, u'*')) << where;
            else if (p < length)
                EXPECT_EQ(edited[mapped], text[p]) << where;
            else
                EXPECT_EQ(mapped, edited.size()) << where;
        }
    });
}
