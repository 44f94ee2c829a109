#include "HVTextViewModel.h"

#include "HVClipboard.h"
#include "HVPositionMapper.h"
#include "HVTextBuffer.h"
#include "HVTextLineModel.h"
#include "HVTextViewDelegate.h"
#include "HVUndoManager.h"
#include "HVUserInterface.h"

#include <algorithm>
#include <map>
#include <unicode/ubrk.h>

namespace {

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

HVRange clip(HVRange range, std::size_t length) {
    if (range.location > length)
        return {length, 0};
    return {range.location, std::min(range.length, length - range.location)};
}

HVRange spanning(std::size_t a, std::size_t b) {
    return a <= b ? HVRange{a, b - a} : HVRange{b, a - b};
}

// How far the boundary searches look around a position. Lines longer than this are looked at
// in pieces.
constexpr std::size_t boundaryWindow = 4096;
constexpr std::size_t characterWindow = 64;

using Method = void (HVTextViewModel::*)();
struct Command {
    Method method;
    bool typing;
};

const std::map<std::string, Command, std::less<>>& commands() {
    using V = HVTextViewModel;
    static const std::map<std::string, Command, std::less<>> table = {
        {"moveLeft:", {&V::moveLeft, false}},
        {"moveBackward:", {&V::moveLeft, false}},
        {"moveRight:", {&V::moveRight, false}},
        {"moveForward:", {&V::moveRight, false}},
        {"moveLeftAndModifySelection:", {&V::moveLeftAndModifySelection, false}},
        {"moveBackwardAndModifySelection:", {&V::moveLeftAndModifySelection, false}},
        {"moveRightAndModifySelection:", {&V::moveRightAndModifySelection, false}},
        {"moveForwardAndModifySelection:", {&V::moveRightAndModifySelection, false}},
        {"moveWordLeft:", {&V::moveWordLeft, false}},
        {"moveWordBackward:", {&V::moveWordLeft, false}},
        {"moveWordRight:", {&V::moveWordRight, false}},
        {"moveWordForward:", {&V::moveWordRight, false}},
        {"moveWordLeftAndModifySelection:", {&V::moveWordLeftAndModifySelection, false}},
        {"moveWordBackwardAndModifySelection:", {&V::moveWordLeftAndModifySelection, false}},
        {"moveWordRightAndModifySelection:", {&V::moveWordRightAndModifySelection, false}},
        {"moveWordForwardAndModifySelection:", {&V::moveWordRightAndModifySelection, false}},
        {"moveUp:", {&V::moveUp, false}},
        {"moveDown:", {&V::moveDown, false}},
        {"moveUpAndModifySelection:", {&V::moveUpAndModifySelection, false}},
        {"moveDownAndModifySelection:", {&V::moveDownAndModifySelection, false}},
        {"pageUp:", {&V::pageUp, false}},
        {"pageDown:", {&V::pageDown, false}},
        {"pageUpAndModifySelection:", {&V::pageUpAndModifySelection, false}},
        {"pageDownAndModifySelection:", {&V::pageDownAndModifySelection, false}},
        {"moveToBeginningOfLine:", {&V::moveToBeginningOfLine, false}},
        {"moveToLeftEndOfLine:", {&V::moveToBeginningOfLine, false}},
        {"moveToEndOfLine:", {&V::moveToEndOfLine, false}},
        {"moveToRightEndOfLine:", {&V::moveToEndOfLine, false}},
        {"moveToBeginningOfLineAndModifySelection:",
         {&V::moveToBeginningOfLineAndModifySelection, false}},
        {"moveToLeftEndOfLineAndModifySelection:",
         {&V::moveToBeginningOfLineAndModifySelection, false}},
        {"moveToEndOfLineAndModifySelection:", {&V::moveToEndOfLineAndModifySelection, false}},
        {"moveToRightEndOfLineAndModifySelection:", {&V::moveToEndOfLineAndModifySelection, false}},
        {"moveToBeginningOfParagraph:", {&V::moveToBeginningOfParagraph, false}},
        {"moveToEndOfParagraph:", {&V::moveToEndOfParagraph, false}},
        {"moveToBeginningOfParagraphAndModifySelection:",
         {&V::moveToBeginningOfParagraphAndModifySelection, false}},
        {"moveToEndOfParagraphAndModifySelection:",
         {&V::moveToEndOfParagraphAndModifySelection, false}},
        {"moveToBeginningOfDocument:", {&V::moveToBeginningOfDocument, false}},
        {"moveToEndOfDocument:", {&V::moveToEndOfDocument, false}},
        {"moveToBeginningOfDocumentAndModifySelection:",
         {&V::moveToBeginningOfDocumentAndModifySelection, false}},
        {"moveToEndOfDocumentAndModifySelection:",
         {&V::moveToEndOfDocumentAndModifySelection, false}},
        {"selectAll:", {&V::selectAll, false}},
        {"selectWord:", {&V::selectWord, false}},
        {"selectLine:", {&V::selectLine, false}},
        {"selectParagraph:", {&V::selectParagraph, false}},
        {"insertNewline:", {&V::insertNewline, true}},
        {"insertLineBreak:", {&V::insertNewline, true}},
        {"insertNewlineIgnoringFieldEditor:", {&V::insertNewline, true}},
        {"insertTab:", {&V::insertTab, true}},
        {"insertTabIgnoringFieldEditor:", {&V::insertTab, true}},
        {"insertBacktab:", {&V::insertBacktab, false}},
        {"deleteBackward:", {&V::deleteBackward, true}},
        {"deleteBackwardByDecomposingPreviousCharacter:", {&V::deleteBackward, true}},
        {"deleteForward:", {&V::deleteForward, true}},
        {"deleteWordBackward:", {&V::deleteWordBackward, false}},
        {"deleteWordForward:", {&V::deleteWordForward, false}},
        {"deleteToBeginningOfLine:", {&V::deleteToBeginningOfLine, false}},
        {"deleteToEndOfLine:", {&V::deleteToEndOfLine, false}},
        {"deleteToBeginningOfParagraph:", {&V::deleteToBeginningOfParagraph, false}},
        {"deleteToEndOfParagraph:", {&V::deleteToEndOfParagraph, false}},
        {"copy:", {&V::copy, false}},
        {"cut:", {&V::cut, false}},
        {"paste:", {&V::paste, false}},
        {"undo:", {&V::undo, false}},
        {"redo:", {&V::redo, false}},
    };
    return table;
}

} // namespace

