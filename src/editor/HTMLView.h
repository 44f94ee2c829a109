#pragma once

#include "HVAttributedString.h"
#include "HVFoldMarker.h"
#include "HTMLViewInterfaceDelegate.h"
#include "HVLineNumberingRulerViewDelegate.h"
#include "HVNotificationCenter.h"
#include "HVSyntaxHighlightingTextView.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

class HVLineNumberingRulerView;

// Posted when "HVCodeFoldingEnabled" or "HVLineNums" changed.
inline constexpr std::string_view HVCodeFoldingPrefChangedNotification =
    "HalvetCodeFoldingPrefChanged";

// The editor of one text document: a highlighting view with its gutter (line numbers and fold
// markers), whose delegate it is.
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
    void setInterfaceDelegate(HTMLViewInterfaceDelegate* delegate) { m_interfaceDelegate = delegate; }
    HTMLViewInterfaceDelegate* interfaceDelegate() const { return m_interfaceDelegate; }

    // Typing: tag completion, closing tags, brackets, indentation, escape mode.

    // Markup commands, character entities, inserting files and images, undoable insertion.

    // After a change that typed one character: replaces it by its entity when it has one and
    // "HVAutoSpecChars" is on (action "Replace Character Entity"); true when it did.
    bool replaceTypedCharacterEntity();

    // Finding and replacing in the text.

    // Lines, code navigation and showing places of the full text.

private:
    // Typing.

    // Markup commands.

    // Finding.

    // Navigation.

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
};
