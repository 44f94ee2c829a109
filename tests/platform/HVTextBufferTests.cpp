#include "HVSeededRuns.h"
#include "HVTextBuffer.h"
#include "HVTextTestSupport.h"
#include "HVUnicode.h"

#include <gtest/gtest.h>
#include <random>

TEST(HVTextBuffer, LineRangesAndRunsAtTheEnds) {
    // Line counts, ranges and numbers, and the ranges of runs and of one attribute within the
    // text, are compared with a model by the random edits below.
    HVTextBuffer buffer(u"one\ntwo\r\nthree\rfour");
    EXPECT_EQ(buffer.lineRangeForIndex(19), HVMakeRange(15, 4));
    EXPECT_EQ(buffer.lineRangeForRange({2, 5}), HVMakeRange(0, 9));
    EXPECT_EQ(buffer.lineRangeForRange({4, 5}), HVMakeRange(4, 5))
        << "a range ending with a line break stays on that line";
    EXPECT_EQ(HVTextBuffer(u"a\n").lineRangeForIndex(2), HVMakeRange(2, 0));
    EXPECT_EQ(HVTextBuffer().lineRangeForIndex(0), HVMakeRange(0, 0));
    HVRange range;
    EXPECT_TRUE(buffer.attributesAtIndex(100, &range)->empty());
    EXPECT_EQ(range, HVMakeRange(0, 0)) << "beyond the end is safe and empty";
}

// One edit's report is checked by the random edits below.
TEST(HVTextBuffer, ObserversHearOnceABatch) {
    HVTextBuffer buffer(u"hi world");
    std::vector<HVTextEdit> edits;
    buffer.addObserver([&](const HVTextEdit& edit) { edits.push_back(edit); });
    buffer.beginEditing();
    buffer.addAttribute("x", true, {3, 2});
    buffer.replaceCharacters({8, 0}, u"!!");
    buffer.endEditing();
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0].mask, unsigned(HVTextEdit::Characters | HVTextEdit::Attributes));
    EXPECT_EQ(edits[0].editedRange, HVMakeRange(3, 7));
    EXPECT_EQ(edits[0].changeInLength, 2);
}

namespace {

// A plain model of the buffer: the characters, the values of two integer attributes per
// character (-1 when absent), and lines recomputed from scratch.
struct Model {
    std::u16string text;
    std::vector<std::int64_t> n, m;

    std::vector<HVRange> lines() const {
        std::vector<HVRange> result;
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                continue;
            if (text[i] == u'\n' || text[i] == u'\r') {
                result.push_back({start, i + 1 - start});
                start = i + 1;
            }
        }
        result.push_back({start, text.size() - start});
        return result;
    }

    void replace(std::size_t location, std::size_t length, const std::u16string& with) {
        std::size_t from = length > 0 ? location : location > 0 ? location - 1 : text.size();
        replace(location, length, with, from < text.size() ? n[from] : -1,
                from < text.size() ? m[from] : -1);
    }

    // With the given values for the new characters.
    void replace(std::size_t location, std::size_t length, const std::u16string& with,
                 std::int64_t vn, std::int64_t vm) {
        auto at = std::ptrdiff_t(location);
        text.replace(location, length, with);
        n.erase(n.begin() + at, n.begin() + at + std::ptrdiff_t(length));
        m.erase(m.begin() + at, m.begin() + at + std::ptrdiff_t(length));
        n.insert(n.begin() + at, with.size(), vn);
        m.insert(m.begin() + at, with.size(), vm);
    }
};

std::int64_t valueOf(const HVAttributes& attributes, std::string_view name) {
    return attributes.integerValue(name).value_or(-1);
}

