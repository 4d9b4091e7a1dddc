// The handler kinds and the colour scheme, one row each. Their types, properties, pickle hooks and
// unpickle functions are made from the rows (by handler_kind.hpp's templates), their __init__ in
// handler_kind.cpp and their factory calls in factory_calls.cpp.
#include "handlers.hpp"

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/fields.hpp>
#include <zelvar/_pyext/pickle.hpp>
#include <zelvar/_pyext/types.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "handler_kind.hpp"
#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

using py::Field;
namespace field = py::field;

#define ZELVAR_FIELD(name, type, doc, get, set, ...) \
    Field { #name, offsetof(type, name), #name ": " doc, get, set, __VA_ARGS__ }
#define ZELVAR_BOOL(name, type) ZELVAR_FIELD(name, type, "'bool'", field::get_bool, field::set_bool)
#define ZELVAR_TEXT(name, type) ZELVAR_FIELD(name, type, "str", field::get_object, field::set_text, true)
#define ZELVAR_LEVEL(name, type) ZELVAR_FIELD(name, type, "'Level'", get_level, field::set_int32)
#define ZELVAR_SIZE(name, type) ZELVAR_FIELD(name, type, "'size_t'", field::get_size, field::set_size)
#define ZELVAR_INT(name, type) ZELVAR_FIELD(name, type, "'int'", field::get_int32, field::set_int32)
#define ZELVAR_ADDED_FLAG(name, type) ZELVAR_FIELD(name, type, "'bool'", get_added_flag, set_added_flag, true, true)

using spdlog::level::level_enum;
constexpr long long kTrace = 0, kInfo = 2, kWarn = 3;

// The console kinds' base arguments, and the file kinds'.
constexpr BaseArg kColorPatternLevel[] = {{"color"}, {"pattern"}, {"level"}};
constexpr BaseArg kFilePatternLevel[] = {
    {"filename"}, {nullptr, Arg::truth, 0}, {"pattern"}, {"level"}, {nullptr, Arg::truth, 0}};
#define ZELVAR_PARAM_PATTERN {"pattern", Arg::text, 0, kHandlerPatternDefault}

// --- the rows ------------------------------------------------------------------------------

// Their type objects, made from them below.
extern PyTypeObject LogHandlerType, StdoutHandlerType, StderrHandlerType, ConsoleHandlerType, BasicConsoleHandlerType,
    SyslogHandlerType, FileHandlerType, JsonFileHandlerType, JsonStdoutHandlerType, JsonStderrHandlerType,
    DailyFileHandlerType, RotatingFileHandlerType, CallbackHandlerType;

constexpr Field kLogHandlerFields[] = {ZELVAR_BOOL(color, LogHandlerObject), ZELVAR_TEXT(pattern, LogHandlerObject),
                                       ZELVAR_LEVEL(level, LogHandlerObject)};
constexpr Param kLogHandlerParams[] = {{"color", Arg::truth, 1}, ZELVAR_PARAM_PATTERN, {"level", Arg::level, kTrace}};
// The console kinds' reads.
constexpr auto kColorPatternLevelReads = reads_of<kLogHandlerParams>({"color", "pattern", "level"});
constexpr HandlerKind kLogHandler{
    .name = "zelvar.scrivo.scrivo.LogHandler",
    .type = &LogHandlerType,
    .base = nullptr,
    .fields = kLogHandlerFields,
    .params = kLogHandlerParams,
};

constexpr Field kStdoutFields[] = {ZELVAR_LEVEL(max_level, StdoutHandlerObject)};
constexpr Param kStdoutParams[] = {
    {"color", Arg::truth, 0}, ZELVAR_PARAM_PATTERN, {"level", Arg::level, kTrace}, {"max_level", Arg::level, kInfo}};
constexpr auto kStdoutReads = reads_of<kStdoutParams>({"color", "pattern", "level", "max_level"});
constexpr HandlerKind kStdoutHandler{
    .name = "zelvar.scrivo.scrivo.StdoutHandler",
    .type = &StdoutHandlerType,
    .base = &kLogHandler,
    .fields = kStdoutFields,
    .params = kStdoutParams,
    .base_args = kColorPatternLevel,
    .reads = kStdoutReads,
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kStdoutReads, ReadValue> a(got);
            f.add_stdout_handler(a["color"].truth, a["pattern"].text, a["level"].level, a["max_level"].level);
        },
};

