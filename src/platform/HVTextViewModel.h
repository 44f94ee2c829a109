#pragma once

#include "HVLineBreaks.h"
#include "HVRange.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class HVAttributedString;
class HVClipboard;
class HVTextBuffer;
class HVTextLineModel;
class HVTextViewDelegate;
class HVUndoManager;

// The editing side of a text view, without drawing: the text, the selection, typing, the
// editing and moving commands by name, the clipboard and undo. The GUI draws it and forwards
// keys to it (insertText() for characters, doCommandBySelector() for commands, each key press
// between beginEventGroup() and endEventGroup() of the undo manager).
//
// Selections never split a CR LF pair or a surrogate pair. Moving by character steps over
// user-perceived characters (ICU grapheme clusters: a CR LF pair, a surrogate pair, a letter
// with its combining marks); deleting backward removes one code point, or a CR LF pair whole.
// Words are ICU word-break segments that hold letters, digits, kana or ideographs; "_" joins
// a word, so identifiers are words.
class HVTextViewModel {
public:
    // Owns the buffer; a plain HVTextBuffer when none is given.
    explicit HVTextViewModel(std::unique_ptr<HVTextBuffer> textStorage = nullptr);
    virtual ~HVTextViewModel();
    HVTextViewModel(const HVTextViewModel&) = delete;
    HVTextViewModel& operator=(const HVTextViewModel&) = delete;

    // The text.
    HVTextBuffer& textStorage();
    const HVTextBuffer& textStorage() const;
    std::u16string_view string() const;
    // Replaces the whole text without undo: forgets every undo step and puts the caret at 0.
    // Neither asks nor tells the delegate about the change.
    virtual void setString(std::u16string_view text);
    // The same, taking over the string's storage: the way to show a large file.
    void adoptString(std::u16string&& text);

    // The selection. setSelectedRange() clips the range to the text and widens it over a
    // CR LF pair or surrogate pair that an end would split; the anchor becomes its start.
    HVRange selectedRange() const;
    virtual void setSelectedRange(HVRange range);
    std::u16string selectedString() const;
    // The end that extending the selection keeps, and the end that it moves.
    std::size_t selectionAnchor() const;
    std::size_t selectionHead() const;

    // Observers of what a drawing of the view must follow: every change of the selection, and
    // requests to bring a range into view. Unlike the delegate there may be many.
    using ViewObserverToken = std::uint64_t;
    ViewObserverToken addSelectionObserver(std::function<void(HVRange oldRange)> observer);
    ViewObserverToken addScrollRequestObserver(std::function<void(HVRange range)> observer);
    // After the line-break type changed (setLineBreakType(), its undo and redo).
    ViewObserverToken addLineBreakTypeObserver(std::function<void()> observer);
    void removeViewObserver(ViewObserverToken token);
    // Asks whoever draws the view to scroll the range into view.
    void scrollRangeToVisible(HVRange range);

    // Not owned.
    void setDelegate(HVTextViewDelegate* delegate);
    HVTextViewDelegate* delegate() const;
    // Not owned; null uses HVClipboard::general().
    void setClipboard(HVClipboard* clipboard);
    HVClipboard& clipboard() const;
    // The view's own undo manager, or the one given (not owned; a document's); null goes back
    // to the view's own.
    HVUndoManager& undoManager();
    void setUndoManager(HVUndoManager* undoManager);
    // Null goes back to the default line model.
    void setLineModel(std::unique_ptr<HVTextLineModel> lineModel);
    const HVTextLineModel& lineModel() const;

    // Settings: lines moved by pageUp: and pageDown: (default 20), and the width of an indent
    // in spaces that insertBacktab: removes when a line starts with spaces (default 4).
    void setPageSize(std::size_t lines);
    std::size_t pageSize() const;
    void setTabWidth(std::size_t spaces);
    std::size_t tabWidth() const;

    // Line breaks (Unix by default). insertNewline: types the type's break, and text that
    // enters the view (typed, pasted, dropped) has its breaks converted to it. A text that
    // holds several kinds is "mixed": it is left as it is, and what enters takes the type
    // (the commonest kind), until setLineBreakType() converts the whole text.
    HVLineBreaks::Type lineBreakType() const;
    bool hasMixedLineBreaks() const;
    const std::u16string& newlineString() const;
    // What a text just loaded uses: converts nothing and registers no undo.
    void adoptLineBreakType(HVLineBreaks::Type type, bool mixed = false);
    // The command: every break of the text becomes the type's, as one undo step named "Set
    // Line Break Type"; undoing it brings back the old text and type.
    void setLineBreakType(HVLineBreaks::Type type);
    // The text with its breaks converted to the view's type.
    std::u16string convertingLineBreaks(std::u16string_view text) const;

