#include "HVSyntaxHighlightingTextView.h"

#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVDispatcher.h"
#include "HVLayoutManager.h"
#include "HVParser.h"
#include "HVPreferences.h"
#include "HVSyntaxHighlighting.h"
#include "HVTagBasedParser.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVThemeRepository.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

// Long stretches are read a block at a time: a copy of the whole would cost its size again.
constexpr std::size_t kBlock = 65536;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The lines a view shows before its widget tells it.
constexpr std::size_t kDefaultVisibleLines = 100;
// The first step of a whole-text highlight, and of idle work before its speed is known.
constexpr std::size_t kFirstChunk = 8192;

char16_t lowercase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

bool matchesIgnoringCase(std::u16string_view text, std::size_t at, std::u16string_view literal) {
    for (std::size_t i = 0; i < literal.size(); ++i) {
        if (lowercase(text[at + i]) != lowercase(literal[i]))
            return false;
    }
    return true;
}

// The last occurrence of literal that lies wholly in [from, to), ignoring ASCII letter case.
std::optional<std::size_t> findLastIgnoringCase(std::u16string_view text,
                                                std::u16string_view literal, std::size_t from,
                                                std::size_t to) {
    if (literal.empty() || to < from || to - from < literal.size())
        return std::nullopt;
    for (std::size_t at = to - literal.size() + 1; at-- > from;) {
        if (matchesIgnoringCase(text, at, literal))
            return at;
    }
    return std::nullopt;
}

// Whether [from, to) holds an odd number of the quote not escaped by a backslash.
bool oddQuotes(std::u16string_view text, std::size_t from, std::size_t to, char16_t quote) {
    bool inside = false;
    for (std::size_t i = from; i < to; ++i) {
        if (text[i] != quote)
            continue;
        std::size_t backslashes = 0;
        for (std::size_t j = i; j > from && text[j - 1] == u'\\'; --j)
            ++backslashes;
        if (backslashes % 2 == 0)
            inside = !inside;
    }
    return inside;
}

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}

} // namespace

HVSyntaxHighlightingTextView::HVSyntaxHighlightingTextView(std::unique_ptr<HVTextStorage> storage)
    : HVTextViewModel(storage ? std::move(storage) : std::make_unique<HVTextStorage>()),
      m_layoutManager(std::make_unique<HVLayoutManager>()),
      m_self(std::make_shared<HVSyntaxHighlightingTextView*>(this)) {
    setBundle(HVBundleRepository::sharedRepository().bundleForIdentifier("text.html"));
    m_activeParser = m_parser;
    loadColors();
    m_bufferObserver = textStorage().addObserver([this](const HVTextEdit& edit) {
        // Only characters matter: attribute changes are this view's own painting.
        if (edit.mask & HVTextEdit::Characters)
            textChanged(edit.editedRange, edit.changeInLength);
    });
    m_selectionObserver =
        addSelectionObserver([this](HVRange oldRange) { selectionChanged(oldRange); });
    auto& center = HVNotificationCenter::defaultCenter();
    m_prefsObserver = HVScopedObserver(
        center, center.addObserver(std::string(HVHighlightingPrefsChangeNotification), nullptr,
                                   [this](const HVNotification&) { updateHighlighting(); }));
    m_bundlesObserver = HVScopedObserver(
        center, center.addObserver(std::string(HVBundleFileCategoriesChangedNotification), nullptr,
                                   [this](const HVNotification&) { bundlesUpdated(); }));
}

HVSyntaxHighlightingTextView::~HVSyntaxHighlightingTextView() {
    if (m_sliceTask)
        HVDispatcher::main().cancel(m_sliceTask);
    m_self.reset();
    textStorage().removeObserver(m_bufferObserver);
    removeViewObserver(m_selectionObserver);
}

// The language.

void HVSyntaxHighlightingTextView::setPath(std::optional<std::string> path) {
    m_path = std::move(path);
    if (!m_path)
        return;
    auto& repository = HVBundleRepository::sharedRepository();
    auto bundle = repository.bundleForFileName(*m_path);
    if (!bundle)
        bundle = repository.bundleForIdentifier("text.html");
    m_nameBundleIdentifier = bundle ? bundle->bundleIdentifier() : std::string();
    setBundle(std::move(bundle));
}

