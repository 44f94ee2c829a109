#include "HVUndoManager.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A number whose changes register their own inverse, as editing code does.
struct Counter {
    HVUndoManager& undo;
    int value = 0;

    void add(int amount) {
        value += amount;
        undo.registerUndo([this, amount] { add(-amount); });
    }
};

// "Done", "Undone", ... in the order reported.
struct ChangeLog {
    std::vector<std::string> entries;
    int count = 0;

    explicit ChangeLog(HVUndoManager& undo) {
        undo.addChangeObserver([this](HVUndoManager::Change change) {
            using Change = HVUndoManager::Change;
            entries.push_back(change == Change::Done     ? "done"
                              : change == Change::Undone ? "undone"
                              : change == Change::Redone ? "redone"
                                                         : "cleared");
            count = change == Change::Cleared ? 0 : count + (change == Change::Undone ? -1 : 1);
        });
    }
};

} // namespace

TEST(HVUndoManager, AGroupUndoesAndRedoesAsOneNamedStep) {
    HVUndoManager undo;
    Counter counter{undo};
    undo.beginUndoGrouping();
    counter.add(1);
    counter.add(2);
    undo.setActionName("Add");
    undo.endUndoGrouping();
    counter.add(10); // outside any group and event: a step of its own
    EXPECT_EQ(undo.undoCount(), 2u);
    EXPECT_EQ(undo.undoActionName(), "");

    EXPECT_TRUE(undo.undo());
    EXPECT_EQ(counter.value, 3);
    EXPECT_EQ(undo.undoActionName(), "Add");
    EXPECT_EQ(undo.undoMenuItemTitle(), "Undo Add");
    EXPECT_TRUE(undo.undo());
    EXPECT_EQ(counter.value, 0);
    EXPECT_FALSE(undo.undo());
    EXPECT_EQ(undo.undoMenuItemTitle(), "Undo");
    EXPECT_EQ(undo.redoActionName(), "Add") << "the redo step keeps the name";

    EXPECT_TRUE(undo.redo());
    EXPECT_EQ(counter.value, 3);
    EXPECT_EQ(undo.undoActionName(), "Add");
    EXPECT_TRUE(undo.canRedo());
    // A new change forgets what could be redone.
    counter.add(5);
    EXPECT_FALSE(undo.canRedo());
    EXPECT_EQ(undo.undoCount(), 2u);
}

TEST(HVUndoManager, NestedGroupsAreOneStepAndTheLastNameWins) {
    HVUndoManager undo;
    Counter counter{undo};
    undo.beginUndoGrouping();
    counter.add(1);
    undo.beginUndoGrouping();
    counter.add(2);
    undo.setActionName("Inner");
    undo.endUndoGrouping();
    EXPECT_EQ(undo.undoCount(), 0u) << "nothing is a step until the outer group ends";
    EXPECT_FALSE(undo.undo()) << "undo refuses while a group is open";
    undo.setActionName("Outer");
    undo.endUndoGrouping();
    undo.endUndoGrouping(); // unbalanced: ignored
    EXPECT_EQ(undo.undoCount(), 1u);
    EXPECT_EQ(undo.undoActionName(), "Outer");

    undo.beginUndoGrouping();
    undo.beginUndoGrouping();
    counter.add(3);
    undo.setActionName("Only the inner one named it");
    undo.endUndoGrouping();
    undo.endUndoGrouping();
    EXPECT_EQ(undo.undoActionName(), "Only the inner one named it");
    // An empty group leaves no step behind.
    undo.beginUndoGrouping();
    undo.setActionName("Nothing");
    undo.endUndoGrouping();
    EXPECT_EQ(undo.undoCount(), 2u);
    undo.undo();
    undo.undo();
    EXPECT_EQ(counter.value, 0);
}

