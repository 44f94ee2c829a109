#pragma once

#include "HVError.h"

#include <cstddef>

class HTMLView;

// What an editor tells the window that shows it: where the caret is, escape mode, and errors
// for the user. Not owned by the view; every operation is optional and does nothing by default.
class HTMLViewInterfaceDelegate {
public:
    virtual ~HTMLViewInterfaceDelegate() = default;

    // line is 1-based, column 0-based (UTF-16 code units from the start of the line).
    virtual void htmlViewChangedToLine(HTMLView& view, std::size_t line, std::size_t column) {
        (void)view, (void)line, (void)column;
    }
    virtual void htmlViewIsEscaped(HTMLView& view, bool escaped) { (void)view, (void)escaped; }
    virtual void htmlViewHadError(HTMLView& view, const HVError& error, bool critical) {
        (void)view, (void)error, (void)critical;
    }
};
