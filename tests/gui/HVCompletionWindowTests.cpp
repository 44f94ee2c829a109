// Completion in the real window: keys typed into HTML, CSS and PHP documents, the pop-up they
// open, Down and Return to choose, a value asked for by a dialog, and the call tip.

#include "HVBundleRepository.h"
#include "HVCallTipWidget.h"
#include "HVCodeCompletionPopupWidget.h"
#include "HVFileSystem.h"
#include "HVPreferences.h"
#include "HVPropertyList.h"
#include "HVWindowTest.h"

#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTreeWidget>
#include <filesystem>

namespace {

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

// The shipped HTML, CSS and PHP languages, each copied to the user's bundles with a completion
// definition of the test's own, so that what is offered does not hang on the shipped lists.
class CompletionWindowTest : public HVWindowTest {
protected:
    HVTemporaryDirectory dataHome;
    HVScopedEnvironment dataHomeVariable{"XDG_DATA_HOME", dataHome.path()};

    CompletionWindowTest() {
        withCompletion(
            "HTML",
            Dict{{"format-type", "tag"},
                 {"elements", Dict{{"a", Dict{{"href", ""}, {"target", Array{"_blank", "_self"}}}},
                                   {"img", Dict{{"src", "path\u2026"}}}}}});
        withCompletion("CSS", Dict{{"class", "HVCSSCodeCompletion"},
                                   {"properties",
                                    Dict{{"display", Array{"block", "inline", "none"}},
                                         {"color", Array{"red", "color\u2026"}},
                                         {"width", Array{"auto", "length\u2026"}},
                                         {"font-family", Array{"serif", "family-name\u2026"}}}}});
        withCompletion(
            "PHP Code",
            Dict{{"format-type", "keyword"},
                 {"keys", Dict{{"strlen", "function strlen(string)"},
                               {"str_replace", "function str_replace(search, replace, subject)"}}}},
            Dict{{"strlen", "strlen(string)"}});
        HVPreferences::sharedInstance().setObject("HVSuggestKeywordsAutomatically", false);
        HVBundleRepository::sharedRepository().reset();
    }
    ~CompletionWindowTest() override { HVBundleRepository::sharedRepository().reset(); }

    static void withCompletion(const std::string& name, Dict completion,
                               std::optional<Dict> hinting = std::nullopt) {
        std::string shipped = HVFileSystem::appendingPathComponent(
            Defaults::applicationResourcesDirectory(), "Bundles/" + name + ".hvbundle");
        std::string copy = Defaults::appSupportPathForFile(name + ".hvbundle", "Bundles");
        std::filesystem::create_directories(copy);
        std::filesystem::copy(shipped, copy, std::filesystem::copy_options::recursive);
        EXPECT_TRUE(HVPropertyList::writeToFile(completion, copy + "/Contents/completion.plist",
                                                HVPlistFormat::XML));
        if (hinting) {
            EXPECT_TRUE(HVPropertyList::writeToFile(*hinting, copy + "/Contents/hinting.plist",
                                                    HVPlistFormat::XML));
        }
    }

    // Opens the file with the caret at the end of its text.
    HVEditorWidget* openAtEnd(const std::string& name, const char* text) {
        HVDocumentWindow* window = open(dir.write(name, text));
        HVEditorWidget* editor = window->activeEditor();
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        return editor;
    }
    static QStringList rowsShown(HVEditorWidget* editor) {
        HVCodeCompletionPopupWidget* popup = editor->completionPopup();
        return popup && popup->isVisible() ? popup->rows() : QStringList();
    }
    // The completion sheet on the screen, once it shows.
    template <typename Dialog = QDialog> static Dialog* visibleDialog() {
        Dialog* found = nullptr;
        HVWaitFor([&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->objectName() == "HVCompletionDialog" && widget->isVisible())
                    found = qobject_cast<Dialog*>(widget);
            }
            return found != nullptr;
        });
        return found;
    }
    static QString text(HVEditorWidget* editor) {
        std::u16string_view text = editor->view()->string();
        return QString::fromUtf16(text.data(), qsizetype(text.size()));
    }
};

TEST_F(CompletionWindowTest, AnHTMLValueIsChosenWithDownAndReturn) {
    HVEditorWidget* editor = openAtEnd("page.html", "<p>\n");
    QTest::keyClicks(editor, "<a hr");
    EXPECT_EQ(rowsShown(editor), QStringList{"href\tattribute"});
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(rowsShown(editor), QStringList());
    QTest::keyClick(editor, Qt::Key_Escape);

    QTest::keyClicks(editor, "=\"x\" target=\"_");
    EXPECT_EQ(rowsShown(editor), (QStringList{"_blank\tvalue", "_self\tvalue"}));
    QTest::keyClick(editor, Qt::Key_Down);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(text(editor), "<p>\n<a hr=\"x\" target=\"_self\"");
    EXPECT_EQ(rowsShown(editor), QStringList());
    // The pop-up sits just below the caret's line.
    QTest::keyClicks(editor, " t");
    HVCodeCompletionPopupWidget* popup = editor->completionPopup();
    ASSERT_TRUE(popup->isVisible());
    QRect caret = editor->caretRect();
    EXPECT_EQ(popup->geometry().top(), caret.bottom() + 1 + 2);
}

