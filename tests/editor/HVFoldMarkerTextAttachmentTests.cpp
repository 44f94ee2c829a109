#include "HVFoldMarkerTextAttachment.h"

#include <gtest/gtest.h>

TEST(HVFoldMarkerTextAttachment, CountsEachLineWithItsTerminatorOnce) {
    EXPECT_EQ(HVFoldMarkerTextAttachment().numberOfLines(), 0u);
    EXPECT_EQ(HVFoldMarkerTextAttachment(u"x").numberOfLines(), 1u);
    EXPECT_EQ(HVFoldMarkerTextAttachment(u"{\n}\n").numberOfLines(), 2u);
    EXPECT_EQ(HVFoldMarkerTextAttachment(u"{\n}").numberOfLines(), 2u);
    EXPECT_EQ(HVFoldMarkerTextAttachment(u"{\r\n}\r\n").numberOfLines(), 2u);
    EXPECT_EQ(HVFoldMarkerTextAttachment(u"a\rb\n\nc").numberOfLines(), 4u);
    EXPECT_EQ(HVFoldMarkerTextAttachment(u"{\r\n}").string(), u"{\r\n}");
}
