#pragma once

#include "HVAttributes.h"
#include "HVRange.h"
#include "HVSyntaxTestSupport.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class HTMLView;
class HVTextBuffer;

// An editor view of the text, with the path when given, once its highlighting is done.
std::unique_ptr<HTMLView> HVOpenView(std::u16string_view text,
                                     const std::optional<std::string>& path);

// The shipped bundles and themes with the test bundles beside them, in a scratch resources
// folder that the shared bundle and theme repositories read afresh.
class HVEditorTestEnvironment {
public:
    HVEditorTestEnvironment();
    ~HVEditorTestEnvironment();
    HVEditorTestEnvironment(const HVEditorTestEnvironment&) = delete;
    HVEditorTestEnvironment& operator=(const HVEditorTestEnvironment&) = delete;

    HVBundleTestEnvironment& bundles() { return m_bundles; }

private:
    HVBundleTestEnvironment m_bundles;
};

// The runs of a buffer with neighbours of equal attributes joined, as a painting shows them.
using HVRunList = std::vector<std::pair<HVRange, HVAttributes>>;
// The view's text with "|" at the caret, or around the selection.
std::string HVMarkedText(const HTMLView& view);
// Types the keys one press each, as the editor widget delivers them, each its own undo event.
void HVTypeKeys(HTMLView& view, std::u16string_view keys);
// Runs a command by its selector as one undo event.
void HVRunCommand(HTMLView& view, const char* selector);
HVRunList HVJoinedRuns(const HVTextBuffer& buffer);
// One line per run: range, style id, painting parser, multi-line mark, foreground colour.
std::string HVDescribeRuns(const HVRunList& runs);
// The first run where the two differ, described, or "" when they are equal (the parsers
// compared as objects, not by name).
std::string HVFirstRunDifference(const HVRunList& actual, const HVRunList& expected);
