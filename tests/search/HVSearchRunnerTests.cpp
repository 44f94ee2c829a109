#include "HVDispatcher.h"
#include "HVFileEncodings.h"
#include "HVFileSystem.h"
#include "HVSearch.h"
#include "HVSearchRunner.h"
#include "HVSearchTestSupport.h"
#include "HVTestSupport.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Nodes = std::vector<std::shared_ptr<HVMultiFileSearchNode>>;

std::string utf16LE(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += char(unit & 0xFF);
        bytes += char(unit >> 8);
    }
    return bytes;
}

// Many files, written without the syncing of a save.
std::string writeQuickly(const HVTemporaryDirectory& directory, const std::string& relative,
                         std::string_view bytes) {
    std::string path = directory.pathFor(relative);
    HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(path));
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

Nodes searchNow(const HVSearch& search, const HVSearchScope& scope, unsigned threads = 0) {
    Nodes nodes;
    HVSearchRunner::searchNow(
        search, scope, [&](std::shared_ptr<HVMultiFileSearchNode> node) { nodes.push_back(node); },
        threads);
    return nodes;
}

// "name: matched texts" per node, or "name: skipped" with the error's code.
std::string describeNodes(const Nodes& nodes, const std::string& root) {
    std::string text;
    for (const auto& node : nodes) {
        std::string name = node->path().substr(root.size() + 1);
        if (!text.empty())
            text += "; ";
        text += name + ":";
        if (node->skipped()) {
            text += " skipped " + std::to_string(node->skipped()->code());
            continue;
        }
        for (const HVSearchResult& result : node->results())
            text += " " + HVUnicode::utf8(
                              node->text().substr(result.range().location, result.range().length));
    }
    return text;
}

std::unique_ptr<HVSearch> literal(std::u16string_view string, bool caseSensitive = false) {
    auto search = HVSearch::initWithSearchString(string);
    search->setCaseSensitive(caseSensitive);
    return search;
}

// Receives a background run's calls on the main thread.
class Recorder : public HVSearchRunnerDelegate {
public:
    void searchRunnerFoundNodes(Nodes found) override {
        nodes.insert(nodes.end(), found.begin(), found.end());
    }
    void searchRunnerProgress(std::size_t searchedCount, std::size_t skippedCount) override {
        searched = searchedCount;
        skipped = skippedCount;
    }
    void searchRunnerDidFinishAllSearches(bool wasCancelled) override {
        finished = true;
        ++finishes;
        cancelled = wasCancelled;
    }
    void searchRunnerDidFinishAllReplaces(std::vector<HVError> errors) override {
        replaced = true;
        failures = std::move(errors);
    }

    Nodes nodes;
    std::size_t searched = 0;
    std::size_t skipped = 0;
    bool finished = false;
    int finishes = 0;
    bool cancelled = false;
    bool replaced = false;
    std::vector<HVError> failures;
};

std::string cp1251Page(std::string_view word) {
    return "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n" +
           std::string(word) + "\r\n";
}

// Files in five encodings with mixed line breaks, each holding "Привет" or "日本語".
struct EncodedTree {
    HVTemporaryDirectory directory;
    HVSearchScope scope;
    EncodedTree() {
        directory.write("a-utf8.html", "<p>Привет, 日本語</p>\r\n<p>привет</p>\n");
        directory.write("b-utf16.txt", utf16LE(u"x\r\nПРИВЕТ\ry 日本語\n"));
        // Declared in the page.
        directory.write("c-cp1251.html", cp1251Page("\xCF\xF0\xE8\xE2\xE5\xF2"));
        directory.write("d-sjis.txt", "\x93\xFA\x96\x7B\x8C\xEA\r\n\x93\xFA\x96\x7B\x8C\xEA\n");
        // Not UTF-8, so read as Latin-1.
        directory.write("e-latin1.txt", "caf\xE9 CAF\xC9\r\n");
        scope.paths = {directory.path()};
        // Nothing in a Shift_JIS file names its encoding: the project says it.
        scope.encodings[directory.pathFor("d-sjis.txt")] =
            HVFileEncodings::encodingFromString("shift-jis");
    }
};

} // namespace

