#pragma once

#include "HTMLViewInterfaceDelegate.h"
#include "HVAttributedString.h"
#include "HVCallHint.h"
#include "HVCodeCompletionPopup.h"
#include "HVFoldMarker.h"
#include "HVLineNumberingRulerViewDelegate.h"
#include "HVNotificationCenter.h"
#include "HVSyntaxHighlightingTextView.h"
#include "HVTextViewDelegate.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HVBundle;
class HVCodeCompletion;
class HVLineNumberingRulerView;
class HVSearch;
class HVSpecialCharacters;
struct HVCodeNavEntry;

// Posted when "HVCodeFoldingEnabled" or "HVLineNums" changed.
inline constexpr std::string_view HVCodeFoldingPrefChangedNotification =
    "HalvetCodeFoldingPrefChanged";

// The editor of one text document: a highlighting view with its gutter (line numbers and fold
// markers), whose delegate it is, and what a web developer's editor does while one types and
// from its menus: tag completion and closing, brackets, indentation, escape mode, character
// entities, markup commands, find and replace, lines and the function menu's landmarks. Each
// concern has its own source file (HTMLViewTyping.cpp, HTMLViewCommands.cpp,
// HTMLViewFinding.cpp, HTMLViewNavigation.cpp); every change they make is a named undo step.
//
// Collapsing a region replaces its characters by one attachment character that holds them;
// expanding puts them back. Both are undo steps ("Collapse Region", "Expand Region") that do
// not count as changes of the document, and the selection follows the text around them.
class HTMLView : public HVSyntaxHighlightingTextView, public HVLineNumberingRulerViewDelegate {
public:
    explicit HTMLView(std::unique_ptr<HVTextStorage> textStorage = nullptr);
    ~HTMLView() override;

    HVLineNumberingRulerView& rulerView() { return *m_ruler; }
    const HVLineNumberingRulerView& rulerView() const { return *m_ruler; }

    // The gutter's questions.
    HVFoldState rangeNeedsMarker(HVRange line) override;
    std::size_t numberOfLinesForState(HVFoldState state, std::size_t lineStart) override;
    std::size_t countForState(HVFoldState state, std::size_t lineStart) override;
    void collapseFromGlyphIndex(std::size_t first, std::size_t last, HVFoldState type,
                                std::size_t offset) override;
    void expandForMarkerWithGlyphIndex(std::size_t index) override;
    void selectLineForGlyphIndex(std::size_t index) override;

    // The View menu's commands, each one undo step: the outermost regions collapsed, the
    // collapsed ones expanded (the outermost and those one level in), and the innermost block
    // around the caret toggled (false, with a beep, when there is none).
    void collapseAllBlocks();
    void expandAllBlocks();
    bool foldCurrentBlock();
    // A double click on the text: expands the collapsed region whose character is at index.
    bool doubleClickedOnAttachmentAtIndex(std::size_t index);
    // True while a collapse or an expansion changes the text: whoever draws the view keeps its
    // scroll position instead of following the caret.
    bool isChangingFolds() const { return m_changingFolds; }

    // Takes "HVCodeFoldingEnabled" and "HVLineNums" again; an inactive editor waits until it
    // becomes active.
    void codeFoldingPrefChanged();
    void setActive(bool active) override;

    // Not owned; the window that shows the view, or none.
    void setInterfaceDelegate(HTMLViewInterfaceDelegate* delegate) {
        m_interfaceDelegate = delegate;
    }
    HTMLViewInterfaceDelegate* interfaceDelegate() const { return m_interfaceDelegate; }

    // Typing: tag completion, closing tags, brackets, indentation, escape mode.

    // Escape mode: the next change goes in literally (no completion, indentation or entity).
    bool escaped() const { return m_escaped; }
    // Closes the innermost open element before the caret (action "Close Tag"); beeps when
    // there is none.
    void closeTag();
    // Indent and outdent every line that the selection touches, as one undo step ("Indent
    // Block", "Outdent Block").
    void entabBlock();
    void detabBlock();
    // Programmatic insertion of the selection's replacement, and replacement of the whole
    // text, each as one undo step with this name. The text goes in as given: its line breaks
    // are not converted.
    bool undoableInsertText(std::u16string_view text, std::string_view actionName);
    bool undoableSetString(std::u16string_view text, std::string_view actionName);

