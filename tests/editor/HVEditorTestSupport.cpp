#include "HVEditorTestSupport.h"

#include "HTMLView.h"
#include "HVBundleRepository.h"
#include "HVDispatcher.h"
#include "HVFileSystem.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVThemeRepository.h"
#include "HVUndoManager.h"
#include "HVUnicode.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

void link(const std::string& from, const std::string& to) {
    if (::symlink(from.c_str(), to.c_str()) != 0)
        ADD_FAILURE() << "cannot link " << from;
}

} // namespace

HVEditorTestEnvironment::HVEditorTestEnvironment() {
    m_bundles.installTestBundles();
    // The scratch folder links the real resources' "data"; their bundles and themes are beside it.
    std::filesystem::path real = std::filesystem::read_symlink(HVFileSystem::appendingPathComponent(
                                                                   m_bundles.resources(), "data"))
                                     .parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(real / "Bundles"))
        link(entry.path().string(),
             HVFileSystem::appendingPathComponent(m_bundles.shippedBundles(),
                                                  entry.path().filename().string()));
    link((real / "Themes").string(),
         HVFileSystem::appendingPathComponent(m_bundles.resources(), "Themes"));
    HVBundleRepository::sharedRepository().reset();
    HVThemeRepository::sharedRepository().reset();
}

HVEditorTestEnvironment::~HVEditorTestEnvironment() {
    HVBundleRepository::sharedRepository().reset();
    HVThemeRepository::sharedRepository().reset();
}

HVRunList HVJoinedRuns(const HVTextBuffer& buffer) {
    HVRunList runs;
    buffer.enumerateRuns({0, buffer.length()}, [&](HVRange range, const HVAttributes& attributes) {
        if (!runs.empty() && runs.back().second == attributes)
            runs.back().first.length += range.length;
        else
            runs.emplace_back(range, attributes);
    });
    return runs;
}

std::string HVDescribeRuns(const HVRunList& runs) {
    std::string out;
    for (const auto& run : runs)
        out += HVDescribeRun(run.first, run.second) + "\n";
    return out;
}

std::string HVFirstRunDifference(const HVRunList& actual, const HVRunList& expected) {
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        if (i >= actual.size())
            return "missing run " + HVDescribeRun(expected[i].first, expected[i].second);
        if (i >= expected.size())
            return "extra run " + HVDescribeRun(actual[i].first, actual[i].second);
        if (actual[i] != expected[i])
            return "run " + HVDescribeRun(actual[i].first, actual[i].second) + " instead of " +
                   HVDescribeRun(expected[i].first, expected[i].second);
    }
    return "";
}

std::unique_ptr<HTMLView> HVOpenView(std::u16string_view text,
                                     const std::optional<std::string>& path) {
    auto view = std::make_unique<HTMLView>();
    if (path)
        view->setPath(*path);
    view->setString(text);
    HVDispatcher::main().runUntil([&] { return !view->hasPendingHighlighting(); }, 60);
    return view;
}

void HVTypeKeys(HTMLView& view, std::u16string_view keys) {
    for (char16_t key : keys) {
        view.undoManager().beginEventGroup();
        view.insertText(std::u16string_view(&key, 1));
        view.undoManager().endEventGroup();
    }
}

void HVRunCommand(HTMLView& view, const char* selector) {
    view.undoManager().beginEventGroup();
    view.doCommandBySelector(selector);
    view.undoManager().endEventGroup();
}

std::string HVMarkedText(const HTMLView& view) {
    std::u16string text(view.string());
    HVRange selection = view.selectedRange();
    if (selection.length > 0)
        text.insert(selection.end(), 1, u'|');
    text.insert(selection.location, 1, u'|');
    return HVUnicode::utf8(text);
}