// One change as undo sees it: in each piece, the text now at [location, location +
// insertedLength) replaced characters and runs that all pieces keep one after another in the
// record (a Replace All has a hundred thousand pieces: one allocation each would cost more
// than the edit). Pieces ascend. A typing step is one record of one piece that grows while the
// user types.
struct HVTextViewModel::Record {
    struct Piece {
        std::size_t location = 0;
        std::size_t insertedLength = 0;
        std::size_t textFrom = 0;
        std::size_t textLength = 0;
        std::size_t runFrom = 0;
        std::size_t runCount = 0;
    };
    std::vector<Piece> pieces;
    std::u16string replacedText;
    std::vector<HVAttributedString::Run> replacedRuns;

    // Adds a piece that replaces what the range of the buffer holds now.
    void add(std::size_t location, std::size_t insertedLength, const HVTextBuffer& buffer,
             HVRange range) {
        Piece piece{location, insertedLength, replacedText.size(), 0, replacedRuns.size(), 0};
        buffer.appendAttributedSubstring(range, replacedText, replacedRuns);
        piece.textLength = replacedText.size() - piece.textFrom;
        piece.runCount = replacedRuns.size() - piece.runFrom;
        pieces.push_back(piece);
    }
    std::u16string_view text(std::size_t i) const {
        return std::u16string_view(replacedText).substr(pieces[i].textFrom, pieces[i].textLength);
    }
    std::span<const HVAttributedString::Run> runs(std::size_t i) const {
        return std::span(replacedRuns).subspan(pieces[i].runFrom, pieces[i].runCount);
    }
    // What the one piece of a typing step replaced, and a change of it.
    HVAttributedString replaced() const {
        auto runs = this->runs(0);
        return HVAttributedString(std::u16string(text(0)),
                                  std::vector<HVAttributedString::Run>(runs.begin(), runs.end()));
    }
    void setReplaced(const HVAttributedString& replaced) {
        replacedText = replaced.string();
        replacedRuns = replaced.runs();
        pieces.front().textFrom = pieces.front().runFrom = 0;
        pieces.front().textLength = replacedText.size();
        pieces.front().runCount = replacedRuns.size();
    }
    // Restored by undoing the record.
    HVRange selectionBefore;
    // Restored by redoing it; a caret after the new text when none.
    std::optional<HVRange> selectionAfter;
    // False for a step that leaves the content as it was (a fold), and so for its inverse.
    bool countsAsChange = true;
};

// ICU break iterators over a window of the text, one segment at a time.
struct HVTextViewModel::Boundaries {
    struct Segment {
        std::size_t start;
        std::size_t end;
        bool word;
    };

    UBreakIterator* characters = nullptr;
    UBreakIterator* words = nullptr;
    std::u16string window;

    Boundaries() {
        UErrorCode status = U_ZERO_ERROR;
        characters = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
        if (U_FAILURE(status))
            characters = nullptr;
        status = U_ZERO_ERROR;
        words = ubrk_open(UBRK_WORD, "", nullptr, 0, &status);
        if (U_FAILURE(status))
            words = nullptr;
    }
    ~Boundaries() {
        if (characters)
            ubrk_close(characters);
        if (words)
            ubrk_close(words);
    }

    UBreakIterator* over(UBreakIterator* iterator, const HVTextBuffer& text, HVRange range) {
        window = text.substring(range);
        UErrorCode status = U_ZERO_ERROR;
        ubrk_setText(iterator, window.data(), int32_t(window.size()), &status);
        return U_SUCCESS(status) ? iterator : nullptr;
    }

    // The word-break segments of the range, in text positions.
    std::vector<Segment> segments(const HVTextBuffer& text, HVRange range) {
        std::vector<Segment> result;
        UBreakIterator* iterator = words ? over(words, text, range) : nullptr;
        if (!iterator) {
            result.push_back({range.location, range.end(), true});
            return result;
        }
        std::size_t start = range.location;
        for (int32_t b = ubrk_next(iterator); b != UBRK_DONE; b = ubrk_next(iterator)) {
            bool word = ubrk_getRuleStatus(iterator) >= UBRK_WORD_NONE_LIMIT;
            result.push_back({start, range.location + std::size_t(b), word});
            start = range.location + std::size_t(b);
        }
        return result;
    }
};

HVTextViewModel::HVTextViewModel(std::unique_ptr<HVTextBuffer> textStorage)
    : m_storage(textStorage ? std::move(textStorage) : std::make_unique<HVTextBuffer>()),
      m_ownUndoManager(std::make_unique<HVUndoManager>()), m_undoManager(m_ownUndoManager.get()),
      m_lineModel(std::make_unique<HVTextLineModel>()),
      m_boundaries(std::make_unique<Boundaries>()),
      m_self(std::make_shared<HVTextViewModel*>(this)) {
    m_observerToken = m_storage->addObserver([this](const HVTextEdit& edit) {
        if (!m_selfEditing && (edit.mask & HVTextEdit::Characters))
            externalEdit(edit.editedRange, edit.changeInLength);
    });
}

HVTextViewModel::~HVTextViewModel() {
    m_storage->removeObserver(m_observerToken);
}