// Compares everything the buffer answers with the model; returns a description of the first
// difference, or "" when they agree.
std::string compare(const HVTextBuffer& buffer, const Model& model) {
    if (buffer.length() != model.text.size())
        return "length " + std::to_string(buffer.length());
    if (buffer.substring({0, buffer.length()}) != model.text)
        return "text differs";
    std::size_t index = 0;
    const HVAttributes* previous = nullptr;
    std::string problem;
    std::size_t runs = 0;
    buffer.enumerateRuns({0, buffer.length()}, [&](HVRange range, const HVAttributes& attributes) {
        ++runs;
        if (range.location != index && problem.empty())
            problem = "run gap at " + std::to_string(index);
        if (previous && *previous == attributes && problem.empty())
            problem = "equal neighbouring runs at " + std::to_string(range.location);
        std::int64_t n = valueOf(attributes, "n"), m = valueOf(attributes, "m");
        for (std::size_t i = range.location; i < range.end() && problem.empty(); ++i) {
            if (n != model.n[i] || m != model.m[i])
                problem = "attributes differ at " + std::to_string(i);
        }
        previous = &attributes;
        index = range.end();
    });
    if (!problem.empty())
        return problem;
    if (index != model.text.size() || runs != buffer.runCount())
        return "runs do not cover the text";
    auto lines = model.lines();
    if (buffer.lineCount() != lines.size())
        return "line count " + std::to_string(buffer.lineCount()) + " instead of " +
               std::to_string(lines.size());
    for (std::size_t line = 0; line < lines.size(); ++line) {
        if (buffer.rangeOfLine(line) != lines[line])
            return "line " + std::to_string(line);
        // The searches are checked on a sample of lines, or the test takes too long.
        bool sample = line % 97 == model.text.size() % 97 || line + 2 >= lines.size();
        if (sample &&
            (buffer.lineNumberForIndex(lines[line].location) != line ||
             (lines[line].length > 0 && buffer.lineNumberForIndex(lines[line].end() - 1) != line)))
            return "line number in line " + std::to_string(line);
    }
    if (buffer.lineNumberForIndex(model.text.size()) != lines.size() - 1)
        return "line number of the end";
    return "";
}

} // namespace