    // A view that is not editable refuses every change the user asks for, and beeps; changes
    // that replace the whole text (loading) still go in.
    bool isEditable() const;
    void setEditable(bool editable);

    // Typing: replaces the selection, its line breaks converted. Consecutive typing (characters,
    // deleteBackward:, deleteForward:, insertNewline:, insertTab: at the caret) is one undo step
    // named "Typing", until the caret moves, another command runs, anything else is registered with
    // the undo manager, or breakUndoCoalescing() is called.
    virtual void insertText(std::u16string_view text);
    bool isInsertingText() const;
    void breakUndoCoalescing();

    // A programmatic change as one undo step with this name; undo restores the text and the
    // selection as it was. The delegate is asked first; returns whether the change was made.
    // A selection equal to the range ends up as a caret after the new text; otherwise the
    // selection follows the text around it.
    bool replaceCharacters(HVRange range, std::u16string_view text, std::string_view actionName);
    // Several ranges (ascending, none overlapping) replaced as one edit: one question to the
    // delegate, one change of the buffer, one undo step. The selection follows the text.
    // Runs of the characters between the ranges are kept.
    bool replaceCharacters(const std::vector<HVRange>& ranges,
                           const std::vector<std::u16string>& texts, std::string_view actionName);
    // Ranges (ascending, none overlapping) replaced by text with its runs as one undo step that
    // is not a change of the content, such as collapsing or expanding regions: the step, its
    // undo and its redo leave a document's change count alone. Since the full text stays what
    // it was, neither the delegate nor the editable state is asked. The selection follows the
    // text.
    void replaceWithoutChange(const std::vector<HVRange>& ranges,
                              const std::vector<HVAttributedString>& texts,
                              std::string_view actionName);
    // The range that the new text of the last change occupies, replays included; valid in
    // textDidChange().
    HVRange lastChangeRange() const;

    // Commands by name ("moveRight:", "deleteWordBackward:", ...). The delegate is asked
    // first and may take the command. Returns false for a command that nobody knows.
    virtual bool doCommandBySelector(std::string_view selector);
    static bool respondsToSelector(std::string_view selector);
    static std::vector<std::string> commandSelectors();

    // Moving ("moveLeft:" ...). Without AndModifySelection a selection collapses (moving
    // left, up or to a beginning from its start; right, down or to an end from its end);
    // with it the head moves and the anchor stays.
    virtual void moveLeft();
    virtual void moveRight();
    virtual void moveLeftAndModifySelection();
    virtual void moveRightAndModifySelection();
    // To the start of the word before, or the end of the word after, across lines.
    virtual void moveWordLeft();
    virtual void moveWordRight();
    virtual void moveWordLeftAndModifySelection();
    virtual void moveWordRightAndModifySelection();
    // By line with the line model, keeping the goal through consecutive vertical moves.
    virtual void moveUp();
    virtual void moveDown();
    virtual void moveUpAndModifySelection();
    virtual void moveDownAndModifySelection();
    virtual void pageUp();
    virtual void pageDown();
    virtual void pageUpAndModifySelection();
    virtual void pageDownAndModifySelection();
    // Lines of the line model; the end is before the line break.
    virtual void moveToBeginningOfLine();
    virtual void moveToEndOfLine();
    virtual void moveToBeginningOfLineAndModifySelection();
    virtual void moveToEndOfLineAndModifySelection();
    // Lines of the text.
    virtual void moveToBeginningOfParagraph();
    virtual void moveToEndOfParagraph();
    virtual void moveToBeginningOfParagraphAndModifySelection();
    virtual void moveToEndOfParagraphAndModifySelection();
    virtual void moveToBeginningOfDocument();
    virtual void moveToEndOfDocument();
    virtual void moveToBeginningOfDocumentAndModifySelection();
    virtual void moveToEndOfDocumentAndModifySelection();
    virtual void selectAll();
    // The word at the caret (the word before it at the end of a word), or the words that a
    // selection touches.
    virtual void selectWord();
    // The text lines that the selection touches, line breaks included.
    virtual void selectLine();
    virtual void selectParagraph();

    // Editing. With a selection every deletion deletes the selection.
    virtual void insertNewline();
    virtual void insertTab();
    // Removes one indent (a tab, or up to tabWidth() spaces) from the start of every line
    // that the selection touches, as one step named "Outdent".
    virtual void insertBacktab();
    virtual void deleteBackward();
    virtual void deleteForward();
    // These are undo steps of their own, named "Delete". At the start (end) of a line, the
    // line deletions remove the line break before (after) the caret.
    virtual void deleteWordBackward();
    virtual void deleteWordForward();
    virtual void deleteToBeginningOfLine();
    virtual void deleteToEndOfLine();
    virtual void deleteToBeginningOfParagraph();
    virtual void deleteToEndOfParagraph();