HVTextBuffer& HVTextViewModel::textStorage() {
    return *m_storage;
}

const HVTextBuffer& HVTextViewModel::textStorage() const {
    return *m_storage;
}

std::u16string_view HVTextViewModel::string() const {
    return m_storage->string();
}

void HVTextViewModel::setString(std::u16string_view text) {
    m_selfEditing = true;
    m_storage->setString(text);
    m_selfEditing = false;
    textReplaced();
}

void HVTextViewModel::adoptString(std::u16string&& text) {
    m_selfEditing = true;
    m_storage->adoptString(std::move(text));
    m_selfEditing = false;
    textReplaced();
}

void HVTextViewModel::textReplaced() {
    m_typing.reset();
    undoManager().removeAllActions();
    m_lastChange = {0, m_storage->length()};
    selectCaret(0);
}

HVRange HVTextViewModel::selectedRange() const {
    return m_selection;
}

void HVTextViewModel::setSelectedRange(HVRange range) {
    range = snapped(clip(range, m_storage->length()));
    select(range.location, range.end());
}

std::u16string HVTextViewModel::selectedString() const {
    return m_storage->substring(m_selection);
}

std::size_t HVTextViewModel::selectionAnchor() const {
    return m_anchor;
}

std::size_t HVTextViewModel::selectionHead() const {
    return m_head;
}

void HVTextViewModel::setDelegate(HVTextViewDelegate* delegate) {
    m_delegate = delegate;
}

HVTextViewDelegate* HVTextViewModel::delegate() const {
    return m_delegate;
}

void HVTextViewModel::setClipboard(HVClipboard* clipboard) {
    m_clipboard = clipboard;
}

HVClipboard& HVTextViewModel::clipboard() const {
    return m_clipboard ? *m_clipboard : HVClipboard::general();
}

HVUndoManager& HVTextViewModel::undoManager() {
    return *m_undoManager;
}

void HVTextViewModel::setUndoManager(HVUndoManager* undoManager) {
    m_undoManager = undoManager ? undoManager : m_ownUndoManager.get();
    m_typing.reset();
}

void HVTextViewModel::setLineModel(std::unique_ptr<HVTextLineModel> lineModel) {
    m_lineModel = lineModel ? std::move(lineModel) : std::make_unique<HVTextLineModel>();
}

const HVTextLineModel& HVTextViewModel::lineModel() const {
    return *m_lineModel;
}

void HVTextViewModel::setPageSize(std::size_t lines) {
    m_pageSize = std::max<std::size_t>(lines, 1);
}

std::size_t HVTextViewModel::pageSize() const {
    return m_pageSize;
}

HVLineBreaks::Type HVTextViewModel::lineBreakType() const {
    return m_lineBreakType;
}

bool HVTextViewModel::hasMixedLineBreaks() const {
    return m_mixedLineBreaks;
}

const std::u16string& HVTextViewModel::newlineString() const {
    return m_newline;
}

void HVTextViewModel::adoptLineBreakType(HVLineBreaks::Type type, bool mixed) {
    bool changed = type != m_lineBreakType || mixed != m_mixedLineBreaks;
    m_lineBreakType = type;
    m_mixedLineBreaks = mixed;
    m_newline = HVLineBreaks::stringForType(type);
    if (!changed)
        return;
    for (const auto& observer : viewObservers()) {
        if (observer->lineBreakTypeChanged)
            observer->lineBreakTypeChanged();
    }
}

std::u16string HVTextViewModel::convertingLineBreaks(std::u16string_view text) const {
    if (text.find_first_of(u"\r\n") == std::u16string_view::npos)
        return std::u16string(text);
    return HVLineBreaks::switchLineBreaks(text, m_newline);
}

void HVTextViewModel::setLineBreakType(HVLineBreaks::Type type) {
    if (type == m_lineBreakType && !m_mixedLineBreaks)
        return;
    if (!refuseUnlessEditable())
        return;
    // Only the breaks that differ change, each its own range, so the runs around them stay.
    std::u16string target = HVLineBreaks::stringForType(type);
    std::vector<HVRange> ranges;
    HVPositionMapper mapper;
    {
        std::u16string_view text = string();
        for (std::size_t i = 0; i < text.size(); ++i) {
            char16_t c = text[i];
            if (c != u'\n' && c != u'\r')
                continue;
            std::size_t length = c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n' ? 2 : 1;
            if (text.substr(i, length) != target) {
                ranges.push_back({i, length});
                mapper.add(ranges.back(), target.size());
            }
            i += length - 1;
        }
    }
    breakUndoCoalescing();
    HVUndoManager& undo = undoManager();
    undo.beginUndoGrouping();
    if (!ranges.empty() && !changeTexts(ranges, std::vector<std::u16string>(ranges.size(), target),
                                        mapper.map(m_selection), "Set Line Break Type")) {
        undo.endUndoGrouping();
        return;
    }
    // After the text, so that undoing brings the type back first and an observer of the
    // text's change already sees it.
    registerLineBreakTypeUndo();
    adoptLineBreakType(type, false);
    undo.setActionName("Set Line Break Type");
    undo.endUndoGrouping();
}

void HVTextViewModel::registerLineBreakTypeUndo() {
    std::weak_ptr<HVTextViewModel*> self = m_self;
    undoManager().registerUndo([self, type = m_lineBreakType, mixed = m_mixedLineBreaks] {
        if (auto view = self.lock()) {
            (*view)->registerLineBreakTypeUndo();
            (*view)->adoptLineBreakType(type, mixed);
        }
    });
}

bool HVTextViewModel::isEditable() const {
    return m_editable;
}

void HVTextViewModel::setEditable(bool editable) {
    m_editable = editable;
}