namespace {

// The stretch around index over which values[i] is equal, within limit (which holds index).
HVRange equalStretch(const std::vector<std::int64_t>& values, std::size_t index, HVRange limit) {
    std::size_t from = index, to = index + 1;
    while (from > limit.location && values[from - 1] == values[index])
        --from;
    while (to < limit.end() && values[to] == values[index])
        ++to;
    return {from, to - from};
}

// Random edits and reads, each checked against the model and the storage's own rules. Small
// blocks make every few characters split or join blocks, and most edits span several.
void runRandomEdits(HVTextBuffer::BlockSizes sizes, std::uint32_t seed) {
    std::mt19937 random(seed);
    auto below = [&](std::size_t n) { return n == 0 ? 0 : std::size_t(random() % n); };
    // Line breaks are frequent so that CR LF pairs are often split and joined.
    const std::u16string alphabet = u"ab\r\n\r\nxyz \t\xD83D\xDE00";
    auto randomText = [&](std::size_t maximum) {
        std::u16string text(below(maximum + 1), u' ');
        for (auto& c : text)
            c = alphabet[below(alphabet.size())];
        return text;
    };
    auto randomPlace = [&](std::size_t length) {
        switch (below(6)) {
        case 0:
            return std::size_t(0);
        case 1:
            return length;
        default:
            return below(length + 1);
        }
    };

    HVTextBuffer buffer(u"start\r\nof\rthe\ntext", sizes);
    std::size_t mostTextBlocks = 0, mostRunBlocks = 0;
    Model model{u"start\r\nof\rthe\ntext", std::vector<std::int64_t>(18, -1),
                std::vector<std::int64_t>(18, -1)};
    HVTextEdit lastEdit;
    int notifications = 0;
    buffer.addObserver([&](const HVTextEdit& edit) {
        lastEdit = edit;
        ++notifications;
    });

    for (int step = 0; step < 20000; ++step) {
        std::size_t length = model.text.size();
        std::size_t location = randomPlace(length);
        // The text grows to about 4500 units, past the first growth of every gap, then
        // shrinks and grows around that size.
        bool large = length > 4500;
        std::size_t span = std::min(length - location, below(large ? 40 : 6));
        HVRange range{location, span};
        std::string operation;
        switch (below(11)) {
        case 0:
        case 1:
        case 2: {
            auto text = randomText(large ? 4 : 30);
            operation = "replace";
            int before = notifications;
            buffer.replaceCharacters(range, text);
            model.replace(location, span, text);
            if (span > 0 || !text.empty()) {
                ASSERT_EQ(notifications, before + 1) << step;
                EXPECT_EQ(lastEdit.mask, unsigned(HVTextEdit::Characters)) << step;
                EXPECT_EQ(lastEdit.editedRange, HVMakeRange(location, text.size())) << step;
                EXPECT_EQ(lastEdit.changeInLength,
                          std::ptrdiff_t(text.size()) - std::ptrdiff_t(span));
            }
            break;
        }
        case 3: {
            // A single line break at a random place: the CR LF cases.
            std::u16string text = below(2) ? u"\r" : u"\n";
            operation = "insert break";
            buffer.replaceCharacters({location, 0}, text);
            model.replace(location, 0, text);
            break;
        }
        case 10: {
            // New characters with attributes of their own, often those of a neighbour.
            auto text = randomText(large ? 4 : 30);
            std::int64_t value = std::int64_t(below(3));
            operation = "replace with attributes";
            buffer.replaceCharacters(
                range, text, std::make_shared<const HVAttributes>(HVAttributes{{"n", value}}));
            model.replace(location, span, text, value, -1);
            break;
        }
        case 4: {
            std::int64_t value = std::int64_t(below(4));
            operation = "set";
            buffer.setAttributes(HVAttributes{{"n", value}}, range);
            for (std::size_t i = location; i < range.end(); ++i) {
                model.n[i] = value;
                model.m[i] = -1;
            }
            break;
        }
        case 5:
        case 6: {
            // Mostly few distinct values; now and then many, so that unused sets are dropped.
            std::int64_t value = std::int64_t(below(step % 1000 < 50 ? 5000 : 4));
            const char* name = below(2) ? "n" : "m";
            operation = std::string("add ") + name;
            buffer.addAttribute(name, value, range);
            for (std::size_t i = location; i < range.end(); ++i)
                (name[0] == 'n' ? model.n : model.m)[i] = value;
            break;
        }
        case 7: {
            operation = "remove";
            buffer.removeAttribute("n", range);
            for (std::size_t i = location; i < range.end(); ++i)
                model.n[i] = -1;
            break;
        }
        case 8: {
            operation = "read";
            if (below(4) == 0) {
                ASSERT_EQ(buffer.string(), std::u16string_view(model.text)) << step;
            }
            std::u16string part(span, u'\0');
            EXPECT_EQ(buffer.getCharacters(part.data(), range), span);
            EXPECT_EQ(part, model.text.substr(location, span));
            EXPECT_EQ(buffer.contiguousRange(range), model.text.substr(location, span)) << step;
            EXPECT_EQ(buffer.characterAtIndex(location),
                      location < length ? model.text[location] : u'\0');
            if (location < length) {
                // Runs join wherever both values agree.
                std::vector<std::int64_t> both(length);
                for (std::size_t i = 0; i < length; ++i)
                    both[i] = model.n[i] * 8192 + model.m[i];
                HVRange effective;
                buffer.attributesAtIndex(location, &effective);
                EXPECT_EQ(effective, equalStretch(both, location, {0, length})) << step;
                HVRange limit{location - below(location + 1), 0};
                limit.length = location + 1 + below(length - location) - limit.location;
                HVRange longest;
                buffer.attribute("n", location, &longest, limit);
                EXPECT_EQ(longest, equalStretch(model.n, location, limit)) << step;
            }
            break;
        }
        default: {
            operation = "delete";
            buffer.replaceCharacters(range, u"");
            model.replace(location, span, u"");
            break;
        }
        }
        if (step % 5000 == 4999) {
            // Start over now and then, so that the text stays small enough to check fully.
            auto text = randomText(300);
            buffer.setString(text);
            model = Model{text, std::vector<std::int64_t>(text.size(), -1),
                          std::vector<std::int64_t>(text.size(), -1)};
        }
        ASSERT_EQ(compare(buffer, model), "") << "after step " << step << " (" << operation
                                              << " at " << location << "+" << span << ")";
        ASSERT_EQ(buffer.storageProblem(), "") << "after step " << step << " (" << operation
                                               << " at " << location << "+" << span << ")";
        mostTextBlocks = std::max(mostTextBlocks, buffer.blockCounts().characters);
        mostRunBlocks = std::max(mostRunBlocks, buffer.blockCounts().runs);
    }
    if (sizes.characters < 100) {
        // Small blocks: thousands of characters and runs need many of them.
        EXPECT_GT(mostTextBlocks, 4000 / sizes.characters);
        EXPECT_GT(mostRunBlocks, 400 / sizes.entries);
    }
}

} // namespace

