#include "HVChildProcess.h"
#include "HVCodeIndex.h"
#include "HVCodeIndexTestSupport.h"
#include "HVDatabase.h"
#include "HVFileSystem.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/time.h>

namespace {

constexpr double kPatience = 20;

class HVCodeIndexTest : public HVIndexWorld {
protected:
    HVCodeIndexTest() : databasePath(support.pathFor("index.db")) {}

    HVCodeIndex& startedIndex() {
        index = std::make_unique<HVCodeIndex>(databasePath);
        index->start();
        EXPECT_TRUE(index->waitUntilIdle(kPatience));
        return *index;
    }
    void settle() { EXPECT_TRUE(index->waitUntilIdle(kPatience)); }
    std::string names(const std::optional<std::string>& file,
                      const std::optional<std::u16string>& type = std::nullopt) {
        return HVKeyNames(index->keysForType(type, std::nullopt, file));
    }
    // One value from the database file, read beside the index as another program would.
    std::string query(const std::string& sql) {
        HVDatabase db(databasePath);
        db.open(HVDatabase::Mode::ReadOnly);
        auto value = db.valueForQuery(sql);
        if (!value)
            return "none";
        if (auto* number = std::get_if<std::int64_t>(&*value))
            return std::to_string(*number);
        if (auto* text = std::get_if<std::string>(&*value))
            return *text;
        return "null";
    }
    // Rewrites a file with a modification time some seconds later than the last one.
    void rewrite(const std::string& path, const std::string& bytes) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        HVFileSystem::writeFileAtomically(path, bytes);
        struct timeval times[2] = {{info.st_mtim.tv_sec + 5, 0}, {info.st_mtim.tv_sec + 5, 0}};
        ::utimes(path.c_str(), times);
    }

    HVTemporaryDirectory support;
    std::string databasePath;
    std::unique_ptr<HVCodeIndex> index;
};

std::string md5Of(const std::string& text) {
    HVChildProcess::Options options;
    options.arguments = {"md5sum"};
    options.standardInput = text;
    auto result = HVChildProcess::run(options);
    return result ? result->standardOutput.substr(0, 32) : std::string();
}

} // namespace

TEST_F(HVCodeIndexTest, ANewDatabaseHasTheSchemaOfVersionTwo) {
    startedIndex();
    EXPECT_TRUE(index->hasDatabase());
    std::string schema;
    HVDatabase db(databasePath);
    ASSERT_TRUE(db.open(HVDatabase::Mode::ReadOnly));
    auto rows = db.executeQuery("SELECT sql FROM sqlite_master WHERE name NOT LIKE '%_index' OR "
                                "name='tag_index' ORDER BY rowid");
    while (rows && rows->next())
        schema += rows->stringForColumn("sql") + "\n";
    EXPECT_EQ(schema,
              "CREATE TABLE files (id integer PRIMARY KEY AUTOINCREMENT, path text, last_update "
              "numeric)\n"
              "CREATE TABLE sqlite_sequence(name,seq)\n"
              "CREATE TABLE referencedFiles (src_id integer, dst_id integer)\n"
              "CREATE TABLE keys (id integer PRIMARY KEY AUTOINCREMENT, file_id integer, "
              "parent_id integer DEFAULT 0, key text, completion text, range text, type integer, "
              "class integer)\n"
              "CREATE TABLE types (id integer PRIMARY KEY AUTOINCREMENT, title text NOT NULL)\n"
              "CREATE TABLE classes (id integer PRIMARY KEY AUTOINCREMENT, title text NOT NULL)\n"
              "CREATE TABLE tags (id integer PRIMARY KEY AUTOINCREMENT, file_id integer DEFAULT "
              "0, tag text NOT NULL)\n"
              "CREATE INDEX tag_index ON tags (tag)\n"
              "CREATE TABLE referencedTags (file_id integer, tag_id integer)\n"
              "CREATE TABLE config (version integer)\n");
    rows.reset();
    EXPECT_EQ(query("SELECT group_concat(version) FROM config"), "2");
}

TEST_F(HVCodeIndexTest, AVersionOneFileIsEmptiedAndMovedToVersionTwo) {
    {
        HVDatabase db(databasePath);
        ASSERT_TRUE(db.open());
        for (const char* statement :
             {"CREATE TABLE files (id integer PRIMARY KEY AUTOINCREMENT, path text, last_update "
              "numeric)",
              "CREATE TABLE referencedFiles (src_id integer, dst_id integer)",
              "CREATE TABLE keys (id integer PRIMARY KEY AUTOINCREMENT, file_id integer, "
              "parent_id integer DEFAULT 0, key text, completion text, range text, type integer, "
              "class integer)",
              "CREATE TABLE types (id integer PRIMARY KEY AUTOINCREMENT, title text NOT NULL)",
              "CREATE TABLE classes (id integer PRIMARY KEY AUTOINCREMENT, title text NOT NULL)",
              "INSERT INTO files (path) VALUES ('0123')",
              "INSERT INTO keys (file_id, key) VALUES (1, 'stale')"})
            ASSERT_TRUE(db.executeUpdate(statement)) << db.lastErrorMessage();
    }
    std::string file = write("a.tcode", "function fresh() {}");
    startedIndex();
    EXPECT_EQ(query("SELECT group_concat(version) FROM config"), "2");
    EXPECT_EQ(query("SELECT count(*) FROM files"), "0");
    index->indexFile(file);
    settle();
    EXPECT_EQ(names(std::nullopt, u"function"), "fresh");
    EXPECT_EQ(query("SELECT count(*) FROM tags"), "0");
}

