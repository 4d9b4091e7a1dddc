// The fields of the record being written on this thread, and their logfmt form.
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "buffer_put.hpp"
#include "quoted_text.hpp"

namespace zelvar::libscrivo {
namespace {

thread_local std::string_view t_fields;

bool needs_quotes(std::string_view value) {
    if (value.empty()) return true;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c <= ' ' || c == '=' || c == '"' || c == '\\' || c == 0x7F) return true;
        if ((c == 0xC2 || c == 0xE2) && !line_separator_escape(value.substr(i)).empty()) return true;
    }
    return false;
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
            put_quoted(f.value, dest, Quoting::logfmt);
        } else {
            put(dest, f.value);
        }
    });
}

}  // namespace zelvar::libscrivo