// In blocks of the usual size, tiny ones and small ones.
TEST(HVTextBuffer, RandomEditsAgreeWithAPlainModel) {
    runRandomEdits({}, 20240611);
    runRandomEdits({.characters = 8, .entries = 4}, 20240612);
    runRandomEdits({.characters = 64, .entries = 16}, 20240613);
}

TEST(HVTextBuffer, PaintingManyTokensKeepsFewSetsAndDropsUnusedOnes) {
    std::u16string text;
    for (int i = 0; i < 2000; ++i)
        text += u"word \n";
    HVTextBuffer buffer(text);
    auto keyword = std::make_shared<const HVAttributes>(HVAttributes{{"style", std::int64_t(1)}});
    auto parser = std::make_shared<int>(0);
    // The highlighter's pattern: plain over the range, tokens left to right, then the parser.
    buffer.setAttributes(HVAttributes{{"foreground", std::int64_t(0)}}, {0, text.size()});
    for (std::size_t i = 0; i < text.size(); i += 12)
        buffer.addAttributes(keyword, {i, 4});
    buffer.addAttribute(HVParserAttribute, HVObjectReference(parser), {0, text.size()});
    EXPECT_EQ(buffer.runCount(), 2000u);
    HVRange first, second;
    auto a = buffer.attributesAtIndex(0, &first);
    auto b = buffer.attributesAtIndex(12, &second);
    EXPECT_EQ(a.get(), b.get()) << "equal sets are one object";
    EXPECT_EQ(first, HVMakeRange(0, 4));
    ASSERT_NE(a->reference(HVParserAttribute), nullptr);
    EXPECT_EQ(a->reference(HVParserAttribute)->lock<int>(), parser);

    // An attachment that no run carries any more is released once enough new sets were made.
    struct Marker : HVTextAttachment {
        const std::u16string& string() const override { return text; }
        std::u16string text;
    };
    auto marker = std::make_shared<const Marker>();
    std::weak_ptr<const Marker> watch = marker;
    buffer.addAttribute(HVAttachmentAttribute, std::shared_ptr<const HVTextAttachment>(marker),
                        {5, 1});
    marker.reset();
    EXPECT_FALSE(watch.expired());
    buffer.removeAttribute(HVAttachmentAttribute, {5, 1});
    for (std::int64_t i = 0; i < 1000; ++i)
        buffer.addAttribute("count", i, {100, 1});
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(buffer.attribute("count", 100), std::optional<HVAttributeValue>(std::int64_t(999)));
}