TEST(HVUndoManager, EverythingInOneEventIsOneStep) {
    HVUndoManager undo;
    Counter counter{undo};
    ChangeLog log(undo);

    undo.beginEventGroup();
    counter.add(1);
    undo.beginUndoGrouping();
    counter.add(2);
    undo.setActionName("Typing");
    undo.endUndoGrouping();
    EXPECT_TRUE(undo.canUndo());
    EXPECT_EQ(undo.undoActionName(), "Typing");
    EXPECT_TRUE(log.entries.empty()) << "the step is done when the event ends";
    undo.endEventGroup();
    EXPECT_EQ(undo.undoCount(), 1u);
    EXPECT_EQ(log.entries, std::vector<std::string>{"done"});

    // An event that changes nothing leaves nothing.
    undo.beginEventGroup();
    undo.endEventGroup();
    EXPECT_EQ(undo.undoCount(), 1u);

    // Without grouping by event, each explicit group inside an event is a step (how an editor
    // makes its own insertions separate steps).
    undo.setGroupsByEvent(false);
    undo.beginEventGroup();
    for (const char* name : {"Typing", "Tag Completion"}) {
        undo.beginUndoGrouping();
        counter.add(100);
        undo.setActionName(name);
        undo.endUndoGrouping();
    }
    undo.endEventGroup();
    undo.setGroupsByEvent(true);
    EXPECT_EQ(undo.undoCount(), 3u);
    EXPECT_EQ(undo.undoActionName(), "Tag Completion");

    // Undo inside an event that already changed something takes back that event first.
    undo.beginEventGroup();
    counter.add(1000);
    EXPECT_TRUE(undo.undo());
    EXPECT_EQ(counter.value, 203);
    undo.endEventGroup();
    EXPECT_EQ(undo.undoCount(), 3u);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"done", "done", "done", "done", "undone"}));
}

TEST(HVUndoManager, DisabledRegistrationNestsAndIsIgnored) {
    HVUndoManager undo;
    Counter counter{undo};
    undo.disableUndoRegistration();
    undo.disableUndoRegistration();
    counter.add(1);
    undo.enableUndoRegistration();
    EXPECT_FALSE(undo.isUndoRegistrationEnabled());
    counter.add(2);
    undo.enableUndoRegistration();
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    counter.add(4);
    EXPECT_EQ(undo.undoCount(), 1u);
    undo.undo();
    EXPECT_EQ(counter.value, 3);
}

// That events leave the stamp alone is shown by typing across key events in the text view.
TEST(HVUndoManager, TheStampChangesWithTheSteps) {
    HVUndoManager undo;
    Counter counter{undo};
    auto stamp = undo.modificationStamp();
    counter.add(1);
    EXPECT_NE(undo.modificationStamp(), stamp);
    stamp = undo.modificationStamp();
    undo.setActionName("Renamed");
    EXPECT_NE(undo.modificationStamp(), stamp);
    stamp = undo.modificationStamp();
    undo.undo();
    EXPECT_NE(undo.modificationStamp(), stamp);
}

TEST(HVUndoManager, StepsWithoutChangeUndoAndRedoButAreNeverReported) {
    HVUndoManager undo;
    ChangeLog log(undo);
    int folded = 0;
    std::function<void(int)> fold = [&](int amount) {
        folded += amount;
        undo.registerUndoWithoutChange([&, amount] { fold(-amount); });
    };
    fold(1);
    undo.setActionName("Fold");
    EXPECT_TRUE(undo.undo());
    EXPECT_EQ(folded, 0);
    EXPECT_TRUE(undo.redo());
    EXPECT_EQ(folded, 1);
    EXPECT_EQ(log.entries, std::vector<std::string>{});
    // An ordinary registration in the same group makes the group a change, in both directions.
    Counter counter{undo};
    undo.beginUndoGrouping();
    fold(1);
    counter.add(5);
    undo.endUndoGrouping();
    undo.undo();
    undo.redo();
    EXPECT_EQ(counter.value, 5);
    EXPECT_EQ(folded, 2);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"done", "undone", "redone"}));
    EXPECT_EQ(log.count, 1);
}
