#include "HVDocumentFileWatcher.h"
#include "HVDocumentsTestSupport.h"
#include "HVFileSystem.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

void appendInPlace(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(fd);
}

// A file opened on its own, in a window of its own: no project tree watches it.
struct LoneFile {
    std::shared_ptr<HVMultiFileDocument> window = std::make_shared<HVMultiFileDocument>();
    HVFileDocument* document = nullptr;

    explicit LoneFile(const std::string& path) {
        HVError error;
        document = window->openFileAtPath(path, &error);
        EXPECT_NE(document, nullptr) << error.fullDescription();
        document->viewWithSuggestedFrame();
    }
    std::u16string text() const { return std::u16string(document->textView()->string()); }
};

class DocumentFileWatcher : public HVDocumentsTest {
protected:
    bool waitFor(const std::function<bool()>& done) {
        return HVDispatcher::main().runUntil(done, 5);
    }
    // Everything the watcher saw before now has reached the documents: a change of another
    // watched file must arrive twice, the second time in a read of its own.
    void settle() {
        std::string path = dir.write("sentinel.txt", "");
        LoneFile sentinel(path);
        for (std::u16string expected : {u"1", u"12"}) {
            appendInPlace(path, std::string(1, char(expected.back())));
            ASSERT_TRUE(waitFor([&] { return sentinel.text() == expected; }));
        }
    }
};

TEST_F(DocumentFileWatcher, AnOutsideRewriteShowsInAnUneditedDocument) {
    std::string path = dir.write("page.html", "one");
    LoneFile lone(path);
    EXPECT_TRUE(HVDocumentFileWatcher::sharedInstance().isWatchingDocument(*lone.document));

    dir.write("page.html", "two"); // a new file renamed over the old one
    EXPECT_TRUE(waitFor([&] { return lone.text() == u"two"; })) << "text: " << lone.text().size();
    appendInPlace(path, " three"); // and the new file is watched in its turn
    EXPECT_TRUE(waitFor([&] { return lone.text() == u"two three"; }));
    EXPECT_EQ(ui->presentedErrors.size(), 0u);
}

TEST_F(DocumentFileWatcher, ADeletedFileAsksWhetherToSaveItElsewhere) {
    std::string path = dir.write("gone.css", "body {}");
    LoneFile lone(path);
    ui->alertAnswers = {1};
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_TRUE(waitFor([&] { return !ui->presentedErrors.empty(); }));
    EXPECT_EQ(ui->presentedErrors[0].code(), 6);
    EXPECT_EQ(ui->presentedErrors[0].description(), "Local File Removed");
    EXPECT_TRUE(lone.window->windowController().openDocuments().empty()) << "Don't Save closes";
}

TEST_F(DocumentFileWatcher, TheDocumentsOwnSaveIsNoOutsideChange) {
    std::string path = dir.write("script.js", "let a;");
    LoneFile lone(path);
    type(lone.document, u" let b;");
    lone.document->saveDocument();
    ASSERT_EQ(HVReadFile(path), "let a; let b;");
    type(lone.document, u" let c;");
    settle();
    EXPECT_EQ(ui->presentedErrors.size(), 0u);

    // The saved file is watched: another program's change to it asks.
    ui->alertAnswers = {0};
    appendInPlace(path, " theirs");
    ASSERT_TRUE(waitFor([&] { return !ui->presentedErrors.empty(); }));
    EXPECT_EQ(ui->presentedErrors[0].code(), 5);
    EXPECT_EQ(lone.text(), u"let a; let b; let c;");
}

} // namespace
