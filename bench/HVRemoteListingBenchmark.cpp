// Parsing a listing of 10,000 entries as each client prints it: the folder of a large site.
// The goal is a parse well under 50 ms; the report gives milliseconds per listing.
#include "HVRemoteFile.h"
#include "HVRemoteListingParser.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

constexpr int entries = 10000;

std::vector<std::string> listing(HVRemoteProtocol protocol) {
    std::vector<std::string> lines;
    char line[256];
    if (protocol == HVRemoteProtocol::FTP)
        lines.push_back("150 Here comes the directory listing.");
    for (int i = 0; i < entries; ++i) {
        const bool folder = i % 10 == 0;
        switch (protocol) {
        case HVRemoteProtocol::FTP:
            std::snprintf(line, sizeof line, "%s    1 1001     1001     %8d Dec 05 15:24 page-%05d.html",
                          folder ? "drwxr-xr-x" : "-rw-r--r--", 1000 + i * 7, i);
            break;
        case HVRemoteProtocol::SFTP:
            std::snprintf(line, sizeof line,
                          "%s    ? halvettest halvettest %8d Dec  5 15:24 /srv/www/many/page-%05d.html",
                          folder ? "drwxr-xr-x" : "-rw-r--r--", 1000 + i * 7, i);
            break;
        case HVRemoteProtocol::WebDAV:
            std::snprintf(line, sizeof line, "%s   page-%05d.html   %8d  Dec  5 15:25",
                          folder ? "Coll:" : "     ", i, 1000 + i * 7);
            break;
        }
        lines.emplace_back(line);
    }
    if (protocol == HVRemoteProtocol::FTP)
        lines.push_back("226 Directory send OK.");
    return lines;
}

void parseListing(benchmark::State& state) {
    const auto protocol = static_cast<HVRemoteProtocol>(state.range(0));
    const std::vector<std::string> lines = listing(protocol);
    const std::string path = protocol == HVRemoteProtocol::SFTP ? "/srv/www/many" : "many";
    std::size_t found = 0;
    for (auto _ : state) {
        auto files = HVRemoteListingParser::parse(lines, protocol, path);
        found = files.size();
        benchmark::DoNotOptimize(files);
    }
    if (found != entries)
        state.SkipWithError("the listing lost entries");
    state.SetLabel(std::string(HVRemoteProtocolName(protocol)) + ", 10,000 entries");
}

} // namespace

BENCHMARK(parseListing)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
