#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/details/file_helper.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace zelvar::libscrivo {
namespace {

using spdlog::log_clock;

const std::string& checked(const std::string& filename, int hour, int minute) {
    DailyFileSink::check(filename, hour, minute);
    return filename;
}

// Start of the day (hour:minute local time) that contains `when`, moved by `shift` days. Through
// mktime on calendar fields, so days that are not 24 hours long (daylight saving) come out right.
std::time_t day_start(log_clock::time_point when, int hour, int minute, int shift) {
    const std::time_t t = log_clock::to_time_t(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    const bool before = tm.tm_hour < hour || (tm.tm_hour == hour && tm.tm_min < minute);
    tm.tm_mday += shift - (before ? 1 : 0);
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::string dated_name(const std::string& base, std::time_t start) {
    std::tm tm{};
    localtime_r(&start, &tm);
    const auto [stem, ext] = spdlog::details::file_helper::split_by_extension(base);
    return fmt::format("{}_{:04}-{:02}-{:02}{}", stem, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, ext);
}

std::string name_for(const std::string& base, int hour, int minute, log_clock::time_point when) {
    return dated_name(base, day_start(when, hour, minute, 0));
}

}  // namespace

DailyFileSink::DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files)
    : DailyFileSink(std::move(base_filename), hour, minute, max_files, log_clock::now()) {}

DailyFileSink::DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files,
                             log_clock::time_point when)
    : FileSink(name_for(checked(base_filename, hour, minute), hour, minute, when), false),
      base_(std::move(base_filename)),
      hour_(hour),
      minute_(minute),
      max_files_(max_files),
      next_day_(log_clock::from_time_t(day_start(when, hour, minute, 1))) {
    prune();
}

DailyFileSink::~DailyFileSink() = default;

void DailyFileSink::check(const std::string& base_filename, int hour, int minute) {
    if (hour < 0 || hour > 23) throw std::invalid_argument("daily file handler: hour must be in 0..23");
    if (minute < 0 || minute > 59) throw std::invalid_argument("daily file handler: minute must be in 0..59");
    FileSink::check_name(base_filename);
}

std::string DailyFileSink::file_for(log_clock::time_point when) const { return name_for(base_, hour_, minute_, when); }

void DailyFileSink::sink_it_(const spdlog::details::log_msg& msg) {
    const Writing writing(*this);
    if (msg.time >= next_day_) {
        switch_to(file_for(msg.time));
        next_day_ = log_clock::from_time_t(day_start(msg.time, hour_, minute_, 1));
        prune();
    }
    FileSink::sink_it_(msg);
}

// The dated files of this base, oldest first by name, beyond max_files are removed; failures are
// left for the next day's attempt.
void DailyFileSink::prune() noexcept {
    if (max_files_ == 0) return;
    try {
        namespace fs = std::filesystem;
        const auto [stem, ext] = spdlog::details::file_helper::split_by_extension(base_);
        const fs::path stem_path(stem);
        const std::string prefix = stem_path.filename().string() + "_";
        fs::path dir = stem_path.parent_path();
        if (dir.empty()) dir = ".";
        std::vector<fs::path> dated;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            const std::string name = entry.path().filename().string();
            // prefix + YYYY-MM-DD + ext
            if (name.size() != prefix.size() + 10 + ext.size() || name.compare(0, prefix.size(), prefix) != 0 ||
                name.compare(prefix.size() + 10, ext.size(), ext) != 0) {
                continue;
            }
            const std::string date = name.substr(prefix.size(), 10);
            const bool shaped = std::all_of(date.begin(), date.end(), [i = 0](char c) mutable {
                const bool dash = i == 4 || i == 7;
                ++i;
                return dash ? c == '-' : (c >= '0' && c <= '9');
            });
            if (shaped) dated.push_back(entry.path());
        }
        if (dated.size() <= max_files_) return;
        std::sort(dated.begin(), dated.end());
        for (std::size_t i = 0; i + max_files_ < dated.size(); ++i) fs::remove(dated[i], ec);
    } catch (...) {
        rethrow_forced_unwind();
    }
}

}  // namespace zelvar::libscrivo
