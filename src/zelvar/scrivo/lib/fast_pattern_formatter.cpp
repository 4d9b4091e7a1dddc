// The one-pass pattern formatter, as fast_pattern_formatter.hpp describes.  Each flag writes what
// spdlog's flag formatter of the same letter writes, through the same helpers; the differential test
// in tests/cpp holds the two to the same bytes.
#include "fast_pattern_formatter.hpp"

#include <spdlog/details/fmt_helper.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "buffer_put.hpp"
#include "libscrivo.hpp"

namespace zelvar::libscrivo {
namespace {

namespace fmt_helper = spdlog::details::fmt_helper;
using spdlog::memory_buf_t;

using libscrivo::put;
inline void put(memory_buf_t& dest, spdlog::string_view_t text) { put(dest, text.data(), text.size()); }

}  // namespace

std::unique_ptr<FastPatternFormatter> FastPatternFormatter::compile(const std::string& pattern) {
    static constexpr std::pair<char, Kind> kFlags[] = {
        {'Y', Kind::year},       {'m', Kind::month},   {'d', Kind::day},         {'H', Kind::hour},
        {'M', Kind::minute},     {'S', Kind::second},  {'e', Kind::millis},      {'f', Kind::micros},
        {'n', Kind::name},       {'l', Kind::level},   {'L', Kind::short_level}, {'^', Kind::color_start},
        {'$', Kind::color_stop}, {'v', Kind::payload}, {'t', Kind::thread_id},   {'K', Kind::fields},
    };
    std::unique_ptr<FastPatternFormatter> f(new FastPatternFormatter(pattern));
    std::vector<Piece> parsed;
    const auto add_literal = [&](const char* text, std::size_t size) {
        if (!parsed.empty() && parsed.back().kind == Kind::literal) {
            parsed.back().size += static_cast<std::uint32_t>(size);
        } else {
            parsed.push_back(
                {Kind::literal, static_cast<std::uint32_t>(f->literals_.size()), static_cast<std::uint32_t>(size)});
        }
        f->literals_.append(text, size);
    };
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            add_literal(&pattern[i], 1);
            continue;
        }
        // A width, an unknown flag or a trailing '%': spdlog's formatter takes the pattern.
        if (++i == pattern.size()) return nullptr;
        if (pattern[i] == '%') {
            add_literal("%", 1);
            continue;
        }
        const auto* flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                        [&](const auto& entry) { return entry.first == pattern[i]; });
        if (flag == std::end(kFlags)) return nullptr;
        parsed.push_back({flag->second});
    }
    const spdlog::string_view_t eol(spdlog::details::os::default_eol);
    add_literal(eol.data(), eol.size());

    // Runs: literals with date and time flags and %e, or literals with level flags and colour marks; a
    // literal joins the run after it.
    const auto of_time = [](Kind k) { return k >= Kind::year && k <= Kind::millis; };
    const auto of_level = [](Kind k) { return k >= Kind::level && k <= Kind::color_stop; };
    for (std::size_t i = 0; i < parsed.size();) {
        std::size_t end = i;
        while (end < parsed.size() && parsed[end].kind == Kind::literal) ++end;
        const bool timed = end < parsed.size() && of_time(parsed[end].kind);
        const bool levelled = end < parsed.size() && of_level(parsed[end].kind);
        if (!timed && !levelled) {
            f->pieces_.push_back(parsed[i++]);
            continue;
        }
        while (end < parsed.size() && (parsed[end].kind == Kind::literal ||
                                       (timed ? of_time(parsed[end].kind) : of_level(parsed[end].kind)))) {
            ++end;
        }
        Piece run{timed ? Kind::timed : Kind::levelled, static_cast<std::uint32_t>(f->steps_.size()),
                  static_cast<std::uint32_t>(end - i)};
        f->steps_.insert(f->steps_.end(), parsed.begin() + static_cast<std::ptrdiff_t>(i),
                         parsed.begin() + static_cast<std::ptrdiff_t>(end));
        for (std::size_t s = i; s < end; ++s) {
            if (parsed[s].kind == Kind::millis) f->millis_ = true;
            if (of_time(parsed[s].kind) && parsed[s].kind != Kind::millis) f->local_time_ = true;
        }
        if (timed) {
            f->timed_ = true;
        } else {
            run.out_begin = static_cast<std::uint32_t>(f->level_runs_.size());
            f->level_runs_.push_back(f->render_levelled(run));
        }
        f->pieces_.push_back(run);
        i = end;
    }
    return f;
}

