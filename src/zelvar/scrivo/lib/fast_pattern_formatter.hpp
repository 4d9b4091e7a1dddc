// A one-pass formatter for patterns made only of the flags it knows: the default patterns and their
// like.  make_pattern_formatter (sinks.hpp) takes it when the pattern allows and spdlog's pattern
// formatter otherwise; its output is byte for byte that formatter's.  Not included by libscrivo.hpp.
//
// Flags taken, none with a width: %Y %m %d %H %M %S (local time), %e %f (milliseconds and
// microseconds), %n %l %L %v, %^ %$ (the colour range), %t (written_thread_id), %K (the record's
// fields, append_logfmt) and %%.
//
// The pattern is cut into pieces.  A run of literal text, date and time flags and %e is one piece
// whose text is rendered when the second changes, its milliseconds rewritten when the millisecond
// does; a run of literal text, level flags and colour marks is one piece rendered for each level in
// advance.  A record is then its pieces appended in order.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/common.h>
#include <spdlog/formatter.h>

#include <array>
#include <chrono>
#include <climits>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "export.hpp"

namespace zelvar::libscrivo {

class FastPatternFormatter final : public spdlog::formatter {
  public:
    // nullptr when the pattern holds a flag it does not take (or a width, or a trailing '%').
    static std::unique_ptr<FastPatternFormatter> compile(const std::string& pattern);

    void format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) override;
    // A fresh formatter, nothing cached, as spdlog's clone() gives.
    std::unique_ptr<spdlog::formatter> clone() const override;

  private:
    enum class Kind : std::uint8_t {
        literal,
        // of a timed run
        year,
        month,
        day,
        hour,
        minute,
        second,
        millis,
        // of a levelled run
        level,
        short_level,
        color_start,
        color_stop,
        // pieces
        timed,
        levelled,
        micros,
        name,
        payload,
        thread_id,
        fields,
    };
    // literal: its text in literals_.  timed, levelled: its steps in steps_.
    struct Piece {
        Kind kind;
        std::uint32_t begin = 0, size = 0;
        std::uint32_t out_begin = 0, out_size = 0;  // timed: its text in timed_text_; levelled: its run
    };
    // A levelled run for each level: its text and where the colour range starts and ends in it (-1:
    // it sets neither).
    struct LevelRun {
        std::array<std::string, spdlog::level::n_levels> text;
        std::array<long, spdlog::level::n_levels> start, stop;
    };

    explicit FastPatternFormatter(std::string pattern) : pattern_(std::move(pattern)) {}
    void refresh(spdlog::log_clock::time_point time);
    void render_timed(spdlog::log_clock::time_point time);
    LevelRun render_levelled(const Piece& run) const;
    void append_levelled_slowly(const Piece& run, const spdlog::details::log_msg& msg,
                                spdlog::memory_buf_t& dest) const;

    std::string pattern_;
    std::string literals_;
    std::vector<Piece> steps_;
    std::vector<Piece> pieces_;
    std::vector<LevelRun> level_runs_;
    bool timed_ = false, local_time_ = false, millis_ = false;

    // spdlog's cache: the local time of the last record's second, from second 0 with a zeroed tm (so
    // a record stamped in that second reads as spdlog writes it).
    std::chrono::seconds last_secs_{0};
    std::tm tm_{};
    bool rendered_ = false;
    std::int64_t last_millis_ = INT64_MIN;
    spdlog::memory_buf_t timed_text_;
    std::vector<std::uint32_t> millis_at_;  // where each %e's three digits are in timed_text_
    bool millis_in_place_ = false;          // they are three digits (not so before the epoch)
};

// The one-pass formatter for `pattern`, or nullptr when it does not take it.
SCRIVO_API std::unique_ptr<spdlog::formatter> make_fast_pattern_formatter(const std::string& pattern);

}  // namespace zelvar::libscrivo