void HVSyntaxHighlightingTextView::setBundle(std::shared_ptr<HVBundle> bundle) {
    if (bundle == m_bundle)
        return;
    m_bundle = std::move(bundle);
    setParser(m_bundle ? m_bundle->parser() : nullptr);
}

void HVSyntaxHighlightingTextView::setParser(std::shared_ptr<HVParser> parser) {
    if (parser == m_parser)
        return;
    m_parser = std::move(parser);
    m_activeParser = m_parser;
    if (m_parser)
        m_parser->setTheme(theme());
    // Runs of another language's parser are never taken for this one's, so the text is
    // painted anew at once rather than edit by edit.
    if (textStorage().length() > 0)
        refreshHighlighting();
}

void HVSyntaxHighlightingTextView::bundlesUpdated() {
    auto& repository = HVBundleRepository::sharedRepository();
    std::shared_ptr<HVBundle> bundle;
    // A bundle that the name chose follows the name; one chosen otherwise (by the user, or
    // the default) is looked up again by its identifier, so that a reloaded repository
    // replaces it with its new copy.
    if (m_path && m_bundle && m_bundle->bundleIdentifier() == m_nameBundleIdentifier)
        bundle = repository.bundleForFileName(*m_path);
    if (m_bundle && !bundle)
        bundle = repository.bundleForBundleIdentifier(m_bundle->bundleIdentifier());
    // A new bundle brings a new parser, which paints the text anew.
    if (bundle && bundle != m_bundle)
        setBundle(std::move(bundle));
}

bool HVSyntaxHighlightingTextView::isPerl() const {
    return m_parser && m_parser->identifier() == "text.perl";
}

bool HVSyntaxHighlightingTextView::isPython() const {
    return m_parser && m_parser->identifier() == "text.py";
}

bool HVSyntaxHighlightingTextView::isCSS() const {
    return m_parser && m_parser->identifier() == "text.css";
}

bool HVSyntaxHighlightingTextView::isJS() const {
    return m_parser && m_parser->identifier() == "text.js";
}

// The parser at the caret.

std::shared_ptr<HVParser> HVSyntaxHighlightingTextView::activeParser(bool recompute) {
    if (recompute)
        m_activeParser = checkForOpenSpecialsBefore(selectedRange().location);
    auto parser = m_activeParser.lock();
    return parser ? parser : m_parser;
}

std::shared_ptr<HVParser>
HVSyntaxHighlightingTextView::checkForOpenSpecialsBefore(std::size_t loc) {
    if (!m_parser)
        return nullptr;
    std::vector<HVParser*> subparsers = m_parser->subparsers();
    if (subparsers.empty())
        return m_parser;
    loc = std::min(loc, textStorage().length());
    // No opener before a restart point can still be open there: the main parser is in force
    // and outside every embedded region. So the search starts at the last one before loc,
    // when the painting can be trusted: converged, or current up to the waiting work's restart
    // point. Otherwise (highlighting off, or edits while inactive) it reads the whole prefix.
    std::size_t from = 0;
    bool trusted =
        m_active && !m_hadEventWhileInactive && highlightingEnabled() && !textStorage().isEditing();
    if (trusted) {
        from = restartBefore(loc);
        if (m_job)
            from = std::min(from, m_job->restart);
    }
    auto inForce = [&](HVParser* parser) -> std::shared_ptr<HVParser> {
        auto owned = parser->weak_from_this().lock();
        if (!owned)
            return m_parser;
        auto current = theme();
        if (owned->theme() != current)
            owned->setTheme(current);
        return owned;
    };
    // Code between delimiters or server-side code has no opener of its own language (a
    // template's "{{" opens JavaScript): where the final painting says such code lies, it is
    // in force.
    if (trusted && loc > 0 && (!m_job || loc - 1 < m_job->restart)) {
        auto* markup = dynamic_cast<const HVTagBasedParser*>(m_parser.get());
        auto painter = HVParser::parserAtIndex(textStorage(), loc - 1);
        if (markup && painter && markup->paintsCodeAnywhere(painter.get()))
            return inForce(painter.get());
    }
    // Valid while nothing changes the characters; giving a parser its theme does not. Index 0
    // is from.
    const std::u16string_view text = textStorage().contiguousRange({from, loc - from});
    loc = text.size();
    std::size_t start = 0;
    for (HVParser* subparser : subparsers) {
        const auto& openers = subparser->openers();
        const auto& closers = subparser->closers();
        for (std::size_t k = 0; k < openers.size(); ++k) {
            auto opener = findLastIgnoringCase(text, openers[k], start, loc);
            if (!opener)
                continue;
            std::u16string_view closer = k < closers.size() ? closers[k] : std::u16string_view();
            std::size_t afterOpener = *opener + openers[k].size();
            auto inQuotes = [&](std::size_t at) {
                return oddQuotes(text, *opener, at, u'"') ||
                       (subparser->usesSingleQuotes() && oddQuotes(text, *opener, at, u'\''));
            };
            auto found = findLastIgnoringCase(text, closer, afterOpener, loc);
            while (found && inQuotes(*found))
                found = findLastIgnoringCase(text, closer, afterOpener, *found);
            if (!found)
                return inForce(subparser);
            start = *found + closer.size();
        }
    }
    return m_parser;
}

