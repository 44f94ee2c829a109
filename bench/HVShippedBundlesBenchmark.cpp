// The shipped language bundles at work on large input. FoldLine: the fold patterns classify one
// long line (a minified page, script, style sheet or feed of about 256 KB), as the fold gutter
// does for every line after a load and for the edited line after each keystroke; the patterns
// must stay about linear in the line's length. Highlight: the reference sample of every language,
// repeated to 256 K, 1 M and 4 M code units, highlighted whole with the Light theme, as when the
// file opens; its time must stay proportional to the length.
//
// The shipped bundles are read from the resources (HALVET_RESOURCES_DIR, else the source tree)
// and the samples from tests/data/highlight (HALVET_TEST_DATA, else the source tree).

#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVFileSystem.h"
#include "HVParser.h"
#include "HVSyntaxHighlighting.h"
#include "HVTextBuffer.h"
#include "HVThemeRepository.h"
#include "HVUnicode.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <stdexcept>

namespace {

std::shared_ptr<HVBundle> shippedBundle(const std::string& title) {
    for (const auto& bundle : HVBundleRepository::sharedRepository().bundles()) {
        if (bundle->title() == title)
            return bundle;
    }
    throw std::runtime_error("no shipped bundle titled " + title);
}

std::u16string repeated(std::u16string_view unit, std::size_t size) {
    std::u16string text;
    while (text.size() < size)
        text += unit;
    return text;
}

struct LongLine {
    const char* bundle;
    const char16_t* unit;
};

// Units of minified text, repeated to one line; most of their groups close on the line, as in
// real minified files, and a few do not.
const LongLine longLines[] = {
    {"HTML", u"<div class=\"row\"><p class=\"x\">Some <a href=\"/a\">text</a></p><ul><li>One</li>"
             u"<li>Two</li></ul></div><!-- x -->"},
    {"PHP", u"<div><?php echo $x; ?></div><?php if ($a): ?><b>x</b><?php endif; ?>"},
    {"XML", u"<item id=\"a\"><title>x</title><link href=\"y\"/><d><![CDATA[<p>z</p>]]></d></item>"},
    {"JavaScript", u"function a(b){if(b){return [1,{c:2}]}else{x('{')}};var o={k:[1,2,{d:3}]};"},
    {"CSS", u".a{color:red;background:url(x.png)}@media print{.b{display:none}}/* c */"},
    {"Python", u"x = f(a, [1, 2], {\"k\": (3, 4)}); "},
    {"SQL", u"INSERT INTO t (a, b) VALUES (1, 'a'), (2, (SELECT 1)); "},
    {"Ruby", u"x = [1, 2].map { |a| a * 2 }; "},
    {"Shell Script", u"f() { echo \"$x\" | grep -q y && z; }; "},
    {"Markdown", u"Some *text* with `code`, **bold** and <!-- x --> "},
    {"Configuration", u"key: [a, b, {c: d}] "},
};

void foldLine(benchmark::State& state, const LongLine& line) {
    auto bundle = shippedBundle(line.bundle);
    HVParser& parser = *bundle->parser();
    const std::u16string text = repeated(line.unit, 256 * 1024);
    for (auto _ : state) {
        HVFoldState fold = parser.foldStateForLine(text);
        benchmark::DoNotOptimize(parser.foldStepForLine(text, fold));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size() * 2));
}

std::string testData(const std::string& relative) {
    const char* root = std::getenv("HALVET_TEST_DATA");
    return std::string(root ? root : HALVET_SOURCE_TEST_DATA) + "/" + relative;
}

// The sample of one language, repeated to state.range(0) code units and painted whole.
void highlight(benchmark::State& state, const std::string& path) {
    auto bundle = HVBundleRepository::sharedRepository().bundleForFileName(path);
    auto bytes = HVFileSystem::readFile(path);
    if (!bundle || !bundle->parser() || !bytes)
        throw std::runtime_error("cannot highlight " + path);
    const std::u16string text = repeated(HVUnicode::utf16(*bytes), std::size_t(state.range(0)));
    auto theme = HVThemeRepository::sharedRepository().currentTheme();
    HVParser& parser = *bundle->parser();
    parser.setTheme(theme);
    for (auto _ : state) {
        HVTextBuffer buffer(text);
        HVSyntaxHighlighting::highlightText(buffer, parser, *theme);
        benchmark::DoNotOptimize(buffer.length());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size() * 2));
    state.SetComplexityN(state.range(0));
}

const bool registered = [] {
    for (const LongLine& line : longLines) {
        benchmark::RegisterBenchmark((std::string("FoldLine/") + line.bundle).c_str(), foldLine,
                                     line)
            ->Unit(benchmark::kMillisecond);
    }
    // Every language's sample at three sizes: the fitted complexity shows whether painting
    // time stays proportional to the text's length (a small RMS around O(N)).
    for (const auto& path : HVFileSystem::listRecursively(testData("highlight"))) {
        std::string language =
            HVFileSystem::lastPathComponent(HVFileSystem::deletingLastPathComponent(path));
        if (language.rfind("test-", 0) == 0 || path.find("/sample.") == std::string::npos ||
            HVFileSystem::pathExtension(path) == "runs" ||
            HVFileSystem::pathExtension(path) == "outline")
            continue;
        benchmark::RegisterBenchmark(("Highlight/" + language).c_str(), highlight, path)
            ->RangeMultiplier(4)
            ->Range(256 * 1024, 4 * 1024 * 1024)
            ->Complexity(benchmark::oN)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace

BENCHMARK_MAIN();