bool HVTextViewModel::refuseUnlessEditable() {
    if (m_editable)
        return true;
    HVUserInterface::shared().beep();
    return false;
}

void HVTextViewModel::setTabWidth(std::size_t spaces) {
    m_tabWidth = std::max<std::size_t>(spaces, 1);
}

std::size_t HVTextViewModel::tabWidth() const {
    return m_tabWidth;
}

// Changing the text.

void HVTextViewModel::insertText(std::u16string_view text) {
    if (!refuseUnlessEditable())
        return;
    // The text may be a view of our own buffer, which a delegate's change would move.
    std::u16string own = convertingLineBreaks(text);
    text = own;
    m_insertingText = true;
    HVRange range = m_selection;
    auto before = m_storage->length();
    bool allowed = !m_delegate || m_delegate->textViewShouldChangeTextInRange(*this, range, text);
    // A delegate that edited inside its hook moved the selection with the text.
    if (allowed && m_storage->length() != before)
        range = m_selection;
    if (allowed)
        applyChange({&range, 1}, {&text, 1}, {range.location + text.size(), 0}, "Typing", true);
    m_insertingText = false;
}

bool HVTextViewModel::isInsertingText() const {
    return m_insertingText;
}

void HVTextViewModel::breakUndoCoalescing() {
    m_typing.reset();
}

bool HVTextViewModel::replaceCharacters(HVRange range, std::u16string_view text,
                                        std::string_view actionName) {
    range = clip(range, m_storage->length());
    HVRange after = m_selection == range ? HVRange{range.location + text.size(), 0}
                                         : HVPositionMapper(range, text.size()).map(m_selection);
    return changeText(range, text, after, actionName, false);
}

bool HVTextViewModel::replaceCharacters(const std::vector<HVRange>& ranges,
                                        const std::vector<std::u16string>& texts,
                                        std::string_view actionName) {
    if (ranges.size() != texts.size())
        return false;
    HVPositionMapper mapper;
    mapper.reserve(ranges.size());
    std::size_t previousEnd = 0;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (ranges[i].location < previousEnd || ranges[i].end() > m_storage->length())
            return false;
        previousEnd = ranges[i].end();
        mapper.add(ranges[i], texts[i].size());
    }
    return changeTexts(ranges, texts, mapper.map(m_selection), actionName);
}

HVRange HVTextViewModel::lastChangeRange() const {
    return m_lastChange;
}

bool HVTextViewModel::changeText(HVRange range, std::u16string_view text, HVRange selectionAfter,
                                 std::string_view actionName, bool typing) {
    range = clip(range, m_storage->length());
    if (!refuseUnlessEditable())
        return false;
    if (m_delegate && !m_delegate->textViewShouldChangeTextInRange(*this, range, text))
        return false;
    applyChange({&range, 1}, {&text, 1}, selectionAfter, actionName, typing);
    return true;
}

bool HVTextViewModel::changeTexts(const std::vector<HVRange>& ranges,
                                  const std::vector<std::u16string>& texts, HVRange selectionAfter,
                                  std::string_view actionName) {
    if (ranges.empty() || ranges.size() != texts.size())
        return false;
    if (!refuseUnlessEditable())
        return false;
    if (m_delegate && !m_delegate->textViewShouldChangeTextInRanges(*this, ranges, texts))
        return false;
    std::vector<std::u16string_view> views(texts.begin(), texts.end());
    applyChange(ranges, views, selectionAfter, actionName, false);
    return true;
}

bool HVTextViewModel::extendTyping(HVRange range, std::u16string_view text,
                                   const HVAttributedString& old) {
    HVUndoManager& undo = undoManager();
    if (!m_typing || !undo.isUndoRegistrationEnabled() ||
        undo.modificationStamp() != m_typingStamp || m_selection.length != 0)
        return false;
    Record::Piece& piece = m_typing->pieces.front();
    std::size_t end = piece.location + piece.insertedLength;
    if (m_selection.location != end)
        return false;
    if (range.length == 0 && range.location == end) {
        piece.insertedLength += text.size();
        return true;
    }
    if (text.empty() && range.end() == end) {
        if (range.location >= piece.location) {
            piece.insertedLength -= range.length;
        } else {
            HVAttributedString replaced = old.substring({0, piece.location - range.location});
            replaced.append(m_typing->replaced());
            m_typing->setReplaced(replaced);
            piece.location = range.location;
            piece.insertedLength = 0;
        }
        return true;
    }
    if (text.empty() && range.location == end) {
        HVAttributedString replaced = m_typing->replaced();
        replaced.append(old);
        m_typing->setReplaced(replaced);
        return true;
    }
    return false;
}

void HVTextViewModel::applyChange(std::span<const HVRange> ranges,
                                  std::span<const std::u16string_view> texts,
                                  HVRange selectionAfter, std::string_view actionName,
                                  bool typing) {
    auto record = makeRecord(ranges, [&](std::size_t i) { return texts[i].size(); });
    bool extended =
        typing && ranges.size() == 1 &&
        extendTyping(clip(ranges[0], m_storage->length()), texts[0], record->replaced());
    if (!extended) {
        record->selectionBefore = m_selection;
        registerStep(record, actionName);
        m_typing = typing ? record : nullptr;
        m_typingStamp = undoManager().modificationStamp();
    }
    editStorage(*record, [&](std::size_t i) {
        m_storage->replaceCharacters(clip(ranges[i], m_storage->length()), texts[i]);
    });
    select(selectionAfter.location, selectionAfter.end(), typing ? Cause::Typing : Cause::Other);
    if (!extended && !typing)
        record->selectionAfter = m_selection;
    if (m_delegate)
        m_delegate->textDidChange(*this);
}