void HVSyntaxHighlightingTextView::selectionChanged(HVRange oldRange) {
    HVRange newRange = selectedRange();
    // Ends in 32-bit arithmetic, as the widgets count them.
    std::int32_t oldEnd = std::int32_t(oldRange.location + oldRange.length);
    std::int32_t newEnd = std::int32_t(newRange.location + newRange.length);
    const HVTextBuffer& text = textStorage();
    bool newLine = newRange.length == 0 && newRange.location > 0 &&
                   newRange.location != oldRange.location &&
                   isLineBreak(text.characterAtIndex(newRange.location - 1));
    if (std::abs(std::int64_t(newEnd) - std::int64_t(oldEnd)) < 2 && !newLine)
        return;
    m_activeParser =
        checkForOpenSpecialsBefore((m_insertingText & 1) ? oldRange.location : newRange.location);
}

// Text.

void HVSyntaxHighlightingTextView::setString(std::u16string_view text) {
    m_settingString = true;
    HVTextViewModel::setString(text);
    m_settingString = false;
    highlightWholeText();
}

void HVSyntaxHighlightingTextView::insertText(std::u16string_view text) {
    m_insertingText |= 1;
    HVTextViewModel::insertText(text);
    m_insertingText &= ~1u;
    if (!text.empty() && isLineBreak(text.front()))
        m_activeParser = checkForOpenSpecialsBefore(selectedRange().location);
}

void HVSyntaxHighlightingTextView::textChanged(HVRange edited, std::ptrdiff_t changeInLength) {
    if (m_settingString)
        return;
    if (edited.location == 0 && edited.length == textStorage().length())
        highlightWholeText();
    else
        highlightAfterEdit(edited, changeInLength);
}

// Highlighting.

bool HVSyntaxHighlightingTextView::highlightingEnabled() const {
    return HVPreferences::sharedInstance().boolForKey(HVHighlightKey).value_or(true);
}

std::shared_ptr<const HVTheme> HVSyntaxHighlightingTextView::theme() const {
    return HVThemeRepository::sharedRepository().currentTheme();
}

HVRange HVSyntaxHighlightingTextView::rangeToHighlightForRange(HVRange edited) const {
    return HVSyntaxHighlighting::rangeToHighlightForRange(textStorage(), edited);
}

void HVSyntaxHighlightingTextView::paint(HVRange range, const std::shared_ptr<HVParser>& parser) {
    static const HVTheme noTheme;
    auto current = theme();
    const HVTheme& colors = current ? *current : noTheme;
    if (parser && m_active && highlightingEnabled())
        HVSyntaxHighlighting::highlightRange(textStorage(), *parser, range, colors);
    else
        HVSyntaxHighlighting::resetRange(textStorage(), range, colors);
}

void HVSyntaxHighlightingTextView::syntaxHighlight(HVRange range) {
    paint(range, activeParser());
    repainted(range);
}

