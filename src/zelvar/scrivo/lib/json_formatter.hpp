// JsonFormatter, the record format of the JSON sinks.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/common.h>
#include <spdlog/formatter.h>

#include <memory>
#include <string_view>

#include "export.hpp"

namespace zelvar::libscrivo {

// One JSON object per record and line, keys in this order: time (RFC 3339,
// UTC, microseconds, "Z"), level ("trace", "debug", "info", "warning",
// "error", "critical", "off"), logger, message, file and line (null without a
// source location), thread (the native thread id), pid; then the record's
// fields (record_fields.hpp) in their order.  Text that is not
// valid UTF-8 is written with U+FFFD in place of each bad byte, so every line
// parses whatever the message holds.
class SCRIVO_API JsonFormatter final : public spdlog::formatter {
  public:
    void format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) override;
    std::unique_ptr<spdlog::formatter> clone() const override;

    // Appends `text` as a JSON string, quotes included.
    static void append_string(std::string_view text, spdlog::memory_buf_t& dest);

  private:
    long long cached_second_ = -1;
    spdlog::memory_buf_t cached_time_;
};

}  // namespace zelvar::libscrivo
