// The editor widget alone, drawn offscreen: what it keeps of its layouts and when it lets go,
// the colours of runs, selection and caret, what a caret blink repaints, and invisibles.

#include "HVEditorWidget.h"
#include "HVGuiTestSupport.h"
#include "HVLayoutManager.h"
#include "HVTestSupport.h"
#include "HVTextBuffer.h"
#include "HVTextViewModel.h"

#include <QPaintEvent>
#include <gtest/gtest.h>
#include <random>

namespace {

// Records the regions the viewport is asked to paint.
class PaintRecorder : public QObject {
public:
    std::vector<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            regions.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

class EditorWidgetTest : public ::testing::Test {
protected:
    HVTextViewModel view;
    std::unique_ptr<HVEditorWidget> editor;

    EditorWidgetTest() { HVGuiApplication(); }

    void show(std::u16string_view text, QSize size = QSize(400, 300)) {
        view.setString(text);
        editor = std::make_unique<HVEditorWidget>(&view);
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(20);
        editor->setEditorFont(font);
        editor->setColors(Qt::black, Qt::white, QColor(0, 0, 255), QColor(255, 0, 255));
        editor->resize(size);
        editor->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
    }

    int pixelsOf(const QColor& color) {
        return HVPixelsNear(editor->viewport()->grab().toImage(), color, 40);
    }

    std::size_t lineStart(std::size_t line) {
        return view.textStorage().rangeOfLine(line).location;
    }
};

std::u16string numberedLines(int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i)
        text += u"line " + QString::number(i).toStdU16String() + u"\n";
    return text;
}

} // namespace

TEST_F(EditorWidgetTest, LayoutsAreKeptBetweenPaintsAndMadeAgainOnlyForWhatChanged) {
    show(numberedLines(40));
    editor->viewport()->repaint();
    int visible = editor->lastPaintLayoutCount();
    EXPECT_GT(visible, 5);
    EXPECT_LT(visible, 40);
    editor->viewport()->repaint();
    EXPECT_EQ(editor->lastPaintLayoutCount(), visible);
    EXPECT_EQ(editor->lastPaintNewLayoutCount(), 0);

    // Typing in a line makes that line's layout again; a new line break makes the two lines
    // it leaves, and the lines below are moved, not made again.
    view.textStorage().replaceCharacters({lineStart(3), 0}, u"x");
    editor->viewport()->repaint();
    EXPECT_EQ(editor->lastPaintNewLayoutCount(), 1);
    view.textStorage().replaceCharacters({lineStart(2) + 2, 0}, u"\n");
    editor->viewport()->repaint();
    EXPECT_EQ(editor->lastPaintNewLayoutCount(), 2);
    // Removing two lines makes the line that moved up to the edit, and the one line that comes
    // into view at the bottom and was never drawn (the one before it was, before the break).
    view.textStorage().replaceCharacters({lineStart(2), lineStart(4) - lineStart(2)}, u"");
    editor->viewport()->repaint();
    EXPECT_EQ(editor->lastPaintNewLayoutCount(), 2);

    // A change of attributes makes its lines again; a change of the look makes all.
    view.textStorage().addAttribute("foreground", HVColor{1, 0, 0, 1},
                                    {lineStart(5), lineStart(7) - lineStart(5) + 1});
    editor->viewport()->repaint();
    EXPECT_EQ(editor->lastPaintNewLayoutCount(), 3);
    editor->setTabWidth(8);
    editor->viewport()->repaint();
    EXPECT_EQ(editor->lastPaintNewLayoutCount(), visible);
    editor->setWrapsText(true);
    editor->viewport()->repaint();
    EXPECT_EQ(editor->lastPaintNewLayoutCount(), visible);
}

TEST_F(EditorWidgetTest, AfterRandomEditsAndColoursTheKeptLayoutsDrawAsFreshOnes) {
    std::mt19937 random(20261206);
    show(numberedLines(12));
    // No caret: the fresh widget has no focus to draw one.
    editor->clearFocus();
    ASSERT_FALSE(editor->hasFocus());
    HVTextBuffer& text = view.textStorage();
    const HVColor colours[] = {{1, 0, 0, 1}, {0, 0.6, 0, 1}, {0, 0, 1, 1}};
    const std::u16string pieces[] = {u"ab", u" ", u"\t", u"\n", u"\r\n", u"xyz"};
    // Without scroll bars, which come and go with the text's size.
    auto picture = [&](HVEditorWidget& widget) {
        widget.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget.viewport()->repaint();
        return widget.viewport()->grab().toImage();
    };
    for (int step = 0; step < 60; ++step) {
        std::size_t length = text.length();
        std::size_t at = random() % (length + 1);
        std::size_t span = std::min<std::size_t>(random() % 12, length - at);
        switch (random() % 5) {
        case 0:
            text.replaceCharacters({at, span}, pieces[random() % std::size(pieces)]);
            break;
        case 1:
            text.replaceCharacters({at, span}, u"");
            break;
        case 2:
            text.addAttribute("foreground", colours[random() % 3], {at, span});
            break;
        case 3:
            text.addAttribute("font-traits", std::int64_t(random() % 8), {at, span});
            break;
        default:
            text.removeAttribute("foreground", {at, span});
            break;
        }
        QImage kept = picture(*editor);
        HVEditorWidget fresh(&view);
        fresh.setEditorFont(editor->editorFont());
        fresh.setColors(Qt::black, Qt::white, QColor(0, 0, 255), QColor(255, 0, 255));
        fresh.resize(editor->size());
        QImage made = picture(fresh);
        ASSERT_EQ(kept.size(), made.size());
        int differing = 0;
        for (int y = 0; y < kept.height(); ++y) {
            for (int x = 0; x < kept.width(); ++x)
                differing += kept.pixel(x, y) != made.pixel(x, y);
        }
        ASSERT_EQ(differing, 0) << "step " << step;
    }
}

