#pragma once

#include "HVAttributes.h"
#include "HVPlistValue.h"
#include "HVRange.h"
#include "HVTestSupport.h"

#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class HVAttributes;
class HVTextBuffer;
class HVTheme;
enum class HVFoldState : int;

// The style ids of the shipped data: those listed as "- `id`: ..." under the "## Style ids"
// heading of the resources' README.md.
std::vector<std::string> HVStyleIdVocabulary();

// "none", "opener", "closer", "collapsed" or "closer-then-opener".
std::string HVFoldStateName(HVFoldState state);

// A theme that gives each of the style ids its own foreground colour, so that a painted run
// tells which id painted it.
std::shared_ptr<HVTheme> HVMakeTestTheme(std::initializer_list<std::string_view> styleIds);
std::shared_ptr<HVTheme> HVMakeTestTheme(const std::vector<std::string>& styleIds);

// Pieces of a snippet and what a shipped bundle paints each as: "comment", "string" (patterns
// too), "other" (neither, painted or not), "" (not painted), or the start of the style id that
// paints the whole piece. A piece is looked for at its first occurrence in the text.
struct HVPaintCase {
    HVPaintCase(const char* text, const char* piece, const char* expected)
        : text(text), pieces{{piece, expected}} {}
    HVPaintCase(const char* text, std::initializer_list<std::pair<const char*, const char*>> pieces)
        : text(text), pieces(pieces) {}
    const char* text;
    // Each piece with what paints it.
    std::vector<std::pair<const char*, const char*>> pieces;
};
// Paints each snippet with the shipped bundle of that name, a markup's embedded languages
// included, and checks its piece.
void HVCheckShippedBundle(const char* bundle, std::initializer_list<HVPaintCase> cases);

// The painted runs of a buffer as one line: "start+length style" for every run with a
// foreground colour (named by the theme's style of that colour), with " ml" when the run is
// marked multi-line, joined by ", ". Unpainted runs are left out.
std::string HVDumpRuns(const HVTextBuffer& buffer, const HVTheme& theme);

// One run: "start+length style parser", " ml" when multi-line, the foreground colour and the
// font traits.
std::string HVDescribeRun(HVRange range, const HVAttributes& attributes);
// Every run of a buffer, one per line, as HVDescribeRun; for comparing two paintings whole.
std::string HVDumpAllRuns(const HVTextBuffer& buffer);
// The identifier of the parser that painted a run: "-" for none, "gone" for one that no longer
// exists. A parser that no shared pointer owns (a test's own) is read through its address: the
// tests keep such parsers alive while they read their buffers.
std::string HVParserIdentifierOfRun(const HVAttributes& attributes);

// A world of bundles of the test's own: the shipped resources are a temporary folder
// (HALVET_RESOURCES_DIR) that shares the real "data" tables, the user's "Bundles" folder starts
// empty, and the preferences are private. Everything is cleared at the end.
class HVBundleTestEnvironment {
public:
    HVBundleTestEnvironment();
    ~HVBundleTestEnvironment();
    HVBundleTestEnvironment(const HVBundleTestEnvironment&) = delete;
    HVBundleTestEnvironment& operator=(const HVBundleTestEnvironment&) = delete;

    const std::string& resources() const { return m_shipped.path(); }
    std::string shippedBundles() const;
    std::string userBundles() const;
    // Writes a bundle directory below folder: "Contents/Info.plist" and each definition file
    // ("syntax.plist", ...) as XML property lists. Returns its path.
    static std::string writeBundle(const std::string& folder, const std::string& name,
                                   const HVPlistValue& info,
                                   const std::map<std::string, HVPlistValue>& files = {});
    // Writes a file below the shipped resources.
    std::string write(std::string_view relative, std::string_view bytes) const {
        return m_shipped.write(relative, bytes);
    }
    // Copies the test bundles of tests/data/bundles into the shipped "Bundles" folder.
    void installTestBundles() const;

private:
    HVIsolatedPreferences m_preferences;
    HVTemporaryDirectory m_shipped;
    std::unique_ptr<HVScopedEnvironment> m_resources;
};
