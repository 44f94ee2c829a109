#pragma once

#include "HVRange.h"

#include <string>
#include <string_view>
#include <vector>

class HVTextViewModel;

// What a text view asks and tells the object that steers it (the editor). Not owned by the
// view. Every operation is optional: the defaults are the answers of a view without delegate.
class HVTextViewDelegate {
public:
    virtual ~HVTextViewDelegate() = default;

    // Asked before every change that the user makes (typing, deleting, pasting, cutting) and
    // before every programmatic replaceCharacters(); false cancels the change. Not asked when
    // undo or redo replays a change: a replay cannot be refused.
    virtual bool textViewShouldChangeTextInRange(HVTextViewModel& view, HVRange range,
                                                 std::u16string_view replacement) {
        (void)view, (void)range, (void)replacement;
        return true;
    }
    // Asked instead, once, before a change of several ranges that is one edit (outdenting many
    // lines, converting line breaks, HVTextViewModel's replaceCharacters() of many ranges): the
    // ranges ascending, each with its replacement; false cancels the whole change.
    virtual bool textViewShouldChangeTextInRanges(HVTextViewModel& view,
                                                  const std::vector<HVRange>& ranges,
                                                  const std::vector<std::u16string>& replacements) {
        (void)view, (void)ranges, (void)replacements;
        return true;
    }
    // After every change made through the view, replays included, once the selection is set.
    virtual void textDidChange(HVTextViewModel& view) { (void)view; }
    // Before the selection changes; returns the range to use instead of newRange.
    virtual HVRange textViewWillChangeSelection(HVTextViewModel& view, HVRange oldRange,
                                                HVRange newRange) {
        (void)view, (void)oldRange;
        return newRange;
    }
    // After the selection changed.
    virtual void textViewDidChangeSelection(HVTextViewModel& view, HVRange oldRange) {
        (void)view, (void)oldRange;
    }
    // Asked first for every command by name ("insertNewline:"); true when the delegate did it,
    // and the view then does nothing more.
    virtual bool doCommandBySelector(HVTextViewModel& view, std::string_view selector) {
        (void)view, (void)selector;
        return false;
    }
};
