#pragma once

#include "HVAttributes.h"
#include "HVColor.h"
#include "HVNotificationCenter.h"
#include "HVRange.h"
#include "HVTextStorage.h"
#include "HVTextViewModel.h"

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
class HVLayoutManager;
class HVParser;
class HVTheme;

// Posted when the theme or the highlighting preferences changed.
inline constexpr std::string_view HVHighlightingPrefsChangeNotification =
    "HalvetHighlightingPrefsChange";
// The preference that switches highlighting on (true by default).
inline constexpr std::string_view HVHighlightKey = "HVHighlightKey";

// The colours a drawing of the editor takes from the current theme.
struct HVEditorColors {
    HVColor text{0, 0, 0, 1};
    HVColor background{1, 1, 1, 1};
    HVColor insertionPoint{0, 0, 0, 1};
    HVColor selection{0.70, 0.84, 1.0, 1};
    friend bool operator==(const HVEditorColors&, const HVEditorColors&) = default;
};

// A text view that keeps its text highlighted in the language of its bundle: the whole text
// when it is set, and after every change of characters (typing, commands, undo and redo) the
// lines that changed, continued forwards for as long as the new painting differs from the old
// where it ends (typing "/*" or a quote, or deleting "</script>", re-colours what follows).
//
// What lies beyond the visible lines is painted in slices of a few milliseconds on the main
// thread's dispatcher, so that neither a large file's first highlight nor an edit that changes
// the rest of a large file holds up the editor. Until the widget says what it shows
// (setVisibleRange), the first 100 lines count as visible.
//
// The view tracks which parser is in force at the caret (activeParser) when languages are
// embedded in one another, for the editing commands and completion.
class HVSyntaxHighlightingTextView : public HVTextViewModel {
public:
    // A new, empty text storage when none is given.
    explicit HVSyntaxHighlightingTextView(std::unique_ptr<HVTextStorage> textStorage = nullptr);
    ~HVSyntaxHighlightingTextView() override;

    // The text, which also knows its collapsed regions.
    HVTextStorage& textStorage() {
        return static_cast<HVTextStorage&>(HVTextViewModel::textStorage());
    }
    const HVTextStorage& textStorage() const {
        return static_cast<const HVTextStorage&>(HVTextViewModel::textStorage());
    }

    // The document's file; its name chooses the bundle ("text.html" when no bundle claims it).
    const std::optional<std::string>& path() const { return m_path; }
    void setPath(std::optional<std::string> path);
    const std::shared_ptr<HVBundle>& bundle() const { return m_bundle; }
    // A different bundle brings its parser (setParser); the caller refreshes the highlighting.
    void setBundle(std::shared_ptr<HVBundle> bundle);
    // The bundle's main parser; a different one gets the current theme.
    const std::shared_ptr<HVParser>& parser() const { return m_parser; }
    void setParser(std::shared_ptr<HVParser> parser);
    // The parser in force at the caret: the main parser or an embedded language's. With
    // recompute, it is found again at the selection first.
    std::shared_ptr<HVParser> activeParser(bool recompute = false);
    // The parser in force before loc: the embedded language whose opener comes last before it
    // without its closer (a closer inside quotes does not count), else the main parser.
    std::shared_ptr<HVParser> checkForOpenSpecialsBefore(std::size_t loc);
    // The theme's plain text: foreground the text colour, background the background colour.
    const HVAttributes& standardAttributes() const { return m_standardAttributes; }

    // Whether this is the visible, front editor. An inactive view postpones whole-text
    // highlighting until it becomes active, and paints what changes as plain text.
    bool active() const { return m_active; }
    virtual void setActive(bool active);
    bool hadEventWhileInactive() const { return m_hadEventWhileInactive; }
    // Bit 0 is set while insertText() runs.
    unsigned insertingText() const { return m_insertingText; }

    // Replaces the text and highlights it whole.
    void setString(std::u16string_view text) override;
    void insertText(std::u16string_view text) override;

    // What to re-parse at least after an edit whose new text lies in edited.
    HVRange rangeToHighlightForRange(HVRange edited) const;
    // Re-styles one range with the active parser (the main one when none), or as plain text
    // when inactive or when highlighting is switched off.
    void syntaxHighlight(HVRange range);
    // Highlights the whole text when active; else remembers to do so on activation.
    void refreshHighlighting();
    // New colours, the theme given to the parser again, and a refresh.
    void updateHighlighting();
    // Looks the bundle up again for the path (the bundles or their extensions changed).
    void bundlesUpdated();
    // Colours and standard attributes from the current theme; tells the colour observers.
    void loadColors();
    const HVEditorColors& colors() const { return m_colors; }
    // The theme's colour for invisible characters, when it has one.
    const std::optional<HVColor>& invisiblesColor() const { return m_invisiblesColor; }
    // What the drawing marks of invisible characters; it takes the theme's invisibles colour.
    HVLayoutManager& layoutManager() { return *m_layoutManager; }