constexpr Param kStderrParams[] = {{"color", Arg::truth, 0}, ZELVAR_PARAM_PATTERN, {"level", Arg::level, kWarn}};
constexpr HandlerKind kStderrHandler{
    .name = "zelvar.scrivo.scrivo.StderrHandler",
    .type = &StderrHandlerType,
    .base = &kLogHandler,
    .fields = {},
    .params = kStderrParams,
    .base_args = kColorPatternLevel,
    .reads = kColorPatternLevelReads,
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kColorPatternLevelReads, ReadValue> a(got);
            f.add_stderr_handler(a["color"].truth, a["pattern"].text, a["level"].level);
        },
};

constexpr Field kConsoleFields[] = {ZELVAR_LEVEL(max_stdout_level, ConsoleHandlerObject),
                                    ZELVAR_LEVEL(min_level, ConsoleHandlerObject)};
constexpr Param kConsoleParams[] = {{"color", Arg::truth, 1},
                                    ZELVAR_PARAM_PATTERN,
                                    {"max_stdout_level", Arg::level, kInfo},
                                    {"min_level", Arg::level, kTrace}};
constexpr BaseArg kConsoleBaseArgs[] = {{"color"}, {"pattern"}, {nullptr, Arg::level, kTrace}};
constexpr auto kConsoleReads = reads_of<kConsoleParams>({"color", "pattern", "max_stdout_level", "min_level"});
constexpr HandlerKind kConsoleHandler{
    .name = "zelvar.scrivo.scrivo.ConsoleHandler",
    .type = &ConsoleHandlerType,
    .base = &kLogHandler,
    .fields = kConsoleFields,
    .params = kConsoleParams,
    .base_args = kConsoleBaseArgs,
    .reads = kConsoleReads,
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kConsoleReads, ReadValue> a(got);
            f.add_console_handler(a["color"].truth, a["pattern"].text, a["max_stdout_level"].level,
                                  a["min_level"].level);
        },
};

constexpr Param kBasicConsoleParams[] = {{"color", Arg::truth, 0}, ZELVAR_PARAM_PATTERN, {"level", Arg::level, kTrace}};
constexpr HandlerKind kBasicConsoleHandler{
    .name = "zelvar.scrivo.scrivo.BasicConsoleHandler",
    .type = &BasicConsoleHandlerType,
    .base = &kLogHandler,
    .fields = {},
    .params = kBasicConsoleParams,
    .base_args = kColorPatternLevel,
    .reads = kColorPatternLevelReads,
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kColorPatternLevelReads, ReadValue> a(got);
            f.add_basic_console_handler(a["color"].truth, a["pattern"].text, a["level"].level);
        },
};

// A chosen format joined the pickle state later: handlers without one are written as before it.
constexpr Field kSyslogFields[] = {
    ZELVAR_FIELD(address, SyslogHandlerObject, "object", field::get_object, set_address, true),
    ZELVAR_TEXT(facility, SyslogHandlerObject),
    ZELVAR_TEXT(ident, SyslogHandlerObject),
    ZELVAR_TEXT(protocol, SyslogHandlerObject),
    ZELVAR_FIELD(format, SyslogHandlerObject, "str", field::get_object, field::set_text, true, true),
};
constexpr Param kSyslogParams[] = {
    {"address", Arg::address, 0, "/dev/log"}, {"facility", Arg::text, 0, "user"}, {"ident", Arg::optional_text},
    {"protocol", Arg::text, 0, "udp"},        {"pattern", Arg::text, 0, "%v"},    {"level", Arg::level, kTrace},
    {"format", Arg::optional_text},  // None: by transport
};
constexpr BaseArg kSyslogBaseArgs[] = {{nullptr, Arg::truth, 0}, {"pattern"}, {"level"}};
constexpr auto kSyslogReads =
    reads_of<kSyslogParams>({"address", "facility", "ident", "protocol", "pattern", "level", "format"});
