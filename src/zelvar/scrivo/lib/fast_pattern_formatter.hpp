// A one-pass formatter for patterns made only of the flags it knows: the default patterns and their
// like.  make_pattern_formatter (sinks.hpp) takes it when the pattern allows and spdlog's pattern
// formatter otherwise; its output is byte for byte that formatter's.  Not included by libscrivo.hpp.
//
// Flags taken, none with a width: %Y %m %d %H %M %S (local time), %e %f (milliseconds and
// microseconds), %n %l %L %v, %^ %$ (the colour range), %t (written_thread_id), %K (the record's
// fields, append_logfmt) and %%.
#pragma once

#include <spdlog/common.h>
#include <spdlog/formatter.h>

#include <array>
#include <chrono>
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
    // A fresh formatter, its caches empty, as spdlog's clone() gives.
    std::unique_ptr<spdlog::formatter> clone() const override;

  private:
    enum class Kind : std::uint8_t {
        literal,
        dated,  // a run of literals and %Y %m %d %H %M %S, rendered once per second
        year,
        month,
        day,
        hour,
        minute,
        second,
        millis,
        micros,
        name,
        level,
        short_level,
        color_start,
        color_stop,
        payload,
        thread_id,
        fields,
    };
    struct Piece {
        Kind kind;
        std::uint32_t begin = 0;  // literal: in literals_; dated: its steps in steps_, then in dated_
        std::uint32_t size = 0;
        std::uint32_t out_begin = 0, out_size = 0;  // dated: its text in dated_
    };

    explicit FastPatternFormatter(std::string pattern) : pattern_(std::move(pattern)) {}
    void render_dated(const std::tm& tm);

    std::string pattern_;
    std::string literals_;
    std::vector<Piece> steps_;   // the date and time runs' parts
    std::vector<Piece> pieces_;  // what format() walks
    bool dated_ = false;

    // spdlog's cache: the local time of the last record's second, starting at second 0 with a zeroed
    // tm (so a record stamped in that second reads as spdlog writes it).
    std::chrono::seconds last_secs_{0};
    spdlog::memory_buf_t dated_text_;
    std::int64_t last_millis_ = INT64_MIN;
    spdlog::memory_buf_t millis_text_;
    std::array<spdlog::string_view_t, spdlog::level::n_levels> level_names_{};
    std::array<spdlog::string_view_t, spdlog::level::n_levels> short_level_names_{};
};

// The one-pass formatter for `pattern`, or nullptr when it does not take it.
SCRIVO_API std::unique_ptr<spdlog::formatter> make_fast_pattern_formatter(const std::string& pattern);

}  // namespace zelvar::libscrivo