FastPatternFormatter::LevelRun FastPatternFormatter::render_levelled(const Piece& run) const {
    LevelRun rendered;
    for (int l = 0; l < spdlog::level::n_levels; ++l) {
        const auto level = static_cast<spdlog::level::level_enum>(l);
        std::string& text = rendered.text[l];
        rendered.start[l] = rendered.stop[l] = -1;
        for (std::uint32_t s = run.begin; s < run.begin + run.size; ++s) {
            const Piece& step = steps_[s];
            switch (step.kind) {
                case Kind::literal:
                    text.append(literals_, step.begin, step.size);
                    break;
                case Kind::level:
                    text.append(spdlog::level::to_string_view(level).data(),
                                spdlog::level::to_string_view(level).size());
                    break;
                case Kind::short_level:
                    text.append(spdlog::level::to_short_c_str(level));
                    break;
                case Kind::color_start:
                    rendered.start[l] = static_cast<long>(text.size());
                    break;
                case Kind::color_stop:
                    rendered.stop[l] = static_cast<long>(text.size());
                    break;
                default:
                    break;
            }
        }
    }
    return rendered;
}

// A level outside spdlog's table: the run written as spdlog writes it, step by step.
void FastPatternFormatter::append_levelled_slowly(const Piece& run, const spdlog::details::log_msg& msg,
                                                  memory_buf_t& dest) const {
    for (std::uint32_t s = run.begin; s < run.begin + run.size; ++s) {
        const Piece& step = steps_[s];
        switch (step.kind) {
            case Kind::literal:
                put(dest, literals_.data() + step.begin, step.size);
                break;
            case Kind::level:
                put(dest, spdlog::level::to_string_view(msg.level));
                break;
            case Kind::short_level:
                put(dest, spdlog::string_view_t(spdlog::level::to_short_c_str(msg.level)));
                break;
            case Kind::color_start:
                msg.color_range_start = dest.size();
                break;
            case Kind::color_stop:
                msg.color_range_end = dest.size();
                break;
            default:
                break;
        }
    }
}

void FastPatternFormatter::render_timed(spdlog::log_clock::time_point time) {
    timed_text_.clear();
    millis_at_.clear();
    const auto millis = static_cast<std::uint32_t>(fmt_helper::time_fraction<std::chrono::milliseconds>(time).count());
    millis_in_place_ = millis < 1000;
    for (Piece& piece : pieces_) {
        if (piece.kind != Kind::timed) continue;
        piece.out_begin = static_cast<std::uint32_t>(timed_text_.size());
        for (std::uint32_t s = piece.begin; s < piece.begin + piece.size; ++s) {
            const Piece& step = steps_[s];
            switch (step.kind) {
                case Kind::literal:
                    put(timed_text_, literals_.data() + step.begin, step.size);
                    break;
                case Kind::year:
                    fmt_helper::append_int(tm_.tm_year + 1900, timed_text_);
                    break;
                case Kind::month:
                    fmt_helper::pad2(tm_.tm_mon + 1, timed_text_);
                    break;
                case Kind::day:
                    fmt_helper::pad2(tm_.tm_mday, timed_text_);
                    break;
                case Kind::hour:
                    fmt_helper::pad2(tm_.tm_hour, timed_text_);
                    break;
                case Kind::minute:
                    fmt_helper::pad2(tm_.tm_min, timed_text_);
                    break;
                case Kind::second:
                    fmt_helper::pad2(tm_.tm_sec, timed_text_);
                    break;
                case Kind::millis:
                    millis_at_.push_back(static_cast<std::uint32_t>(timed_text_.size()));
                    fmt_helper::pad3(millis, timed_text_);
                    break;
                default:
                    break;
            }
        }
        piece.out_size = static_cast<std::uint32_t>(timed_text_.size()) - piece.out_begin;
    }
    rendered_ = true;
}

