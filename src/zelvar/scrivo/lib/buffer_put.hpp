// Appending to a record's buffer: one resize and one copy, where fmt's own append copies byte by byte
// in a chunked loop.
#pragma once

#include <spdlog/common.h>
#include <spdlog/fmt/fmt.h>

#include <cstddef>
#include <cstring>
#include <string_view>

namespace zelvar::libscrivo {

inline void put(spdlog::memory_buf_t& dest, const char* text, std::size_t size) {
    const std::size_t at = dest.size();
    dest.resize(at + size);
    std::memcpy(dest.data() + at, text, size);
}

inline void put(spdlog::memory_buf_t& dest, std::string_view text) { put(dest, text.data(), text.size()); }

// An integer as "{}" writes it, without parsing a format at run time.
template <class Int>
void put_int(spdlog::memory_buf_t& dest, Int value) {
    const fmt::format_int digits(value);
    put(dest, digits.data(), digits.size());
}

}  // namespace zelvar::libscrivo