    // The name of the element whose opening tag is still open just before location on its
    // line, or none (inside a quoted value when autoComplete, after a closed or closing tag).
    std::optional<std::u16string> openTagBefore(std::size_t location, bool autoComplete) const;
    // A "<!DOCTYPE ...>" that names xhtml decides; without one, "HVXHTMLTags".
    bool isXHTML() const;
    // The bracket that matches the close bracket just before location (searching backwards)
    // or the open bracket just before it (searching forwards), nesting counted; quotes and
    // comments are not looked at. {HVNotFound, 0} when there is none.
    HVRange matchingBracketBefore(std::size_t location, char16_t open, char16_t close) const;
    HVRange matchingBracketAfter(std::size_t location, char16_t open, char16_t close) const;
    // A matching bracket is shown by a flash: whoever draws the view highlights the range for
    // a tenth of a second. The model itself changes nothing.
    using FlashObserverToken = std::uint64_t;
    FlashObserverToken addFlashObserver(std::function<void(HVRange range)> observer);
    void removeFlashObserver(FlashObserverToken token);
    void tempHighlightRange(HVRange range);
    // A click at the caret place index; a double click just after "{", "[" or "(" selects
    // through the matching bracket and answers true, otherwise the caller selects as usual.
    bool mouseDown(std::size_t index, int clickCount);
    // The indentation of the caret's line with each tab as one indent unit, and the indent
    // unit: a tab, or "HVTabSizeKey" spaces when "HVTabsAreSpaces".
    std::u16string tabIndex() const;
    std::u16string tabSpaces() const;

    // Completion, from the language at the caret.

    // The pop-up's model: the window draws it and sends it the arrow keys.
    HVCodeCompletionPopup& codeCompletionPopup() { return m_completionPopup; }
    const HVCodeCompletionPopup& codeCompletionPopup() const { return m_completionPopup; }
    // Return and Tab: the pop-up's entry replaces the word it completes (action "Code
    // Complete", after the language's dialog when it asks for one), its first placeholder is
    // selected, and the pop-up looks again unless the entry hides it. False when the pop-up
    // shows no entry, and the key acts as usual.
    bool doCompletions();
    // Fills the pop-up for the word before the caret, or hides it when there is nothing to
    // offer. With optional, a hidden pop-up opens only when the language suggests by itself.
    void showCodeCompletion(bool optional);
    void hideCodeCompletion();
    // F5 (also the command "complete:"): completion at once, whatever the language suggests.
    void complete();

    // The call the caret is in, when the language has call hints; kept current after every
    // change and every move of the selection.
    const std::optional<HVCallHint>& callHint() const { return m_callHint; }
    using CallHintObserverToken = std::uint64_t;
    CallHintObserverToken addCallHintObserver(std::function<void()> observer);
    void removeCallHintObserver(CallHintObserverToken token);

    // The keys, with indentation, brackets and tag completion; backtab outdents the lines of
    // the selection (the caret's line without one).
    void insertNewline() override;
    void insertTab() override;
    void insertBacktab() override;
    void moveRight() override;
    void deleteWordBackward() override;
    void copy() override;
    void cut() override;
    // Replayed text is never completed, indented or replaced again.
    void undo() override;
    void redo() override;

    // Markup commands, character entities, inserting files and images, menu validation.

    // Every character of the text that has an entity becomes the entity (action "Replace
    // Character Entities").
    void convertCharacterEntitiesToHTML();
    // Inserts an entity's text (action "Insert Character Entity").
    void insertSpecialCharacter(std::u16string_view entity);
    // Tag 4 "strong", 5 "em", 6 "u" around the selection (action "Format Text").
    void formatText(int tag);
    // The selection becomes a link to itself (action "Make Link").
    void makeLink();
    // Ask for a file with the open panel, then insert an image element, a relative path or the
    // file's contents ("Insert Image", "Insert Path", "Insert Contents of File").
    void insertImage();
    void insertPathToFile();
    void insertContentsOfFile();
    void insertImage(const std::string& path);
    void insertPathToFile(const std::string& path);
    void insertContentsOfFile(const std::string& path);
    // Whether the menu command with this action ("undo:", "addSelectionAsSnippet:", ...) is
    // enabled; a title it sets (undo and redo) replaces *title.
    bool validateMenuItem(std::string_view action, std::string* title = nullptr);