TEST_F(CompletionWindowTest, APathFromTheFileChooserGoesInRelativeToThePage) {
    dir.write("images/logo.png", "png");
    HVEditorWidget* editor = openAtEnd("page.html", "<p>\n");
    QTest::keyClicks(editor, "<img src=\"");
    EXPECT_EQ(rowsShown(editor), QStringList{QString::fromUtf8("path\u2026\tvalue")});
    QTest::keyClick(editor, Qt::Key_Return);
    QFileDialog* chooser = nullptr;
    ASSERT_TRUE(HVWaitFor([&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == "HVCompletionFileChooser" && widget->isVisible())
                chooser = qobject_cast<QFileDialog*>(widget);
        }
        return chooser != nullptr;
    }));
    EXPECT_EQ(chooser->directory().absolutePath(), QString::fromStdString(dir.path()));
    // The name typed into the chooser, as a person would.
    chooser->setDirectory(QString::fromStdString(dir.pathFor("images")));
    auto* name = chooser->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_TRUE(name);
    name->setText("logo.png");
    QMetaObject::invokeMethod(chooser, "accept");
    EXPECT_EQ(text(editor), "<p>\n<img src=\"images/logo.png\"");
}

TEST_F(CompletionWindowTest, ACSSPropertyThenItsValue) {
    HVEditorWidget* editor = openAtEnd("style.css", "p {\n  ");
    QTest::keyClicks(editor, "disp");
    EXPECT_EQ(rowsShown(editor), QStringList{"display"});
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(rowsShown(editor), (QStringList{"block", "inline", "none"}));
    QTest::keyClick(editor, Qt::Key_Down);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(text(editor), "p {\n  display: inline");
}

TEST_F(CompletionWindowTest, ACSSColourFromTheColourDialog) {
    HVEditorWidget* editor = openAtEnd("style.css", "p {\n  ");
    QTest::keyClicks(editor, "color: c");
    EXPECT_EQ(rowsShown(editor), QStringList{QString::fromUtf8("color\u2026")});
    QTest::keyClick(editor, Qt::Key_Return);
    auto* dialog = visibleDialog<QColorDialog>();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    dialog->setCurrentColor(Qt::red);
    dialog->accept();
    EXPECT_EQ(text(editor), "p {\n  color: #ff0000");
}

TEST_F(CompletionWindowTest, ALengthWithItsUnitAndAFontFamilyFromTheirSheets) {
    HVEditorWidget* editor = openAtEnd("style.css", "p {\n  ");
    QTest::keyClicks(editor, "width: l");
    QTest::keyClick(editor, Qt::Key_Return);
    QDialog* sheet = visibleDialog();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    auto* units = sheet->findChild<QComboBox*>("units");
    EXPECT_EQ(units->currentText(), "px");
    QTest::keyClicks(sheet->findChild<QLineEdit*>("number"), "12");
    units->setCurrentText("em");
    sheet->accept();
    EXPECT_EQ(text(editor), "p {\n  width: 12em");

    QTest::keyClicks(editor, ";");
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClicks(editor, "font-family: f");
    // A double click accepts the row clicked.
    HVCodeCompletionPopupWidget* popup = editor->completionPopup();
    ASSERT_EQ(popup->rows(), QStringList{QString::fromUtf8("family-name\u2026")});
    auto* list = popup->findChild<QTreeWidget*>();
    QRect row = list->visualItemRect(list->topLevelItem(0));
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent event(
            type, row.center(), list->viewport()->mapToGlobal(row.center()), Qt::LeftButton,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &event);
    }
    sheet = visibleDialog();
    ASSERT_TRUE(sheet);
    auto* families = sheet->findChild<QComboBox*>("value");
    ASSERT_GT(families->count(), 0);
    int spaced = families->findText(" ", Qt::MatchContains);
    ASSERT_GE(spaced, 0) << "no installed family has a space in its name";
    families->setCurrentIndex(spaced);
    sheet->accept();
    EXPECT_EQ(text(editor),
              "p {\n  width: 12em;\n  font-family: \"" + families->itemText(spaced) + "\"");
}

TEST_F(CompletionWindowTest, F5OffersPHPFunctionsAndTheCallTipShowsTheArgument) {
    HVEditorWidget* editor = openAtEnd("page.php", "<?php\n// Names.\n\n\n");
    QTest::keyClicks(editor, "$n = st");
    EXPECT_EQ(rowsShown(editor), QStringList()) << "keywords wait for F5";
    QTest::keyClick(editor, Qt::Key_F5);
    EXPECT_EQ(rowsShown(editor), (QStringList{"str_replace\tfunction", "strlen\tfunction"}));
    QTest::keyClick(editor, Qt::Key_Down);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(text(editor), "<?php\n// Names.\n\n\n$n = strlen([*string*])");
    QTest::keyClicks(editor, "$name");
    EXPECT_EQ(text(editor), "<?php\n// Names.\n\n\n$n = strlen($name)");
    HVCallTipWidget* tip = editor->callTip();
    ASSERT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->text(), "strlen(<b>string</b>)");
    // Above the caret's line, where the pop-up does not go.
    EXPECT_EQ(tip->geometry().bottom() + 1, editor->caretRect().top() - 2);
    QTest::keyClick(editor, Qt::Key_End);
    EXPECT_FALSE(tip->isVisible());
}

} // namespace