TEST(HVSearchRunner, UnicodeSearchFindsMatchesInEveryFileInItsOwnEncoding) {
    EncodedTree tree;
    const std::string& root = tree.directory.path();
    EXPECT_EQ("a-utf8.html: Привет привет; b-utf16.txt: ПРИВЕТ; c-cp1251.html: Привет",
              describeNodes(searchNow(*literal(u"привет"), tree.scope), root));
    EXPECT_EQ("a-utf8.html: 日本語; b-utf16.txt: 日本語; d-sjis.txt: 日本語 日本語",
              describeNodes(searchNow(*literal(u"日本語"), tree.scope), root));
    auto expression = HVSearch::initWithExpressionString(u"CAF.", true);
    Nodes nodes = searchNow(*expression, tree.scope);
    EXPECT_EQ("e-latin1.txt: CAFÉ", describeNodes(nodes, root));
    ASSERT_EQ(1u, nodes.size());
    EXPECT_EQ(HVISOLatin1StringEncoding, nodes[0]->encoding());
    // A literal of ASCII letters is matched on the bytes before they are checked.
    nodes = searchNow(*literal(u"caf"), tree.scope);
    EXPECT_EQ("e-latin1.txt: caf CAF", describeNodes(nodes, root));
    ASSERT_EQ(1u, nodes.size());
    EXPECT_EQ(HVISOLatin1StringEncoding, nodes[0]->encoding());
    EXPECT_EQ(u"caf\u00E9 CAF\u00C9\r\n", nodes[0]->text());
}

TEST(HVSearchRunner, ReplaceKeepsEachFilesEncodingLineBreaksAndPermissions) {
    EncodedTree tree;
    ::chmod(tree.directory.pathFor("b-utf16.txt").c_str(), 0640);
    auto search = literal(u"привет");
    search->setReplaceString(u"Пока");
    auto recorder = std::make_shared<Recorder>();
    HVSearchRunner runner(recorder);
    std::vector<HVReplaceJob> jobs;
    for (const auto& node : searchNow(*search, tree.scope)) {
        std::vector<HVRange> ranges;
        for (const HVSearchResult& result : node->results())
            ranges.push_back(result.range());
        jobs.push_back({node, ranges});
    }
    runner.runReplaces(*search, jobs);
    HVDispatcher::main().runUntil([&] { return recorder->replaced; }, 20);
    EXPECT_TRUE(recorder->failures.empty());
    EXPECT_EQ("<p>Пока, 日本語</p>\r\n<p>Пока</p>\n",
              HVReadFile(tree.directory.pathFor("a-utf8.html")));
    EXPECT_EQ(utf16LE(u"x\r\nПока\ry 日本語\n"), HVReadFile(tree.directory.pathFor("b-utf16.txt")));
    EXPECT_EQ(cp1251Page("\xCF\xEE\xEA\xE0"), HVReadFile(tree.directory.pathFor("c-cp1251.html")));
    struct stat st;
    ASSERT_EQ(0, ::stat(tree.directory.pathFor("b-utf16.txt").c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
}

TEST(HVSearchRunner, ReplaceThatTheEncodingCannotHoldLeavesThatFileAndReportsIt) {
    EncodedTree tree;
    auto search = literal(u"привет");
    search->setReplaceString(u"日本");
    auto recorder = std::make_shared<Recorder>();
    HVSearchRunner runner(recorder);
    std::vector<HVReplaceJob> jobs;
    for (const auto& node : searchNow(*search, tree.scope))
        jobs.push_back({node, {node->results().front().range()}});
    runner.runReplaces(*search, jobs);
    HVDispatcher::main().runUntil([&] { return recorder->replaced; }, 20);
    ASSERT_EQ(1u, recorder->failures.size());
    EXPECT_NE(std::string::npos,
              recorder->failures[0].description().find(tree.directory.pathFor("c-cp1251.html")));
    EXPECT_EQ(cp1251Page("\xCF\xF0\xE8\xE2\xE5\xF2"),
              HVReadFile(tree.directory.pathFor("c-cp1251.html")));
    EXPECT_EQ("<p>日本, 日本語</p>\r\n<p>привет</p>\n",
              HVReadFile(tree.directory.pathFor("a-utf8.html")));
}

TEST(HVSearchRunner, FileChangedAfterTheSearchGetsOnlyTheRangesThatStillMatch) {
    HVTemporaryDirectory directory;
    std::string path = directory.write("page.js", "foo(1); foo(2); foo(3);\n");
    auto search = literal(u"foo", true);
    search->setReplaceString(u"bar");
    Nodes nodes = searchNow(*search, HVSearchScope{{path}, {}, {}});
    ASSERT_EQ(1u, nodes.size());
    directory.write("page.js", "foo(1); fox(2); foo(3);\n");
    std::vector<HVRange> ranges;
    for (const HVSearchResult& result : nodes[0]->results())
        ranges.push_back(result.range());
    auto recorder = std::make_shared<Recorder>();
    HVSearchRunner runner(recorder);
    runner.runReplaces(*search, {{nodes[0], ranges}});
    HVDispatcher::main().runUntil([&] { return recorder->replaced; }, 20);
    EXPECT_TRUE(recorder->failures.empty());
    EXPECT_EQ("bar(1); fox(2); bar(3);\n", HVReadFile(path));
}

TEST(HVSearchRunner, MissingAndUnreadableFilesAreSkippedWithTheSystemsReason) {
    HVTemporaryDirectory directory;
    ::chmod(directory.path().c_str(), 0755);
    directory.write("a.txt", "needle\n");
    std::string locked = directory.write("b.txt", "needle\n");
    ::chmod(locked.c_str(), 0);
    std::string missing = directory.pathFor("gone.txt");
    auto lines = HVReportOfChild(
        [&] {
            std::vector<std::string> report;
            auto search = literal(u"needle");
            HVSearchScope scope{{directory.path(), missing}, {}, {}};
            for (const auto& node : searchNow(*search, scope)) {
                std::string line = HVFileSystem::lastPathComponent(node->path());
                if (node->skipped())
                    line += " " + std::to_string(node->skipped()->code());
                report.push_back(line);
            }
            return report;
        },
        true);
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt " + std::to_string(EACCES),
                                        "gone.txt " + std::to_string(ENOENT)}),
              lines);
}

