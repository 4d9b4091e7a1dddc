// What the logging methods of Logger, DefaultLogger and BoundLogger share: the methods at a fixed
// level, what differs between the three classes, and one record written through an object.
#pragma once

#include <iterator>
#include <memory>
#include <string_view>

#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/python.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "bound_logger.hpp"
#include "default_target.hpp"
#include "emission.hpp"
#include "loggers.hpp"
#include "module_state.hpp"

namespace zelvar::scrivo {

// Those at a fixed level: the six of the native table, then `warning`, the same as `warn`.
struct LevelMethod {
    const char* name;
    int32_t level;
};
inline constexpr LevelMethod kLevelMethods[] = {{"trace", 0}, {"debug", 1},    {"info", 2},   {"warn", 3},
                                                {"error", 4}, {"critical", 5}, {"warning", 3}};
inline constexpr int kLevelMethodCount = static_cast<int>(std::size(kLevelMethods));

// The logging entries of the native tables: the first kMethods of them.
inline constexpr int kMethods = 6;

// What differs between the two classes, for the code shared by both.
template <class Self>
struct Traits;

template <>
struct Traits<LoggerObject> {
    using Table = LoggerVTable;
    static PyTypeObject* type() { return &LoggerType; }
    static constexpr const char* name = "Logger";
    static inline PyObject* functions[kMethods];  // attached at import; anything else is an override
    // The object's own logger: emit() takes a reference of its own only when the call lets go of
    // the interpreter lock (a reference count changed on every call costs a shared cache line).
    static const std::shared_ptr<spdlog::logger>* held(LoggerObject* self) { return &self->logger.logger; }
    static const std::shared_ptr<spdlog::logger>& target(LoggerObject* self) { return self->logger.logger; }
    static std::string_view fields(LoggerObject*) { return {}; }
};

template <>
struct Traits<DefaultLoggerObject> {
    using Table = DefaultLoggerVTable;
    static PyTypeObject* type() { return &DefaultLoggerType; }
    static constexpr const char* name = "DefaultLogger";
    static inline PyObject* functions[kMethods];
    // Kept until the default is replaced, so a newer default is seen at once.
    static const std::shared_ptr<spdlog::logger>* held(DefaultLoggerObject*) { return default_target(); }
    static std::shared_ptr<spdlog::logger> target(DefaultLoggerObject*) { return LoggerRegistry::get_logger("", true); }
    static std::string_view fields(DefaultLoggerObject*) { return {}; }
};

// Through its owner's logger, as the owner would write.
template <>
struct Traits<BoundLoggerObject> {
    static PyTypeObject* type() { return &BoundLoggerType; }
    static constexpr const char* name = "BoundLogger";
    static inline PyObject* functions[kMethods];
    static const std::shared_ptr<spdlog::logger>* held(BoundLoggerObject* self) {
        return self->is_default ? default_target()
                                : Traits<LoggerObject>::held(reinterpret_cast<LoggerObject*>(self->owner));
    }
    static std::shared_ptr<spdlog::logger> target(BoundLoggerObject* self) {
        const auto* own = held(self);
        return own ? *own : LoggerRegistry::get_logger("", true);
    }
    static std::string_view fields(BoundLoggerObject* self) { return self->fields; }
};

// A record at `level` through `self`'s logger, for a caller that holds the interpreter lock;
// `method` names the call in failure reports. A native caller's record (`with_fields` false) carries
// no fields.
template <class Self>
void log_at(Self* self, int32_t level, const char* method, PyObject* msg, int32_t fg, int32_t bg, int32_t effect,
            bool with_fields = true, const CallExtras* call = nullptr) {
    const std::string_view fields = Traits<Self>::fields(self);
    if (const std::shared_ptr<spdlog::logger>* held = Traits<Self>::held(self)) {
        log_text(*held, level, msg, fg, bg, effect, Traits<Self>::name, method, fields, with_fields, call);
        return;
    }
    std::shared_ptr<spdlog::logger> target;
    if (py::guard([&] { return target = Traits<Self>::target(self), 0; }) < 0) return;
    log_text(target, level, msg, fg, bg, effect, Traits<Self>::name, method, fields, with_fields, call);
}

}  // namespace zelvar::scrivo
