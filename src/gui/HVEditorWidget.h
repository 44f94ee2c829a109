#pragma once

#include "HVRange.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class HTMLView;
class HVCallTipWidget;
class HVCodeCompletionPopupWidget;
class HVLayoutManager;
class HVLineNumberingRulerWidget;
class HVSyntaxHighlightingTextView;
class HVTextBuffer;
class HVTextDisplayModel;
class HVTextViewModel;
class QMenu;
class QTextLayout;
struct HVDisplayUnit;

// Draws a text view model and feeds it keys, mouse and input methods. What is drawn where -
// the units a long line is cut into, the scroll position, hit testing, the caret's place - is
// the display model's; the widget lays out the units it draws with Qt, keeps those layouts
// until their text, attributes or look change, and draws runs, selection, caret and, when asked,
// symbols for invisible characters.
//
// An HTMLView also gets a gutter in the left margin (HVLineNumberingRulerWidget) for its line
// numbers and fold markers; a collapsed region's character is drawn as one marker box, a
// double click on it expands the region, and while folds change the scroll position stays.
//
// A highlighting view gives the colours (its theme's) and the layout manager that says which
// invisibles show; the widget tells it which characters it shows, so that those are coloured
// before they are drawn. A plain view gets default colours and a layout manager of its own.
class HVEditorWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    // The most layouts kept; a screen needs a few dozen.
    static constexpr std::size_t kLayoutCacheLimit = 512;
    // The columns a collapsed region's marker box takes.
    static constexpr int kFoldMarkerColumns = 3;

    explicit HVEditorWidget(HVTextViewModel* view, QWidget* parent = nullptr);
    ~HVEditorWidget() override;

    HVTextViewModel* view() const { return m_view; }
    const HVTextDisplayModel& display() const { return *m_display; }
    // Runs a command by name as one user event ("moveRight:", "undo:"...).
    bool runCommand(const char* selector);
    // Runs an action on the view as one user event (one undo step), without moving the scroll
    // position to the caret (the fold commands).
    void runUserEvent(const std::function<void()>& action);
    // The view when it folds (an HTMLView), else null; and its gutter.
    HTMLView* foldingView() const { return m_foldingView; }
    HVLineNumberingRulerWidget* gutter() const { return m_gutter.get(); }
    // An HTMLView's completion pop-up and call tip, drawn over the text; else null.
    HVCodeCompletionPopupWidget* completionPopup() const { return m_completionPopup.get(); }
    HVCallTipWidget* callTip() const { return m_callTip.get(); }
    void setWrapsText(bool wraps);
    bool wrapsText() const { return m_wraps; }
    void setTabWidth(int columns);
    int tabWidth() const { return m_tabWidth; }
    void setEditorFont(const QFont& font);
    const QFont& editorFont() const { return m_font; }
    // Colours for a view that does not highlight; a highlighting view's theme sets them again
    // whenever it changes.
    void setColors(const QColor& text, const QColor& background, const QColor& selection,
                   const QColor& caret);
    QColor textColor() const { return m_textColor; }
    QColor backgroundColor() const { return m_backgroundColor; }
    QColor selectionColor() const { return m_selectionColor; }
    QColor caretColor() const { return m_caretColor; }
    // Whether a symbol shows over each space, tab and line break, and in which colour.
    HVLayoutManager& layoutManager() const { return *m_layoutManager; }
    bool showsInvisibles() const;
    QColor invisiblesColor() const;
    void ensureRangeVisible(HVRange range);

    // Introspection for tests: how many units the last paint drew and how many layouts it had
    // to make, how many layouts are kept, and which unit is on top.
    int lastPaintLayoutCount() const { return m_lastPaintLayouts; }
    int lastPaintNewLayoutCount() const { return m_lastPaintNewLayouts; }
    std::size_t cachedLayoutCount() const;
    std::size_t topUnit() const;
    std::size_t unitCount() const;
    // The text position under a point of the viewport.
    std::size_t positionAt(const QPoint& point);
    // The caret's rectangle in viewport coordinates, when it is on screen.
    QRect caretRect();
    // The matching bracket the editor flashes (typing a closing one, moving over one), drawn
    // as selected until the flash ends; {HVNotFound, 0} when none.
    HVRange flashedRange() const { return m_flashRange; }
    static constexpr int kFlashMilliseconds = 100;
    // The menu a right click shows: the clipboard commands, and for an HTMLView the block
    // indentation commands.
    QMenu* createContextMenu(QWidget* parent);

