#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Records how to undo changes, in named groups that undo and redo as one step.
//
// Groups: beginUndoGrouping()/endUndoGrouping() nest; only the outermost group becomes a step,
// and setActionName() names it (the last name set wins). With grouping by event on (the
// default), the first registration or group inside an event (beginEventGroup() to
// endEventGroup(), which the GUI calls around each key press or mouse action) opens a group
// that the end of the event closes, so everything one key press does is one step. A
// registration outside any group and outside an event is a step of its own.
//
// An undo action registers its own inverse while it runs: during undo() registrations go to
// the redo step, during redo() to the undo step.
class HVUndoManager {
public:
    using Action = std::function<void()>;
    enum class Change {
        Done,    // a new step was recorded
        Undone,  // a step was undone
        Redone,  // a step was redone
        Cleared, // every step was removed
    };
    using Observer = std::function<void(Change)>;
    using ObserverToken = std::uint64_t;

    HVUndoManager();
    ~HVUndoManager();
    HVUndoManager(const HVUndoManager&) = delete;
    HVUndoManager& operator=(const HVUndoManager&) = delete;

    // Registration. Ignored while registration is disabled. A new registration (not one made
    // by undo or redo) forgets what could be redone.
    void registerUndo(Action action);
    // A step that changes no content, such as collapsing a region: undoable like any other,
    // but its registration, undo and redo are not reported to the change observers, so a
    // document's change count stays where it was. A group that also holds an ordinary
    // registration counts as a change.
    void registerUndoWithoutChange(Action action);
    void setActionName(std::string_view name);
    // Disabling nests: registration is on again after as many enables as disables.
    void disableUndoRegistration();
    void enableUndoRegistration();
    bool isUndoRegistrationEnabled() const;

    // Explicit groups.
    void beginUndoGrouping();
    void endUndoGrouping();
    // Open groups, the event's own group included.
    std::size_t groupingLevel() const;

    // Grouping by event.
    void setGroupsByEvent(bool groupsByEvent);
    bool groupsByEvent() const;
    void beginEventGroup();
    // Closes the event's group, and any group that was left open inside it.
    void endEventGroup();
    bool isInEvent() const;

    // Undo and redo. They refuse (returning false) while an explicit group is open or while
    // another undo or redo runs; an event group holding changes is closed first, so that it
    // is the step undone.
    bool canUndo() const;
    bool canRedo() const;
    bool undo();
    bool redo();
    bool isUndoing() const;
    bool isRedoing() const;
    // The name of the step that undo() or redo() would take back; "" when none or unnamed.
    std::string undoActionName() const;
    std::string redoActionName() const;
    // Menu titles: "Undo" or "Undo " + the action name, localised; the same for "Redo".
    std::string undoMenuItemTitle() const;
    std::string redoMenuItemTitle() const;
    std::size_t undoCount() const;
    std::size_t redoCount() const;

    void removeAllActions();
    // At most this many steps are kept (0, the default, keeps all); older ones are dropped.
    void setLevelsOfUndo(std::size_t levels);
    std::size_t levelsOfUndo() const;

    // Hears of every change of the steps, so that a document can count its changes: done +1,
    // undone -1, redone +1, cleared back to 0.
    ObserverToken addChangeObserver(Observer observer);
    void removeChangeObserver(ObserverToken token);

    // Changes whenever something is registered, a group begins or ends, a name is set, or a
    // step is undone, redone or removed; the start and end of an event do not change it. A
    // text view keeps extending its last typing step while the stamp is the one it saw.
    std::uint64_t modificationStamp() const;

private:
    struct Group {
        std::string name;
        std::vector<Action> actions;
        bool countsAsChange = false;
    };

    void add(Action action, bool countsAsChange);

    void openTopLevel(std::string name = {}, bool countsAsChange = false);
    void closeTopLevel();
    void push(std::vector<Group>& stack, Group group);
    void notify(Change change);
    // Runs the newest step of the stack backwards; answers whether it counted as a change.
    bool replay(std::vector<Group>& stack, bool& replaying);

    std::vector<Group> m_undoStack;
    std::vector<Group> m_redoStack;
    std::optional<Group> m_open;
    std::size_t m_level = 0;
    // Open levels that the manager itself holds: the event's group, or the step that an undo
    // or redo is building. Explicit ends never close them.
    std::size_t m_floor = 0;
    bool m_eventGroupOpen = false;
    bool m_inEvent = false;
    bool m_groupsByEvent = true;
    bool m_undoing = false;
    bool m_redoing = false;
    int m_disabled = 0;
    std::size_t m_levelsOfUndo = 0;
    std::uint64_t m_stamp = 0;
    std::map<ObserverToken, std::shared_ptr<Observer>> m_observers;
    ObserverToken m_nextToken = 1;
};
