// Decoding and encoding throughput of large files, beside glibc's iconv on the same bytes in
// the same run. The files come from scripts/bench (HALVET_BENCH_UTF8, HALVET_BENCH_CP1251).

#include "HVFileEncodings.h"
#include "HVFileSystem.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <iconv.h>
#include <stdexcept>

namespace {

const std::string& fileBytes(const char* variable) {
    static std::map<std::string, std::string> cache;
    auto it = cache.find(variable);
    if (it != cache.end())
        return it->second;
    const char* path = std::getenv(variable);
    auto bytes = path ? HVFileSystem::readFile(path) : std::nullopt;
    if (!bytes)
        throw std::runtime_error(std::string("set ") + variable + " to a file");
    return cache.emplace(variable, std::move(*bytes)).first->second;
}

void decode(benchmark::State& state, const char* variable, const char* name) {
    const std::string& bytes = fileBytes(variable);
    for (auto _ : state) {
        HVStringEncoding encoding = HVFileEncodings::encodingFromString(name);
        auto text = HVFileEncodings::createWithData(bytes, "", encoding);
        benchmark::DoNotOptimize(text->data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

void encode(benchmark::State& state, const char* variable, const char* name) {
    const std::string& bytes = fileBytes(variable);
    HVStringEncoding encoding = HVFileEncodings::encodingFromString(name);
    auto text = HVFileEncodings::createWithData(bytes, "", encoding);
    for (auto _ : state) {
        HVStringEncoding out = encoding;
        auto data = HVFileEncodings::dataUsingEncoding(*text, out);
        benchmark::DoNotOptimize(data->data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

std::string iconvConvert(const std::string& input, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    std::string output(input.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    output.resize(output.size() - outLeft);
    return output;
}

void iconvDecode(benchmark::State& state, const char* variable, const char* from) {
    const std::string& bytes = fileBytes(variable);
    for (auto _ : state)
        benchmark::DoNotOptimize(iconvConvert(bytes, from, "UTF-16LE").data());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

void iconvEncode(benchmark::State& state, const char* variable, const char* to) {
    const std::string& bytes = fileBytes(variable);
    std::string utf16 = iconvConvert(bytes, to, "UTF-16LE");
    for (auto _ : state)
        benchmark::DoNotOptimize(iconvConvert(utf16, "UTF-16LE", to).data());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}

} // namespace

// Ours and the peer alternate, so that a busy moment of the machine hits both.
BENCHMARK_CAPTURE(decode, utf8_halvet, "HALVET_BENCH_UTF8", "utf-8")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(iconvDecode, utf8_iconv, "HALVET_BENCH_UTF8", "UTF-8")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, utf8_halvet, "HALVET_BENCH_UTF8", "utf-8")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(iconvEncode, utf8_iconv, "HALVET_BENCH_UTF8", "UTF-8")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, cp1251_halvet, "HALVET_BENCH_CP1251", "windows-1251")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(iconvDecode, cp1251_iconv, "HALVET_BENCH_CP1251", "WINDOWS-1251")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, cp1251_halvet, "HALVET_BENCH_CP1251", "windows-1251")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(iconvEncode, cp1251_iconv, "HALVET_BENCH_CP1251", "WINDOWS-1251")
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