void HVSyntaxHighlightingTextView::refreshHighlighting() {
    if (m_active)
        highlightWholeText();
    else
        m_hadEventWhileInactive = true;
}

void HVSyntaxHighlightingTextView::updateHighlighting() {
    loadColors();
    if (m_parser)
        m_parser->setTheme(theme());
    refreshHighlighting();
}

void HVSyntaxHighlightingTextView::setActive(bool active) {
    m_active = active;
    if (m_active && m_hadEventWhileInactive) {
        m_hadEventWhileInactive = false;
        updateHighlighting();
    }
}

void HVSyntaxHighlightingTextView::highlightWholeText() {
    if (m_sliceTask)
        HVDispatcher::main().cancel(m_sliceTask);
    m_sliceTask = 0;
    m_job.reset();
    std::size_t length = textStorage().length();
    if (!m_active || !highlightingEnabled() || !m_parser) {
        // Plain text now; an inactive view highlights when it comes forward.
        paint({0, length}, nullptr);
        if (!m_active)
            m_hadEventWhileInactive = true;
        repainted({0, length});
        return;
    }
    // Nothing of the old painting can be trusted, so the work runs to the end of the text.
    std::size_t first = std::min(length, kFirstChunk);
    m_job =
        Job{0, 0, length, first < length ? textStorage().lineRangeForIndex(first).end() : length};
    runJob(true);
}

void HVSyntaxHighlightingTextView::highlightAfterEdit(HVRange edited,
                                                      std::ptrdiff_t changeInLength) {
    HVTextBuffer& buffer = textStorage();
    const std::size_t length = buffer.length();
    if (!m_active || !highlightingEnabled() || !m_parser) {
        HVRange lines = buffer.lineRangeForRange(edited);
        paint(lines, nullptr);
        if (!m_active) {
            m_hadEventWhileInactive = true;
            if (m_sliceTask)
                HVDispatcher::main().cancel(m_sliceTask);
            m_sliceTask = 0;
            m_job.reset();
        }
        repainted(lines);
        return;
    }

    // Where the positions of waiting work went: after the replaced text they move with it;
    // inside it, a restart point goes to its start and a limit to its new end.
    const std::size_t at = edited.location;
    const std::size_t replacedEnd = std::size_t(std::ptrdiff_t(edited.end()) - changeInLength);
    auto moved = [&](std::size_t position, bool toStart) {
        if (position >= replacedEnd)
            return std::size_t(std::ptrdiff_t(position) + changeInLength);
        if (position <= at)
            return position;
        return toStart ? at : edited.end();
    };
    // The first old character after the new text: the painting can only be compared with the
    // old one from there on.
    std::size_t firstOld = std::min(length, edited.end() + 1);

    if (m_job && at >= m_job->paintedTo) {
        // The edit lies in what the waiting work repaints anyway.
        m_job->mustReach = std::max(moved(m_job->mustReach, false), firstOld);
        runJob(true);
        return;
    }

    HVRange range = rangeToHighlightForRange(edited);
    std::size_t openValue = openMarkupValueBefore(edited);
    if (openValue < range.location)
        range = buffer.lineRangeForRange({openValue, range.end() - openValue});
    std::size_t mustReach = std::max(range.end(), firstOld);
    // A line break typed or pasted at the end of the new text leaves the first old character
    // on the next line: the first step takes that line too, so that it can stop at its end.
    std::size_t firstEnd = std::max(
        range.end(), mustReach < length ? buffer.lineRangeForIndex(mustReach - 1).end() : length);
    if (m_job) {
        mustReach = std::max({mustReach, moved(m_job->mustReach, false),
                              std::min(length, moved(m_job->paintedTo, false) + 1)});
    }
    // The painting before the edit still holds, so it tells where the main parser starts
    // afresh: an edit inside an embedded script or style sheet re-parses the whole region from
    // its opening tag, which finds where it now ends.
    std::size_t restart = restartBefore(range.location);
    // An edit over a long stretch (Replace All) is painted at once only as far as the lines
    // shown; the idle slices paint the rest, and the work cannot stop before mustReach.
    std::size_t enough = std::max(visibleRange().end(), restart + kFirstChunk);
    if (firstEnd > enough && enough < length)
        firstEnd = buffer.lineRangeForIndex(enough).end();
    m_job = Job{restart, restart, std::min(mustReach, length), firstEnd};
    runJob(true);
}

