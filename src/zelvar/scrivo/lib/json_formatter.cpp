#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "buffer_put.hpp"
#include "quoted_text.hpp"

#include <spdlog/details/log_msg.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <chrono>
#include <ctime>

namespace zelvar::libscrivo {
namespace {

constexpr std::string_view kLevelNames[] = {"trace", "debug", "info", "warning", "error", "critical", "off"};

}  // namespace

void JsonFormatter::append_string(std::string_view text, spdlog::memory_buf_t& dest) {
    put_quoted(text, dest, Quoting::json);
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
