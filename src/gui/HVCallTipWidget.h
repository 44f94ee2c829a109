#pragma once

#include <QLabel>
#include <cstdint>

class HTMLView;
class HVEditorWidget;

// The call tip of an editor: the prototype of the call the caret is in, with the argument
// being typed in bold, in a small box above the caret's line (below it at the top of the
// view). It follows the view's call hint and hides when there is none.
class HVCallTipWidget : public QLabel {
    Q_OBJECT
public:
    HVCallTipWidget(HVEditorWidget& editor, HTMLView& view);
    ~HVCallTipWidget() override;

    void place();

private:
    void hintChanged();

    HVEditorWidget& m_editor;
    HTMLView& m_view;
    std::uint64_t m_observer = 0;
};
