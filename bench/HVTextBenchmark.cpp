// Opening a 50 MB file into a text buffer, editing it and looking up its lines, beside cat(1)
// reading the same file and a plain copy of the decoded text, in one run. The file comes from
// scripts/bench (HALVET_BENCH_UTF8).

#include "HVFileEncodings.h"
#include "HVSingleFileDocument.h"
#include "HVTextBuffer.h"
#include "HVTextViewModel.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <random>
#include <stdexcept>

namespace {

const std::string& benchPath() {
    static const std::string path = [] {
        const char* value = std::getenv("HALVET_BENCH_UTF8");
        if (!value)
            throw std::runtime_error("set HALVET_BENCH_UTF8 to a large UTF-8 file");
        return std::string(value);
    }();
    return path;
}

std::optional<std::u16string> decode() {
    HVStringEncoding encoding = 0;
    return HVFileEncodings::createWithContentsOfFile(benchPath(), encoding);
}

const std::u16string& decodedText() {
    static const std::u16string text = [] {
        auto text = decode();
        if (!text)
            throw std::runtime_error("cannot read " + benchPath());
        return std::move(*text);
    }();
    return text;
}

std::int64_t fileSize() {
    static const std::int64_t size = [] {
        FILE* file = std::fopen(benchPath().c_str(), "rb");
        if (!file)
            return std::int64_t(0);
        std::fseek(file, 0, SEEK_END);
        auto size = std::int64_t(std::ftell(file));
        std::fclose(file);
        return size;
    }();
    return size;
}

// The file in a buffer painted as a highlighter leaves it (a run every 32 units, three
// styles), with one observer, as an open editor has it. Shared by the editing benchmarks.
struct OpenDocument {
    HVTextBuffer buffer;
    std::size_t edits = 0;

    OpenDocument() : buffer(decodedText()) {
        std::vector<HVAttributesRef> styles = {
            std::make_shared<const HVAttributes>(
                HVAttributes{{"foreground", HVColor{0.1, 0.2, 0.8, 1}}}),
            std::make_shared<const HVAttributes>(
                HVAttributes{{"foreground", HVColor{0.7, 0.1, 0.1, 1}}}),
            std::make_shared<const HVAttributes>(
                HVAttributes{{std::string(HVFontTraitsAttribute), std::int64_t(HVBoldFontTrait)}})};
        std::size_t i = 0;
        for (std::size_t at = 0; at + 16 < buffer.length(); at += 32)
            buffer.addAttributes(styles[i++ % 3], {at, 16});
        buffer.addObserver([this](const HVTextEdit&) { ++edits; });
    }
};

OpenDocument& openDocument() {
    static OpenDocument document;
    return document;
}

constexpr int editsPerIteration = 10000;

void perEdit(benchmark::State& state) {
    state.counters["per_edit"] = benchmark::Counter(double(editsPerIteration),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

void decodeFile(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(decode()->data());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * fileSize());
}

void openFile(benchmark::State& state) {
    // As the editor opens a file: the document reads it, detects and decodes it, finds its
    // line-break type and whether it holds NULs, and its view takes the text over.
    auto open = [] {
        HVError error;
        auto document = HVSingleFileDocument::initWithContentsOfFile(benchPath(), &error);
        if (!document)
            throw std::runtime_error(error.fullDescription());
        return document;
    };
    open(); // the language bundles load once, before the clock runs
    for (auto _ : state) {
        auto document = open();
        benchmark::DoNotOptimize(document->viewWithSuggestedFrame()->textStorage().lineCount());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * fileSize());
}

void catFile(benchmark::State& state) {
    std::string command = "cat '" + benchPath() + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cat failed");
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * fileSize());
}

void buildBuffer(benchmark::State& state) {
    const std::u16string& text = decodedText();
    for (auto _ : state) {
        HVTextBuffer buffer(text);
        benchmark::DoNotOptimize(buffer.lineCount());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * text.size() * sizeof(char16_t)));
}

void copyText(benchmark::State& state) {
    const std::u16string& text = decodedText();
    for (auto _ : state) {
        std::u16string copy(text);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * text.size() * sizeof(char16_t)));
}

void randomInserts(benchmark::State& state) {
    OpenDocument& document = openDocument();
    std::mt19937_64 random(1);
    for (auto _ : state) {
        for (int i = 0; i < editsPerIteration; ++i) {
            std::size_t at = random() % (document.buffer.length() + 1);
            document.buffer.replaceCharacters({at, 0}, u"x");
        }
    }
    benchmark::DoNotOptimize(document.edits);
    perEdit(state);
}

// Line breaks at random places: each changes the line index there.
void randomLineBreaks(benchmark::State& state) {
    OpenDocument& document = openDocument();
    std::mt19937_64 random(3);
    for (auto _ : state) {
        for (int i = 0; i < editsPerIteration; ++i) {
            std::size_t at = random() % (document.buffer.length() + 1);
            document.buffer.replaceCharacters({at, 0}, u"\n");
        }
    }
    perEdit(state);
}

