#include "HVLineNumberingRulerWidget.h"

#include "Defaults.h"
#include "HTMLView.h"
#include "HVEditorWidget.h"
#include "HVLineNumberingRulerView.h"
#include "HVTextDisplayModel.h"
#include "HVUndoManager.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <cmath>

namespace {

// Where the numbers end, from the right edge: before the marker column while it shows.
constexpr int kNumberInsetWithMarkers = 15;
constexpr int kNumberInsetWithoutMarkers = 3;

struct GutterColors {
    QColor background;
    QColor hover;
    QColor edge;
    QColor number;
};

QColor mixed(const QColor& from, const QColor& to, double amount) {
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * amount),
                            float(from.greenF() + (to.greenF() - from.greenF()) * amount),
                            float(from.blueF() + (to.blueF() - from.blueF()) * amount));
}

// A light theme gets the desktop's grey of highlighted controls; a dark one a band a little
// lighter than its text's background, so that the gutter reads as part of the same surface.
GutterColors colorsForBackground(const QColor& text) {
    if (text.lightnessF() >= 0.5)
        return {QColor::fromRgbF(0.91f, 0.91f, 0.91f), QColor::fromRgbF(0.804f, 0.804f, 0.804f),
                QColor::fromRgbF(0.333f, 0.333f, 0.333f), QColor::fromRgbF(0.333f, 0.333f, 0.333f)};
    return {mixed(text, Qt::white, 0.08), mixed(text, Qt::white, 0.18), mixed(text, Qt::black, 0.5),
            mixed(text, Qt::white, 0.55)};
}

const char* imageNameForState(HVFoldState state) {
    switch (state) {
    case HVFoldState::Opener:
        return "marker-open";
    case HVFoldState::Closer:
        return "marker-open-bottom";
    case HVFoldState::Collapsed:
        return "marker-closed";
    default:
        return nullptr;
    }
}

// The shipped picture (or the user's copy), at 2x on screens that have the pixels for it.
QPixmap markerImage(const char* name, qreal pixelRatio) {
    bool doubled = pixelRatio > 1.0;
    QString key = QStringLiteral("HVGutter/%1/%2").arg(QLatin1String(name)).arg(doubled ? 2 : 1);
    QPixmap image;
    if (QPixmapCache::find(key, &image))
        return image;
    std::string file = std::string(name) + (doubled ? "@2x" : "");
    if (auto path = Defaults::pathForResource(file, "png", "Images")) {
        image.load(QString::fromStdString(*path));
        image.setDevicePixelRatio(doubled ? 2.0 : 1.0);
    }
    QPixmapCache::insert(key, image);
    return image;
}

} // namespace

HVLineNumberingRulerWidget::HVLineNumberingRulerWidget(HVEditorWidget* editor, HTMLView& view)
    : QWidget(editor), m_editor(editor), m_view(view) {
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    m_thickness = thickness();
    m_rulerObserver = m_view.rulerView().addObserver([this] { rulerChanged(); });
}

HVLineNumberingRulerWidget::~HVLineNumberingRulerWidget() {
    m_view.rulerView().removeObserver(m_rulerObserver);
}

int HVLineNumberingRulerWidget::thickness() const {
    return int(std::lround(m_view.rulerView().thickness()));
}

void HVLineNumberingRulerWidget::rulerChanged() {
    if (int now = thickness(); now != m_thickness) {
        m_thickness = now;
        emit thicknessChanged();
    }
    update();
}

std::optional<std::size_t> HVLineNumberingRulerWidget::lineAt(double y) const {
    const HVTextDisplayModel& display = m_editor->display();
    for (const auto& visible : display.visibleUnits()) {
        if (y >= visible.y && y < visible.y + display.unitHeight(visible.unit))
            return m_view.textStorage().rangeOfLine(visible.unit.line).location;
    }
    return std::nullopt;
}

void HVLineNumberingRulerWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const HVTextDisplayModel& display = m_editor->display();
    const HVLineNumberingRulerView& ruler = m_view.rulerView();
    const GutterColors colors = colorsForBackground(m_editor->backgroundColor());
    const double lineHeight = display.lineHeight();
    const int right = width();
    painter.fillRect(rect(), colors.background);

    std::vector<HVTextDisplayModel::VisibleUnit> units = display.visibleUnits();
    if (m_hoverY) {
        // Every row of the line under the pointer, including the pieces of a long one.
        std::optional<std::size_t> hovered;
        for (const auto& visible : units) {
            if (*m_hoverY >= visible.y && *m_hoverY < visible.y + display.unitHeight(visible.unit))
                hovered = visible.unit.line;
        }
        for (const auto& visible : units) {
            if (hovered && visible.unit.line == *hovered)
                painter.fillRect(QRectF(0, visible.y, right, display.unitHeight(visible.unit)),
                                 colors.hover);
        }
    }
    painter.fillRect(QRectF(right - 1, 0, 1, height()), colors.edge);

    QFont font = this->font();
    font.setPointSizeF(8);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(colors.number);
    const bool numbers = ruler.lineNumbersEnabled();
    const bool markers = ruler.codeFoldingEnabled();
    const int numberRight =
        right - (markers ? kNumberInsetWithMarkers : kNumberInsetWithoutMarkers);
    const qreal pixelRatio = devicePixelRatioF();
    m_lastPaintRows.clear();
    for (const auto& visible : units) {
        std::size_t lineStart = m_view.textStorage().rangeOfLine(visible.unit.line).location;
        std::size_t rows = std::max<std::size_t>(1, display.rowStarts(visible.unit).size());
        for (std::size_t row = 0; row < rows; ++row) {
            double top = visible.y + double(row) * lineHeight;
            bool firstRow = visible.unit.segment == 0 && row == 0;
            QString entry;
            if (numbers) {
                entry = firstRow ? QString::number(ruler.lineNumberAtIndex(lineStart))
                                 : QStringLiteral("-");
                painter.drawText(QRectF(0, top, numberRight, lineHeight),
                                 Qt::AlignRight | Qt::AlignVCenter, entry);
            }
            if (markers && firstRow) {
                std::optional<HVFoldMarker> marker = ruler.markerAtGlyphIndex(lineStart);
                if (const char* name = marker ? imageNameForState(marker->state) : nullptr) {
                    QPixmap image = markerImage(name, pixelRatio);
                    QSizeF size = image.deviceIndependentSize();
                    // Between the numbers and the edge line, centred, on whole pixels.
                    double space = right - 1 - numberRight;
                    QPointF at(std::floor(numberRight + (space - size.width()) / 2),
                               std::floor(top + (lineHeight - size.height()) / 2));
                    painter.drawPixmap(at, image);
                    entry += QStringLiteral(" ") + QLatin1String(name);
                }
            }
            m_lastPaintRows << entry;
        }
    }
}

void HVLineNumberingRulerWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    QPointF point = event->position();
    std::optional<std::size_t> line = lineAt(point.y());
    if (!line)
        return;
    bool inMarkerColumn = point.x() >= width() - HVLineNumberingRulerView::markerColumnWidth;
    HVUndoManager& undo = m_view.undoManager();
    undo.beginEventGroup();
    m_view.rulerView().mouseDown(*line, inMarkerColumn);
    undo.endEventGroup();
    m_editor->setFocus();
    m_editor->viewport()->update();
    update();
}

void HVLineNumberingRulerWidget::mouseMoveEvent(QMouseEvent* event) {
    m_hoverY = event->position().y();
    update();
}

void HVLineNumberingRulerWidget::leaveEvent(QEvent*) {
    m_hoverY.reset();
    update();
}
