#pragma once

#include "HVCodeCompletionEntry.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The completion pop-up of an editor, without drawing: the entries on show, the selected row,
// whether the type column shows. The editor fills it; the window draws it below (or above) the
// caret's line and sends it the keys it handles (up, down, Return, Tab, a double click).
class HVCodeCompletionPopup {
public:
    using Observer = std::function<void()>;
    using ObserverToken = std::uint64_t;

    bool isVisible() const { return m_visible; }
    // Shows the entries: the one whose key equals partial exactly is selected, else the row
    // that was selected (when it still exists), else the first.
    void show(std::vector<HVCodeCompletionEntry> entries, const std::u16string& partial,
              bool showTypeColumn);
    void hide();

    const std::vector<HVCodeCompletionEntry>& entries() const { return m_entries; }
    bool showTypeColumn() const { return m_showTypeColumn; }
    std::optional<std::size_t> selectedRow() const { return m_selectedRow; }
    void selectRow(std::size_t row);
    void moveUp();
    void moveDown();
    // The selected entry, or none.
    const HVCodeCompletionEntry* currentEntry() const;
    // Its completion text (placeholders made), or none.
    std::optional<std::u16string> currentCompletion() const;

    // A rectangle in the coordinates of the visible area, in points.
    struct Frame {
        double x = 0, y = 0, width = 0, height = 0;
        friend bool operator==(const Frame&, const Frame&) = default;
    };
    // Where a box of this size goes beside the caret's line (x is the caret's): 2 points below
    // it, or 2 points above when there is no room below (preferAbove turns that round, for the
    // call tip), and 10 points inside the visible area's sides.
    static Frame frameBesideLine(const Frame& line, double width, double height,
                                 const Frame& visible, bool preferAbove = false);

    // Told after every change of visibility, entries or selection. The token removes it.
    ObserverToken addObserver(Observer observer);
    void removeObserver(ObserverToken token);

private:
    void changed();

    bool m_visible = false;
    bool m_showTypeColumn = true;
    std::vector<HVCodeCompletionEntry> m_entries;
    std::optional<std::size_t> m_selectedRow;
    std::map<ObserverToken, Observer> m_observers;
    ObserverToken m_nextToken = 1;
};