// What a highlighter does after an edit at a random place: the line made plain, then two
// tokens painted on it.
void randomRepaints(benchmark::State& state) {
    OpenDocument& document = openDocument();
    static const auto plain =
        std::make_shared<const HVAttributes>(HVAttributes{{"foreground", HVColor{0, 0, 0, 1}}});
    static const auto keyword = std::make_shared<const HVAttributes>(
        HVAttributes{{"foreground", HVColor{0.1, 0.2, 0.8, 1}}});
    std::mt19937_64 random(4);
    for (auto _ : state) {
        for (int i = 0; i < editsPerIteration; ++i) {
            HVRange line = document.buffer.lineRangeForIndex(random() % document.buffer.length());
            document.buffer.setAttributes(plain, line);
            if (line.length > 12) {
                document.buffer.addAttributes(keyword, {line.location + 2, 4});
                document.buffer.addAttributes(keyword, {line.location + 8, 4});
            }
        }
    }
    perEdit(state);
}

// Typing: the inserts follow one another in the middle of the text.
void typingInserts(benchmark::State& state) {
    OpenDocument& document = openDocument();
    std::size_t at = document.buffer.length() / 2;
    for (auto _ : state) {
        for (int i = 0; i < editsPerIteration; ++i)
            document.buffer.replaceCharacters({at++, 0}, i % 40 == 39 ? u"\n" : u"y");
    }
    perEdit(state);
}

void lineLookups(benchmark::State& state) {
    OpenDocument& document = openDocument();
    std::mt19937_64 random(2);
    std::size_t sum = 0;
    for (auto _ : state) {
        for (int i = 0; i < editsPerIteration; ++i) {
            HVRange line = document.buffer.lineRangeForIndex(random() % document.buffer.length());
            sum += line.length;
        }
    }
    benchmark::DoNotOptimize(sum);
    perEdit(state);
}

// A highlighter's pass over 10 MB: plain attributes over the range, a token for every word
// left to right, then the parser over the whole range. The first pass over a new buffer pays
// for the memory of its runs; later passes reuse it.
void highlightPass(HVTextBuffer& buffer, std::u16string_view text, std::size_t& tokens) {
    static const HVAttributes plain{{"foreground", HVColor{0, 0, 0, 1}}};
    static const HVAttributes keyword{
        {"foreground", HVColor{0.1, 0.2, 0.8, 1}},
        {std::string(HVFontTraitsAttribute), std::int64_t(HVBoldFontTrait)}};
    static const HVAttributes word{{"foreground", HVColor{0.3, 0.3, 0.3, 1}}};
    static int parser = 0;
    buffer.setAttributes(plain, {0, text.size()});
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u' ' && text[i] != u'\n')
            continue;
        if (i > start) {
            buffer.addAttributes((i - start) % 3 == 0 ? keyword : word, {start, i - start});
            ++tokens;
        }
        start = i + 1;
    }
    buffer.addAttribute(HVParserAttribute, HVObjectReference(&parser), {0, text.size()});
}

std::u16string_view tenMegabytes() {
    const std::u16string& text = decodedText();
    return {text.data(), std::min<std::size_t>(text.size(), 10 << 20)};
}

void highlight(benchmark::State& state, bool firstPass) {
    std::u16string_view part = tenMegabytes();
    auto buffer = std::make_unique<HVTextBuffer>(part);
    std::size_t tokens = 0;
    if (!firstPass)
        highlightPass(*buffer, part, tokens);
    tokens = 0;
    for (auto _ : state) {
        if (firstPass) {
            state.PauseTiming();
            buffer = std::make_unique<HVTextBuffer>(part);
            state.ResumeTiming();
        }
        highlightPass(*buffer, part, tokens);
    }
    state.counters["runs"] = double(buffer->runCount());
    state.counters["per_token"] = benchmark::Counter(
        double(tokens), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(std::int64_t(state.iterations() * part.size() * sizeof(char16_t)));
}

} // namespace

// Ours and the peers are declared side by side; scripts/bench runs them interleaved. Wall
// time, since cat runs in a child process.
BENCHMARK(openFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(catFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(decodeFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(buildBuffer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(copyText)->Unit(benchmark::kMillisecond)->UseRealTime();
// One pass is long enough, and keeps the text the same for the benchmarks that follow.
BENCHMARK(randomInserts)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK(randomLineBreaks)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1);
BENCHMARK(randomRepaints)->Unit(benchmark::kMillisecond);
BENCHMARK(typingInserts)->Unit(benchmark::kMillisecond);
BENCHMARK(lineLookups)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(highlight, 10MB_first_pass, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(highlight, 10MB_again, false)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
