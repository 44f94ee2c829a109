#include "HVCallTipWidget.h"

#include "HTMLView.h"
#include "HVEditorWidget.h"

#include <QToolTip>
#include <algorithm>

namespace {

QString qString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

} // namespace

HVCallTipWidget::HVCallTipWidget(HVEditorWidget& editor, HTMLView& view)
    : QLabel(editor.viewport()), m_editor(editor), m_view(view) {
    setObjectName("HVCallTip");
    setTextFormat(Qt::RichText);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFrameShape(QFrame::Box);
    setMargin(3);
    setAutoFillBackground(true);
    hide();
    m_observer = m_view.addCallHintObserver([this] { hintChanged(); });
    hintChanged();
}

HVCallTipWidget::~HVCallTipWidget() {
    m_view.removeCallHintObserver(m_observer);
}

void HVCallTipWidget::hintChanged() {
    const auto& hint = m_view.callHint();
    if (!hint) {
        hide();
        return;
    }
    std::u16string_view prototype = hint->prototype;
    QString html;
    if (HVRangeIsFound(hint->argumentRange)) {
        HVRange bold = hint->argumentRange;
        html = qString(prototype.substr(0, bold.location)).toHtmlEscaped() + "<b>" +
               qString(prototype.substr(bold.location, bold.length)).toHtmlEscaped() + "</b>" +
               qString(prototype.substr(bold.end())).toHtmlEscaped();
    } else {
        html = qString(prototype).toHtmlEscaped();
    }
    setText(html);
    // The tooltip colours of the desktop, in the editor's font a little smaller.
    QFont font = m_editor.editorFont();
    font.setPointSizeF(std::max(7.0, font.pointSizeF() * 0.9));
    setFont(font);
    setPalette(QToolTip::palette());
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    place();
    show();
    raise();
}

void HVCallTipWidget::place() {
    if (!m_view.callHint())
        return;
    QRect caret = m_editor.caretRect();
    if (caret.isNull()) {
        hide();
        return;
    }
    QRect visible = m_editor.viewport()->rect();
    // A prototype wider than the view wraps.
    int widest = std::max(40, visible.width() - 20);
    setWordWrap(false);
    QSize size = sizeHint();
    if (size.width() > widest) {
        setWordWrap(true);
        size = QSize(widest, heightForWidth(widest));
    }
    auto frame = HVCodeCompletionPopup::frameBesideLine(
        {double(caret.x()), double(caret.y()), double(caret.width()), double(caret.height())},
        size.width(), size.height(), {0, 0, double(visible.width()), double(visible.height())},
        true);
    setGeometry(int(frame.x), int(frame.y), size.width(), size.height());
    if (!isVisible())
        show();
}
