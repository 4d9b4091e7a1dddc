#include "quoted_text.hpp"

#include <array>
#include <cstddef>

#include "buffer_put.hpp"

namespace zelvar::libscrivo {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence starting at `p`, or 0 (overlong forms, surrogates and
// code points past U+10FFFF are not well formed).
std::size_t sequence_length(const unsigned char* p, const unsigned char* end) {
    const unsigned char c = p[0];
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (static_cast<std::size_t>(end - p) < n || p[1] < lo || p[1] > hi) return 0;
    for (std::size_t i = 2; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
    }
    return n;
}

// Bytes written as they are, by rule set: printable ASCII other than the quote and the backslash,
// and for JSON DEL too.
constexpr std::array<bool, 256> plain_bytes(Quoting rules) {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x7F; ++c) plain[c] = c != '"' && c != '\\';
    plain[0x7F] = rules == Quoting::json;
    return plain;
}
constexpr auto kJsonPlain = plain_bytes(Quoting::json);
constexpr auto kLogfmtPlain = plain_bytes(Quoting::logfmt);

// The two-character escapes (both rule sets); every other ASCII byte that is not plain takes \u00XX.
constexpr auto kShortEscapes = [] {
    std::array<std::string_view, 128> escapes{};
    escapes['"'] = "\\\"";
    escapes['\\'] = "\\\\";
    escapes['\n'] = "\\n";
    escapes['\r'] = "\\r";
    escapes['\t'] = "\\t";
    return escapes;
}();

}  // namespace

std::string_view line_separator_escape(std::string_view text) noexcept {
    if (text.size() >= 2 && text[0] == '\xC2' && text[1] == '\x85') return "\\u0085";
    if (text.size() >= 3 && text[0] == '\xE2' && text[1] == '\x80') {
        if (text[2] == '\xA8') return "\\u2028";
        if (text[2] == '\xA9') return "\\u2029";
    }
    return {};
}

void put_quoted(std::string_view text, spdlog::memory_buf_t& dest, Quoting rules) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto& plain = rules == Quoting::json ? kJsonPlain : kLogfmtPlain;
    dest.push_back('"');
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        // Most text needs no escape: copy each run of plain bytes in one append.
        const auto* run = p;
        while (p < end && plain[*p]) ++p;
        if (p != run) put(dest, reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        if (p == end) break;
        const unsigned char c = *p;
        if (c >= 0x80) {
            const std::string_view rest(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p));
            const std::string_view escape = c == 0xC2 || c == 0xE2 ? line_separator_escape(rest) : std::string_view();
            std::size_t n = 1;
            if (!escape.empty()) {
                put(dest, escape);
                n = c == 0xC2 ? 2 : 3;
            } else if (rules == Quoting::logfmt) {
                dest.push_back(static_cast<char>(c));
            } else if ((n = sequence_length(p, end)) == 0) {
                put(dest, kReplacement);
                n = 1;
            } else {
                put(dest, rest.data(), n);
            }
            p += n;
            continue;
        }
        if (!kShortEscapes[c].empty()) {
            put(dest, kShortEscapes[c]);
        } else {  // the other control characters, and DEL for logfmt
            const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
            put(dest, escape, sizeof escape);
        }
        ++p;
    }
    dest.push_back('"');
}

}  // namespace zelvar::libscrivo