// The names are checked where the sink checks them, with the same messages.
bool check_syslog_names(const InitValue* taken) {
    const Named<kSyslogParams, InitValue> t(taken);
    PyObject *facility = t["facility"].object, *protocol = t["protocol"].object, *format = t["format"].object;
    if (facility != Py_None && protocol != Py_None) {
        const char* f = PyUnicode_AsUTF8(facility);
        const char* p = f ? PyUnicode_AsUTF8(protocol) : nullptr;
        if (!p || py::guard([&] { return libscrivo::SyslogSink::check_names(f, p), 0; }) < 0) return false;
    }
    if (format != Py_None) {
        const char* name = PyUnicode_AsUTF8(format);
        if (!name || py::guard([&] { return libscrivo::SyslogSink::check_format(name), 0; }) < 0) return false;
    }
    return true;
}
constexpr HandlerKind kSyslogHandler{
    .name = "zelvar.scrivo.scrivo.SyslogHandler",
    .type = &SyslogHandlerType,
    .base = &kLogHandler,
    .fields = kSyslogFields,
    .params = kSyslogParams,
    .positional = 6,
    .base_args = kSyslogBaseArgs,
    .check = check_syslog_names,
    .reads = kSyslogReads,
    .check_call =
        [](const ReadValue* got) {
            const Named<kSyslogReads, ReadValue> a(got);
            LoggerFactory::check_syslog_handler(a["address"].text, a["address"].port, a["facility"].text,
                                                a["ident"].text, a["protocol"].text, a["format"].text);
        },
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kSyslogReads, ReadValue> a(got);
            f.add_syslog_handler(a["address"].text, a["address"].port, a["facility"].text, a["ident"].text,
                                 a["protocol"].text, a["pattern"].text, a["level"].level, a["format"].text);
        },
};

constexpr Field kFileFields[] = {ZELVAR_TEXT(filename, FileHandlerObject), ZELVAR_BOOL(overwrite, FileHandlerObject)};
constexpr Param kFileParams[] = {{"filename", Arg::text},
                                 {"color", Arg::truth, 0},
                                 ZELVAR_PARAM_PATTERN,
                                 {"level", Arg::level, kTrace},
                                 {"overwrite", Arg::truth, 0}};
constexpr auto kFileReads = reads_of<kFileParams>({"filename", "pattern", "level", "overwrite"});
constexpr HandlerKind kFileHandler{
    .name = "zelvar.scrivo.scrivo.FileHandler",
    .type = &FileHandlerType,
    .base = &kLogHandler,
    .fields = kFileFields,
    .params = kFileParams,
    .required = 1,
    .base_args = kColorPatternLevel,
    .reads = kFileReads,
    .check_call =
        [](const ReadValue* got) {
            LoggerFactory::check_file_handler(Named<kFileReads, ReadValue>(got)["filename"].text);
        },
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kFileReads, ReadValue> a(got);
            f.add_file_handler(a["filename"].text, a["pattern"].text, a["level"].level, a["overwrite"].truth);
        },
};

// JSON records whatever a pattern would say: no pattern, color False.
constexpr Field kJsonFields[] = {ZELVAR_SIZE(max_size, JsonFileHandlerObject),
                                 ZELVAR_SIZE(max_files, JsonFileHandlerObject)};
constexpr Param kJsonParams[] = {{"filename", Arg::text},
                                 {"level", Arg::level, kTrace},
                                 {"overwrite", Arg::truth, 0},
                                 {"max_size", Arg::size, 0},
                                 {"max_files", Arg::size, 0}};