TEST(HVSearchRunner, SkipsBinaryFilesFilteredNamesAndLinksToFolders) {
    HVTemporaryDirectory directory;
    directory.write(".git/config", "needle\n");
    directory.write("image.png", "needle\n");
    directory.write("archive.zip", "needle\n");
    directory.write("blob", std::string("needle\0\x01\x02", 9));
    directory.write("notes", "needle\n");
    directory.write("sub/page.html", "needle\n");
    directory.write("utf16-notes", utf16LE(u"needle"));
    ::symlink(directory.pathFor("sub").c_str(), directory.pathFor("link-to-sub").c_str());
    auto recorder = std::make_shared<Recorder>();
    HVSearchRunner runner(recorder);
    runner.runSearch(*literal(u"needle"), HVSearchScope{{directory.path()}, {}, {}});
    HVDispatcher::main().runUntil([&] { return recorder->finished; }, 20);
    EXPECT_EQ("notes: needle; sub/page.html: needle; utf16-notes: needle",
              describeNodes(recorder->nodes, directory.path()));
    EXPECT_FALSE(recorder->cancelled);
    EXPECT_EQ(3u, recorder->searched);
    // .git, the picture, the archive, the binary file, the link.
    EXPECT_EQ(5u, recorder->skipped);
}

TEST(HVSearchRunner, OpenDocumentsTextIsSearchedInsteadOfItsFile) {
    HVTemporaryDirectory directory;
    std::string path = directory.write("index.html", "needle on disk\n");
    HVSearchScope scope{{directory.path(), "Untitled 2"},
                        {{path, u"edited: needle, needle"}, {"Untitled 2", u"needle"}},
                        {}};
    Nodes nodes = searchNow(*literal(u"needle"), scope);
    ASSERT_EQ(2u, nodes.size());
    EXPECT_TRUE(nodes[0]->fromDocument());
    EXPECT_EQ("8+6 16+6",
              describeRanges({nodes[0]->results()[0].range(), nodes[0]->results()[1].range()}));
    EXPECT_EQ(u"Untitled 2", nodes[1]->displayName());
}