bool HVSyntaxHighlightingTextView::isMarkupQuote(const HVAttributes& attributes) const {
    // A value's search for its closing quote steps over the code it holds (between
    // delimiters, or server-side code), so the quotes of such code, or of a comment between
    // delimiters, say nothing of an earlier value. Quotes of other languages' regions and of
    // markup comments are taken for code too: they would have closed an earlier value, so
    // passing over them costs time only, never a wrong answer.
    const HVObjectReference* painter = attributes.reference(HVParserAttribute);
    if (!painter || *painter != HVObjectReference(m_parser))
        return false;
    const auto* markup = static_cast<const HVTagBasedParser*>(m_parser.get());
    const HVAttributeValue* style = attributes.value(HVStyleAttribute);
    const HVAttributeValue* comment = markup->commentsAttributes()
                                          ? markup->commentsAttributes()->value(HVStyleAttribute)
                                          : nullptr;
    return !(style && comment && *style == *comment);
}

std::size_t HVSyntaxHighlightingTextView::openMarkupValueBefore(HVRange edited) const {
    // Only markup ends a value without its closing quote at its tag, and only when no double
    // quote follows anywhere: a quote that arrives later closes the value there instead.
    if (!dynamic_cast<const HVTagBasedParser*>(m_parser.get()))
        return HVNotFound;
    const HVTextBuffer& buffer = textStorage();
    // The quote may also be one the edit turned from code into markup (a delimiter deleted
    // before it), which the edited lines show.
    const HVRange lines = buffer.lineRangeForRange(edited);
    bool quoted = false;
    for (std::size_t from = lines.location; from < lines.end() && !quoted; from += kBlock) {
        std::u16string_view text =
            buffer.contiguousRange({from, std::min(kBlock, lines.end() - from)});
        quoted = text.find(u'"') != std::u16string_view::npos;
    }
    return quoted ? openMarkupValueBefore(edited.location) : HVNotFound;
}

std::size_t HVSyntaxHighlightingTextView::openMarkupValueBefore(std::size_t position) const {
    const HVTextBuffer& buffer = textStorage();
    for (std::size_t to = position; to > 0;) {
        std::size_t from = to > kBlock ? to - kBlock : 0;
        std::u16string_view text = buffer.contiguousRange({from, to - from});
        std::size_t found = text.rfind(u'"');
        if (found == std::u16string_view::npos) {
            to = from;
            continue;
        }
        std::size_t quote = from + found;
        HVRange run;
        auto attributes = buffer.attributesAtIndex(quote, &run, {quote, buffer.length() - quote});
        if (!isMarkupQuote(*attributes)) {
            // Before the whole run of code (or comment) that holds it.
            HVRange code;
            buffer.attributesAtIndex(quote, &code, {0, quote + 1});
            const HVObjectReference* painter = attributes->reference(HVParserAttribute);
            if (!painter || *painter != HVObjectReference(m_parser))
                buffer.attribute(HVParserAttribute, quote, &code, {0, quote + 1});
            to = code.location;
            continue;
        }
        bool open = attributes->boolValue(HVMultiLineAttribute) &&
                    (run.length == 1 || buffer.characterAtIndex(run.end() - 1) != u'"');
        return open ? quote : HVNotFound;
    }
    return HVNotFound;
}

std::vector<std::size_t> HVSyntaxHighlightingTextView::codeQuotesIn(HVRange range) const {
    std::vector<std::size_t> quotes;
    if (!dynamic_cast<const HVTagBasedParser*>(m_parser.get()))
        return quotes;
    const HVTextBuffer& buffer = textStorage();
    for (std::size_t from = range.location; from < range.end(); from += kBlock) {
        std::u16string_view text =
            buffer.contiguousRange({from, std::min(kBlock, range.end() - from)});
        for (std::size_t k = text.find(u'"'); k != std::u16string_view::npos;
             k = text.find(u'"', k + 1)) {
            // Text not painted yet (a first painting) was never code.
            auto attributes = buffer.attributesAtIndex(from + k);
            if (attributes->reference(HVParserAttribute) && !isMarkupQuote(*attributes))
                quotes.push_back(from + k);
        }
    }
    return quotes;
}

