// The one-pass pattern formatter, as fast_pattern_formatter.hpp describes.  Each flag writes what
// spdlog's flag formatter of the same letter writes, through the same helpers; the differential test
// in tests/cpp holds the two to the same bytes.
#include "fast_pattern_formatter.hpp"

#include <spdlog/details/fmt_helper.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include "libscrivo.hpp"

namespace zelvar::libscrivo {

namespace fmt_helper = spdlog::details::fmt_helper;

std::unique_ptr<FastPatternFormatter> FastPatternFormatter::compile(const std::string& pattern) {
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
        Kind kind;
        switch (pattern[i]) {
            case '%':
                add_literal("%", 1);
                continue;
            case 'Y':
                kind = Kind::year;
                break;
            case 'm':
                kind = Kind::month;
                break;
            case 'd':
                kind = Kind::day;
                break;
            case 'H':
                kind = Kind::hour;
                break;
            case 'M':
                kind = Kind::minute;
                break;
            case 'S':
                kind = Kind::second;
                break;
            case 'e':
                kind = Kind::millis;
                break;
            case 'f':
                kind = Kind::micros;
                break;
            case 'n':
                kind = Kind::name;
                break;
            case 'l':
                kind = Kind::level;
                break;
            case 'L':
                kind = Kind::short_level;
                break;
            case '^':
                kind = Kind::color_start;
                break;
            case '$':
                kind = Kind::color_stop;
                break;
            case 'v':
                kind = Kind::payload;
                break;
            case 't':
                kind = Kind::thread_id;
                break;
            case 'K':
                kind = Kind::fields;
                break;
            default:
                return nullptr;
        }
        parsed.push_back({kind});
    }
    const spdlog::string_view_t eol(spdlog::details::os::default_eol);
    add_literal(eol.data(), eol.size());

    // Runs of literals and date and time flags become one piece each, rendered once per second; a
    // run without a date or time flag stays a literal.
    const auto of_the_second = [](Kind k) { return k >= Kind::year && k <= Kind::second; };
    for (std::size_t i = 0; i < parsed.size();) {
        std::size_t end = i;
        bool timed = false;
        while (end < parsed.size() && (parsed[end].kind == Kind::literal || of_the_second(parsed[end].kind))) {
            timed = timed || of_the_second(parsed[end].kind);
            ++end;
        }
        if (!timed) {
            f->pieces_.push_back(parsed[i]);
            ++i;
            continue;
        }
        f->pieces_.push_back(
            {Kind::dated, static_cast<std::uint32_t>(f->steps_.size()), static_cast<std::uint32_t>(end - i)});
        f->steps_.insert(f->steps_.end(), parsed.begin() + static_cast<std::ptrdiff_t>(i),
                         parsed.begin() + static_cast<std::ptrdiff_t>(end));
        f->dated_ = true;
        i = end;
    }

    for (int l = 0; l < spdlog::level::n_levels; ++l) {
        const auto level = static_cast<spdlog::level::level_enum>(l);
        f->level_names_[l] = spdlog::level::to_string_view(level);
        f->short_level_names_[l] = spdlog::string_view_t(spdlog::level::to_short_c_str(level));
    }
    std::tm zero{};
    f->render_dated(zero);
    return f;
}

void FastPatternFormatter::render_dated(const std::tm& tm) {
    dated_text_.clear();
    for (Piece& piece : pieces_) {
        if (piece.kind != Kind::dated) continue;
        piece.out_begin = static_cast<std::uint32_t>(dated_text_.size());
        for (std::uint32_t s = piece.begin; s < piece.begin + piece.size; ++s) {
            const Piece& step = steps_[s];
            switch (step.kind) {
                case Kind::literal:
                    dated_text_.append(literals_.data() + step.begin, literals_.data() + step.begin + step.size);
                    break;
                case Kind::year:
                    fmt_helper::append_int(tm.tm_year + 1900, dated_text_);
                    break;
                case Kind::month:
                    fmt_helper::pad2(tm.tm_mon + 1, dated_text_);
                    break;
                case Kind::day:
                    fmt_helper::pad2(tm.tm_mday, dated_text_);
                    break;
                case Kind::hour:
                    fmt_helper::pad2(tm.tm_hour, dated_text_);
                    break;
                case Kind::minute:
                    fmt_helper::pad2(tm.tm_min, dated_text_);
                    break;
                case Kind::second:
                    fmt_helper::pad2(tm.tm_sec, dated_text_);
                    break;
                default:
                    break;
            }
        }
        piece.out_size = static_cast<std::uint32_t>(dated_text_.size()) - piece.out_begin;
    }
}

void FastPatternFormatter::format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) {
    if (dated_) {
        // As spdlog: the local time is read again only when the second changes, whatever happened to
        // the time zone in between.
        const auto secs = std::chrono::duration_cast<std::chrono::seconds>(msg.time.time_since_epoch());
        if (secs != last_secs_) {
            render_dated(spdlog::details::os::localtime(spdlog::log_clock::to_time_t(msg.time)));
            last_secs_ = secs;
        }
    }
    const auto append = [&dest](spdlog::string_view_t text) { dest.append(text.data(), text.data() + text.size()); };
    for (const Piece& piece : pieces_) {
        switch (piece.kind) {
            case Kind::literal:
                append({literals_.data() + piece.begin, piece.size});
                break;
            case Kind::dated:
                append({dated_text_.data() + piece.out_begin, piece.out_size});
                break;
            case Kind::millis: {
                const auto millis =
                    std::chrono::duration_cast<std::chrono::milliseconds>(msg.time.time_since_epoch()).count();
                if (millis != last_millis_) {
                    millis_text_.clear();
                    const auto fraction = fmt_helper::time_fraction<std::chrono::milliseconds>(msg.time);
                    fmt_helper::pad3(static_cast<std::uint32_t>(fraction.count()), millis_text_);
                    last_millis_ = millis;
                }
                append({millis_text_.data(), millis_text_.size()});
                break;
            }
            case Kind::micros: {
                const auto fraction = fmt_helper::time_fraction<std::chrono::microseconds>(msg.time);
                fmt_helper::pad6(static_cast<std::size_t>(fraction.count()), dest);
                break;
            }
            case Kind::name:
                append(msg.logger_name);
                break;
            case Kind::level:
                append(static_cast<unsigned>(msg.level) < level_names_.size()
                           ? level_names_[msg.level]
                           : spdlog::level::to_string_view(msg.level));
                break;
            case Kind::short_level:
                append(static_cast<unsigned>(msg.level) < short_level_names_.size()
                           ? short_level_names_[msg.level]
                           : spdlog::string_view_t(spdlog::level::to_short_c_str(msg.level)));
                break;
            case Kind::color_start:
                msg.color_range_start = dest.size();
                break;
            case Kind::color_stop:
                msg.color_range_end = dest.size();
                break;
            case Kind::payload:
                append(msg.payload);
                break;
            case Kind::thread_id: {
                const fmt::format_int digits(written_thread_id(msg.thread_id));
                dest.append(digits.data(), digits.data() + digits.size());
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
