#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "buffer_put.hpp"

#include <spdlog/details/log_msg.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <array>
#include <chrono>
#include <ctime>

namespace zelvar::libscrivo {
namespace {

constexpr std::string_view kLevelNames[] = {"trace", "debug", "info", "warning", "error", "critical", "off"};
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

// Bytes written as they are: printable ASCII other than the quote and the backslash.
constexpr auto kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
    return plain;
}();

}  // namespace

void JsonFormatter::append_string(std::string_view text, spdlog::memory_buf_t& dest) {
    static constexpr char kHex[] = "0123456789abcdef";
    dest.push_back('"');
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        // Most text needs no escape: copy each run of plain bytes in one append.
        const auto* run = p;
        while (p < end && kPlain[*p]) ++p;
        if (p != run) put(dest, reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        if (p == end) break;
        const unsigned char c = *p;
        if (c >= 0x80) {
            const std::size_t n = sequence_length(p, end);
            if (n == 0) {
                put(dest, kReplacement);
                ++p;
            } else if (n == 3 && c == 0xE2 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) {
                // Line and paragraph separators and NEL: valid JSON raw, but line-splitting readers break on them.
                put(dest, p[2] == 0xA8 ? "\\u2028" : "\\u2029");
                p += n;
            } else if (n == 2 && c == 0xC2 && p[1] == 0x85) {
                put(dest, "\\u0085");
                p += n;
            } else {
                put(dest, reinterpret_cast<const char*>(p), n);
                p += n;
            }
            continue;
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
                if (c < 0x20) {
                    const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
                    put(dest, escape, sizeof escape);
                } else {
                    dest.push_back(static_cast<char>(c));
                }
        }
        ++p;
    }
    dest.push_back('"');
}

void JsonFormatter::format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) {
    using namespace std::chrono;
    const auto since_epoch = msg.time.time_since_epoch();
    const auto secs = duration_cast<seconds>(since_epoch);
    const auto micros = duration_cast<microseconds>(since_epoch - secs).count();
    // Records come many to a second: the date and time of day are formatted once per second.
    if (secs.count() != cached_second_) {
        const std::time_t t = secs.count();
        std::tm utc{};
        gmtime_r(&t, &utc);
        cached_time_.clear();
        fmt::format_to(std::back_inserter(cached_time_), "{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", utc.tm_year + 1900,
                       utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
        cached_second_ = secs.count();
    }
    put(dest, "{\"time\":\"");
    put(dest, cached_time_.data(), cached_time_.size());
    if (micros >= 0) {
        char fraction[] = ".000000Z\",\"level\":\"";
        auto rest = micros;
        for (int i = 6; i >= 1; --i, rest /= 10) fraction[i] = static_cast<char>('0' + rest % 10);
        put(dest, fraction, sizeof fraction - 1);
    } else {  // a clock before 1970: as fmt pads a negative count
        fmt::format_to(std::back_inserter(dest), ".{:06}Z\",\"level\":\"", micros);
    }
    const auto level = static_cast<std::size_t>(msg.level);
    put(dest, level < std::size(kLevelNames) ? kLevelNames[level] : "off");
    put(dest, "\",\"logger\":");
    append_string(std::string_view(msg.logger_name.data(), msg.logger_name.size()), dest);
    const std::string_view fields = current_fields();
    std::string_view message(msg.payload.data(), msg.payload.size());
    RecordException exception;
    const bool has_exception = !fields.empty() && find_exception(fields, exception);
    if (has_exception) message = message.substr(0, exception.message_size);  // the traceback has its own key
    put(dest, ",\"message\":");
    append_string(message, dest);
    if (msg.source.empty() || msg.source.filename == nullptr) {
        put(dest, ",\"file\":null,\"line\":null");
    } else {
        put(dest, ",\"file\":");
        append_string(msg.source.filename, dest);
        put(dest, ",\"line\":");
        put_int(dest, msg.source.line);
    }
    put(dest, ",\"thread\":");
    put_int(dest, written_thread_id(msg.thread_id));
    put(dest, ",\"pid\":");
    put_int(dest, process_id());
    if (has_exception) {
        dest.push_back(',');
        put(dest, exception.members);
    }
    for_each_field(fields, [&](const Field& f) {
        dest.push_back(',');
        append_string(f.key, dest);
        dest.push_back(':');
        if (f.kind != FieldKind::text) {
            put(dest, f.value);
        } else {
            append_string(f.value, dest);
        }
    });
    put(dest, "}\n");
}

std::unique_ptr<spdlog::formatter> JsonFormatter::clone() const { return std::make_unique<JsonFormatter>(); }

}  // namespace zelvar::libscrivo