void HVTextViewModel::replaceWithoutChange(const std::vector<HVRange>& ranges,
                                           const std::vector<HVAttributedString>& texts,
                                           std::string_view actionName) {
    if (ranges.empty() || ranges.size() != texts.size())
        return;
    auto record = makeRecord(ranges, [&](std::size_t i) { return texts[i].length(); });
    record->countsAsChange = false;
    record->selectionBefore = m_selection;
    HVPositionMapper mapper;
    mapper.reserve(ranges.size());
    for (std::size_t i = 0; i < ranges.size(); ++i)
        mapper.add(clip(ranges[i], m_storage->length()), texts[i].length());
    registerStep(record, actionName);
    m_typing.reset();
    editStorage(*record, [&](std::size_t i) {
        m_storage->replaceCharacters(clip(ranges[i], m_storage->length()), texts[i]);
    });
    select(mapper.map(m_anchor), mapper.map(m_head));
    record->selectionAfter = m_selection;
    if (m_delegate)
        m_delegate->textDidChange(*this);
}

std::shared_ptr<HVTextViewModel::Record>
HVTextViewModel::makeRecord(std::span<const HVRange> ranges,
                            const std::function<std::size_t(std::size_t piece)>& newLength) const {
    auto record = std::make_shared<Record>();
    record->pieces.reserve(ranges.size());
    std::size_t replaced = 0;
    for (HVRange range : ranges)
        replaced += clip(range, m_storage->length()).length;
    record->replacedText.reserve(replaced);
    record->replacedRuns.reserve(ranges.size());
    // Each piece's place in the text after the edit: the pieces before it moved it.
    std::size_t shift = 0;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        HVRange range = clip(ranges[i], m_storage->length());
        record->add(range.location + shift, newLength(i), *m_storage, range);
        shift += newLength(i) - range.length;
    }
    return record;
}

void HVTextViewModel::registerStep(const std::shared_ptr<Record>& record,
                                   std::string_view actionName) {
    HVUndoManager& undo = undoManager();
    undo.beginUndoGrouping();
    registerRecord(record);
    undo.setActionName(actionName);
    undo.endUndoGrouping();
}

void HVTextViewModel::editStorage(const Record& record,
                                  const std::function<void(std::size_t piece)>& replace) {
    m_selfEditing = true;
    m_storage->beginEditing();
    // From the last piece back, so that the ones before keep their places.
    for (std::size_t i = record.pieces.size(); i-- > 0;)
        replace(i);
    m_storage->endEditing();
    m_selfEditing = false;
    const Record::Piece& first = record.pieces.front();
    const Record::Piece& last = record.pieces.back();
    m_lastChange = {first.location, last.location + last.insertedLength - first.location};
}

void HVTextViewModel::registerRecord(const std::shared_ptr<Record>& record) {
    std::weak_ptr<HVTextViewModel*> self = m_self;
    auto action = [self, record] {
        if (auto view = self.lock())
            (*view)->replay(record);
    };
    if (record->countsAsChange)
        undoManager().registerUndo(action);
    else
        undoManager().registerUndoWithoutChange(action);
}

void HVTextViewModel::replay(const std::shared_ptr<Record>& record) {
    auto inverse = std::make_shared<Record>();
    inverse->countsAsChange = record->countsAsChange;
    std::vector<HVRange> ranges;
    ranges.reserve(record->pieces.size());
    inverse->pieces.reserve(record->pieces.size());
    std::size_t inserted = 0;
    for (const Record::Piece& piece : record->pieces)
        inserted += piece.insertedLength;
    inverse->replacedText.reserve(inserted);
    inverse->replacedRuns.reserve(record->pieces.size());
    std::size_t shift = 0;
    for (const Record::Piece& piece : record->pieces) {
        HVRange range = clip({piece.location, piece.insertedLength}, m_storage->length());
        ranges.push_back(range);
        inverse->add(range.location + shift, piece.textLength, *m_storage, range);
        shift += piece.textLength - range.length;
    }
    // Redoing puts the caret after the new text, in the text as it is now.
    inverse->selectionBefore = record->selectionAfter.value_or(HVRange{ranges.back().end(), 0});
    inverse->selectionAfter = record->selectionBefore;
    registerRecord(inverse);
    m_typing.reset();
    editStorage(*inverse, [&](std::size_t i) {
        m_storage->replaceCharacters(ranges[i], record->text(i), record->runs(i));
    });
    HVRange selection = snapped(clip(record->selectionBefore, m_storage->length()));
    select(selection.location, selection.end());
    if (m_delegate)
        m_delegate->textDidChange(*this);
}

void HVTextViewModel::externalEdit(HVRange editedRange, std::ptrdiff_t changeInLength) {
    m_typing.reset();
    auto oldLength = std::size_t(std::ptrdiff_t(editedRange.length) - changeInLength);
    HVPositionMapper mapper({editedRange.location, oldLength}, editedRange.length);
    select(mapper.map(m_anchor), mapper.map(m_head));
}

void HVTextViewModel::deleteRange(HVRange range, std::string_view actionName, bool typing) {
    if (range.length == 0)
        return;
    changeText(range, u"", {range.location, 0}, actionName, typing);
}

// The selection.

bool HVTextViewModel::splitsPair(std::size_t position) const {
    if (position == 0 || position >= m_storage->length())
        return false;
    char16_t before = m_storage->characterAtIndex(position - 1);
    char16_t after = m_storage->characterAtIndex(position);
    return (before == u'\r' && after == u'\n') ||
           (isHighSurrogate(before) && isLowSurrogate(after));
}

HVRange HVTextViewModel::snapped(HVRange range) const {
    std::size_t start = range.location;
    std::size_t end = range.end();
    if (splitsPair(start))
        --start;
    if (range.length == 0)
        return {start, 0};
    if (splitsPair(end))
        ++end;
    return {start, end - start};
}