TEST_F(EditorWidgetTest, TheCacheOfLayoutsStaysBounded) {
    show(numberedLines(3000));
    for (int i = 0; i < 3000; i += 40) {
        view.setSelectedRange({lineStart(std::size_t(i)), 0});
        view.scrollRangeToVisible(view.selectedRange());
        editor->viewport()->repaint();
        ASSERT_LE(editor->cachedLayoutCount(), HVEditorWidget::kLayoutCacheLimit);
    }
    EXPECT_GT(editor->cachedLayoutCount(), HVEditorWidget::kLayoutCacheLimit / 2);
    // What is on screen is still kept.
    editor->viewport()->repaint();
    EXPECT_EQ(editor->lastPaintNewLayoutCount(), 0);
}

TEST_F(EditorWidgetTest, RunsDrawTheirColours) {
    show(u"WWWWWWWW MMMMMMMM");
    HVTextBuffer& text = view.textStorage();
    editor->viewport()->repaint();
    EXPECT_EQ(pixelsOf(Qt::red), 0);
    text.addAttribute("foreground", HVColor{1, 0, 0, 1}, {9, 8});
    EXPECT_GT(pixelsOf(Qt::red), 50);
    // A background fills its run's cells.
    text.addAttribute("background", HVColor{1, 1, 0, 1}, {0, 8});
    EXPECT_GT(pixelsOf(Qt::yellow), 8 * 10 * 20 / 2);
    // Bold strokes cover more pixels than regular ones.
    text.removeAttribute("foreground", {0, text.length()});
    int regular = pixelsOf(Qt::black);
    text.addAttribute("font-traits", std::int64_t(HVBoldFontTrait), {0, text.length()});
    EXPECT_GT(pixelsOf(Qt::black), regular + 20);
}

TEST_F(EditorWidgetTest, TheSelectionCaretAndBackgroundTakeTheColoursGiven) {
    show(u"abc\ndef");
    editor->setColors(Qt::white, QColor(20, 20, 20), QColor(0, 0, 255), QColor(255, 0, 255));
    editor->viewport()->repaint();
    EXPECT_GT(pixelsOf(QColor(20, 20, 20)), 400 * 200);
    EXPECT_EQ(pixelsOf(QColor(0, 0, 255)), 0);
    view.setSelectedRange({0, 5});
    EXPECT_GT(pixelsOf(QColor(0, 0, 255)), 3 * 10 * 20);
    view.setSelectedRange({1, 0});
    QApplication::setActiveWindow(editor.get());
    editor->setFocus();
    ASSERT_TRUE(HVWaitFor([&] { return editor->hasFocus(); }));
    // The caret shows in its colour at its place, whichever half of its blink is on.
    QRect caret = editor->caretRect();
    ASSERT_FALSE(caret.isNull());
    EXPECT_TRUE(HVWaitFor([&] { return pixelsOf(QColor(255, 0, 255)) >= caret.height(); }));
}

TEST_F(EditorWidgetTest, ABlinkOfTheCaretRepaintsOnlyItsRow) {
    show(numberedLines(30));
    view.setSelectedRange({lineStart(4) + 2, 0});
    QApplication::setActiveWindow(editor.get());
    editor->setFocus();
    ASSERT_TRUE(HVWaitFor([&] { return editor->hasFocus(); }));
    QApplication::processEvents();
    PaintRecorder recorder;
    editor->viewport()->installEventFilter(&recorder);
    ASSERT_TRUE(HVWaitFor([&] { return !recorder.regions.empty(); }));
    editor->viewport()->removeEventFilter(&recorder);
    QRect caret = editor->caretRect();
    QRect painted = recorder.regions.front().boundingRect();
    EXPECT_TRUE(painted.contains(caret));
    EXPECT_LE(painted.height(), caret.height() + 2);
    EXPECT_EQ(painted.width(), editor->viewport()->width());
    EXPECT_EQ(editor->lastPaintLayoutCount(), 1);
}

TEST_F(EditorWidgetTest, ClicksLandWhereTheCaretIsDrawnAlsoWhenWrapped) {
    std::u16string text = numberedLines(5) + std::u16string(200, u'w') + u" end";
    show(text);
    for (bool wraps : {false, true}) {
        editor->setWrapsText(wraps);
        for (std::size_t position : {std::size_t(0), lineStart(2) + 3, text.size() - 2}) {
            view.setSelectedRange({position, 0});
            view.scrollRangeToVisible(view.selectedRange());
            QRect caret = editor->caretRect();
            ASSERT_FALSE(caret.isNull()) << position;
            EXPECT_EQ(editor->positionAt(caret.center()), position)
                << "wraps " << wraps << " position " << position;
        }
    }
}

TEST_F(EditorWidgetTest, InvisiblesDrawInTheirColourOverTheText) {
    show(u"a \t b\r\nc\n\n");
    QColor green(0, 200, 0);
    EXPECT_EQ(pixelsOf(green), 0);
    HVLayoutManager& layout = editor->layoutManager();
    layout.setInvisiblesColor(HVColor{0, 200 / 255.0, 0, 1});
    layout.setShowInvisibleCharacters(true);
    int shown = pixelsOf(green);
    EXPECT_GT(shown, 10);
    layout.setShowInvisibleCharacters(false);
    EXPECT_EQ(pixelsOf(green), 0);
}