constexpr BaseArg kJsonBaseArgs[] = {{"filename"}, {nullptr, Arg::truth, 0}, {nullptr}, {"level"}, {"overwrite"}};
constexpr auto kJsonReads = reads_of<kJsonParams>({"filename", "level", "overwrite", "max_size", "max_files"});
constexpr HandlerKind kJsonFileHandler{
    .name = "zelvar.scrivo.scrivo.JsonFileHandler",
    .type = &JsonFileHandlerType,
    .base = &kFileHandler,
    .fields = kJsonFields,
    .params = kJsonParams,
    .required = 1,
    .base_args = kJsonBaseArgs,
    .reads = kJsonReads,
    .check_call =
        [](const ReadValue* got) {
            const Named<kJsonReads, ReadValue> a(got);
            LoggerFactory::check_json_file_handler(a["filename"].text, a["max_size"].size, a["max_files"].size);
        },
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kJsonReads, ReadValue> a(got);
            f.add_json_file_handler(a["filename"].text, a["level"].level, a["overwrite"].truth, a["max_size"].size,
                                    a["max_files"].size);
        },
};

// The same lines to a standard stream, by its descriptor.
constexpr Param kJsonConsoleParams[] = {{"level", Arg::level, kTrace}};
constexpr BaseArg kJsonConsoleBaseArgs[] = {{nullptr, Arg::truth, 0}, {nullptr}, {"level"}};
constexpr auto kJsonConsoleReads = reads_of<kJsonConsoleParams>({"level"});
constexpr HandlerKind kJsonStdoutHandler{
    .name = "zelvar.scrivo.scrivo.JsonStdoutHandler",
    .type = &JsonStdoutHandlerType,
    .base = &kLogHandler,
    .fields = {},
    .params = kJsonConsoleParams,
    .base_args = kJsonConsoleBaseArgs,
    .reads = kJsonConsoleReads,
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            f.add_json_stdout_handler(Named<kJsonConsoleReads, ReadValue>(got)["level"].level);
        },
};
constexpr HandlerKind kJsonStderrHandler{
    .name = "zelvar.scrivo.scrivo.JsonStderrHandler",
    .type = &JsonStderrHandlerType,
    .base = &kLogHandler,
    .fields = {},
    .params = kJsonConsoleParams,
    .base_args = kJsonConsoleBaseArgs,
    .reads = kJsonConsoleReads,
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            f.add_json_stderr_handler(Named<kJsonConsoleReads, ReadValue>(got)["level"].level);
        },
};

// `compress` joined both later, keyword-only.
constexpr Field kDailyFields[] = {ZELVAR_INT(hour, DailyFileHandlerObject), ZELVAR_INT(minute, DailyFileHandlerObject),
                                  ZELVAR_SIZE(max_files, DailyFileHandlerObject),
                                  ZELVAR_ADDED_FLAG(compress, DailyFileHandlerObject)};
constexpr Param kDailyParams[] = {
    {"filename", Arg::text}, {"hour", Arg::bounded, 23},    {"minute", Arg::bounded, 59}, {"max_files", Arg::size, 0},
    ZELVAR_PARAM_PATTERN,    {"level", Arg::level, kTrace}, {"compress", Arg::truth, 0}};
constexpr auto kDailyReads =
    reads_of<kDailyParams>({"filename", "hour", "minute", "max_files", "pattern", "level", "compress"});
constexpr HandlerKind kDailyFileHandler{
    .name = "zelvar.scrivo.scrivo.DailyFileHandler",
    .type = &DailyFileHandlerType,
    .base = &kFileHandler,
    .fields = kDailyFields,
    .params = kDailyParams,
    .required = 1,
    .positional = 6,
    .base_args = kFilePatternLevel,
    .reads = kDailyReads,
    .check_call =
        [](const ReadValue* got) {
            const Named<kDailyReads, ReadValue> a(got);
            LoggerFactory::check_daily_file_handler(a["filename"].text, a["hour"].int32, a["minute"].int32);
        },
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kDailyReads, ReadValue> a(got);
            f.add_daily_file_handler(a["filename"].text, a["hour"].int32, a["minute"].int32, a["max_files"].size,
                                     a["pattern"].text, a["level"].level, a["compress"].truth);
        },
};

constexpr Field kRotatingFields[] = {ZELVAR_SIZE(max_size, RotatingFileHandlerObject),
                                     ZELVAR_SIZE(max_files, RotatingFileHandlerObject),
                                     ZELVAR_ADDED_FLAG(compress, RotatingFileHandlerObject)};
