#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "compression.hpp"

#include <spdlog/details/file_helper.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string_view>
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
    : DailyFileSink(std::move(base_filename), hour, minute, max_files, when, false) {}

DailyFileSink::DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files,
                             log_clock::time_point when, bool compress)
    : FileSink(name_for(checked(base_filename, hour, minute), hour, minute, when), false),
      base_(std::move(base_filename)),
      hour_(hour),
      minute_(minute),
      max_files_(max_files),
      next_day_(log_clock::from_time_t(day_start(when, hour, minute, 1))),
      compress_(compress) {
    prune();
    if (compress_) resume_compression();
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
        std::string closed = filename();
        switch_to(file_for(msg.time));
        next_day_ = log_clock::from_time_t(day_start(msg.time, hour_, minute_, 1));
        prune();
        if (compress_ && closed != filename()) {
            const auto names = lock_compressed_names();
            compress_later(closed);
        }
    }
    FileSink::sink_it_(msg);
}

namespace {

namespace fs = std::filesystem;

// The dated files of `base` in its folder: each day's name without a compression suffix, and with
// `compressed` the suffixes its companions have (none when only the day's own file is there).
std::map<std::string, std::vector<std::string>> dated_files(const std::string& base, bool compressed) {
    const auto [stem, ext] = spdlog::details::file_helper::split_by_extension(base);
    const fs::path stem_path(stem);
    const std::string prefix = stem_path.filename().string() + "_";
    fs::path dir = stem_path.parent_path();
    if (dir.empty()) dir = ".";
    std::map<std::string, std::vector<std::string>> days;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string file_name = entry.path().filename().string();
        std::string_view name = file_name;
        std::string suffix;
        if (compressed) {
            for (const char* s : kCompressedSuffixes) {
                const std::string_view companion(s);
                if (name.ends_with(companion)) {
                    suffix = std::string(companion);
                    name.remove_suffix(companion.size());
                    break;
                }
            }
        }
        // prefix + YYYY-MM-DD + ext
        if (name.size() != prefix.size() + 10 + ext.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(prefix.size() + 10, ext.size(), ext) != 0) {
            continue;
        }
        const std::string_view date = name.substr(prefix.size(), 10);
        const bool shaped = std::all_of(date.begin(), date.end(), [i = 0](char c) mutable {
            const bool dash = i == 4 || i == 7;
            ++i;
            return dash ? c == '-' : (c >= '0' && c <= '9');
        });
        if (!shaped) continue;
        auto& suffixes = days[(dir / fs::path(name)).string()];
        if (!suffix.empty()) suffixes.push_back(std::move(suffix));
    }
    return days;
}

}  // namespace

// The dated files of this base, oldest first by name, beyond max_files are removed (with their
// compressed companions: a day counts once, whichever forms its file is in); failures are left for
// the next day's attempt.
void DailyFileSink::prune() noexcept {
    if (max_files_ == 0) return;
    try {
        std::unique_lock<std::mutex> names;
        if (compress_) names = lock_compressed_names();
        const auto days = dated_files(base_, compress_);
        if (days.size() <= max_files_) return;
        std::error_code ec;
        std::size_t left = days.size() - max_files_;
        for (auto it = days.begin(); left > 0; ++it, --left) {
            fs::remove(it->first, ec);
            for (const std::string& suffix : it->second) fs::remove(it->first + suffix, ec);
            if (compress_) compressed_file_removed(it->first);
        }
    } catch (...) {
        rethrow_forced_unwind();
    }
}

// What a process before this one left: the files of other days not yet compressed are queued,
// temporaries without their file removed.
void DailyFileSink::resume_compression() noexcept {
    try {
        const auto names = lock_compressed_names();
        const std::string open = fs::path(filename()).lexically_normal().string();
        for (const auto& [day, suffixes] : dated_files(base_, true)) {
            std::error_code ec;
            if (fs::exists(day, ec)) {
                if (fs::path(day).lexically_normal().string() != open) compress_later(day);
            } else if (std::find(suffixes.begin(), suffixes.end(), kCompressedSuffixes[1]) != suffixes.end() &&
                       !compression_queued(day)) {
                fs::remove(day + kCompressedSuffixes[1], ec);
            }
        }
    } catch (...) {  // left for the next start
        rethrow_forced_unwind();
    }
}

}  // namespace zelvar::libscrivo
