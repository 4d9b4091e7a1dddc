// Nanoseconds per record formatted by the pattern formatter a sink gets (make_pattern_formatter: the
// one-pass one for these patterns) against spdlog's pattern formatter with the same flags (what sinks
// had before), for the two default patterns; runs of the two interleaved, median of `runs`.  Records
// are stamped 300 ns apart (a busy logger), so the second changes every 3.3 M records and the
// millisecond every 3,333.
//
//   pattern_bench [runs=5] [records=1000000] [which=both|spdlog|one-pass]
//
// With `which` one formatter alone runs (for an instruction count under callgrind).
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/details/log_msg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kPatterns[] = {"[%Y-%m-%d %H:%M:%S.%e] [%n] [%^%l%$] %v", "[%d-%m-%Y %H:%M:%S.%f] [%n] [%^%l%$] %v"};

std::size_t g_sink = 0;  // keeps the output alive

double ns_per_record(spdlog::formatter& formatter, long records) {
    const auto start_time = spdlog::log_clock::now();
    spdlog::details::log_msg msg(start_time, spdlog::source_loc{}, "bench", spdlog::level::info, "benchmark message");
    spdlog::memory_buf_t out;
    const auto begin = Clock::now();
    for (long i = 0; i < records; ++i) {
        msg.time = start_time + std::chrono::nanoseconds(300 * i);
        out.clear();
        formatter.format(msg, out);
        g_sink += out.size();
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - begin).count() / static_cast<double>(records);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const long records = argc > 2 ? std::atol(argv[2]) : 1'000'000;
    const std::string which = argc > 3 ? argv[3] : "both";
    for (const char* pattern : kPatterns) {
        auto spdlog_formatter = zelvar::libscrivo::make_spdlog_pattern_formatter(pattern);
        auto sinks_formatter = zelvar::libscrivo::make_pattern_formatter(pattern);
        std::vector<double> before, after;
        for (int r = 0; r < runs; ++r) {
            if (which != "one-pass") before.push_back(ns_per_record(*spdlog_formatter, records));
            if (which != "spdlog") after.push_back(ns_per_record(*sinks_formatter, records));
        }
        std::printf("%-44s", pattern);
        if (!before.empty()) std::printf("  spdlog %6.1f ns/record", median(before));
        if (!after.empty()) std::printf("  one-pass %6.1f ns/record", median(after));
        if (!before.empty() && !after.empty()) std::printf("  (%.2fx)", median(before) / median(after));
        std::printf("\n");
    }
    return g_sink == 0;
}