constexpr Param kRotatingParams[] = {{"filename", Arg::text},       ZELVAR_PARAM_PATTERN,
                                     {"level", Arg::level, kTrace}, {"max_size", Arg::size, 1048576},
                                     {"max_files", Arg::size, 3},   {"compress", Arg::truth, 0}};
constexpr auto kRotatingReads =
    reads_of<kRotatingParams>({"filename", "max_size", "max_files", "pattern", "level", "compress"});
constexpr HandlerKind kRotatingFileHandler{
    .name = "zelvar.scrivo.scrivo.RotatingFileHandler",
    .type = &RotatingFileHandlerType,
    .base = &kFileHandler,
    .fields = kRotatingFields,
    .params = kRotatingParams,
    .required = 1,
    .positional = 5,
    // The docstring it was published with, which callers read as its signature; compress is in the stubs.
    .documented = 5,
    .base_args = kFilePatternLevel,
    .reads = kRotatingReads,
    .check_call =
        [](const ReadValue* got) {
            const Named<kRotatingReads, ReadValue> a(got);
            LoggerFactory::check_rotating_file_handler(a["filename"].text, a["max_size"].size, a["max_files"].size);
        },
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kRotatingReads, ReadValue> a(got);
            f.add_rotating_file_handler(a["filename"].text, a["max_size"].size, a["max_files"].size, a["pattern"].text,
                                        a["level"].level, a["compress"].truth);
        },
};

// Each record's dict to a Python callable (callback_sink.hpp); pattern None, color False.
constexpr Field kCallbackFields[] = {
    ZELVAR_FIELD(callable, CallbackHandlerObject, "object", field::get_object, set_callable, true)};
constexpr Param kCallbackParams[] = {{"callable", Arg::callable}, {"level", Arg::level, kTrace}};
constexpr BaseArg kCallbackBaseArgs[] = {{nullptr, Arg::truth, 0}, {nullptr}, {"level"}};
constexpr auto kCallbackReads = reads_of<kCallbackParams>({"callable", "level"});
constexpr HandlerKind kCallbackHandler{
    .name = "zelvar.scrivo.scrivo.CallbackHandler",
    .type = &CallbackHandlerType,
    .base = &kLogHandler,
    .fields = kCallbackFields,
    .params = kCallbackParams,
    .required = 1,
    .base_args = kCallbackBaseArgs,
    .reads = kCallbackReads,
    .add =
        [](LoggerFactory& f, const ReadValue* got) {
            const Named<kCallbackReads, ReadValue> a(got);
            a["callable"].sink->set_level(a["level"].level);
            f.add_sink(a["callable"].sink);
        },
};

#define ZELVAR_COLOR(name) ZELVAR_INT(name, ColorSchemeObject)
constexpr Field kColorFields[] = {ZELVAR_COLOR(trace_color), ZELVAR_COLOR(debug_color), ZELVAR_COLOR(info_color),
                                  ZELVAR_COLOR(warn_color),  ZELVAR_COLOR(error_color), ZELVAR_COLOR(critical_color)};
constexpr Param kColorParams[] = {{"trace_color", Arg::int32, -1}, {"debug_color", Arg::int32, -1},
                                  {"info_color", Arg::int32, -1},  {"warn_color", Arg::int32, -1},
                                  {"error_color", Arg::int32, -1}, {"critical_color", Arg::int32, -1}};
constexpr HandlerKind kColorScheme{
    .name = "zelvar.scrivo.scrivo.ColorScheme",
    .type = &ColorSchemeType,
    .base = nullptr,
    .fields = kColorFields,
    .params = kColorParams,
};
#undef ZELVAR_COLOR
#undef ZELVAR_PARAM_PATTERN
#undef ZELVAR_INT
#undef ZELVAR_SIZE
#undef ZELVAR_LEVEL
#undef ZELVAR_TEXT
#undef ZELVAR_BOOL
#undef ZELVAR_ADDED_FLAG
#undef ZELVAR_FIELD

