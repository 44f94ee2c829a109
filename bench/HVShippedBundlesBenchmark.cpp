// The shipped language bundles at work on large input. FoldLine: the fold patterns classify one
// long line (a minified page, script, style sheet or feed of about 256 KB), as the fold gutter
// does for every line after a load and for the edited line after each keystroke; the patterns
// must stay about linear in the line's length. Highlight: the reference sample of a language,
// repeated to about 1 MB, highlighted whole with the Light theme, as when the file opens.
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

struct Sample {
    const char* bundle;
    const char* path;
};

const Sample samples[] = {
    {"HTML", "html/sample.html"},           {"PHP", "php/sample.php"},
    {"JavaScript", "javascript/sample.js"}, {"CSS", "css/sample.css"},
    {"Python", "python/sample.py"},         {"Markdown", "markdown/sample.md"},
};

std::string testData(const std::string& relative) {
    const char* root = std::getenv("HALVET_TEST_DATA");
    return std::string(root ? root : HALVET_SOURCE_TEST_DATA) + "/" + relative;
}

void highlight(benchmark::State& state, const Sample& sample) {
    auto bundle = shippedBundle(sample.bundle);
    auto bytes = HVFileSystem::readFile(testData(std::string("highlight/") + sample.path));
    if (!bytes)
        throw std::runtime_error(std::string("cannot read ") + sample.path);
    const std::u16string text = repeated(HVUnicode::utf16(*bytes), 1024 * 1024);
    auto theme = HVThemeRepository::sharedRepository().currentTheme();
    HVParser& parser = *bundle->parser();
    parser.setTheme(theme);
    for (auto _ : state) {
        HVTextBuffer buffer(text);
        HVSyntaxHighlighting::highlightText(buffer, parser, *theme);
        benchmark::DoNotOptimize(buffer.length());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size() * 2));
}

const bool registered = [] {
    for (const LongLine& line : longLines) {
        benchmark::RegisterBenchmark((std::string("FoldLine/") + line.bundle).c_str(), foldLine,
                                     line)
            ->Unit(benchmark::kMillisecond);
    }
    for (const Sample& sample : samples) {
        benchmark::RegisterBenchmark((std::string("Highlight/") + sample.bundle).c_str(), highlight,
                                     sample)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace

BENCHMARK_MAIN();