void FastPatternFormatter::refresh(spdlog::log_clock::time_point time) {
    bool stale = !rendered_;
    // As spdlog: the local time is read again only when the second changes, whatever happened to the
    // time zone in between.
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch());
    if (secs != last_secs_) {
        if (local_time_) tm_ = spdlog::details::os::localtime(spdlog::log_clock::to_time_t(time));
        last_secs_ = secs;
        stale = true;
    }
    if (millis_) {
        const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
        if (millis != last_millis_) {
            last_millis_ = millis;
            const auto fraction =
                static_cast<std::uint32_t>(fmt_helper::time_fraction<std::chrono::milliseconds>(time).count());
            if (!stale && millis_in_place_ && fraction < 1000) {
                for (const std::uint32_t at : millis_at_) {
                    char* digits = timed_text_.data() + at;
                    digits[0] = static_cast<char>('0' + fraction / 100);
                    digits[1] = static_cast<char>('0' + fraction / 10 % 10);
                    digits[2] = static_cast<char>('0' + fraction % 10);
                }
            } else {
                stale = true;
            }
        }
    }
    if (stale) render_timed(time);
}

void FastPatternFormatter::format(const spdlog::details::log_msg& msg, memory_buf_t& dest) {
    if (timed_) refresh(msg.time);
    for (const Piece& piece : pieces_) {
        switch (piece.kind) {
            case Kind::literal:
                put(dest, literals_.data() + piece.begin, piece.size);
                break;
            case Kind::timed:
                put(dest, timed_text_.data() + piece.out_begin, piece.out_size);
                break;
            case Kind::levelled: {
                const auto l = static_cast<std::size_t>(msg.level);
                if (l >= spdlog::level::n_levels) {
                    append_levelled_slowly(piece, msg, dest);
                    break;
                }
                const LevelRun& run = level_runs_[piece.out_begin];
                const std::size_t at = dest.size();
                if (run.start[l] >= 0) msg.color_range_start = at + static_cast<std::size_t>(run.start[l]);
                if (run.stop[l] >= 0) msg.color_range_end = at + static_cast<std::size_t>(run.stop[l]);
                put(dest, run.text[l].data(), run.text[l].size());
                break;
            }
            case Kind::micros: {
                const auto fraction =
                    static_cast<std::size_t>(fmt_helper::time_fraction<std::chrono::microseconds>(msg.time).count());
                if (fraction >= 1'000'000) {  // before the epoch
                    fmt_helper::pad6(fraction, dest);
                    break;
                }
                const std::size_t at = dest.size();
                dest.resize(at + 6);
                char* digits = dest.data() + at;
                for (std::size_t i = 6, left = fraction; i-- > 0; left /= 10)
                    digits[i] = static_cast<char>('0' + left % 10);
                break;
            }
            case Kind::name:
                put(dest, msg.logger_name);
                break;
            case Kind::payload:
                put(dest, msg.payload);
                break;
            case Kind::thread_id: {
                const fmt::format_int digits(written_thread_id(msg.thread_id));
                put(dest, digits.data(), digits.size());
                break;
            }
            case Kind::fields:
                append_logfmt(current_fields(), dest);
                break;
            default:
                break;
        }
    }
}

std::unique_ptr<spdlog::formatter> FastPatternFormatter::clone() const { return compile(pattern_); }

std::unique_ptr<spdlog::formatter> make_fast_pattern_formatter(const std::string& pattern) {
    return FastPatternFormatter::compile(pattern);
}

}  // namespace zelvar::libscrivo
