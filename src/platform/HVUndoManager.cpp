#include "HVUndoManager.h"

#include "HVLocalization.h"

#include <algorithm>

HVUndoManager::HVUndoManager() = default;
HVUndoManager::~HVUndoManager() = default;

void HVUndoManager::registerUndo(Action action) {
    add(std::move(action), true);
}

void HVUndoManager::registerUndoWithoutChange(Action action) {
    add(std::move(action), false);
}

void HVUndoManager::add(Action action, bool countsAsChange) {
    if (m_disabled > 0 || !action)
        return;
    if (!m_undoing && !m_redoing)
        m_redoStack.clear();
    bool stepOfItsOwn = false;
    if (m_level == 0) {
        openTopLevel();
        m_level = 1;
        if (m_groupsByEvent && m_inEvent) {
            m_eventGroupOpen = true;
            m_floor = 1;
        } else {
            stepOfItsOwn = true;
        }
    }
    m_open->actions.push_back(std::move(action));
    m_open->countsAsChange = m_open->countsAsChange || countsAsChange;
    ++m_stamp;
    if (stepOfItsOwn)
        closeTopLevel();
}

void HVUndoManager::setActionName(std::string_view name) {
    if (m_open)
        m_open->name = name;
    else if (!m_undoStack.empty())
        m_undoStack.back().name = name;
    ++m_stamp;
}

void HVUndoManager::disableUndoRegistration() {
    ++m_disabled;
}

void HVUndoManager::enableUndoRegistration() {
    if (m_disabled > 0)
        --m_disabled;
}

bool HVUndoManager::isUndoRegistrationEnabled() const {
    return m_disabled == 0;
}

void HVUndoManager::beginUndoGrouping() {
    if (m_level == 0) {
        openTopLevel();
        if (m_groupsByEvent && m_inEvent) {
            // The event's group, with the explicit one inside it.
            m_eventGroupOpen = true;
            m_floor = 1;
            ++m_level;
        }
    }
    ++m_level;
    ++m_stamp;
}

void HVUndoManager::endUndoGrouping() {
    if (m_level <= m_floor)
        return; // unbalanced: the groups that the manager holds stay open
    ++m_stamp;
    if (--m_level == 0)
        closeTopLevel();
}

std::size_t HVUndoManager::groupingLevel() const {
    return m_level;
}

void HVUndoManager::setGroupsByEvent(bool groupsByEvent) {
    m_groupsByEvent = groupsByEvent;
}

bool HVUndoManager::groupsByEvent() const {
    return m_groupsByEvent;
}

void HVUndoManager::beginEventGroup() {
    if (m_inEvent)
        endEventGroup();
    m_inEvent = true;
}

void HVUndoManager::endEventGroup() {
    m_inEvent = false;
    if (m_eventGroupOpen && !m_undoing && !m_redoing)
        closeTopLevel();
}

bool HVUndoManager::isInEvent() const {
    return m_inEvent;
}

bool HVUndoManager::canUndo() const {
    if (m_eventGroupOpen && m_level == 1 && !m_open->actions.empty())
        return true;
    return !m_undoStack.empty();
}

bool HVUndoManager::canRedo() const {
    return !m_redoStack.empty();
}

bool HVUndoManager::undo() {
    if (m_undoing || m_redoing)
        return false;
    if (m_level > 0) {
        if (!(m_eventGroupOpen && m_level == 1))
            return false;
        closeTopLevel();
    }
    if (m_undoStack.empty())
        return false;
    if (replay(m_undoStack, m_undoing))
        notify(Change::Undone);
    return true;
}

bool HVUndoManager::replay(std::vector<Group>& stack, bool& replaying) {
    Group group = std::move(stack.back());
    stack.pop_back();
    replaying = true;
    // The actions register their own inverses into a step of the same name, which counts as a
    // change when this one did.
    openTopLevel(group.name, group.countsAsChange);
    m_level = 1;
    m_floor = 1;
    for (auto action = group.actions.rbegin(); action != group.actions.rend(); ++action)
        (*action)();
    closeTopLevel();
    replaying = false;
    ++m_stamp;
    return group.countsAsChange;
}