bool HVSyntaxHighlightingTextView::isRestartAfter(std::size_t index) const {
    const HVTextBuffer& buffer = textStorage();
    if (index >= buffer.length())
        return false;
    char16_t c = buffer.characterAtIndex(index);
    if (!isLineBreak(c) || (c == u'\r' && buffer.characterAtIndex(index + 1) == u'\n'))
        return false;
    auto attributes = buffer.attributesAtIndex(index);
    if (attributes->boolValue(HVMultiLineAttribute))
        return false;
    const HVObjectReference* painter = attributes->reference(HVParserAttribute);
    return painter && *painter == HVObjectReference(m_parser);
}

std::size_t HVSyntaxHighlightingTextView::restartBefore(std::size_t position) const {
    const HVTextBuffer& buffer = textStorage();
    std::size_t start = buffer.lineRangeForIndex(position).location;
    while (start > 0 && !isRestartAfter(start - 1)) {
        // Back over the whole run that holds the line end (a comment, a string, a script),
        // to the start of its line.
        HVRange run;
        buffer.attributesAtIndex(start - 1, &run, {0, start});
        std::size_t lineStart =
            buffer.lineRangeForIndex(std::min(run.location, start - 1)).location;
        start = std::min(lineStart, buffer.lineRangeForIndex(start - 1).location);
    }
    return start;
}

std::size_t HVSyntaxHighlightingTextView::lastRestartIn(std::size_t from, std::size_t to) const {
    const HVTextBuffer& buffer = textStorage();
    std::size_t i = to;
    while (i > from) {
        HVRange run;
        auto attributes = buffer.attributesAtIndex(i - 1, &run);
        std::size_t low = std::max(run.location, from);
        const HVObjectReference* painter = attributes->reference(HVParserAttribute);
        if (!attributes->boolValue(HVMultiLineAttribute) && painter &&
            *painter == HVObjectReference(m_parser)) {
            for (std::size_t j = i; j > low; --j) {
                if (isRestartAfter(j - 1))
                    return j;
            }
        }
        i = low;
    }
    return from;
}

std::size_t HVSyntaxHighlightingTextView::quoteClosingBeyond(HVRange range) const {
    const HVTextBuffer& buffer = textStorage();
    bool unclosed = false;
    HVRange run{range.location, 0};
    HVAttributes current;
    auto check = [&] {
        if (run.length == 0 || !current.boolValue(HVMultiLineAttribute) ||
            buffer.characterAtIndex(run.location) != u'"')
            return;
        if (run.length == 1 || buffer.characterAtIndex(run.end() - 1) != u'"')
            unclosed = true;
    };
    buffer.enumerateRuns(range, [&](HVRange piece, const HVAttributes& attributes) {
        if (run.length > 0 && attributes == current) {
            run.length += piece.length;
            return;
        }
        check();
        run = piece;
        current = attributes;
    });
    check();
    if (!unclosed)
        return HVNotFound;
    // The next double quote at or after the end of the range.
    for (std::size_t from = range.end(); from < buffer.length(); from += kBlock) {
        std::u16string_view text = buffer.contiguousRange({from, kBlock});
        std::size_t found = text.find(u'"');
        if (found != std::u16string_view::npos)
            return from + found;
    }
    return HVNotFound;
}

