#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <stdexcept>
#include <utility>

namespace spdlog_internal {

MaxSinkLevel::MaxSinkLevel(std::shared_ptr<spdlog::sinks::sink> sink, spdlog::level::level_enum max_level)
    : sink_(std::move(sink)), max_level_(max_level) {
    if (!sink_) {
        throw std::invalid_argument("MaxSinkLevel: the wrapped sink must not be null");
    }
    set_level(sink_->level());
}

// Out of line on purpose: this is the key function, so the vtable and type
// information live (exported) in this library only.
MaxSinkLevel::~MaxSinkLevel() = default;

void MaxSinkLevel::log(const spdlog::details::log_msg& msg) {
    // The logger only checked our level; the wrapped sink's level is checked
    // here as a logger would, which is what makes nested wrappers compose.
    if (msg.level <= max_level_ && sink_->should_log(msg.level)) {
        sink_->log(msg);
    }
}

void MaxSinkLevel::flush() { sink_->flush(); }

void MaxSinkLevel::set_pattern(const std::string& pattern) {
    zelvar::libscrivo::forget_location_free(zelvar::libscrivo::innermost_sink(sink_.get()));
    sink_->set_pattern(pattern);
}

void MaxSinkLevel::set_formatter(std::unique_ptr<spdlog::formatter> sink_formatter) {
    zelvar::libscrivo::forget_location_free(zelvar::libscrivo::innermost_sink(sink_.get()));
    sink_->set_formatter(std::move(sink_formatter));
}

std::shared_ptr<spdlog::sinks::sink> MaxSinkLevel::get_sink() const { return sink_; }

spdlog::level::level_enum MaxSinkLevel::max_level() const { return max_level_; }

}  // namespace spdlog_internal
