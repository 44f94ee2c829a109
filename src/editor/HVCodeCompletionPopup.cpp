#include "HVCodeCompletionPopup.h"

#include <algorithm>

namespace {

constexpr double kLineGap = 2;
constexpr double kSideMargin = 10;

} // namespace

void HVCodeCompletionPopup::show(std::vector<HVCodeCompletionEntry> entries,
                                 const std::u16string& partial, bool showTypeColumn) {
    std::optional<std::size_t> row;
    auto exact = std::find_if(entries.begin(), entries.end(),
                              [&](const HVCodeCompletionEntry& e) { return e.key() == partial; });
    if (exact != entries.end())
        row = std::size_t(exact - entries.begin());
    else if (m_visible && m_selectedRow && *m_selectedRow < entries.size())
        row = m_selectedRow;
    else if (!entries.empty())
        row = 0;
    m_entries = std::move(entries);
    m_selectedRow = row;
    m_showTypeColumn = showTypeColumn;
    m_visible = true;
    changed();
}

void HVCodeCompletionPopup::hide() {
    if (!m_visible && m_entries.empty())
        return;
    m_visible = false;
    m_entries.clear();
    m_selectedRow.reset();
    changed();
}

void HVCodeCompletionPopup::selectRow(std::size_t row) {
    if (row >= m_entries.size() || m_selectedRow == row)
        return;
    m_selectedRow = row;
    changed();
}

void HVCodeCompletionPopup::moveUp() {
    if (m_selectedRow && *m_selectedRow > 0)
        selectRow(*m_selectedRow - 1);
}

void HVCodeCompletionPopup::moveDown() {
    if (!m_selectedRow)
        selectRow(0);
    else
        selectRow(*m_selectedRow + 1);
}

const HVCodeCompletionEntry* HVCodeCompletionPopup::currentEntry() const {
    if (!m_selectedRow || *m_selectedRow >= m_entries.size())
        return nullptr;
    return &m_entries[*m_selectedRow];
}

std::optional<std::u16string> HVCodeCompletionPopup::currentCompletion() const {
    const HVCodeCompletionEntry* entry = currentEntry();
    if (!entry)
        return std::nullopt;
    return entry->completion();
}

HVCodeCompletionPopup::Frame HVCodeCompletionPopup::frameBesideLine(const Frame& line, double width,
                                                                    double height,
                                                                    const Frame& visible,
                                                                    bool preferAbove) {
    double below = line.y + line.height + kLineGap;
    double above = line.y - kLineGap - height;
    bool roomBelow = below + height <= visible.y + visible.height;
    bool roomAbove = above >= visible.y;
    double y = preferAbove ? (roomAbove || !roomBelow ? above : below)
                           : (roomBelow || !roomAbove ? below : above);
    double x = std::min(line.x, visible.x + visible.width - kSideMargin - width);
    x = std::max(x, visible.x + kSideMargin);
    return {x, y, width, height};
}

HVCodeCompletionPopup::ObserverToken HVCodeCompletionPopup::addObserver(Observer observer) {
    ObserverToken token = m_nextToken++;
    m_observers[token] = std::move(observer);
    return token;
}

void HVCodeCompletionPopup::removeObserver(ObserverToken token) {
    m_observers.erase(token);
}

void HVCodeCompletionPopup::changed() {
    // A copy, so that an observer may remove itself while it is told.
    auto observers = m_observers;
    for (const auto& [token, observer] : observers)
        observer();
}