bool HVUndoManager::redo() {
    if (m_undoing || m_redoing || m_level > 0 || m_redoStack.empty())
        return false;
    if (replay(m_redoStack, m_redoing))
        notify(Change::Redone);
    return true;
}

bool HVUndoManager::isUndoing() const {
    return m_undoing;
}

bool HVUndoManager::isRedoing() const {
    return m_redoing;
}

std::string HVUndoManager::undoActionName() const {
    if (m_eventGroupOpen && m_level == 1 && !m_open->actions.empty())
        return m_open->name;
    return m_undoStack.empty() ? std::string() : m_undoStack.back().name;
}

std::string HVUndoManager::redoActionName() const {
    return m_redoStack.empty() ? std::string() : m_redoStack.back().name;
}

std::string HVUndoManager::undoMenuItemTitle() const {
    std::string name = undoActionName();
    return name.empty()
               ? HVLocalization::localizedString("Undo")
               : HVLocalization::format(HVLocalization::localizedString("Undo %@"), {name});
}

std::string HVUndoManager::redoMenuItemTitle() const {
    std::string name = redoActionName();
    return name.empty()
               ? HVLocalization::localizedString("Redo")
               : HVLocalization::format(HVLocalization::localizedString("Redo %@"), {name});
}

std::size_t HVUndoManager::undoCount() const {
    return m_undoStack.size();
}

std::size_t HVUndoManager::redoCount() const {
    return m_redoStack.size();
}

void HVUndoManager::removeAllActions() {
    m_undoStack.clear();
    m_redoStack.clear();
    if (!m_undoing && !m_redoing) {
        m_open.reset();
        m_level = 0;
        m_floor = 0;
        m_eventGroupOpen = false;
    }
    ++m_stamp;
    notify(Change::Cleared);
}

void HVUndoManager::setLevelsOfUndo(std::size_t levels) {
    m_levelsOfUndo = levels;
    if (levels > 0 && m_undoStack.size() > levels)
        m_undoStack.erase(m_undoStack.begin(), m_undoStack.end() - std::ptrdiff_t(levels));
    if (levels > 0 && m_redoStack.size() > levels)
        m_redoStack.erase(m_redoStack.begin(), m_redoStack.end() - std::ptrdiff_t(levels));
}

std::size_t HVUndoManager::levelsOfUndo() const {
    return m_levelsOfUndo;
}

HVUndoManager::ObserverToken HVUndoManager::addChangeObserver(Observer observer) {
    ObserverToken token = m_nextToken++;
    m_observers.emplace(token, std::make_shared<Observer>(std::move(observer)));
    return token;
}

void HVUndoManager::removeChangeObserver(ObserverToken token) {
    m_observers.erase(token);
}

std::uint64_t HVUndoManager::modificationStamp() const {
    return m_stamp;
}

void HVUndoManager::openTopLevel(std::string name, bool countsAsChange) {
    m_open = Group{std::move(name), {}, countsAsChange};
}

void HVUndoManager::closeTopLevel() {
    if (!m_open)
        return;
    Group group = std::move(*m_open);
    m_open.reset();
    m_level = 0;
    m_floor = 0;
    m_eventGroupOpen = false;
    if (group.actions.empty())
        return;
    bool countsAsChange = group.countsAsChange;
    if (m_undoing) {
        push(m_redoStack, std::move(group));
    } else {
        push(m_undoStack, std::move(group));
        if (!m_redoing && countsAsChange)
            notify(Change::Done);
    }
}

void HVUndoManager::push(std::vector<Group>& stack, Group group) {
    stack.push_back(std::move(group));
    if (m_levelsOfUndo > 0 && stack.size() > m_levelsOfUndo)
        stack.erase(stack.begin());
}

void HVUndoManager::notify(Change change) {
    std::vector<std::shared_ptr<Observer>> observers;
    for (const auto& [token, observer] : m_observers)
        observers.push_back(observer);
    for (const auto& observer : observers)
        (*observer)(change);
}