    // After a change that typed one character: replaces it by its entity when it has one and
    // "HVAutoSpecChars" is on (action "Replace Character Entity"); true when it did.
    bool replaceTypedCharacterEntity();
    // The characters with entities: the groups of the Special Characters menu and the map of
    // typed characters, loaded when the view is made.
    const HVSpecialCharacters& specialCharacters() const { return *m_specialCharacters; }

    // Finding and replacing in the text, with the shared find panel's search.

    // The next and previous match from the selection, wrapping around; hidden text of
    // collapsed regions is searched too, and a match there expands its region. Not found is
    // {HVNotFound, 0}.
    HVRange nextRangeForSearch(HVSearch& search);
    HVRange previousRangeForSearch(HVSearch& search);
    // Select and show the match, or beep with the status "Not found".
    bool findNext();
    bool findPrevious();
    // Replaces the selection when it is a match (action "Replace"), then finds the next.
    bool replaceAndFind();
    // Replaces every match of the whole text or of the selection ("Replace All", "Replace All
    // in Selection"); answers the count, also shown as the status "Replaced %d".
    std::size_t replaceAll(bool inSelection);
    // Replaces full-text ranges (ascending, none overlapping) by the texts as one undo step
    // with the action name; collapsed regions they touch expand in the same step. Line breaks
    // of the texts become the view's type.
    bool replaceFullRanges(const std::vector<HVRange>& fullRanges,
                           const std::vector<std::u16string>& texts, std::string_view actionName);
    // The selection becomes the search string.
    void findUsingSelection();
    // Case-insensitive search for text from the selection's start (quickSearch) or from the
    // selection (quickSearchAgain), backwards or forwards.
    bool quickSearch(std::u16string_view text, bool backwards);
    bool quickSearchAgain(std::u16string_view text, bool backwards);
    // The editor that the find panel works on: the last one made active or that ran a find
    // command; none once it is gone.
    void makeFindPanelTarget();
    static HTMLView* findPanelTarget();

    // Lines, code navigation and showing places of the full text.

    // The range of a 1-based line, terminator included; *count gets the lines walked.
    HVRange rangeForLineNumber(std::size_t line, std::size_t* count = nullptr) const;
    // Selects and shows the line; line 0, or one past the last, beeps (and selects the first,
    // or the last, line).
    void gotoLine(std::size_t line);
    bool gotoLineFromString(std::u16string_view string);
    void selectLine(std::size_t line, std::size_t toLine);
    using HVTextViewModel::setSelectedRange;
    // With expandCollapsed the range is in full-text positions: a collapsed region that holds
    // it is expanded first.
    void setSelectedRange(HVRange range, bool expandCollapsed);
    // Selects a full-text range and scrolls it into view.
    void showRange(HVRange range);
    // The landmarks of the whole full text for the function menu, sorted by position.
    std::vector<HVCodeNavEntry> codeNavItems();

private:
    // Typing.

    // The view is its own text delegate through this object.
    class TypingDelegate;
    // Run by the constructor.
    void installTypingDelegate();
    bool shouldChangeText(HVRange range, std::u16string_view replacement);
    void textChanged();
    void selectionChanged();
    bool typingCommand(std::string_view selector);
    // Tag completion of a typed ">"; answers whether the typed ">" still goes in.
    bool autoComplete(std::optional<std::u16string> tag);
    bool useWhitespaceFromLineWithRange(HVRange brace, std::size_t location);
    // Whether the parser in force at the caret is one of markup (HTML, XHTML, PHP pages).
    bool markupAtCaret();
    // A change the view makes itself: it never goes through the typing hook, and the
    // selection it leaves is the one redo brings back.
    bool changeOwnText(HVRange range, std::u16string_view text, HVRange selectionAfter,
                       std::string_view actionName);
    std::u16string indentationOfLine(std::size_t index, bool tabsAsUnits) const;
    void setEscapedState(bool escaped);
    // The first and last line start of the lines the selection touches.
    std::pair<std::size_t, std::size_t> selectedLineStarts() const;
    void flashMatchOrBeep(std::size_t location, char16_t open, char16_t close);

