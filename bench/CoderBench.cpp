// Throughput of the Base64 attachment decoder and cost of date parsing.
#include "mime/Coders.h"
#include "mime/MailDate.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

using namespace pelko;

namespace {

// 20 MB of input as standard 76-character attachment lines.
const std::vector<std::string>& attachmentLines()
{
    static const std::vector<std::string> lines = [] {
        std::mt19937 rng(7);
        std::vector<std::string> out;
        const size_t target = 20u * 1000 * 1000;
        size_t total = 0;
        std::string block(57, '\0');
        while (total < target) {
            for (char& c : block)
                c = static_cast<char>(rng() & 0xFF);
            out.push_back(EncodeLine(block));
            total += out.back().size();
        }
        return out;
    }();
    return lines;
}

size_t inputBytes(const std::vector<std::string>& lines)
{
    size_t n = 0;
    for (const std::string& l : lines)
        n += l.size();
    return n;
}

void BM_Base64StreamDecoder(benchmark::State& state)
{
    const auto& lines = attachmentLines();
    std::string out;
    size_t produced = 0;
    for (auto _ : state) {
        Base64StreamDecoder d;
        for (const std::string& l : lines) {
            out.clear(); // each line's bytes would go to the file here
            d.feed(l.data(), l.size(), out);
            produced += out.size();
            benchmark::DoNotOptimize(out.data());
        }
        d.finish(out);
    }
    benchmark::DoNotOptimize(produced);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(inputBytes(lines)));
}
BENCHMARK(BM_Base64StreamDecoder)->Unit(benchmark::kMillisecond);

void BM_DecodeLine(benchmark::State& state)
{
    const auto& lines = attachmentLines();
    for (auto _ : state)
        for (const std::string& l : lines)
            benchmark::DoNotOptimize(DecodeLine(l));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(inputBytes(lines)));
}
BENCHMARK(BM_DecodeLine)->Unit(benchmark::kMillisecond);

const std::vector<std::string> kDates = {"Tue, 5 Jan 1999 10:00:00 +0100", "05 Jan 99 10:00 GMT",
                                         "Monday, 1 Jan 1999", "31 Feb 1999", "Sat, 30 Dec 2023 23:59:59 -0800 (PST)"};

void BM_ParseMailDate(benchmark::State& state)
{
    for (auto _ : state)
        for (const std::string& d : kDates)
            benchmark::DoNotOptimize(ParseMailDate(d));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kDates.size()));
}
BENCHMARK(BM_ParseMailDate);

void BM_ParseMailDateTime(benchmark::State& state)
{
    long long t = 0;
    for (auto _ : state)
        for (const std::string& d : kDates)
            benchmark::DoNotOptimize(ParseMailDateTime(d, t));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kDates.size()));
}
BENCHMARK(BM_ParseMailDateTime);

} // namespace

// The one main of the benchmark binary (every bench/*.cpp joins it).
BENCHMARK_MAIN();