void HVTextViewModel::select(std::size_t anchor, std::size_t head, Cause cause) {
    std::size_t length = m_storage->length();
    anchor = std::min(anchor, length);
    head = std::min(head, length);
    HVRange proposed = snapped(spanning(anchor, head));
    if (anchor <= head) {
        anchor = proposed.location;
        head = proposed.end();
    } else {
        head = proposed.location;
        anchor = proposed.end();
    }
    HVRange old = m_selection;
    HVRange chosen = proposed;
    if (m_delegate && proposed != old) {
        chosen =
            snapped(clip(m_delegate->textViewWillChangeSelection(*this, old, proposed), length));
        if (chosen != proposed) {
            anchor = chosen.location;
            head = chosen.end();
        }
    }
    m_selection = chosen;
    m_anchor = anchor;
    m_head = head;
    if (cause != Cause::Typing)
        m_typing.reset();
    if (cause != Cause::Vertical)
        m_goal.reset();
    if (chosen != old) {
        if (m_delegate)
            m_delegate->textViewDidChangeSelection(*this, old);
        for (const auto& observer : viewObservers()) {
            if (observer->selectionChanged)
                observer->selectionChanged(old);
        }
    }
}

std::vector<std::shared_ptr<HVTextViewModel::ViewObserver>> HVTextViewModel::viewObservers() const {
    // A copy, so that an observer may remove itself while it is told.
    std::vector<std::shared_ptr<ViewObserver>> observers;
    for (const auto& [token, observer] : m_viewObservers)
        observers.push_back(observer);
    return observers;
}

HVTextViewModel::ViewObserverToken
HVTextViewModel::addSelectionObserver(std::function<void(HVRange)> observer) {
    ViewObserverToken token = m_nextViewObserver++;
    m_viewObservers[token] =
        std::make_shared<ViewObserver>(ViewObserver{std::move(observer), {}, {}});
    return token;
}

HVTextViewModel::ViewObserverToken
HVTextViewModel::addScrollRequestObserver(std::function<void(HVRange)> observer) {
    ViewObserverToken token = m_nextViewObserver++;
    m_viewObservers[token] =
        std::make_shared<ViewObserver>(ViewObserver{{}, std::move(observer), {}});
    return token;
}

HVTextViewModel::ViewObserverToken
HVTextViewModel::addLineBreakTypeObserver(std::function<void()> observer) {
    ViewObserverToken token = m_nextViewObserver++;
    m_viewObservers[token] =
        std::make_shared<ViewObserver>(ViewObserver{{}, {}, std::move(observer)});
    return token;
}

void HVTextViewModel::removeViewObserver(ViewObserverToken token) {
    m_viewObservers.erase(token);
}

void HVTextViewModel::scrollRangeToVisible(HVRange range) {
    for (const auto& observer : viewObservers()) {
        if (observer->scrollRequested)
            observer->scrollRequested(clip(range, m_storage->length()));
    }
}

void HVTextViewModel::selectCaret(std::size_t position, Cause cause) {
    select(position, position, cause);
}

void HVTextViewModel::extendTo(std::size_t head, Cause cause) {
    select(m_anchor, head, cause);
}

// Boundaries.

std::size_t HVTextViewModel::previousCharacter(std::size_t position) const {
    if (position == 0)
        return 0;
    std::size_t length = m_storage->length();
    std::size_t from = position > characterWindow ? position - characterWindow : 0;
    std::size_t to = std::min(length, position + characterWindow);
    if (splitsPair(from))
        --from;
    if (splitsPair(to))
        ++to;
    if (m_boundaries->characters) {
        if (auto* it =
                m_boundaries->over(m_boundaries->characters, *m_storage, {from, to - from})) {
            int32_t b = ubrk_preceding(it, int32_t(position - from));
            if (b != UBRK_DONE)
                return from + std::size_t(b);
        }
    }
    return splitsPair(position - 1) ? position - 2 : position - 1;
}

std::size_t HVTextViewModel::nextCharacter(std::size_t position) const {
    std::size_t length = m_storage->length();
    if (position >= length)
        return length;
    std::size_t from = position > characterWindow ? position - characterWindow : 0;
    std::size_t to = std::min(length, position + characterWindow);
    if (splitsPair(from))
        --from;
    if (splitsPair(to))
        ++to;
    if (m_boundaries->characters) {
        if (auto* it =
                m_boundaries->over(m_boundaries->characters, *m_storage, {from, to - from})) {
            int32_t b = ubrk_following(it, int32_t(position - from));
            if (b != UBRK_DONE)
                return from + std::size_t(b);
        }
    }
    return splitsPair(position + 1) ? position + 2 : position + 1;
}

HVRange HVTextViewModel::paragraphContent(std::size_t position) const {
    return HVTextLineModel::withoutLineBreak(*m_storage, m_storage->lineRangeForIndex(position));
}

std::size_t HVTextViewModel::wordEndAfter(std::size_t position) const {
    std::size_t length = m_storage->length();
    while (position < length) {
        HVRange content = paragraphContent(position);
        if (position >= content.end()) {
            // On a line break: go on at the start of the next line.
            position = m_storage->lineRangeForIndex(position).end();
            continue;
        }
        std::size_t from = position - std::min(boundaryWindow, position - content.location);
        std::size_t to = std::min(content.end(), position + boundaryWindow);
        for (const auto& segment : m_boundaries->segments(*m_storage, {from, to - from})) {
            if (segment.word && segment.end > position)
                return segment.end;
        }
        position = to;
    }
    return length;
}

std::size_t HVTextViewModel::wordStartBefore(std::size_t position) const {
    while (position > 0) {
        HVRange content = paragraphContent(position);
        if (position <= content.location) {
            // At the start of a line: go on at the end of the line before.
            position = paragraphContent(position - 1).end();
            continue;
        }
        position = std::min(position, content.end());
        std::size_t from = position - std::min(boundaryWindow, position - content.location);
        std::optional<std::size_t> start;
        for (const auto& segment : m_boundaries->segments(*m_storage, {from, position - from})) {
            if (segment.word)
                start = segment.start;
        }
        if (start)
            return *start;
        position = from;
    }
    return 0;
}