constexpr const HandlerKind* kKinds[] = {
    &kLogHandler,          &kStdoutHandler,   &kStderrHandler,     &kConsoleHandler,    &kBasicConsoleHandler,
    &kSyslogHandler,       &kJsonFileHandler, &kJsonStdoutHandler, &kJsonStderrHandler, &kDailyFileHandler,
    &kRotatingFileHandler, &kFileHandler,     &kCallbackHandler,   &kColorScheme,
};
constexpr std::size_t kKindCount = std::size(kKinds);

template <const HandlerKind& K>
constexpr std::size_t kIndex = [] {
    std::size_t i = 0;
    while (kKinds[i] != &K) ++i;
    return i;
}();

// --- what is made from them ----------------------------------------------------------------

KindPickle g_pickles[kKindCount];

}  // namespace

template <const HandlerKind& K>
PyObject* reduce(PyObject* self, PyObject*) {
    return py::reduce(self, g_pickles[kIndex<K>].def);
}

template <const HandlerKind& K>
PyObject* set_state(PyObject* self, PyObject* state) {
    return py::set_state(self, state, g_pickles[kIndex<K>].def);
}

template <const HandlerKind& K>
PyObject* unpickle(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return py::unpickle(args, nargs, kwnames, g_pickles[kIndex<K>].def);
}

namespace {

using UnpickleFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

template <std::size_t... I>
constexpr std::array<UnpickleFunction, sizeof...(I)> unpickle_functions(std::index_sequence<I...>) {
    return {unpickle<*kKinds[I]>...};
}

PyTypeObject LogHandlerType = kind_type<kLogHandler, LogHandlerObject>();
PyTypeObject StdoutHandlerType = kind_type<kStdoutHandler, StdoutHandlerObject>();
PyTypeObject StderrHandlerType = kind_type<kStderrHandler, StderrHandlerObject>();
PyTypeObject ConsoleHandlerType = kind_type<kConsoleHandler, ConsoleHandlerObject>();
PyTypeObject BasicConsoleHandlerType = kind_type<kBasicConsoleHandler, BasicConsoleHandlerObject>();
PyTypeObject SyslogHandlerType = kind_type<kSyslogHandler, SyslogHandlerObject>();
PyTypeObject FileHandlerType = kind_type<kFileHandler, FileHandlerObject>();
PyTypeObject JsonFileHandlerType = kind_type<kJsonFileHandler, JsonFileHandlerObject>();
PyTypeObject JsonStdoutHandlerType = kind_type<kJsonStdoutHandler, JsonStdoutHandlerObject>();
PyTypeObject JsonStderrHandlerType = kind_type<kJsonStderrHandler, JsonStderrHandlerObject>();
PyTypeObject DailyFileHandlerType = kind_type<kDailyFileHandler, DailyFileHandlerObject>();
PyTypeObject RotatingFileHandlerType = kind_type<kRotatingFileHandler, RotatingFileHandlerObject>();
PyTypeObject CallbackHandlerType = kind_type<kCallbackHandler, CallbackHandlerObject>();

}  // namespace

PyTypeObject ColorSchemeType = kind_type<kColorScheme, ColorSchemeObject>();

std::span<const HandlerKind* const> handler_kinds() { return kKinds; }

bool add_handler_types(PyObject* module) {
    // Once: the unpickle functions keep pointers into the layouts.
    static const bool made = [] {
        for (std::size_t i = 0; i < kKindCount; ++i) make_pickle(*kKinds[i], g_pickles[i]);
        return true;
    }();
    (void)made;
    for (const HandlerKind* kind : kKinds) {
        if (!py::add_type(module, kind->type, std::strrchr(kind->name, '.') + 1)) return false;
    }
    return true;
}

bool add_handler_unpickle_functions(PyObject* module) {
    static constexpr auto functions = unpickle_functions(std::make_index_sequence<kKindCount>());
    static PyMethodDef defs[kKindCount + 1] = {};
    for (std::size_t i = 0; i < kKindCount; ++i) {
        defs[i] = {g_pickles[i].unpickle_name.c_str(),
                   reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(functions[i])),
                   METH_FASTCALL | METH_KEYWORDS, g_pickles[i].unpickle_doc.c_str()};
    }
    return PyModule_AddFunctions(module, defs) == 0;
}

}  // namespace zelvar::scrivo
