// The fields of the record being written on this thread, and their logfmt form.
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "buffer_put.hpp"

namespace zelvar::libscrivo {
namespace {

thread_local std::string_view t_fields;

// The escape of the Unicode line separator (U+0085, U+2028, U+2029) at the start of `text`, or
// empty: readers that split lines the Unicode way split on them.
std::string_view line_separator(std::string_view text) {
    if (text.size() >= 2 && text[0] == '\xC2' && text[1] == '\x85') return "\\u0085";
    if (text.size() >= 3 && text[0] == '\xE2' && text[1] == '\x80') {
        if (text[2] == '\xA8') return "\\u2028";
        if (text[2] == '\xA9') return "\\u2029";
    }
    return {};
}

bool needs_quotes(std::string_view value) {
    if (value.empty()) return true;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c <= ' ' || c == '=' || c == '"' || c == '\\' || c == 0x7F) return true;
        if ((c == 0xC2 || c == 0xE2) && !line_separator(value.substr(i)).empty()) return true;
    }
    return false;
}

void append_quoted(std::string_view value, spdlog::memory_buf_t& dest) {
    static constexpr char kHex[] = "0123456789abcdef";
    dest.push_back('"');
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char ch = value[i];
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0xC2 || c == 0xE2) {
            const std::string_view escape = line_separator(value.substr(i));
            if (!escape.empty()) {
                put(dest, escape);
                i += c == 0xC2 ? 1 : 2;
                continue;
            }
        }
        switch (c) {
            case '"':
                put(dest, "\\\"");
                break;
            case '\\':
                put(dest, "\\\\");
                break;
            case '\n':
                put(dest, "\\n");
                break;
            case '\r':
                put(dest, "\\r");
                break;
            case '\t':
                put(dest, "\\t");
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
                    put(dest, escape, sizeof escape);
                } else {
                    dest.push_back(ch);
                }
        }
    }
    dest.push_back('"');
}

}  // namespace

std::string_view current_fields() noexcept { return t_fields; }

std::string_view set_current_fields(std::string_view block) noexcept {
    const std::string_view saved = t_fields;
    t_fields = block;
    return saved;
}

void append_logfmt(std::string_view block, spdlog::memory_buf_t& dest) {
    for_each_field(block, [&](const Field& f) {
        if (f.free_name) return;
        dest.push_back(' ');
        put(dest, f.key);
        dest.push_back('=');
        if (needs_quotes(f.value)) {
            append_quoted(f.value, dest);
        } else {
            put(dest, f.value);
        }
    });
}

}  // namespace zelvar::libscrivo