HVRange HVTextViewModel::wordRangeAt(std::size_t position) const {
    HVRange content = paragraphContent(position);
    if (content.length == 0)
        return {content.location, 0};
    position = std::min(position, content.end());
    std::size_t from = position - std::min(boundaryWindow, position - content.location);
    std::size_t to = std::min(content.end(), position + boundaryWindow);
    auto segments = m_boundaries->segments(*m_storage, {from, to - from});
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const auto& segment = segments[i];
        bool holds = segment.start <= position && position < segment.end;
        if (position == to && i + 1 == segments.size())
            holds = true; // at the end of the line: the segment before
        if (!holds)
            continue;
        if (!segment.word && position == segment.start && i > 0 && segments[i - 1].word)
            return {segments[i - 1].start, segments[i - 1].end - segments[i - 1].start};
        return {segment.start, segment.end - segment.start};
    }
    return {position, 0};
}

// Commands.

bool HVTextViewModel::doCommandBySelector(std::string_view selector) {
    if (m_delegate && m_delegate->doCommandBySelector(*this, selector))
        return true;
    const auto& table = commands();
    auto it = table.find(selector);
    if (it == table.end())
        return false;
    if (!it->second.typing)
        breakUndoCoalescing();
    (this->*(it->second.method))();
    return true;
}

bool HVTextViewModel::respondsToSelector(std::string_view selector) {
    return commands().find(selector) != commands().end();
}

std::vector<std::string> HVTextViewModel::commandSelectors() {
    std::vector<std::string> names;
    for (const auto& [name, command] : commands())
        names.push_back(name);
    return names;
}

void HVTextViewModel::moveLeft() {
    if (m_selection.length > 0)
        selectCaret(m_selection.location);
    else
        selectCaret(previousCharacter(m_selection.location));
}

void HVTextViewModel::moveRight() {
    if (m_selection.length > 0)
        selectCaret(m_selection.end());
    else
        selectCaret(nextCharacter(m_selection.location));
}

void HVTextViewModel::moveLeftAndModifySelection() {
    extendTo(previousCharacter(m_head));
}

void HVTextViewModel::moveRightAndModifySelection() {
    extendTo(nextCharacter(m_head));
}

void HVTextViewModel::moveWordLeft() {
    selectCaret(wordStartBefore(m_selection.location));
}

void HVTextViewModel::moveWordRight() {
    selectCaret(wordEndAfter(m_selection.end()));
}

void HVTextViewModel::moveWordLeftAndModifySelection() {
    extendTo(wordStartBefore(m_head));
}

void HVTextViewModel::moveWordRightAndModifySelection() {
    extendTo(wordEndAfter(m_head));
}

void HVTextViewModel::moveVertically(std::ptrdiff_t lines, bool extend) {
    std::size_t from = extend ? m_head : lines < 0 ? m_selection.location : m_selection.end();
    if (!m_goal)
        m_goal = m_lineModel->goalForPosition(*this, from);
    std::size_t to = m_lineModel->positionForGoal(*this, from, lines, *m_goal);
    if (extend)
        extendTo(to, Cause::Vertical);
    else
        selectCaret(to, Cause::Vertical);
}

void HVTextViewModel::moveUp() {
    moveVertically(-1, false);
}

void HVTextViewModel::moveDown() {
    moveVertically(1, false);
}

void HVTextViewModel::moveUpAndModifySelection() {
    moveVertically(-1, true);
}

void HVTextViewModel::moveDownAndModifySelection() {
    moveVertically(1, true);
}

void HVTextViewModel::pageUp() {
    moveVertically(-std::ptrdiff_t(m_pageSize), false);
}

void HVTextViewModel::pageDown() {
    moveVertically(std::ptrdiff_t(m_pageSize), false);
}

void HVTextViewModel::pageUpAndModifySelection() {
    moveVertically(-std::ptrdiff_t(m_pageSize), true);
}

void HVTextViewModel::pageDownAndModifySelection() {
    moveVertically(std::ptrdiff_t(m_pageSize), true);
}

void HVTextViewModel::moveToBeginningOfLine() {
    selectCaret(m_lineModel->lineRangeForPosition(*this, m_selection.location).location);
}

void HVTextViewModel::moveToEndOfLine() {
    selectCaret(m_lineModel->lineRangeForPosition(*this, m_selection.end()).end());
}

void HVTextViewModel::moveToBeginningOfLineAndModifySelection() {
    extendTo(m_lineModel->lineRangeForPosition(*this, m_head).location);
}

void HVTextViewModel::moveToEndOfLineAndModifySelection() {
    extendTo(m_lineModel->lineRangeForPosition(*this, m_head).end());
}

void HVTextViewModel::moveToBeginningOfParagraph() {
    selectCaret(paragraphContent(m_selection.location).location);
}

void HVTextViewModel::moveToEndOfParagraph() {
    selectCaret(paragraphContent(m_selection.end()).end());
}

void HVTextViewModel::moveToBeginningOfParagraphAndModifySelection() {
    extendTo(paragraphContent(m_head).location);
}

void HVTextViewModel::moveToEndOfParagraphAndModifySelection() {
    extendTo(paragraphContent(m_head).end());
}

void HVTextViewModel::moveToBeginningOfDocument() {
    selectCaret(0);
}

void HVTextViewModel::moveToEndOfDocument() {
    selectCaret(m_storage->length());
}

void HVTextViewModel::moveToBeginningOfDocumentAndModifySelection() {
    extendTo(0);
}

