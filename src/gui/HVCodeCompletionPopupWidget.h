#pragma once

#include "HVCodeCompletionEntry.h"

#include <QFrame>
#include <cstdint>
#include <vector>

class HTMLView;
class QTreeWidget;
class HVEditorWidget;

// The completion pop-up of an editor: a frameless list of the model's entries (key, and type
// when the language shows types) in the editor's font and colours, on the editor's viewport
// beside the caret's line. It never takes the keyboard: the editor hands it the arrow keys
// through the model. A click selects a row; a double click accepts it.
class HVCodeCompletionPopupWidget : public QFrame {
    Q_OBJECT
public:
    HVCodeCompletionPopupWidget(HVEditorWidget& editor, HTMLView& view);
    ~HVCodeCompletionPopupWidget() override;

    // Where the model's place rule puts it for the caret as the editor now shows it.
    void place();
    // The rows shown, for tests: "key" or "key\ttype".
    QStringList rows() const;

signals:
    void rowAccepted(int row);

private:
    void modelChanged();
    // The rows and their look, from the model's entries.
    void fill();

    HVEditorWidget& m_editor;
    HTMLView& m_view;
    QTreeWidget* m_list;
    std::uint64_t m_observer = 0;
    std::vector<HVCodeCompletionEntry> m_shownEntries;
};
