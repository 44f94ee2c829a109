#pragma once

#include "HVRange.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

class HVTextBuffer;
class HVTextViewModel;
class QTextLayout;
struct HVTextEdit;

// Draws a text view model and feeds it keys, mouse and input methods. Only what is visible is
// laid out: the view scrolls in "units", one per text line, except that a line longer than
// kSegmentLength characters is cut into pieces of that length, each its own unit, so that a
// multi-megabyte line (minified scripts, JSON) never has to be laid out whole.
class HVEditorWidget : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr std::size_t kSegmentLength = 2048;

    explicit HVEditorWidget(HVTextViewModel* view, QWidget* parent = nullptr);
    ~HVEditorWidget() override;

    HVTextViewModel* view() const { return m_view; }
    // Runs a command by name as one user event ("moveRight:", "undo:"...).
    bool runCommand(const char* selector);
    void setWrapsText(bool wraps);
    bool wrapsText() const { return m_wraps; }
    void setTabWidth(int columns);
    void setEditorFont(const QFont& font);
    void setColors(const QColor& text, const QColor& background, const QColor& selection,
                   const QColor& caret);
    void ensureRangeVisible(HVRange range);

    // Introspection for tests: how many pieces the last paint laid out, and which unit is on top.
    int lastPaintLayoutCount() const { return m_lastPaintLayouts; }
    std::size_t topUnit() const { return m_topUnit; }
    std::size_t unitCount() const;
    // The text position under a point of the viewport.
    std::size_t positionAt(const QPoint& point);
    // The caret's rectangle in viewport coordinates, when it is on screen.
    QRect caretRect();

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
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct LongLine {
        std::size_t offset; // start of the line in the text
        std::size_t length; // without the line break
        std::size_t extra;  // units beyond the first
    };
    struct Unit {
        std::size_t line;
        std::size_t segment;
    };
    class LineModel;

    const HVTextBuffer& text() const;
    void textEdited(const HVTextEdit& edit);
    void rescanLongLines(std::size_t fromLine, std::size_t toLine);
    std::size_t unitIndex(Unit unit) const;
    Unit unitAt(std::size_t index) const;
    std::size_t lineContentLength(std::size_t line) const;
    std::size_t segmentsOfLine(std::size_t line) const;
    HVRange segmentRange(Unit unit) const;
    Unit unitForPosition(std::size_t position) const;
    std::unique_ptr<QTextLayout> layoutUnit(Unit unit, bool withFormats) const;
    qreal layoutWidth() const;
    void updateScrollBars();
    void scrollToUnit(std::size_t unit, qreal offset = 0);
    void scrollByPixels(qreal pixels);
    void ensurePositionVisible(std::size_t position);
    void caretMoved();
    void restartCaretBlink();
    void selectByMouse(std::size_t position, bool extend);

    HVTextViewModel* m_view;
    std::uint64_t m_textObserver = 0;
    std::uint64_t m_selectionObserver = 0;
    std::uint64_t m_scrollObserver = 0;
    std::uint64_t m_lineBreakObserver = 0;
    std::vector<LongLine> m_longLines;
    std::size_t m_extraUnits = 0;

    QFont m_font;
    qreal m_lineHeight = 16;
    qreal m_spaceWidth = 8;
    int m_tabWidth = 4;
    bool m_wraps = false;
    QColor m_textColor = Qt::black;
    QColor m_backgroundColor = Qt::white;
    QColor m_selectionColor = QColor(0xb5, 0xd5, 0xff);
    QColor m_caretColor = Qt::black;

    std::size_t m_topUnit = 0;
    qreal m_topOffset = 0; // pixels of the top unit scrolled out of view
    qreal m_widestSeen = 0;
    bool m_settingScrollBars = false;

    QTimer m_caretTimer;
    bool m_caretVisible = true;
    QString m_preedit;

    // Mouse selection: the anchor of a drag, and the kind of unit it grows by.
    std::size_t m_dragAnchor = 0;
    bool m_dragging = false;
    QElapsedTimer m_lastDoubleClick;

    int m_lastPaintLayouts = 0;
};