TEST(HVSearchRunner, ResultsComeInNameOrderWhateverTheNumberOfThreads) {
    HVTemporaryDirectory directory;
    for (int i = 0; i < 60; ++i)
        writeQuickly(directory, "d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt",
                     std::string(std::size_t(i) * 500, 'x') + "needle");
    directory.write("B.txt", "needle");
    directory.write("a.txt", "needle");
    directory.write("a/z.txt", "needle");
    HVSearchScope scope{{directory.path()}, {}, {}};
    auto search = literal(u"needle");
    std::string one = describeNodes(searchNow(*search, scope, 1), directory.path());
    EXPECT_EQ(0u, one.find("B.txt: needle; a/z.txt: needle; a.txt: needle; d0/f0.txt"));
    for (int run = 0; run < 3; ++run)
        EXPECT_EQ(one, describeNodes(searchNow(*search, scope, 4), directory.path()));
}

// Well-formed UTF-8 is matched on its bytes; the positions must be those of a search of the
// decoded text.
TEST(HVSearchRunner, BytesPathEqualsTextPath) {
    const std::vector<std::u16string> pieces = {
        u"a", u"b", u"k", u"K", u"\u212A", u"ß",    u"ẞ",  u"σ",  u"ς",      u"Σ",   u"é",
        u"É", u"😀", u"x", u" ", u"\n",     u"\r\n", u"\r", u"ab", u"straße", u"日本"};
    const std::vector<std::pair<std::u16string, int>> searches = {
        {u"k", 0},    {u"ab", 1},        {u"STRAẞE", 0}, {u"σ", 0},     {u"😀a", 0},
        {u"\\w+", 2}, {u"^k", 2},        {u"k$", 3},     {u"x*|ab", 3}, {u"(?<=a)b", 2},
        {u"\\bk", 3}, {u"[^\\n]{3}", 2}, {u"\\s+", 3},   {u"é", 1},     {u"b\\R", 2}};
    std::mt19937 random(7);
    HVTemporaryDirectory directory;
    std::map<std::string, std::u16string> texts;
    for (int round = 0; round < 80; ++round) {
        std::u16string text;
        std::size_t length = random() % 120;
        for (std::size_t i = 0; i < length; ++i)
            text += pieces[random() % pieces.size()];
        texts[writeQuickly(directory, "t" + std::to_string(round) + ".txt",
                           HVUnicode::utf8(text))] = text;
    }
    auto describe = [](const HVSearchResult& result) {
        return describeRange(result.range()) + " " + HVUnicode::utf8(result.contextLine().text) +
               " " + describeRange(result.contextLine().match) + "; ";
    };
    for (const auto& [string, kind] : searches) {
        // 0: literal ignoring case, 1: exact literal, 2: expression, 3: caseless expression.
        auto search = kind < 2 ? literal(string, kind == 1)
                               : HVSearch::initWithExpressionString(string, kind == 2);
        ASSERT_TRUE(search);
        std::map<std::string, std::string> found;
        for (const auto& node : searchNow(*search, HVSearchScope{{directory.path()}, {}, {}})) {
            EXPECT_EQ(texts[node->path()], node->text());
            for (const HVSearchResult& result : node->results())
                found[node->path()] += describe(result);
        }
        // A file is one whole subject: its start is a line start.
        search->setOptions(0);
        for (const auto& [path, text] : texts) {
            std::string expected;
            for (const HVSearchResult& result : search->findAllForStringAsResults(text))
                expected += describe(result);
            EXPECT_EQ(expected, found[path])
                << HVUnicode::utf8(string) << " in \"" << HVUnicode::utf8(text) << "\"";
        }
    }
}

