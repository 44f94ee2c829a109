#include "HVDatabase.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

TEST(HVDatabaseTest, ValuesGoInBoundAndComeOutByNameOrIndex) {
    HVTemporaryDirectory folder;
    HVDatabase db(folder.pathFor("t.db"));
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(db.executeUpdate("CREATE TABLE t (id integer PRIMARY KEY, s text, r real, n)"));
    ASSERT_TRUE(db.executeUpdate("INSERT INTO t (s, r, n) VALUES (?, ?, ?)",
                                 {std::string("it's; DROP TABLE t"), 2.5, HVDatabaseValue()}));
    EXPECT_EQ(db.lastInsertRowId(), 1);
    auto rows = db.executeQuery("SELECT id, s, r, n FROM t WHERE s LIKE ?", {std::string("it%")});
    ASSERT_TRUE(rows && rows->next());
    EXPECT_EQ(rows->intForColumn("ID"), 1);
    EXPECT_EQ(rows->stringForColumn(1), "it's; DROP TABLE t");
    EXPECT_EQ(rows->doubleForColumn("r"), 2.5);
    EXPECT_TRUE(rows->columnIsNull("n"));
    EXPECT_FALSE(rows->columnIsNull("s"));
    EXPECT_FALSE(rows->next());
}

TEST(HVDatabaseTest, TheSameStatementMayRunInsideItselfAndFailuresAreKept) {
    HVTemporaryDirectory folder;
    HVDatabase db(folder.pathFor("t.db"));
    ASSERT_TRUE(db.open());
    db.executeUpdate("CREATE TABLE t (a integer)");
    for (std::int64_t a : {1, 2, 3})
        db.executeUpdate("INSERT INTO t (a) VALUES (?)", {a});
    std::string pairs;
    auto outer = db.executeQuery("SELECT a FROM t WHERE a >= ? ORDER BY a", {std::int64_t(2)});
    while (outer && outer->next()) {
        auto inner =
            db.executeQuery("SELECT a FROM t WHERE a >= ? ORDER BY a", {outer->intForColumn(0)});
        while (inner && inner->next())
            pairs += std::to_string(outer->intForColumn(0)) +
                     std::to_string(inner->intForColumn(0)) + " ";
    }
    EXPECT_EQ(pairs, "22 23 33 ");

    EXPECT_FALSE(db.executeUpdate("INSERT INTO missing VALUES (1)"));
    EXPECT_EQ(db.lastPrimaryErrorCode(), SQLITE_ERROR);
    EXPECT_NE(db.lastError().description().find("missing"), std::string::npos);
    ASSERT_TRUE(db.beginTransaction());
    db.executeUpdate("DELETE FROM t");
    EXPECT_TRUE(db.inTransaction());
    ASSERT_TRUE(db.rollback());
    EXPECT_FALSE(db.hadError());
    EXPECT_EQ(std::get<std::int64_t>(*db.valueForQuery("SELECT count(*) FROM t")), 3);
}