TEST(HVTextBuffer, LargeInsertionsGrowAndLargeDeletionsShrinkTheStorage) {
    std::u16string big(3'000'000, u'a');
    for (std::size_t i = 999; i < big.size(); i += 1000)
        big[i] = i % 2000 == 999 ? u'\n' : u'\r';
    HVTextBuffer buffer(u"head\r\ntail");
    buffer.addAttribute("n", std::int64_t(1), {0, 2});
    Model model{
        u"head\r\ntail", {1, 1, -1, -1, -1, -1, -1, -1, -1, -1}, std::vector<std::int64_t>(10, -1)};
    auto edit = [&](std::size_t at, std::size_t length, const std::u16string& with) {
        buffer.replaceCharacters({at, length}, with);
        model.replace(at, length, with);
    };
    // Far more than the spare room, between CR and LF, with text behind the gap.
    edit(5, 0, big);
    ASSERT_EQ(compare(buffer, model), "");
    // Edits spread over the large text: each edited block leaves the allocation the text
    // arrived in, and its neighbours there must read as before.
    for (std::size_t at = 7; at < model.text.size(); at += 250'001)
        edit(at, 1, u"<>");
    ASSERT_EQ(compare(buffer, model), "");
    EXPECT_EQ(buffer.storageProblem(), "");
    edit(1, 2'999'000, u"\n");
    ASSERT_EQ(compare(buffer, model), "");
    edit(model.text.size() / 2, 0, u"xyz");
    EXPECT_EQ(compare(buffer, model), "");
    EXPECT_EQ(buffer.string(), std::u16string_view(model.text));
}

TEST(HVTextBuffer, ContiguousRangesWithinAndAcrossBlocks) {
    // Blocks of 8: text set in one piece, edited blocks with gaps, and every range of each.
    std::u16string text;
    for (int i = 0; i < 30; ++i)
        text += u"line " + HVUnicode::utf16(std::to_string(i)) + u"\n";
    HVTextBuffer small(text, {.characters = 8, .entries = 4});
    ASSERT_GT(small.blockCounts().characters, 20u);
    auto everyRangeMatches = [&](const std::u16string& expected) {
        for (std::size_t from = 0; from <= expected.size(); from += 3) {
            for (std::size_t to = from; to <= expected.size(); ++to) {
                if (small.contiguousRange({from, to - from}) !=
                    std::u16string_view(expected).substr(from, to - from))
                    return std::to_string(from) + "+" + std::to_string(to - from);
            }
        }
        return std::string();
    };
    EXPECT_EQ(everyRangeMatches(text), "");
    for (std::size_t at : {7, 50, 51, 120, 200}) {
        small.replaceCharacters({at, 2}, u"<edited>");
        text.replace(at, 2, u"<edited>");
    }
    EXPECT_EQ(everyRangeMatches(text), "");
    EXPECT_EQ(small.storageProblem(), "");
    EXPECT_EQ(small.contiguousRange({text.size() - 2, 100}), u"9\n") << "clipped to the text";
    EXPECT_EQ(small.contiguousRange({text.size() + 5, 1}), u"");

    // The whole text stays valid while ranges are read and attributes change; a range stays
    // valid while attributes change.
    std::u16string_view whole = small.string();
    std::u16string_view part = small.contiguousRange({3, 100});
    small.addAttribute("n", std::int64_t(1), {0, text.size()});
    for (std::size_t i = 0; i < text.size(); i += 5)
        small.addAttribute("m", std::int64_t(i), {i, 2});
    EXPECT_EQ(part, std::u16string_view(text).substr(3, 100));
    for (std::size_t from = 0; from + 40 < text.size(); from += 7)
        small.contiguousRange({from, 40});
    EXPECT_EQ(whole, text);
    EXPECT_EQ(small.string().data(), whole.data()) << "asked again without a change: no copy";
}

TEST(HVTextBuffer, AdoptingAStringTakesItsStorageAndEditsLikeAnyText) {
    std::u16string text;
    for (int i = 0; i < 20000; ++i)
        text += u"line " + std::u16string(1, char16_t(u'a' + i % 26)) + u"\r\n";
    std::u16string expected = text;
    const char16_t* storage = text.data();
    HVTextBuffer buffer(u"old text\n");
    buffer.addAttribute("x", true, {0, 3});
    std::vector<HVTextEdit> edits;
    buffer.addObserver([&](const HVTextEdit& edit) { edits.push_back(edit); });
    buffer.adoptString(std::move(text));
    ASSERT_EQ(edits.size(), 1u) << "one change, reported once";
    EXPECT_EQ(edits[0].editedRange, HVMakeRange(0, expected.size()));
    EXPECT_EQ(edits[0].changeInLength, std::ptrdiff_t(expected.size()) - 9);
    EXPECT_EQ(buffer.contiguousRange({0, 7}).data(), storage) << "the characters were not copied";
    EXPECT_EQ(buffer.lineCount(), 20001u);
    EXPECT_EQ(buffer.rangeOfLine(19999), HVMakeRange(19999 * 8, 8));
    EXPECT_EQ(buffer.runCount(), 1u) << "the old runs are gone";
    buffer.replaceCharacters({80000, 0}, u"\nnew");
    expected.insert(80000, u"\nnew");
    EXPECT_EQ(buffer.string(), expected);
    EXPECT_EQ(buffer.lineCount(), 20002u);
}

TEST(HVTextBuffer, FullTextAndPositionsAgreeWithAPlainModel) {
    HVForEachSeed(30, [](HVSeededRun& random) {
        // Each visible character with the text it stands for (itself, or an attachment's).
        std::vector<std::u16string> model;
        HVTextBuffer text({}, HVTextBuffer::BlockSizes{16, 8});
        // CR only inside hidden texts, so that no CR LF pair spans a boundary.
        const std::u16string alphabet = u"ab\n";
        const std::u16string hidden[] = {u"", u"x", u"{\n  y\n}", u"\n\nz", u"\r\n"};
        for (int step = 0; step < 60; ++step) {
            std::size_t length = model.size();
            std::size_t from = random.below(length + 1);
            std::size_t count = random.below(std::min<std::size_t>(length - from, 4) + 1);
            if (step % 3 != 2 || length == 0) {
                std::u16string inserted;
                for (std::size_t i = random.below(5); i > 0; --i)
                    inserted += alphabet[random.below(alphabet.size())];
                text.replaceCharacters({from, count}, inserted);
                model.erase(model.begin() + std::ptrdiff_t(from),
                            model.begin() + std::ptrdiff_t(from + count));
                for (std::size_t i = 0; i < inserted.size(); ++i)
                    model.insert(model.begin() + std::ptrdiff_t(from + i),
                                 std::u16string(1, inserted[i]));
            } else if (random.below(4) == 0) {
                text.removeAttribute(HVAttachmentAttribute, {from, count});
                for (std::size_t i = from; i < from + count; ++i)
                    model[i] = std::u16string(1, text.characterAtIndex(i));
            } else {
                std::size_t at = std::min(from, length - 1);
                const std::u16string& string = hidden[random.below(std::size(hidden))];
                // The character of an attachment is an object replacement, never a line break.
                text.replaceCharacters({at, 1}, u"\uFFFC");
                text.addAttribute(HVAttachmentAttribute,
                                  std::make_shared<const HVTestTextAttachment>(string), {at, 1});
                model[at] = string;
            }
            std::u16string full;
            std::vector<std::size_t> fullPositions;
            for (const auto& piece : model) {
                fullPositions.push_back(full.size());
                full += piece;
            }
            fullPositions.push_back(full.size());
            std::string where = random.where(step);
            ASSERT_EQ(text.fullString({0, text.length()}), full) << where;
            ASSERT_EQ(text.fullLength(), full.size()) << where;
            for (std::size_t v = 0; v <= model.size(); ++v)
                ASSERT_EQ(text.fullPosition(v), fullPositions[v]) << where << " at " << v;
            for (std::size_t f = 0; f <= full.size(); ++f) {
                // The last visible position that starts at or before f.
                std::size_t v = std::upper_bound(fullPositions.begin(), fullPositions.end(), f) -
                                fullPositions.begin() - 1;
                ASSERT_EQ(text.visiblePosition(f), v) << where << " at full " << f;
            }
            std::size_t a = random.below(model.size() + 1), b = random.below(model.size() + 1);
            if (a > b)
                std::swap(a, b);
            EXPECT_EQ(text.fullString({a, b - a}),
                      full.substr(fullPositions[a], fullPositions[b] - fullPositions[a]))
                << where;
            for (std::size_t v = 0; v <= model.size(); ++v) {
                std::size_t line = 0, lineStart = 0, end = fullPositions[v];
                for (std::size_t i = 0; i < end; ++i) {
                    char16_t c = full[i];
                    if (c == u'\n' ||
                        (c == u'\r' && (i + 1 >= full.size() || full[i + 1] != u'\n'))) {
                        ++line;
                        lineStart = i + 1;
                    }
                }
                ASSERT_EQ(text.fullLineAndColumn(v),
                          (HVTextBuffer::LineAndColumn{line, end - lineStart}))
                    << where << " at " << v;
            }
        }
    });
}

TEST(HVTextBuffer, OnlyAttachmentsCountAsAttachments) {
    // The full text and positions, with and without attachments, are compared with a model
    // above.
    HVTextBuffer text(u"one\ntwo");
    text.addAttribute("style", std::string("s"), {0, 3});
    EXPECT_FALSE(text.hasAttachments());
    EXPECT_EQ(text.visiblePosition(99), 7u) << "past the full text: its end";
    text.addAttribute(HVAttachmentAttribute, std::make_shared<const HVTestTextAttachment>(u"xx"),
                      {1, 1});
    EXPECT_TRUE(text.hasAttachments());
    text.removeAttribute(HVAttachmentAttribute, {0, 7});
    EXPECT_FALSE(text.hasAttachments());
    EXPECT_EQ(text.fullPosition(5), 5u) << "an attachment that is gone again leaves the identity";
}
