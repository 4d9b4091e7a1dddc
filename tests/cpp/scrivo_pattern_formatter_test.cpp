// The one-pass pattern formatter against spdlog's own, byte for byte.
#include "scrivo_test_helpers.hpp"

#include <zelvar/scrivo/lib/fast_pattern_formatter.hpp>
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string_view>
#include <vector>

namespace {

using namespace scrivo_test;

// --- the one-pass pattern formatter ------------------------------------------------------------------

struct PatternCase {
    const char* name;
    const char* pattern;
    bool one_pass;  // taken by the one-pass formatter, else left to spdlog's
};
void PrintTo(const PatternCase& c, std::ostream* os) { *os << '"' << c.pattern << '"'; }

const PatternCase kPatternCases[] = {
    {"handler_default", "[%Y-%m-%d %H:%M:%S.%e] [%n] [%^%l%$] %v", true},
    {"logger_default", "[%d-%m-%Y %H:%M:%S.%f] [%n] [%^%l%$] %v", true},
    {"payload_only", "%v", true},
    {"empty", "", true},
    {"text_only", "no flags at all", true},
    {"time_only", "%Y%m%d%H%M%S%e%f", true},
    {"time_split_by_record", "%H:%M %n %S.%e|%e %Y", true},
    {"short_level_thread_fields", "%^%L%$ %t %n: %v%K", true},
    {"percent_and_open_colour", "100%% %Y%% %v %^", true},
    {"colour_reversed", "%$x%^%v", true},
    {"width", "%8l %v", false},
    {"left_width", "%-5n|%v", false},
    {"centre_width", "%=10v|", false},
    {"truncated", "%3!l %v", false},
    {"thread_width", "%10t %v", false},
    {"time_zone", "%H:%M:%S %z %v", false},
    {"weekday_month", "%a %b %d %v", false},
    {"source", "%s:%# %v", false},
    {"unknown", "%Q %v", false},
    {"trailing_percent", "%v %", false},
};

struct Stamped {
    spdlog::log_clock::time_point time;
    int level;
    std::string name, payload, fields, zone;  // zone: TZ set before this record, when not empty
    std::size_t thread_id;
    bool prefix, clone;  // a buffer that already holds text; both formatters replaced by clones first
};

const char* const kZones[] = {"UTC0",          "EST5EDT,M3.2.0,M11.1.0",
                              "<+0530>-5:30",  "<+1345>-13:45<+1445>,M9.5.0/2:45,M4.1.0/3:45",
                              "Europe/Berlin", "Australia/Lord_Howe"};

std::vector<Stamped> pattern_records() {
    using namespace std::chrono;
    const auto at = [](std::int64_t secs, std::int64_t nanos) {
        return spdlog::log_clock::time_point(
            duration_cast<spdlog::log_clock::duration>(seconds(secs) + nanoseconds(nanos)));
    };
    std::string with_fields, odd_fields;
    zelvar::libscrivo::append_field(with_fields, "user", zelvar::libscrivo::FieldKind::text, "al ice");
    zelvar::libscrivo::append_field(with_fields, "n", zelvar::libscrivo::FieldKind::literal, "42");
    zelvar::libscrivo::append_field(odd_fields, "bad name", zelvar::libscrivo::FieldKind::text, "x", true);
    zelvar::libscrivo::append_field(odd_fields, "empty", zelvar::libscrivo::FieldKind::text, "");
    const std::string names[] = {"", "app", "\xC3\xBCn\xC3\xAF \xE6\x97\xA5\xE6\x9C\xAC/%Y", std::string(70, 'n')};
    const std::string payloads[] = {"", "hello", "two\nlines", "\033[31mred\033[0m %^%v", std::string(300, 'p')};
    const std::string blocks[] = {"", with_fields, odd_fields};

    std::mt19937_64 random(35);
    std::vector<Stamped> records;
    const auto add = [&](spdlog::log_clock::time_point time, std::string zone = {}, bool clone = false) {
        const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
        records.push_back(Stamped{time, static_cast<int>(pick(spdlog::level::n_levels)), names[pick(std::size(names))],
                                  payloads[pick(std::size(payloads))], blocks[pick(std::size(blocks))], std::move(zone),
                                  pick(3) == 0 ? std::size_t{1} << 40 : 1000 + pick(5), pick(3) == 0,
                                  clone || records.size() % 997 == 996});
    };
    const std::int64_t steps[] = {0, 998'000'000, 999'999'999, 1'000'000'000, 1'000'500'000, 1'001'000'000};

    // The epoch's second (which spdlog's cache starts at) and before it.
    for (const std::int64_t nanos : {0LL, 500'000'000LL, -1'500'000'000LL, 1'000'000LL}) add(at(0, nanos));
    for (const char* zone : kZones) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        add(at(1'700'000'000, 0), zone);
        // The same second read under the new zone: both keep the local time they cached, and clones
        // (which start with nothing cached) read it again.
        add(at(1'700'000'000, 400'000'000), zone == kZones[0] ? "" : kZones[0]);
        add(at(1'700'000'000, 500'000'000), "", true);
        add(at(1'700'000'001, 0), zone);
        // Local midnight, a leap day's end and year ends (1999, 2023, 2037, 2100).
        for (const auto [year, month, day] :
             {std::array{1999, 12, 31}, std::array{2023, 12, 31}, std::array{2024, 2, 29}, std::array{2037, 12, 31},
              std::array{2100, 12, 31}}) {
            std::tm tm{};
            tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
            tm.tm_hour = 23, tm.tm_min = 59, tm.tm_sec = 59, tm.tm_isdst = -1;
            const std::time_t last = std::mktime(&tm);
            for (const std::int64_t step : steps) add(at(last, step));
        }
        // Daylight saving switches (America, Europe, Lord Howe's half hour).
        for (const std::int64_t change : {1710054000LL, 1730613600LL, 1711846800LL, 1712415600LL, 1728142200LL}) {
            for (const std::int64_t step : steps) add(at(change - 1, step));
        }
        // The leap second ending 2016 as the clock gives it: 23:59:59 runs into 00:00:00, then the clock
        // is stepped back a second.
        for (const std::int64_t nanos : {0LL, 999'000'000LL, 1'000'000'000LL, 500'000'000LL, 1'250'000'000LL}) {
            add(at(1'483'228'799, nanos));
        }
    }
    // Random times to 2100, a third of them in the second before, the zone changed now and then.
    for (int i = 0; i < 20'000; ++i) {
        const auto previous = duration_cast<seconds>(records.back().time.time_since_epoch()).count();
        const std::int64_t secs = random() % 3 == 0 ? previous : static_cast<std::int64_t>(random() % 4'102'444'800);
        add(at(secs, static_cast<std::int64_t>(random() % 1'000'000'000)),
            random() % 50 == 0 ? kZones[random() % std::size(kZones)] : "");
    }
    return records;
}

class PatternFormatter : public testing::TestWithParam<PatternCase> {};
INSTANTIATE_TEST_SUITE_P(Differential, PatternFormatter, testing::ValuesIn(kPatternCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(PatternFormatter, WritesSpdlogsBytesAndColourRange) {
    const auto& c = GetParam();
    EXPECT_EQ(zelvar::libscrivo::make_fast_pattern_formatter(c.pattern) != nullptr, c.one_pass);
    const char* saved = std::getenv("TZ");
    const std::string saved_zone = saved ? saved : "";
    const auto records = pattern_records();

    ::setenv("TZ", kZones[0], 1);
    ::tzset();
    auto chosen = zelvar::libscrivo::make_pattern_formatter(c.pattern);
    auto reference = zelvar::libscrivo::make_spdlog_pattern_formatter(c.pattern);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Stamped& r = records[i];
        if (!r.zone.empty()) {
            ::setenv("TZ", r.zone.c_str(), 1);
            ::tzset();
        }
        if (r.clone) {
            chosen = chosen->clone();
            reference = reference->clone();
        }
        spdlog::details::log_msg ours(r.time, spdlog::source_loc{}, r.name, lvl(r.level), r.payload);
        ours.thread_id = r.thread_id;
        ours.color_range_start = 3, ours.color_range_end = 5;
        spdlog::details::log_msg theirs = ours;
        spdlog::memory_buf_t out, expected;
        if (r.prefix) {
            out.append(std::string_view("prefix "));
            expected.append(std::string_view("prefix "));
        }
        {
            zelvar::libscrivo::CurrentFields fields(r.fields);
            chosen->format(ours, out);
            reference->format(theirs, expected);
        }
        const auto where = [&] {
            return "record " + std::to_string(i) + " at " + std::to_string(r.time.time_since_epoch().count()) +
                   " ns, TZ " + std::getenv("TZ");
        };
        ASSERT_EQ(std::string_view(out.data(), out.size()), std::string_view(expected.data(), expected.size()))
            << where();
        ASSERT_EQ(ours.color_range_start, theirs.color_range_start) << where();
        ASSERT_EQ(ours.color_range_end, theirs.color_range_end) << where();
    }
    if (saved) {
        ::setenv("TZ", saved_zone.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

}  // namespace