TEST_F(HVCodeIndexTest, TheFileHoldsDigestsOfPathsAndASecondSaveRewritesNothing) {
    std::string file = write("a.tcode", "function one() {}");
    startedIndex();
    std::vector<std::string> invalidated;
    std::mutex mutex;
    HVScopedObserver observer(HVNotificationCenter::defaultCenter(),
                              HVNotificationCenter::defaultCenter().addObserver(
                                  std::string(HVFileIndexInvalidatedNotification), index.get(),
                                  [&](const HVNotification& note) {
                                      std::lock_guard lock(mutex);
                                      const std::string* path =
                                          note.userInfo.count("path")
                                              ? note.userInfo.at("path").string()
                                              : nullptr;
                                      invalidated.push_back(path ? *path : "none");
                                  }));
    index->indexFile(file);
    settle();
    EXPECT_EQ(query("SELECT path FROM files"), md5Of(file));
    std::string keyIDs = query("SELECT group_concat(id) FROM keys");
    index->indexFile(file);
    settle();
    EXPECT_EQ(query("SELECT group_concat(id) FROM keys"), keyIDs);
    rewrite(file, "function two() {}");
    index->indexFile(file);
    settle();
    EXPECT_EQ(names(file, u"function"), "two");
    index->stop();
    // Neither the file's name nor its folder's is anywhere in the database.
    std::string bytes = HVReadFile(databasePath) + HVReadFile(databasePath + "-wal");
    EXPECT_EQ(bytes.find(HVFileSystem::lastPathComponent(files.path())), std::string::npos);
    std::lock_guard lock(mutex);
    EXPECT_EQ(invalidated, (std::vector<std::string>{file, file}));
}

TEST_F(HVCodeIndexTest, AFileBringsWhatItIncludesAndTheFilesOfTheTagsItUses) {
    // c uses a package that d defines (indexed later, so the tag waits as a placeholder); d
    // uses a module beside it; a includes b; nobody includes lonely.
    std::string a = write("a.tcode", "include 'b.tcode'; function fromA() {}");
    std::string b = write("b.tcode", "function fromB() {}");
    std::string c = write("perl/c.tpl", "use D::Pkg;\nsub fromC {}");
    std::string d = write("perl/d.tpl", "package D::Pkg;\nuse Helper;\nsub fromD {}");
    std::string helper = write("perl/Helper.pm", "sub fromHelper {}");
    std::string lonely = write("perl/lonely.tpl", "sub fromLonely {}");
    startedIndex();
    for (const std::string& file : {a, b, c})
        index->indexFile(file);
    settle();
    EXPECT_EQ(query("SELECT count(*) || ' ' || max(file_id) FROM tags WHERE tag='D::Pkg'"), "1 0");
    for (const std::string& file : {d, helper, lonely})
        index->indexFile(file);
    settle();
    EXPECT_EQ(names(a, u"function"), "fromA fromB");
    EXPECT_EQ(names(c), "fromC fromD fromHelper");
    EXPECT_EQ(names(d), "fromD fromHelper");
    EXPECT_EQ(names(files.pathFor("unknown.tcode")), "");
    // The placeholder was claimed, not doubled.
    EXPECT_EQ(query("SELECT count(*) FROM tags WHERE tag='D::Pkg'"), "1");
    EXPECT_EQ(HVDescribeKeys(index->keysForType(u"function", std::string("source.tperl"), c)),
              "fromC function source.tperl, fromD function source.tperl, "
              "fromHelper function source.tperl");
    EXPECT_EQ(names(c, u"no such type"), "");
}

TEST_F(HVCodeIndexTest, FoldersAreWalkedWithoutVersionControlAndTemporaryFiles) {
    write("site/.svn/x.tcode", "function inSvn() {}");
    write("site/CVS/y.tcode", "function inCvs() {}");
    write("site/.tmp_Halvet_z.tcode", "function inPreview() {}");
    write("site/deep/real.tcode", "function real() {}");
    write("site/off.tquiet", "words");
    std::string moved = files.pathFor("site/deep/moved.tcode");
    startedIndex();
    index->indexDirectory(files.pathFor("site"));
    settle();
    EXPECT_EQ(names(std::nullopt), "real real");
    EXPECT_EQ(query("SELECT count(*) FROM files"), "1");
    ASSERT_EQ(::rename(files.pathFor("site/deep/real.tcode").c_str(), moved.c_str()), 0);
    index->indexFile(moved);
    settle();
    EXPECT_EQ(query("SELECT count(*) FROM files"), "2");
    EXPECT_EQ(names(moved, u"function"), "real");
}

TEST_F(HVCodeIndexTest, SwitchedOffTheIndexAnswersNothingAndQueuedFilesWait) {
    std::string file = write("a.tcode", "function one() {}");
    startedIndex();
    std::vector<std::string> invalidated;
    HVScopedObserver observer(HVNotificationCenter::defaultCenter(),
                              HVNotificationCenter::defaultCenter().addObserver(
                                  std::string(HVFileIndexInvalidatedNotification), index.get(),
                                  [&](const HVNotification& note) {
                                      invalidated.push_back(note.userInfo.empty() ? "all" : "one");
                                  }));
    HVPreferences::sharedInstance().setObject("HVCodeIndexingEnabled", false);
    EXPECT_FALSE(index->enabled());
    index->indexFile(file);
    settle();
    EXPECT_EQ(query("SELECT count(*) FROM files"), "0");
    EXPECT_EQ(names(std::nullopt), "");
    index->setEnabled(true);
    EXPECT_EQ(HVPreferences::sharedInstance().boolForKey("HVCodeIndexingEnabled"), true);
    settle();
    EXPECT_EQ(names(file, u"function"), "one");
    EXPECT_EQ(invalidated, (std::vector<std::string>{"all", "one"}));
}