signals:
    void selectionChanged();
    void textChanged();
    void lineBreakTypeChanged();
    // Files dropped on the editor, to be opened rather than inserted.
    void filesDropped(const QStringList& paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    class Measurer;
    struct LayoutCache;

    const HVTextBuffer& text() const;
    QTextLayout& layoutFor(HVDisplayUnit unit);
    std::unique_ptr<QTextLayout> makeLayout(HVDisplayUnit unit) const;
    void forgetLayouts();
    void forgetLayoutsOfLines(std::size_t firstLine, std::size_t oldEndLine,
                              std::size_t newEndLine);
    qreal layoutWidth() const;
    qreal textLeft() const;
    void drawInvisibles(QPainter& painter, QTextLayout& layout, HVDisplayUnit unit, HVRange range,
                        QPointF origin);
    void updateScrollBars();
    // Repaints the text and the gutter beside it.
    void redraw();
    // The gutter's width as the viewport's left margin, and its place there.
    void layOutGutter();
    // Draws the collapsed regions' characters of a unit as marker boxes.
    void drawFoldMarkers(QPainter& painter, QTextLayout& layout, HVRange range, QPointF origin);
    // The characters of collapsed regions in the range.
    std::vector<std::size_t> foldMarkersIn(HVRange range) const;
    // The character under a point of the viewport (the one whose box holds it).
    std::size_t characterAt(const QPoint& point);
    // The characters of the units in the viewport.
    HVRange shownRange() const;
    // Tells a highlighting view what is shown, after anything that may have changed it.
    void updateVisibleRange();
    void takeViewColors();
    void scrollToUnit(std::size_t unit, qreal offset = 0);
    void scrollByPixels(qreal pixels);
    void ensurePositionVisible(std::size_t position);
    void caretMoved();
    // The pop-up and the call tip follow the caret's line.
    void placeCaretBoxes();
    void restartCaretBlink();
    void blinkCaret();
    void selectByMouse(std::size_t position, bool extend);

    HVTextViewModel* m_view;
    // The view when it highlights (the same object as m_view), else null.
    HVSyntaxHighlightingTextView* m_highlightingView = nullptr;
    // The view when it folds (the same object again), else null; it has a gutter.
    HTMLView* m_foldingView = nullptr;
    std::unique_ptr<HVLineNumberingRulerWidget> m_gutter;
    std::unique_ptr<HVCodeCompletionPopupWidget> m_completionPopup;
    std::unique_ptr<HVCallTipWidget> m_callTip;
    // A plain view's own layout manager; a highlighting view's is its own.
    std::unique_ptr<HVLayoutManager> m_ownLayoutManager;
    HVLayoutManager* m_layoutManager = nullptr;
    // Shared with the view's line model, which only looks while it is there.
    std::shared_ptr<HVTextDisplayModel> m_display;
    std::unique_ptr<LayoutCache> m_layouts;
    std::uint64_t m_displayObserver = 0;
    std::uint64_t m_selectionObserver = 0;
    std::uint64_t m_scrollObserver = 0;
    std::uint64_t m_lineBreakObserver = 0;
    std::uint64_t m_colorsObserver = 0;
    std::uint64_t m_layoutManagerObserver = 0;
    std::uint64_t m_flashObserver = 0;
    bool m_visibleRangeQueued = false;

    QFont m_font;
    qreal m_lineHeight = 16;
    qreal m_spaceWidth = 8;
    int m_tabWidth = 4;
    bool m_wraps = false;
    QColor m_textColor = Qt::black;
    QColor m_backgroundColor = Qt::white;
    QColor m_selectionColor = QColor(0xb5, 0xd5, 0xff);
    QColor m_caretColor = Qt::black;

    qreal m_widestSeen = 0;
    bool m_settingScrollBars = false;

    // A flash ends by the timer, so typing goes on while the bracket shows.
    HVRange m_flashRange{HVNotFound, 0};
    QTimer m_flashTimer;

    QTimer m_caretTimer;
    bool m_caretVisible = true;
    QString m_preedit;

    // Mouse selection: the anchor of a drag, and the kind of unit it grows by.
    std::size_t m_dragAnchor = 0;
    bool m_dragging = false;
    QElapsedTimer m_lastDoubleClick;

    int m_lastPaintLayouts = 0;
    int m_lastPaintNewLayouts = 0;
};
