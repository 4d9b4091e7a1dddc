// Text between double quotes with backslash escapes, as JSON strings and logfmt's quoted values
// write it: one writer, two rule sets. Internal to libscrivo.
#pragma once

#include <spdlog/common.h>

#include <string_view>

namespace zelvar::libscrivo {

enum class Quoting {
    // A JSON string: a byte that is not valid UTF-8 becomes U+FFFD, so every line parses; DEL as it is.
    json,
    // A logfmt value: bytes as they are (the record's text is not checked as UTF-8), DEL escaped.
    logfmt,
};

// Both escape the quote, the backslash, the other control characters (\n, \r and \t short, the rest
// \u00XX) and the Unicode line separators U+0085, U+2028 and U+2029: valid raw, but readers that
// split lines the Unicode way break on them.
void put_quoted(std::string_view text, spdlog::memory_buf_t& dest, Quoting rules);

// The escape of the line separator at the start of `text`, or empty.
std::string_view line_separator_escape(std::string_view text) noexcept;

}  // namespace zelvar::libscrivo