    // The clipboard: "Cut" and "Paste" are undo steps; copy and cut do nothing without a
    // selection, paste nothing when the clipboard holds no text. Copy and cut put the full
    // text of the selection on the clipboard (what attachments stand for, not their characters).
    virtual void copy();
    virtual void cut();
    virtual void paste();

    virtual void undo();
    virtual void redo();

protected:
    // The change under every edit: asks the delegate (unless replaying), changes the buffer,
    // registers undo or extends the typing step, sets the selection, tells the delegate.
    bool changeText(HVRange range, std::u16string_view text, HVRange selectionAfter,
                    std::string_view actionName, bool typing);
    // The same for several ranges, ascending and not overlapping, as one edit.
    bool changeTexts(const std::vector<HVRange>& ranges, const std::vector<std::u16string>& texts,
                     HVRange selectionAfter, std::string_view actionName);

private:
    struct ViewObserver;
    struct Record;
    struct Boundaries;
    enum class Cause { Other, Typing, Vertical };

    void applyChange(std::span<const HVRange> ranges, std::span<const std::u16string_view> texts,
                     HVRange selectionAfter, std::string_view actionName, bool typing);
    // Extends the current typing step by the change, when it continues it.
    bool extendTyping(HVRange range, std::u16string_view text, const HVAttributedString& old);
    void select(std::size_t anchor, std::size_t head, Cause cause = Cause::Other);
    // After the whole text was replaced without undo.
    void textReplaced();
    std::vector<std::shared_ptr<ViewObserver>> viewObservers() const;
    void selectCaret(std::size_t position, Cause cause = Cause::Other);
    void extendTo(std::size_t head, Cause cause = Cause::Other);
    HVRange snapped(HVRange range) const;
    bool splitsPair(std::size_t position) const;
    void moveVertically(std::ptrdiff_t lines, bool extend);
    void replay(const std::shared_ptr<Record>& record);
    void registerRecord(const std::shared_ptr<Record>& record);
    // What undoing the replacement of the ranges by texts of newLength(i) characters needs:
    // each piece's place afterwards and the text with runs it replaces.
    std::shared_ptr<Record>
    makeRecord(std::span<const HVRange> ranges,
               const std::function<std::size_t(std::size_t piece)>& newLength) const;
    // The record as one named undo step.
    void registerStep(const std::shared_ptr<Record>& record, std::string_view actionName);
    // Makes the record's pieces as one change of the buffer: replace(i) edits piece i, from
    // the last to the first.
    void editStorage(const Record& record, const std::function<void(std::size_t piece)>& replace);
    // Registers the return to the current line-break type.
    void registerLineBreakTypeUndo();
    bool refuseUnlessEditable();
    void externalEdit(HVRange editedRange, std::ptrdiff_t changeInLength);
    void deleteRange(HVRange range, std::string_view actionName, bool typing);

    std::size_t previousCharacter(std::size_t position) const;
    std::size_t nextCharacter(std::size_t position) const;
    std::size_t wordStartBefore(std::size_t position) const;
    std::size_t wordEndAfter(std::size_t position) const;
    HVRange wordRangeAt(std::size_t position) const;
    HVRange paragraphContent(std::size_t position) const;

    std::unique_ptr<HVTextBuffer> m_storage;
    std::unique_ptr<HVUndoManager> m_ownUndoManager;
    HVUndoManager* m_undoManager = nullptr;
    std::unique_ptr<HVTextLineModel> m_lineModel;
    std::unique_ptr<Boundaries> m_boundaries;
    HVTextViewDelegate* m_delegate = nullptr;
    struct ViewObserver {
        std::function<void(HVRange)> selectionChanged;
        std::function<void(HVRange)> scrollRequested;
        std::function<void()> lineBreakTypeChanged;
    };
    std::map<ViewObserverToken, std::shared_ptr<ViewObserver>> m_viewObservers;
    ViewObserverToken m_nextViewObserver = 1;
    HVClipboard* m_clipboard = nullptr;
    // Undo actions reach the view through this, so that they do nothing once it is gone.
    std::shared_ptr<HVTextViewModel*> m_self;
    std::uint64_t m_observerToken = 0;

    HVRange m_selection;
    std::size_t m_anchor = 0;
    std::size_t m_head = 0;
    std::optional<double> m_goal;
    std::size_t m_pageSize = 20;
    HVLineBreaks::Type m_lineBreakType = HVLineBreaks::Unix;
    bool m_mixedLineBreaks = false;
    std::u16string m_newline = u"\n";
    std::size_t m_tabWidth = 4;
    bool m_editable = true;

    std::shared_ptr<Record> m_typing;
    std::uint64_t m_typingStamp = 0;
    bool m_insertingText = false;
    bool m_selfEditing = false;
    HVRange m_lastChange;
};