    std::unique_ptr<HVTextViewDelegate> m_typingDelegate;
    std::map<FlashObserverToken, std::function<void(HVRange)>> m_flashObservers;
    FlashObserverToken m_nextFlashObserver = 1;
    HVRange m_changeRange;
    int m_ownChanges = 0;
    bool m_ignore = false;
    bool m_replaying = false;
    bool m_closeTagAfterChange = false;

    // Completion.

    // The bundle of the parser in force at the caret, found again.
    std::shared_ptr<HVBundle> bundleAtCaret();
    // The text a completion reads around the caret: whole lines from a stretch before it
    // through the end of its line, so that a keystroke in a large file copies little.
    HVRange completionContext() const;
    void insertCompletion(HVCodeCompletion& completion, std::u16string_view text,
                          bool hideOnComplete);
    // After a change or a move: hides the pop-up when the text kept its length (the caret
    // moved), and finds the call hint again.
    void completionSelectionChanged();
    void updateCallHint();

    HVCodeCompletionPopup m_completionPopup;
    // The completion that filled the pop-up, which accepts its entry.
    std::shared_ptr<HVCodeCompletion> m_shownCompletion;
    std::size_t m_lengthAtSelection = 0;
    std::optional<HVCallHint> m_callHint;
    std::map<CallHintObserverToken, std::function<void()>> m_callHintObservers;
    CallHintObserverToken m_nextCallHintObserver = 1;

    // Markup commands.

    // The chosen file, given to insert, once the open panel closes (for this view only if it
    // still exists then).
    void chooseFileToInsert(std::string title, std::vector<std::string> extensions,
                            void (HTMLView::*insert)(const std::string& path));
    // The path that an insertion of file writes: relative to the document's folder, or whole
    // for an untitled document.
    std::string insertedPath(const std::string& file) const;

    static std::shared_ptr<const HVSpecialCharacters> loadSpecialCharacters();

    std::shared_ptr<const HVSpecialCharacters> m_specialCharacters = loadSpecialCharacters();
    std::shared_ptr<HTMLView*> m_commandsSelf = std::make_shared<HTMLView*>(this);

    // Finding.

    // The find panel's search, with this view made its target and the search remembered; none
    // (with a beep) when the panel's fields are not valid.
    std::unique_ptr<HVSearch> panelSearch();
    // The visible range of a full-text range, after expanding every collapsed region it
    // touches (one "Expand Region" step); the range itself when nothing is collapsed.
    HVRange revealFullRange(HVRange fullRange);
    // Expands the collapsed regions whose hidden text overlaps one of the full-text ranges
    // (ascending); answers whether there were any.
    bool expandRegionsForFullRanges(const std::vector<HVRange>& fullRanges);
    // Selects and shows the range, or beeps; the status tells which.
    bool showFound(HVRange range);
    bool quickSearchInRange(std::u16string_view text, bool backwards, HVRange visibleRange);
    void findingViewClosing();

    // Navigation.

    // The last scan of codeNavItems(), with the edit count and the parser it was made for
    // (shared, so that this header needs no definition of the entries).
    std::shared_ptr<const std::vector<HVCodeNavEntry>> m_codeNavItems;
    std::uint64_t m_codeNavEditCount = 0;
    std::weak_ptr<const HVParser> m_codeNavParser;

    // Collapses and expansions gathered by the commands that do many, made as one edit.
    struct FoldBatch {
        std::vector<HVRange> ranges;
        std::vector<HVAttributedString> texts;
    };
    // Toggles the markers as one edit.
    void toggleAll(const std::vector<HVFoldMarker>& markers, std::string_view actionName);
    void fold(HVRange range, HVAttributedString text, std::string_view actionName);
    void applyFolds(FoldBatch batch, std::string_view actionName);

    std::unique_ptr<HVLineNumberingRulerView> m_ruler;
    std::optional<FoldBatch> m_batch;
    bool m_changingFolds = false;
    bool m_foldingPrefsPending = false;
    HVScopedObserver m_foldingPrefsObserver;
    HTMLViewInterfaceDelegate* m_interfaceDelegate = nullptr;
    bool m_escaped = false;
};
