// Finding every match in about 50 MB of text: literal (exact and ignoring case) and regular
// expressions, over UTF-16 text and over UTF-8 bytes, with the plainest in-process peers beside
// them. The text is $HALVET_BENCH_UTF8 (made by scripts/bench) or, without it, English and
// Russian prose repeated. The "scale" runs take a quarter, a half and all of the text: their
// times should grow in proportion.

#include "HVFileSystem.h"
#include "HVRegex.h"
#include "HVSearch.h"
#include "HVUnicode.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace {

constexpr std::size_t targetSize = 50 * 1024 * 1024;

const std::string& utf8Text() {
    static const std::string text = [] {
        const char* path = std::getenv("HALVET_BENCH_UTF8");
        if (auto bytes = path ? HVFileSystem::readFile(path) : std::nullopt)
            return *bytes;
        std::string chunk =
            HVFileSystem::readFile("/usr/share/common-licenses/GPL-3")
                .value_or(
                    "This License applies to any program or other work which contains a notice.\n");
        chunk += "Привет, мир! Съешь же ещё этих мягких французских булок, да выпей чаю.\n"
                 "Die Straße ist naß; GRÜNE Ähren wachsen überall.\n";
        std::string text;
        text.reserve(targetSize + chunk.size());
        while (text.size() < targetSize)
            text += chunk;
        return text;
    }();
    return text;
}

const std::u16string& text() {
    static const std::u16string text = HVUnicode::utf16(utf8Text());
    return text;
}

// A quarter, a half or all of the text.
std::u16string_view share(const benchmark::State& state) {
    return std::u16string_view(text()).substr(0, text().size() * state.range(0) / 4);
}

void report(benchmark::State& state, std::size_t units, std::size_t matches) {
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(units) * 2);
    state.counters["matches"] = double(matches);
}

void literal(benchmark::State& state, const char16_t* needle, bool caseSensitive) {
    auto search = HVSearch::initWithSearchString(needle);
    search->setCaseSensitive(caseSensitive);
    std::u16string_view subject = share(state);
    std::size_t matches = 0;
    for (auto _ : state)
        matches = search->findAllForString(subject).size();
    report(state, subject.size(), matches);
}

void expression(benchmark::State& state, const char16_t* pattern, bool caseSensitive) {
    auto search = HVSearch::initWithExpressionString(pattern, caseSensitive);
    std::u16string_view subject = share(state);
    std::size_t matches = 0;
    for (auto _ : state)
        matches = search->findAllForString(subject).size();
    report(state, subject.size(), matches);
}

void expressionResults(benchmark::State& state, const char16_t* pattern) {
    auto search = HVSearch::initWithExpressionString(pattern, false);
    std::size_t matches = 0;
    for (auto _ : state)
        matches = search->findAllForStringAsResults(text()).size();
    report(state, text().size(), matches);
}

void expressionUTF8(benchmark::State& state, const char16_t* pattern) {
    auto search = HVSearch::initWithExpressionString(pattern, false);
    const std::string& data = utf8Text();
    std::size_t matches = 0;
    for (auto _ : state)
        matches = search->findAllForUTF8Data(data).size();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.size()));
    state.counters["matches"] = double(matches);
}

void replaceAll(benchmark::State& state, const char16_t* pattern, const char16_t* replace) {
    auto search = HVSearch::initWithExpressionString(pattern, false);
    search->setReplaceString(std::u16string(replace));
    std::size_t matches = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::u16string copy = text();
        state.ResumeTiming();
        matches = search->replaceAllInString(copy);
    }
    report(state, text().size(), matches);
}

// Peer: the standard library's find over the same text, exact only.
void peerFind(benchmark::State& state, const char16_t* needle) {
    std::u16string_view subject = text(), wanted = needle;
    std::size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (std::size_t at = subject.find(wanted); at != subject.npos;
             at = subject.find(wanted, at + wanted.size()))
            ++matches;
    }
    report(state, subject.size(), matches);
}

// Peer: fold the whole text with ICU once, then find (positions no longer those of the text).
void peerFoldThenFind(benchmark::State& state, const char16_t* needle) {
    std::u16string_view subject = text();
    // Full folding may lengthen the text ("ß" becomes "ss").
    std::u16string folded(subject.size() * 2, u'\0'), wanted(needle);
    UErrorCode status = U_ZERO_ERROR;
    u_strFoldCase(wanted.data(), std::int32_t(wanted.size()), wanted.data(),
                  std::int32_t(wanted.size()), U_FOLD_CASE_DEFAULT, &status);
    std::size_t matches = 0;
    for (auto _ : state) {
        status = U_ZERO_ERROR;
        std::int32_t length =
            u_strFoldCase(folded.data(), std::int32_t(folded.size()), subject.data(),
                          std::int32_t(subject.size()), U_FOLD_CASE_DEFAULT, &status);
        std::u16string_view view(folded.data(), std::size_t(std::max(length, 0)));
        matches = 0;
        for (std::size_t at = view.find(wanted); at != view.npos;
             at = view.find(wanted, at + wanted.size()))
            ++matches;
    }
    report(state, subject.size(), matches);
}

// Peer: the regular-expression component alone, in a plain loop without the empty-match rule.
void peerRegexLoop(benchmark::State& state, const char16_t* pattern) {
    auto regex = HVRegex::initWithPattern(pattern, 3);
    std::u16string_view subject = text();
    std::size_t matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (std::size_t at = 0; at < subject.size();) {
            auto match = regex->copyMatchForString(subject, {at, subject.size() - at}, 128);
            if (!match)
                break;
            HVRange range = match->rangeForCapture(0);
            ++matches;
            at = range.end() + (range.length == 0);
        }
    }
    report(state, subject.size(), matches);
}

} // namespace

BENCHMARK_CAPTURE(literal, exact_scale, u"License", true)
    ->DenseRange(1, 4, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(peerFind, exact_std_find, u"License")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(literal, caseless_scale, u"license", false)
    ->DenseRange(1, 4, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(literal, caseless_cyrillic, u"ФРАНЦУЗСКИХ", false)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(literal, caseless_rare, u"qzx", false)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(peerFoldThenFind, caseless_icu_fold, u"license")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(expression, word_scale, u"\\b\\w+ing\\b", false)
    ->DenseRange(1, 4, 1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(peerRegexLoop, word_regex_loop, u"\\b\\w+ing\\b")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(expression, rare, u"[Cc]opyleft", false)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(expression, empty_matches, u"^", false)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(expressionResults, word_results, u"\\b\\w+ing\\b")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(expressionUTF8, word_utf8, u"\\b\\w+ing\\b")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(replaceAll, word_replace, u"\\b(\\w+)ing\\b", u"$1ed")
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