TEST(HVSearchRunner, CancelledSearchFinishesWithAPrefixOfTheResults) {
    HVTemporaryDirectory directory;
    for (int i = 0; i < 300; ++i)
        writeQuickly(directory, "f" + std::to_string(1000 + i) + ".txt", "needle\n");
    HVSearchScope scope{{directory.path()}, {}, {}};
    auto search = literal(u"needle");
    Nodes all = searchNow(*search, scope);
    auto recorder = std::make_shared<Recorder>();
    HVSearchRunner runner(recorder);
    runner.runSearch(*search, scope);
    EXPECT_TRUE(runner.runningSearch());
    runner.cancel();
    HVDispatcher::main().runUntil([&] { return recorder->finished; }, 20);
    EXPECT_TRUE(recorder->cancelled);
    EXPECT_FALSE(runner.runningSearch());
    ASSERT_LE(recorder->nodes.size(), all.size());
    for (std::size_t i = 0; i < recorder->nodes.size(); ++i)
        EXPECT_EQ(all[i]->path(), recorder->nodes[i]->path());
}

TEST(HVSearchRunner, ANewSearchSilencesTheOneItReplaces) {
    HVTemporaryDirectory directory;
    for (int i = 0; i < 100; ++i)
        writeQuickly(directory, "f" + std::to_string(1000 + i) + ".txt", "old new\n");
    HVSearchScope scope{{directory.path()}, {}, {}};
    auto recorder = std::make_shared<Recorder>();
    HVSearchRunner runner(recorder);
    runner.runSearch(*literal(u"old"), scope);
    runner.runSearch(*literal(u"new"), scope);
    HVDispatcher::main().runUntil([&] { return recorder->finished; }, 20);
    // Whatever the first run still posts is dropped.
    HVDispatcher::main().runFor(0.2);
    EXPECT_EQ(1, recorder->finishes);
    EXPECT_FALSE(recorder->cancelled);
    ASSERT_EQ(100u, recorder->nodes.size());
    EXPECT_EQ(u"new", recorder->nodes[0]->text().substr(
                          recorder->nodes[0]->results()[0].range().location, 3));
}

TEST(HVSearchRunner, CancelledReplaceLeavesEveryFileOldOrNew) {
    HVTemporaryDirectory directory;
    HVSearchScope scope{{directory.path()}, {}, {}};
    for (int i = 0; i < 200; ++i)
        writeQuickly(directory, "f" + std::to_string(1000 + i) + ".txt",
                     std::string(4000, 'a') + "needle");
    auto search = literal(u"needle");
    search->setReplaceString(u"thread");
    std::vector<HVReplaceJob> jobs;
    for (const auto& node : searchNow(*search, scope))
        jobs.push_back({node, {node->results().front().range()}});
    auto recorder = std::make_shared<Recorder>();
    HVSearchRunner runner(recorder);
    runner.runReplaces(*search, jobs);
    runner.cancel();
    HVDispatcher::main().runUntil([&] { return recorder->replaced; }, 20);
    std::size_t replaced = 0;
    for (const auto& job : jobs) {
        std::string bytes = HVReadFile(job.node->path());
        if (bytes == std::string(4000, 'a') + "thread")
            ++replaced;
        else
            EXPECT_EQ(std::string(4000, 'a') + "needle", bytes);
    }
    EXPECT_LT(replaced, jobs.size());
}

TEST(HVMultiFileSearchNode, LineAndColumnCountCodePointsAfterAnyLineBreak) {
    HVMultiFileSearchNode node("/site/pages/index.html");
    EXPECT_EQ(u"index.html \u2014 /site/pages", node.displayName());
    node.setText(u"a\r\nb\rc\n😀x");
    EXPECT_EQ((std::pair<std::size_t, std::size_t>{1, 2}), node.lineAndColumn(1));
    EXPECT_EQ((std::pair<std::size_t, std::size_t>{2, 1}), node.lineAndColumn(3));
    EXPECT_EQ((std::pair<std::size_t, std::size_t>{3, 1}), node.lineAndColumn(5));
    EXPECT_EQ((std::pair<std::size_t, std::size_t>{4, 2}), node.lineAndColumn(9));
}