void HVSyntaxHighlightingTextView::runJob(bool synchronous, bool finishing) {
    HVTextBuffer& buffer = textStorage();
    const Clock::time_point start = Clock::now();
    const HVRange visible = visibleRange();
    std::optional<HVRange> painted;
    bool firstStep = true;
    std::size_t finishingStep = kFirstChunk;
    while (m_job) {
        Job& job = *m_job;
        const std::size_t length = buffer.length();
        std::size_t end;
        if (!job.started) {
            job.started = true;
            end = std::max(job.firstEnd, job.restart);
        } else {
            std::size_t units;
            if (finishing && job.mustReach >= length) {
                // A whole-text highlight never stops early: the rest in one step.
                units = length;
            } else if (finishing) {
                // Steps that double: each end is a chance to stop, and the whole costs about
                // twice the text at most.
                units = finishingStep;
                finishingStep *= 2;
            } else if (synchronous && job.paintedTo < visible.end() && job.mustReach >= length &&
                       visible.location > job.paintedTo + kFirstChunk) {
                // Far ahead of a whole-text highlight: the visible lines are painted now as if
                // the main parser started afresh there, and again, right, when the work
                // arrives (a whole-text highlight never stops early).
                HVRange lines = buffer.lineRangeForRange(visible);
                paint(lines, m_parser);
                painted = painted ? HVRange{std::min(painted->location, lines.location),
                                            std::max(painted->end(), lines.end()) -
                                                std::min(painted->location, lines.location)}
                                  : lines;
                break;
            } else if (synchronous && job.paintedTo < visible.end() &&
                       visible.location > job.paintedTo + kFirstChunk) {
                // A jump far ahead of the work of an edit: painting all the way there now
                // would freeze the editor. The lines shown keep their painting, which is right
                // if the work stops before them, and is painted again when it gets there.
                break;
            } else if (synchronous && job.paintedTo < visible.end()) {
                // The visible lines are painted at once, whatever they cost.
                units = visible.end() - job.paintedTo;
            } else if (synchronous) {
                break;
            } else if (m_secondsPerUnit <= 0) {
                units = kFirstChunk;
            } else {
                double left = sliceBudgetSeconds - secondsSince(start);
                // Half of what is left, less what is painted again from the restart point.
                double affordable = left / 2 / m_secondsPerUnit;
                double again = double(job.paintedTo - job.restart);
                if (affordable - again >= 1) {
                    units = std::size_t(affordable - again);
                } else if (!firstStep) {
                    break;
                } else {
                    // Far from the last restart point (inside a construct that runs on, such
                    // as a comment opened at the top), each step paints again from there; the
                    // stretch doubles, so the whole costs twice the text rather than its
                    // square, at the price of slices as long as the stretch.
                    units = std::max(std::size_t(again), kFirstChunk);
                }
            }
            std::size_t target = std::min(length, job.paintedTo + units);
            end = target < length ? buffer.lineRangeForIndex(target).end() : length;
            end = std::max(end, std::min(length, job.paintedTo + 1));
        }
        end = std::min(end, length);
        // Whether the old painting let the main parser start afresh after this line, read
        // before it is painted over.
        bool oldRestart = end > 0 && isRestartAfter(end - 1);
        HVRange range{job.restart, end - job.restart};
        const Clock::time_point stepStart = Clock::now();
        const std::vector<std::size_t> codeQuotes = codeQuotesIn(range);
        paint(range, m_parser);
        if (painted) {
            std::size_t from = std::min(painted->location, range.location);
            painted = HVRange{from, std::max(painted->end(), range.end()) - from};
        } else {
            painted = range;
        }
        job.paintedTo = end;
        firstStep = false;
        // A quote of code that is markup now (a delimiter above it deleted) closes a value
        // left open before the range: the painting starts again before that value.
        if (std::any_of(codeQuotes.begin(), codeQuotes.end(), [&](std::size_t quote) {
                return isMarkupQuote(*buffer.attributesAtIndex(quote));
            })) {
            std::size_t open = openMarkupValueBefore(range.location);
            if (open != HVNotFound) {
                job.restart = restartBefore(open);
                continue;
            }
        }
        // A markup value whose closing quote lies beyond the range was ended at its tag; the
        // whole text would have run it to that quote, so the painting must reach it first.
        std::size_t quote = end < length ? quoteClosingBeyond(range) : HVNotFound;
        if (quote == HVNotFound &&
            (end >= length || (end >= job.mustReach && oldRestart && isRestartAfter(end - 1)))) {
            m_job.reset();
            break;
        }
        if (quote != HVNotFound)
            job.mustReach = std::max(job.mustReach, buffer.lineRangeForIndex(quote).end());
        else
            job.restart = lastRestartIn(job.restart, end);
        if (range.length > 0) {
            // Quick to learn that painting got slower, slow to believe it got faster.
            double perUnit = secondsSince(stepStart) / double(range.length);
            m_secondsPerUnit = std::max(perUnit, 0.75 * m_secondsPerUnit + 0.25 * perUnit);
        }
        if (!synchronous && secondsSince(start) >= sliceBudgetSeconds / 2)
            break;
    }
    if (m_job)
        scheduleSlice();
    if (painted)
        repainted(*painted);
}

