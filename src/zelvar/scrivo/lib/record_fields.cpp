// The fields of the record being written on this thread, and their logfmt form.
#include <zelvar/scrivo/lib/libscrivo.hpp>

namespace zelvar::libscrivo {
namespace {

thread_local std::string_view t_fields;

void append(spdlog::memory_buf_t& dest, std::string_view text) { dest.append(text.data(), text.data() + text.size()); }

bool needs_quotes(std::string_view value) {
    if (value.empty()) return true;
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= ' ' || c == '=' || c == '"' || c == '\\' || c == 0x7F) return true;
    }
    return false;
}

void append_quoted(std::string_view value, spdlog::memory_buf_t& dest) {
    static constexpr char kHex[] = "0123456789abcdef";
    dest.push_back('"');
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                append(dest, "\\\"");
                break;
            case '\\':
                append(dest, "\\\\");
                break;
            case '\n':
                append(dest, "\\n");
                break;
            case '\r':
                append(dest, "\\r");
                break;
            case '\t':
                append(dest, "\\t");
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
                    dest.append(escape, escape + sizeof escape);
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
        dest.push_back(' ');
        append(dest, f.key);
        dest.push_back('=');
        if (needs_quotes(f.value)) {
            append_quoted(f.value, dest);
        } else {
            append(dest, f.value);
        }
    });
}

}  // namespace zelvar::libscrivo