void HVTextViewModel::moveToEndOfDocumentAndModifySelection() {
    extendTo(m_storage->length());
}

void HVTextViewModel::selectAll() {
    select(0, m_storage->length());
}

void HVTextViewModel::selectWord() {
    HVRange first = wordRangeAt(m_selection.location);
    if (m_selection.length == 0) {
        select(first.location, first.end());
        return;
    }
    HVRange last = wordRangeAt(m_selection.end() - 1);
    select(std::min(first.location, m_selection.location), std::max(last.end(), m_selection.end()));
}

void HVTextViewModel::selectLine() {
    HVRange lines = m_storage->lineRangeForRange(m_selection);
    select(lines.location, lines.end());
}

void HVTextViewModel::selectParagraph() {
    selectLine();
}

void HVTextViewModel::insertNewline() {
    insertText(m_newline);
}

void HVTextViewModel::insertTab() {
    insertText(u"\t");
}

void HVTextViewModel::insertBacktab() {
    HVRange lines = m_storage->lineRangeForRange(m_selection);
    std::u16string original = m_storage->substring(lines);
    // Only the indents go, each its own range, so the runs of the rest stay as they are.
    std::vector<HVRange> removals;
    HVPositionMapper mapper;
    bool atLineStart = true;
    for (std::size_t i = 0; i < original.size();) {
        if (atLineStart) {
            atLineStart = false;
            std::size_t count = 0;
            if (original[i] == u'\t') {
                count = 1;
            } else {
                while (count < m_tabWidth && i + count < original.size() &&
                       original[i + count] == u' ')
                    ++count;
            }
            if (count > 0) {
                removals.push_back({lines.location + i, count});
                mapper.add(removals.back(), 0);
                i += count;
                continue;
            }
        }
        char16_t c = original[i++];
        if (c == u'\n' || (c == u'\r' && (i == original.size() || original[i] != u'\n')))
            atLineStart = true;
    }
    if (removals.empty())
        return;
    changeTexts(removals, std::vector<std::u16string>(removals.size()), mapper.map(m_selection),
                "Outdent");
}

void HVTextViewModel::deleteBackward() {
    if (m_selection.length > 0) {
        deleteRange(m_selection, "Typing", true);
        return;
    }
    std::size_t caret = m_selection.location;
    if (caret == 0)
        return;
    std::size_t count = caret >= 2 && splitsPair(caret - 1) ? 2 : 1;
    deleteRange({caret - count, count}, "Typing", true);
}

void HVTextViewModel::deleteForward() {
    if (m_selection.length > 0) {
        deleteRange(m_selection, "Typing", true);
        return;
    }
    std::size_t caret = m_selection.location;
    if (caret >= m_storage->length())
        return;
    std::size_t count = splitsPair(caret + 1) ? 2 : 1;
    deleteRange({caret, count}, "Typing", true);
}

void HVTextViewModel::deleteWordBackward() {
    if (m_selection.length > 0)
        deleteRange(m_selection, "Delete", false);
    else
        deleteRange(spanning(wordStartBefore(m_selection.location), m_selection.location), "Delete",
                    false);
}

void HVTextViewModel::deleteWordForward() {
    if (m_selection.length > 0)
        deleteRange(m_selection, "Delete", false);
    else
        deleteRange(spanning(m_selection.location, wordEndAfter(m_selection.location)), "Delete",
                    false);
}

void HVTextViewModel::deleteToBeginningOfLine() {
    if (m_selection.length > 0) {
        deleteRange(m_selection, "Delete", false);
        return;
    }
    std::size_t caret = m_selection.location;
    std::size_t start = m_lineModel->lineRangeForPosition(*this, caret).location;
    if (start == caret)
        start = previousCharacter(caret);
    deleteRange(spanning(start, caret), "Delete", false);
}

void HVTextViewModel::deleteToEndOfLine() {
    if (m_selection.length > 0) {
        deleteRange(m_selection, "Delete", false);
        return;
    }
    std::size_t caret = m_selection.location;
    std::size_t end = m_lineModel->lineRangeForPosition(*this, caret).end();
    if (end == caret)
        end = nextCharacter(caret);
    deleteRange(spanning(caret, end), "Delete", false);
}

void HVTextViewModel::deleteToBeginningOfParagraph() {
    if (m_selection.length > 0) {
        deleteRange(m_selection, "Delete", false);
        return;
    }
    std::size_t caret = m_selection.location;
    std::size_t start = paragraphContent(caret).location;
    if (start == caret)
        start = previousCharacter(caret);
    deleteRange(spanning(start, caret), "Delete", false);
}

void HVTextViewModel::deleteToEndOfParagraph() {
    if (m_selection.length > 0) {
        deleteRange(m_selection, "Delete", false);
        return;
    }
    std::size_t caret = m_selection.location;
    std::size_t end = paragraphContent(caret).end();
    if (end == caret)
        end = nextCharacter(caret);
    deleteRange(spanning(caret, end), "Delete", false);
}

void HVTextViewModel::copy() {
    if (m_selection.length > 0)
        clipboard().setString(m_storage->fullString(m_selection));
}

void HVTextViewModel::cut() {
    if (m_selection.length == 0)
        return;
    std::u16string text = m_storage->fullString(m_selection);
    if (changeText(m_selection, u"", {m_selection.location, 0}, "Cut", false))
        clipboard().setString(text);
}

void HVTextViewModel::paste() {
    auto text = clipboard().string();
    if (!text || text->empty())
        return;
    std::u16string converted = convertingLineBreaks(*text);
    changeText(m_selection, converted, {m_selection.location + converted.size(), 0}, "Paste",
               false);
}

void HVTextViewModel::undo() {
    breakUndoCoalescing();
    undoManager().undo();
}

void HVTextViewModel::redo() {
    breakUndoCoalescing();
    undoManager().redo();
}
