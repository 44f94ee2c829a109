// Throughput of the keyword parser over a 10 MB script: the whole text painted into a fresh
// buffer (as when a file opens), and the scan alone (a theme that colours nothing, so that only
// the final mark is written), and the same with words looked up in lower case, as style sheets
// and other case-insensitive languages are. The text is jQuery from $HALVET_BENCH_JS (default:
// Debian's libjs-jquery) repeated to 10 MB.

#include "HVFileSystem.h"
#include "HVKeywordBasedParser.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVUnicode.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace {

const std::u16string& scriptText() {
    static const std::u16string text = [] {
        const char* path = std::getenv("HALVET_BENCH_JS");
        auto bytes = HVFileSystem::readFile(path ? path : "/usr/share/javascript/jquery/jquery.js");
        if (!bytes)
            throw std::runtime_error("set HALVET_BENCH_JS to a JavaScript file");
        std::u16string one = HVUnicode::utf16(*bytes);
        std::u16string all;
        while (all.size() < 10 * 1024 * 1024)
            all += one;
        return all;
    }();
    return text;
}

HVPlistValue scriptDefinition(bool caseSensitive = true) {
    using Array = HVPlistValue::Array;
    using Dict = HVPlistValue::Dictionary;
    return Dict{
        {"format-id", "text.js"},
        {"format-type", "keyword"},
        {"case-sensitive", caseSensitive},
        {"keyword-characters", "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_$"},
        {"keywords",
         Dict{{"keyword.control",
               Array{"break", "case", "catch", "continue", "default", "do", "else", "finally",
                     "for", "if", "return", "switch", "throw", "try", "while", "with"}},
              {"keyword.operator", Array{"delete", "in", "instanceof", "new", "typeof", "void"}},
              {"storage.type", Array{"class", "const", "function", "let", "var"}},
              {"constant.language", Array{"false", "null", "true", "undefined", "NaN"}},
              {"variable.language", Array{"arguments", "super", "this"}},
              {"support.class",
               Array{"Array", "Boolean", "Date", "Error", "Function", "JSON", "Math", "Number",
                     "Object", "RegExp", "String", "window", "document", "jQuery"}},
              {"support.function",
               Array{"alert", "decodeURI", "encodeURIComponent", "isNaN", "parseFloat", "parseInt",
                     "setTimeout", "clearTimeout", "apply", "call", "push", "slice", "splice",
                     "indexOf", "replace", "split", "join", "toLowerCase"}}}},
        {"regex-keywords",
         Array{Dict{{"id", "constant.numeric"}, {"keyword", "[0-9]+"}},
               Dict{{"id", "constant.numeric"}, {"keyword", "0[xX][0-9a-fA-F]+"}}}},
        {"quotes", Dict{{"single", "string.quoted.single"}, {"double", "string.quoted.double"}}},
        {"comments", Array{Dict{{"begin", "//"}, {"id", "comment.line"}},
                           Dict{{"begin", "/*"}, {"end", "*/"}, {"id", "comment.block"}}}},
    };
}

// Painting stands on the text buffer's runs; a buffer whose runs do not scale would take
// hours over 10 MB. A trial over 256 KB tells; the benchmark is skipped with the reason then.
bool bufferScales(benchmark::State& state, HVKeywordBasedParser& parser, std::u16string_view text) {
    HVTextBuffer trial(text.substr(0, 256 * 1024));
    auto start = std::chrono::steady_clock::now();
    parser.parseRange({0, trial.length()}, trial);
    auto elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed < std::chrono::milliseconds(200))
        return true;
    state.SkipWithError("painting 256 KB took over 200 ms: the text buffer's runs do not scale");
    return false;
}

// Paints the whole text into a fresh buffer in each iteration; only the painting is timed.
void paintEachIteration(benchmark::State& state, HVKeywordBasedParser& parser,
                        const std::u16string& text) {
    for (auto _ : state) {
        state.PauseTiming();
        HVTextBuffer buffer(text);
        state.ResumeTiming();
        parser.parseRange({0, text.size()}, buffer);
        benchmark::DoNotOptimize(buffer.runCount());
        state.counters["runs"] = double(buffer.runCount());
    }
}

void paintWholeText(benchmark::State& state, bool colour, bool caseSensitive = true) {
    const std::u16string& text = scriptText();
    HVKeywordBasedParser parser(nullptr, scriptDefinition(caseSensitive));
    std::shared_ptr<HVTheme> theme = std::make_shared<HVTheme>();
    if (colour) {
        for (const char* id :
             {"comment", "string", "keyword", "storage", "constant", "variable", "support"})
            theme->addStyle(id, HVAttributes{{std::string(HVForegroundColorAttribute),
                                              HVColor{0.1, 0.2, 0.3, 1}}});
    }
    parser.setTheme(theme);
    if (!bufferScales(state, parser, text))
        return;
    paintEachIteration(state, parser, text);
    // Bytes of the UTF-8 file, the unit the other highlighters are measured in.
    state.SetBytesProcessed(std::int64_t(state.iterations()) *
                            std::int64_t(HVUnicode::utf8(text).size()));
}

void BM_PaintWholeScript(benchmark::State& state) {
    paintWholeText(state, true);
}

void BM_ScanWholeScript(benchmark::State& state) {
    paintWholeText(state, false);
}

// One 10 MB line of strings that hold "//", as in minified scripts full of addresses: every
// string starts a would-be line comment whose end must not be searched for again and again.
void BM_PaintOneLongLine(benchmark::State& state) {
    std::u16string text;
    while (text.size() < 10 * 1024 * 1024)
        text += u"u = 'http://example.com/' + x; /* c */ ";
    HVKeywordBasedParser parser(nullptr, scriptDefinition());
    auto theme = std::make_shared<HVTheme>();
    theme->addStyle("string", HVAttributes{{std::string(HVForegroundColorAttribute),
                                            HVColor{0.1, 0.2, 0.3, 1}}});
    parser.setTheme(theme);
    if (!bufferScales(state, parser, text))
        return;
    paintEachIteration(state, parser, text);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

void BM_PaintWholeScriptIgnoringCase(benchmark::State& state) {
    paintWholeText(state, true, false);
}

} // namespace

BENCHMARK(BM_PaintWholeScript)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScanWholeScript)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintWholeScriptIgnoringCase)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintOneLongLine)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
