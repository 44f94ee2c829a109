#pragma once

#include <QStringList>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <optional>

class HTMLView;
class HVEditorWidget;

// The gutter left of an editor's text: draws the line numbers and fold markers of the
// editor's ruler (HTMLView::rulerView()) beside the rows the editor shows, and hands clicks to
// the ruler. What a line's number is, which marker it has and what a click does are the
// ruler's; this widget only finds the line under the pointer.
//
// A child of its editor widget, which places it in the viewport's left margin and scrolls it
// with the text; it must not outlive the view.
class HVLineNumberingRulerWidget : public QWidget {
    Q_OBJECT
public:
    HVLineNumberingRulerWidget(HVEditorWidget* editor, HTMLView& view);
    ~HVLineNumberingRulerWidget() override;

    // The ruler's thickness in pixels: 0 while it shows neither numbers nor markers.
    int thickness() const;

    // Introspection for tests: one entry per row the last paint drew, from the top: the number
    // (or "-" for a row that continues a line, "" with numbers off), then, after a space, the
    // name of the marker image it drew.
    const QStringList& lastPaintRows() const { return m_lastPaintRows; }

signals:
    // The ruler began or stopped showing: the editor lays out its margin again.
    void thicknessChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The start of the text line drawn at y, if a line is drawn there.
    std::optional<std::size_t> lineAt(double y) const;
    void rulerChanged();

    HVEditorWidget* m_editor;
    HTMLView& m_view;
    std::uint64_t m_rulerObserver = 0;
    int m_thickness = 0;
    // The pointer's height while it is over the gutter.
    std::optional<double> m_hoverY;
    QStringList m_lastPaintRows;
};
