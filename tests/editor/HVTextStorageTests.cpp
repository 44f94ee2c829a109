#include "HVTextStorage.h"

#include "HVFoldMarkerTextAttachment.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// Collapses range as folding does: its full text goes into an attachment that one object
// replacement character carries.
std::shared_ptr<const HVFoldMarkerTextAttachment> collapse(HVTextStorage& text, HVRange range) {
    auto fold = text.attachmentForRange(range);
    text.replaceCharacters(range, u"\uFFFC");
    text.addAttribute(HVAttachmentAttribute, std::shared_ptr<const HVTextAttachment>(fold),
                      {range.location, 1});
    return fold;
}

} // namespace

TEST(HVTextStorage, FindsCollapsedRegionsForwardsAndBackwards) {
    HVTextStorage text(u"f() {\n  a();\n}\ng() {\n  b();\n}\nend");
    // "{\n  b();\n}" first, so that the first region's place stays where it was.
    auto second = collapse(text, {19, 10});
    auto first = collapse(text, {4, 10});
    ASSERT_EQ(text.string(), u"f() \uFFFC\ng() \uFFFC\nend");
    EXPECT_EQ(first->string(), u"{\n  a();\n}");
    EXPECT_EQ(first->numberOfLines(), 3u);

    // Every place inside the text is checked against a plain list of regions below; these are
    // the places beyond its end.
    HVRange found;
    EXPECT_EQ(text.nextAttachmentAfterIndex(100), nullptr);
    EXPECT_EQ(text.previousAttachmentBeforeIndex(100, &found), second);
    EXPECT_EQ(found, HVMakeRange(10, 1));

    EXPECT_EQ(text.firstAttachmentInRange({5, 6}, &found), second);
    EXPECT_EQ(found, HVMakeRange(10, 1));
    EXPECT_EQ(text.firstAttachmentInRange({5, 5}), nullptr);
}

TEST(HVTextStorage, FullTextAndTextWithoutAttachments) {
    HVTextStorage text(u"a {\nb\n} c");
    collapse(text, {2, 5});
    EXPECT_EQ(text.string(), u"a \uFFFC c");
    EXPECT_EQ(text.stringWithoutAttachments({0, 5}), u"a   c");
    EXPECT_EQ(text.fullString({0, 5}), u"a {\nb\n} c");
    EXPECT_EQ(text.stringWithoutAttachments({3, 2}), u" c");

    // A region collapsed around one that is already collapsed holds the inner text expanded.
    HVTextStorage nested(u"x {\n{\ny\n}\n} z");
    collapse(nested, {4, 5});
    ASSERT_EQ(nested.string(), u"x {\n\uFFFC\n} z");
    auto outer = collapse(nested, {2, 5});
    EXPECT_EQ(outer->string(), u"{\n{\ny\n}\n}");
    EXPECT_EQ(nested.fullString({0, nested.length()}), u"x {\n{\ny\n}\n} z");
}

TEST(HVTextStorage, QueriesAgreeWithAPlainListOfRegions) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::u16string plain(200, u'.');
        HVTextStorage text(plain);
        std::vector<std::size_t> folds;
        for (int i = 0; i < 6; ++i) {
            std::size_t at = random() % (text.length() - 4);
            if (text.firstAttachmentInRange({at, 4}))
                continue;
            collapse(text, {at, 4});
            // Later folds shift by the three characters each collapse removed.
            for (auto& f : folds)
                if (f > at)
                    f -= 3;
            folds.push_back(at);
        }
        std::sort(folds.begin(), folds.end());
        for (std::size_t index = 0; index < text.length(); ++index) {
            auto next = std::lower_bound(folds.begin(), folds.end(), index);
            HVRange found{HVNotFound, 0};
            auto fold = text.nextAttachmentAfterIndex(index, &found);
            EXPECT_EQ(fold != nullptr, next != folds.end()) << index;
            if (next != folds.end()) {
                EXPECT_EQ(found.location, *next) << index;
            }
            auto previous = std::upper_bound(folds.begin(), folds.end(), index);
            fold = text.previousAttachmentBeforeIndex(index, &found);
            EXPECT_EQ(fold != nullptr, previous != folds.begin()) << index;
            if (previous != folds.begin()) {
                EXPECT_EQ(found.location, *(previous - 1)) << index;
            }
        }
    }
}