void HVSyntaxHighlightingTextView::scheduleSlice() {
    if (m_sliceTask)
        return;
    std::weak_ptr<HVSyntaxHighlightingTextView*> weak = m_self;
    m_sliceTask = HVDispatcher::main().post([weak] {
        auto self = weak.lock();
        if (!self)
            return;
        HVSyntaxHighlightingTextView& view = **self;
        view.m_sliceTask = 0;
        const Clock::time_point start = Clock::now();
        view.runJob(false);
        view.m_longestSlice = std::max(view.m_longestSlice, secondsSince(start));
        ++view.m_sliceCount;
    });
}

void HVSyntaxHighlightingTextView::finishPendingHighlighting() {
    if (m_sliceTask)
        HVDispatcher::main().cancel(m_sliceTask);
    m_sliceTask = 0;
    if (m_job)
        runJob(true, true);
}

// The widget.

void HVSyntaxHighlightingTextView::setVisibleRange(HVRange range) {
    m_visibleRange = range;
    // Waiting work reaches newly shown lines at once.
    if (m_job && m_job->paintedTo < range.end())
        runJob(true);
}

HVRange HVSyntaxHighlightingTextView::visibleRange() const {
    const HVTextBuffer& buffer = textStorage();
    if (m_visibleRange) {
        std::size_t end = std::min(m_visibleRange->end(), buffer.length());
        std::size_t location = std::min(m_visibleRange->location, end);
        return {location, end - location};
    }
    std::size_t lines = std::min(kDefaultVisibleLines, buffer.lineCount());
    return {0, lines > 0 ? buffer.rangeOfLine(lines - 1).end() : 0};
}

void HVSyntaxHighlightingTextView::loadColors() {
    auto current = theme();
    HVEditorColors colors;
    m_invisiblesColor.reset();
    if (current) {
        colors.text = current->textColor().value_or(colors.text);
        colors.background = current->backgroundColor().value_or(colors.background);
        colors.insertionPoint = current->insertionPointColor().value_or(colors.text);
        colors.selection = current->selectionColor().value_or(colors.selection);
        m_invisiblesColor = current->invisiblesColor();
    }
    m_colors = colors;
    m_layoutManager->setInvisiblesColor(m_invisiblesColor);
    m_standardAttributes =
        HVAttributes{{std::string(HVForegroundColorAttribute), colors.text},
                     {std::string(HVBackgroundColorAttribute), colors.background}};
    std::vector<std::shared_ptr<Observer>> observers;
    for (const auto& [token, observer] : m_observers)
        observers.push_back(observer);
    for (const auto& observer : observers) {
        if (observer->colorsChanged)
            observer->colorsChanged();
    }
}

HVSyntaxHighlightingTextView::ObserverToken
HVSyntaxHighlightingTextView::addRepaintObserver(std::function<void(HVRange)> observer) {
    auto entry = std::make_shared<Observer>();
    entry->repainted = std::move(observer);
    m_observers.emplace(m_nextObserver, std::move(entry));
    return m_nextObserver++;
}

HVSyntaxHighlightingTextView::ObserverToken
HVSyntaxHighlightingTextView::addColorsObserver(std::function<void()> observer) {
    auto entry = std::make_shared<Observer>();
    entry->colorsChanged = std::move(observer);
    m_observers.emplace(m_nextObserver, std::move(entry));
    return m_nextObserver++;
}

void HVSyntaxHighlightingTextView::removeHighlightingObserver(ObserverToken token) {
    m_observers.erase(token);
}

void HVSyntaxHighlightingTextView::repainted(HVRange range) {
    // Copied first: an observer may remove itself.
    std::vector<std::shared_ptr<Observer>> observers;
    for (const auto& [token, observer] : m_observers)
        observers.push_back(observer);
    for (const auto& observer : observers) {
        if (observer->repainted)
            observer->repainted(range);
    }
}