    bool isPerl() const;
    bool isPython() const;
    bool isCSS() const;
    bool isJS() const;

    // The widget says which characters it shows (on scrolling and resizing).
    void setVisibleRange(HVRange range);
    HVRange visibleRange() const;

    // Observers: ranges that were painted anew (for the widget to redraw), and new colours.
    using ObserverToken = std::uint64_t;
    ObserverToken addRepaintObserver(std::function<void(HVRange)> observer);
    ObserverToken addColorsObserver(std::function<void()> observer);
    void removeHighlightingObserver(ObserverToken token);

    // Highlighting that waits for idle time, and how long its slices took.
    bool hasPendingHighlighting() const { return m_job.has_value(); }
    // Runs the waiting work now (before something needs the whole text painted).
    void finishPendingHighlighting();
    double longestSliceSeconds() const { return m_longestSlice; }
    std::size_t sliceCount() const { return m_sliceCount; }

    // The longest a slice of idle work aims to take.
    static constexpr double sliceBudgetSeconds = 0.004;

private:
    // Painting from a restart point (where the main parser starts afresh) forwards until the
    // new runs agree with the old ones at a line end.
    struct Job {
        std::size_t restart = 0;
        std::size_t paintedTo = 0;
        // The first line end at which the painting may stop, and the end of the first step.
        std::size_t mustReach = 0;
        std::size_t firstEnd = 0;
        bool started = false;
    };
    struct Observer {
        std::function<void(HVRange)> repainted;
        std::function<void()> colorsChanged;
    };

    void textChanged(HVRange edited, std::ptrdiff_t changeInLength);
    void highlightWholeText();
    void highlightAfterEdit(HVRange edited, std::ptrdiff_t changeInLength);
    // Paints steps of the job until it converges, or until the deadline once the visible
    // lines are done; synchronous work goes at least through the visible lines, and finishing
    // work to convergence in steps that double.
    void runJob(bool synchronous, bool finishing = false);
    void scheduleSlice();
    bool highlightingEnabled() const;
    std::shared_ptr<const HVTheme> theme() const;
    // Whether the main parser starts afresh after the character at index: a line end that it
    // painted outside every multi-line run and embedded region.
    bool isRestartAfter(std::size_t index) const;
    std::size_t restartBefore(std::size_t position) const;
    std::size_t lastRestartIn(std::size_t from, std::size_t to) const;
    // Where the closing quote lies of a value or string that the painting of range opened
    // with a double quote and ended without one; HVNotFound when there is none, or no double
    // quote follows the range.
    std::size_t quoteClosingBeyond(HVRange range) const;
    // The opening quote of a markup value left open before an edit whose lines hold a double
    // quote; HVNotFound when there is none.
    std::size_t openMarkupValueBefore(HVRange edited) const;
    // The same before a position, whatever the edit.
    std::size_t openMarkupValueBefore(std::size_t position) const;
    // Whether a quote painted so could end a markup value: markup's own, not code's nor a
    // comment's.
    bool isMarkupQuote(const HVAttributes& attributes) const;
    // The painted double quotes of range that are not markup's (with a markup main parser).
    std::vector<std::size_t> codeQuotesIn(HVRange range) const;
    void paint(HVRange range, const std::shared_ptr<HVParser>& parser);
    void repainted(HVRange range);
    void selectionChanged(HVRange oldRange);

    std::optional<std::string> m_path;
    // The bundle that the path's name chose when it was set.
    std::string m_nameBundleIdentifier;
    std::shared_ptr<HVBundle> m_bundle;
    std::shared_ptr<HVParser> m_parser;
    std::weak_ptr<HVParser> m_activeParser;
    HVAttributes m_standardAttributes;
    HVEditorColors m_colors;
    std::optional<HVColor> m_invisiblesColor;
    std::unique_ptr<HVLayoutManager> m_layoutManager;
    bool m_active = true;
    bool m_hadEventWhileInactive = false;
    unsigned m_insertingText = 0;
    bool m_settingString = false;
    std::optional<HVRange> m_visibleRange;

    std::optional<Job> m_job;
    std::uint64_t m_sliceTask = 0;
    double m_secondsPerUnit = 0;
    double m_longestSlice = 0;
    std::size_t m_sliceCount = 0;

    std::map<ObserverToken, std::shared_ptr<Observer>> m_observers;
    ObserverToken m_nextObserver = 1;
    // Slices posted to the dispatcher reach the view through this, so that they do nothing
    // once it is gone.
    std::shared_ptr<HVSyntaxHighlightingTextView*> m_self;
    std::uint64_t m_bufferObserver = 0;
    ViewObserverToken m_selectionObserver = 0;
    HVScopedObserver m_prefsObserver;
    HVScopedObserver m_bundlesObserver;
};
