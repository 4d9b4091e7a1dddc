// Handler descriptions and the color scheme: types, properties and pickle hooks (their __init__s are
// in handler_init.cpp).
#include "handlers.hpp"

#include "handler_init.hpp"

#include <cstddef>

#include <zelvar/_pyext/args.hpp>
#include <zelvar/_pyext/convert.hpp>
#include <zelvar/_pyext/errors.hpp>
#include <zelvar/_pyext/fields.hpp>
#include <zelvar/_pyext/pickle.hpp>
#include <zelvar/_pyext/ref.hpp>
#include <zelvar/_pyext/types.hpp>
#include <zelvar/scrivo/scrivo.hpp>

#include "module_state.hpp"

namespace zelvar::scrivo {
namespace {

using py::Field;
using py::PickleDef;
using py::Properties;
using py::unpickle_def;
namespace field = py::field;

// --- fields -------------------------------------------------------------------------------

int set_address(void* slot, PyObject* v) {
    if (!v) v = Py_None;
    if (!check_address(v)) return -1;
    field::store_object(slot, v);
    return 0;
}

// Levels read back as Level members, through the module's `Level` as bound now.
PyObject* get_level(const void* slot) { return level_to_python(*static_cast<const int32_t*>(slot)); }

#define ZELVAR_FIELD(name, type, doc, get, set, ...) \
    Field { #name, offsetof(type, name), #name ": " doc, get, set, __VA_ARGS__ }
#define ZELVAR_BOOL(name, type) ZELVAR_FIELD(name, type, "'bool'", field::get_bool, field::set_bool)
#define ZELVAR_TEXT(name, type) ZELVAR_FIELD(name, type, "str", field::get_object, field::set_text, true)
#define ZELVAR_LEVEL(name, type) ZELVAR_FIELD(name, type, "'Level'", get_level, field::set_int32)
#define ZELVAR_SIZE(name, type) ZELVAR_FIELD(name, type, "'size_t'", field::get_size, field::set_size)
constexpr Field kColor = ZELVAR_BOOL(color, LogHandlerObject);
constexpr Field kPattern = ZELVAR_TEXT(pattern, LogHandlerObject);
constexpr Field kLevel = ZELVAR_LEVEL(level, LogHandlerObject);
constexpr Field kMaxLevel = ZELVAR_LEVEL(max_level, StdoutHandlerObject);
constexpr Field kMaxStdoutLevel = ZELVAR_LEVEL(max_stdout_level, ConsoleHandlerObject);
constexpr Field kMinLevel = ZELVAR_LEVEL(min_level, ConsoleHandlerObject);
constexpr Field kFilename = ZELVAR_TEXT(filename, FileHandlerObject);
constexpr Field kOverwrite = ZELVAR_BOOL(overwrite, FileHandlerObject);
constexpr Field kMaxSize = ZELVAR_SIZE(max_size, RotatingFileHandlerObject);
constexpr Field kMaxFiles = ZELVAR_SIZE(max_files, RotatingFileHandlerObject);
constexpr Field kJsonMaxSize = ZELVAR_SIZE(max_size, JsonFileHandlerObject);
constexpr Field kJsonMaxFiles = ZELVAR_SIZE(max_files, JsonFileHandlerObject);
constexpr Field kHour = ZELVAR_FIELD(hour, DailyFileHandlerObject, "'int'", field::get_int32, field::set_int32);
constexpr Field kMinute = ZELVAR_FIELD(minute, DailyFileHandlerObject, "'int'", field::get_int32, field::set_int32);
constexpr Field kDailyMaxFiles = ZELVAR_SIZE(max_files, DailyFileHandlerObject);
constexpr Field kAddress = ZELVAR_FIELD(address, SyslogHandlerObject, "object", field::get_object, set_address, true);
constexpr Field kFacility = ZELVAR_TEXT(facility, SyslogHandlerObject);
constexpr Field kIdent = ZELVAR_TEXT(ident, SyslogHandlerObject);
constexpr Field kProtocol = ZELVAR_TEXT(protocol, SyslogHandlerObject);
constexpr Field kFormat = ZELVAR_TEXT(format, SyslogHandlerObject);
#define ZELVAR_COLOR_FIELD(name) ZELVAR_FIELD(name, ColorSchemeObject, "'int'", field::get_int32, field::set_int32)
constexpr Field kTraceColor = ZELVAR_COLOR_FIELD(trace_color);
constexpr Field kDebugColor = ZELVAR_COLOR_FIELD(debug_color);
constexpr Field kInfoColor = ZELVAR_COLOR_FIELD(info_color);
constexpr Field kWarnColor = ZELVAR_COLOR_FIELD(warn_color);
constexpr Field kErrorColor = ZELVAR_COLOR_FIELD(error_color);
constexpr Field kCriticalColor = ZELVAR_COLOR_FIELD(critical_color);
#undef ZELVAR_COLOR_FIELD
#undef ZELVAR_SIZE
#undef ZELVAR_LEVEL
#undef ZELVAR_TEXT
#undef ZELVAR_BOOL
#undef ZELVAR_FIELD

// Each class's own fields, in declared order: its properties.
constexpr Field kLogHandlerFields[] = {kColor, kPattern, kLevel};
constexpr Field kStdoutFields[] = {kMaxLevel};
constexpr Field kConsoleFields[] = {kMaxStdoutLevel, kMinLevel};
constexpr Field kFileFields[] = {kFilename, kOverwrite};
constexpr Field kRotatingFields[] = {kMaxSize, kMaxFiles};
constexpr Field kJsonFields[] = {kJsonMaxSize, kJsonMaxFiles};
constexpr Field kDailyFields[] = {kHour, kMinute, kDailyMaxFiles};
constexpr Field kSyslogFields[] = {kAddress, kFacility, kIdent, kProtocol, kFormat};
constexpr Field kColorFields[] = {kTraceColor, kDebugColor, kInfoColor, kWarnColor, kErrorColor, kCriticalColor};

Properties g_log_handler_props(kLogHandlerFields);
Properties g_stdout_props(kStdoutFields);
Properties g_console_props(kConsoleFields);
Properties g_file_props(kFileFields);
Properties g_rotating_props(kRotatingFields);
Properties g_json_props(kJsonFields);
Properties g_daily_props(kDailyFields);
Properties g_syslog_props(kSyslogFields);
Properties g_color_props(kColorFields);

// --- pickle states: all fields of the class, in ascending order of name ---------------------

constexpr const Field* kHandlerState[] = {&kColor, &kLevel, &kPattern};
constexpr const Field* kStdoutState[] = {&kColor, &kLevel, &kMaxLevel, &kPattern};
constexpr const Field* kConsoleState[] = {&kColor, &kLevel, &kMaxStdoutLevel, &kMinLevel, &kPattern};
constexpr const Field* kFileState[] = {&kColor, &kFilename, &kLevel, &kOverwrite, &kPattern};
constexpr const Field* kRotatingState[] = {&kColor, &kFilename, &kLevel, &kMaxFiles, &kMaxSize, &kOverwrite, &kPattern};
constexpr const Field* kJsonState[] = {&kColor,       &kFilename,  &kLevel,  &kJsonMaxFiles,
                                       &kJsonMaxSize, &kOverwrite, &kPattern};
constexpr const Field* kDailyState[] = {&kColor,         &kFilename, &kHour,      &kLevel,
                                        &kDailyMaxFiles, &kMinute,   &kOverwrite, &kPattern};
constexpr const Field* kSyslogState[] = {&kAddress, &kColor, &kFacility, &kIdent, &kLevel, &kPattern, &kProtocol};
constexpr const Field* kSyslogFormatState[] = {&kAddress, &kColor, &kFacility, &kFormat,
                                               &kIdent,   &kLevel, &kPattern,  &kProtocol};
constexpr const Field* kColorState[] = {&kCriticalColor, &kDebugColor, &kErrorColor,
                                        &kInfoColor,     &kTraceColor, &kWarnColor};

#define ZELVAR_UNPICKLE(cls) "__pyx_unpickle_" #cls
#define ZELVAR_UNPICKLE_DOC(cls) "__pyx_unpickle_" #cls "(__pyx_type, long __pyx_checksum, tuple __pyx_state)"
#define ZELVAR_PICKLE_SPEC(cls, state, a, b, c, members)                                                         \
    const PickleDef k##cls##Pickle{                                                                              \
        &cls##Type, ZELVAR_UNPICKLE(cls), ZELVAR_UNPICKLE_DOC(cls), state, std::size(state), {a, b, c}, members, \
        module};

constexpr const char* kHandlerMembers = "color, level, pattern";
ZELVAR_PICKLE_SPEC(LogHandler, kHandlerState, 0xed0a034, 0x898f195, 0xda882a8, kHandlerMembers)
ZELVAR_PICKLE_SPEC(StderrHandler, kHandlerState, 0xed0a034, 0x898f195, 0xda882a8, kHandlerMembers)
ZELVAR_PICKLE_SPEC(BasicConsoleHandler, kHandlerState, 0xed0a034, 0x898f195, 0xda882a8, kHandlerMembers)
ZELVAR_PICKLE_SPEC(StdoutHandler, kStdoutState, 0xabd6ee, 0x8fb38a4, 0x618cda8, "color, level, max_level, pattern")
ZELVAR_PICKLE_SPEC(ConsoleHandler, kConsoleState, 0x657ea3e, 0x8438060, 0x1815032,
                   "color, level, max_stdout_level, min_level, pattern")
ZELVAR_PICKLE_SPEC(FileHandler, kFileState, 0x6d8a223, 0x70179c, 0x377dbcf,
                   "color, filename, level, overwrite, pattern")
ZELVAR_PICKLE_SPEC(RotatingFileHandler, kRotatingState, 0x2a7620a, 0xc011a13, 0x305a5e5,
                   "color, filename, level, max_files, max_size, overwrite, pattern")
ZELVAR_PICKLE_SPEC(JsonFileHandler, kJsonState, 0x2a7620a, 0xc011a13, 0x305a5e5,
                   "color, filename, level, max_files, max_size, overwrite, pattern")
ZELVAR_PICKLE_SPEC(DailyFileHandler, kDailyState, 0x91c49fb, 0x69dfbbf, 0xefad60e,
                   "color, filename, hour, level, max_files, minute, overwrite, pattern")
// A chosen format needs the wider state; the others are written as before it existed.
#define ZELVAR_SYSLOG_PICKLE(name, state, a, b, c, members, wider) \
    const PickleDef name{&SyslogHandlerType,                       \
                         ZELVAR_UNPICKLE(SyslogHandler),           \
                         ZELVAR_UNPICKLE_DOC(SyslogHandler),       \
                         state,                                    \
                         std::size(state),                         \
                         {a, b, c},                                \
                         members,                                  \
                         module,                                   \
                         wider};
ZELVAR_SYSLOG_PICKLE(kSyslogFormatPickle, kSyslogFormatState, 0x9dfbb33, 0x6035f09, 0x2206aaf,
                     "address, color, facility, format, ident, level, pattern, protocol", nullptr)
ZELVAR_SYSLOG_PICKLE(kSyslogHandlerPickle, kSyslogState, 0xeb9f7b7, 0x1997e50, 0x5c5b696,
                     "address, color, facility, ident, level, pattern, protocol", &kSyslogFormatPickle)
#undef ZELVAR_SYSLOG_PICKLE
ZELVAR_PICKLE_SPEC(ColorScheme, kColorState, 0x1f3eb33, 0x769ca9f, 0x8e69ee,
                   "critical_color, debug_color, error_color, info_color, trace_color, warn_color")

#define ZELVAR_METHODS(cls) \
    PyMethodDef g_##cls##_methods[] = {ZELVAR_PICKLE_METHODS(k##cls##Pickle), {nullptr, nullptr, 0, nullptr}};
ZELVAR_METHODS(LogHandler)
ZELVAR_METHODS(StdoutHandler)
ZELVAR_METHODS(StderrHandler)
ZELVAR_METHODS(BasicConsoleHandler)
ZELVAR_METHODS(ConsoleHandler)
ZELVAR_METHODS(FileHandler)
ZELVAR_METHODS(RotatingFileHandler)
ZELVAR_METHODS(JsonFileHandler)
ZELVAR_METHODS(DailyFileHandler)
ZELVAR_METHODS(SyslogHandler)
ZELVAR_METHODS(ColorScheme)
#undef ZELVAR_METHODS

// --- allocation ----------------------------------------------------------------------------

// Fresh objects: text fields None, everything else zero (tp_alloc zeroes the memory).
PyObject* handler_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    reinterpret_cast<LogHandlerObject*>(self)->pattern = Py_NewRef(Py_None);
    if (PyType_IsSubtype(type, &FileHandlerType)) {
        reinterpret_cast<FileHandlerObject*>(self)->filename = Py_NewRef(Py_None);
    }
    if (PyType_IsSubtype(type, &SyslogHandlerType)) {
        auto* h = reinterpret_cast<SyslogHandlerObject*>(self);
        for (PyObject** slot : {&h->address, &h->facility, &h->ident, &h->protocol, &h->format})
            *slot = Py_NewRef(Py_None);
    }
    return self;
}

void handler_dealloc(PyObject* self) {
    auto* h = reinterpret_cast<LogHandlerObject*>(self);
    Py_CLEAR(h->pattern);
    if (PyObject_TypeCheck(self, &FileHandlerType)) Py_CLEAR(reinterpret_cast<FileHandlerObject*>(self)->filename);
    if (PyObject_TypeCheck(self, &SyslogHandlerType)) {
        auto* s = reinterpret_cast<SyslogHandlerObject*>(self);
        Py_CLEAR(s->address);
        Py_CLEAR(s->facility);
        Py_CLEAR(s->ident);
        Py_CLEAR(s->protocol);
        Py_CLEAR(s->format);
    }
    py::free_object(self);
}

PyObject* color_scheme_new(PyTypeObject* type, PyObject*, PyObject*) { return type->tp_alloc(type, 0); }

// --- type objects --------------------------------------------------------------------------

// A handler type: a subclass inherits allocation and deallocation from its base.
PyTypeObject make_type(const char* name, std::size_t size, const char* doc, PyMethodDef* methods, PyGetSetDef* getset,
                       PyTypeObject* base, initproc init) {
    return py::make_type({
        .name = name,
        .basicsize = static_cast<Py_ssize_t>(size),
        .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
        .doc = doc,
        .base = base,
        .methods = methods,
        .getset = getset,
        .new_ = base ? nullptr : handler_new,
        .init = init,
        .dealloc = base ? nullptr : handler_dealloc,
    });
}

#define ZELVAR_DOC_PATTERN "str pattern='[%Y-%m-%d %H:%M:%S.%e] [%n] [%^%l%$] %v'"

}  // namespace

PyTypeObject LogHandlerType = make_type("zelvar.scrivo.scrivo.LogHandler", sizeof(LogHandlerObject),
                                        "LogHandler(bool color=True, " ZELVAR_DOC_PATTERN ", Level level=Level.TRACE)",
                                        g_LogHandler_methods, g_log_handler_props.defs, nullptr, log_handler_init);

PyTypeObject StdoutHandlerType = make_type(
    "zelvar.scrivo.scrivo.StdoutHandler", sizeof(StdoutHandlerObject),
    "StdoutHandler(bool color=False, " ZELVAR_DOC_PATTERN ", Level level=Level.TRACE, Level max_level=Level.INFO)",
    g_StdoutHandler_methods, g_stdout_props.defs, &LogHandlerType, stdout_handler_init);

PyTypeObject StderrHandlerType =
    make_type("zelvar.scrivo.scrivo.StderrHandler", sizeof(StderrHandlerObject),
              "StderrHandler(bool color=False, " ZELVAR_DOC_PATTERN ", Level level=Level.WARN)",
              g_StderrHandler_methods, nullptr, &LogHandlerType, stderr_handler_init);

PyTypeObject BasicConsoleHandlerType =
    make_type("zelvar.scrivo.scrivo.BasicConsoleHandler", sizeof(BasicConsoleHandlerObject),
              "BasicConsoleHandler(bool color=False, " ZELVAR_DOC_PATTERN ", Level level=Level.TRACE)",
              g_BasicConsoleHandler_methods, nullptr, &LogHandlerType, basic_console_handler_init);

PyTypeObject ConsoleHandlerType =
    make_type("zelvar.scrivo.scrivo.ConsoleHandler", sizeof(ConsoleHandlerObject),
              "ConsoleHandler(bool color=True, " ZELVAR_DOC_PATTERN
              ", Level max_stdout_level=Level.INFO, Level min_level=Level.TRACE)",
              g_ConsoleHandler_methods, g_console_props.defs, &LogHandlerType, console_handler_init);

PyTypeObject FileHandlerType = make_type("zelvar.scrivo.scrivo.FileHandler", sizeof(FileHandlerObject),
                                         "FileHandler(str filename, bool color=False, " ZELVAR_DOC_PATTERN
                                         ", Level level=Level.TRACE, bool overwrite=False)",
                                         g_FileHandler_methods, g_file_props.defs, &LogHandlerType, file_handler_init);

PyTypeObject RotatingFileHandlerType =
    make_type("zelvar.scrivo.scrivo.RotatingFileHandler", sizeof(RotatingFileHandlerObject),
              "RotatingFileHandler(str filename, " ZELVAR_DOC_PATTERN
              ", Level level=Level.TRACE, size_t max_size=1048576, size_t max_files=3)",
              g_RotatingFileHandler_methods, g_rotating_props.defs, &FileHandlerType, rotating_file_handler_init);

PyTypeObject JsonFileHandlerType =
    make_type("zelvar.scrivo.scrivo.JsonFileHandler", sizeof(JsonFileHandlerObject),
              "JsonFileHandler(str filename, Level level=Level.TRACE, bool overwrite=False, size_t max_size=0, "
              "size_t max_files=0)",
              g_JsonFileHandler_methods, g_json_props.defs, &FileHandlerType, json_file_handler_init);

PyTypeObject DailyFileHandlerType =
    make_type("zelvar.scrivo.scrivo.DailyFileHandler", sizeof(DailyFileHandlerObject),
              "DailyFileHandler(str filename, int hour=0, int minute=0, size_t max_files=0, " ZELVAR_DOC_PATTERN
              ", Level level=Level.TRACE)",
              g_DailyFileHandler_methods, g_daily_props.defs, &FileHandlerType, daily_file_handler_init);

PyTypeObject SyslogHandlerType =
    make_type("zelvar.scrivo.scrivo.SyslogHandler", sizeof(SyslogHandlerObject),
              "SyslogHandler(address='/dev/log', str facility='user', str ident=None, str protocol='udp', "
              "str pattern='%v', Level level=Level.TRACE, *, str format=None)",
              g_SyslogHandler_methods, g_syslog_props.defs, &LogHandlerType, syslog_handler_init);

PyTypeObject ColorSchemeType = [] {
    PyTypeObject t =
        make_type("zelvar.scrivo.scrivo.ColorScheme", sizeof(ColorSchemeObject),
                  "ColorScheme(int trace_color=-1, int debug_color=-1, int info_color=-1, int warn_color=-1, "
                  "int error_color=-1, int critical_color=-1)",
                  g_ColorScheme_methods, g_color_props.defs, nullptr, color_scheme_init);
    t.tp_new = color_scheme_new;
    t.tp_dealloc = py::free_object;
    return t;
}();

bool add_handler_types(PyObject* module) {
    return py::add_type(module, &LogHandlerType, "LogHandler") &&
           py::add_type(module, &StdoutHandlerType, "StdoutHandler") &&
           py::add_type(module, &StderrHandlerType, "StderrHandler") &&
           py::add_type(module, &BasicConsoleHandlerType, "BasicConsoleHandler") &&
           py::add_type(module, &ConsoleHandlerType, "ConsoleHandler") &&
           py::add_type(module, &FileHandlerType, "FileHandler") &&
           py::add_type(module, &RotatingFileHandlerType, "RotatingFileHandler") &&
           py::add_type(module, &JsonFileHandlerType, "JsonFileHandler") &&
           py::add_type(module, &DailyFileHandlerType, "DailyFileHandler") &&
           py::add_type(module, &SyslogHandlerType, "SyslogHandler") &&
           py::add_type(module, &ColorSchemeType, "ColorScheme");
}

bool add_handler_unpickle_functions(PyObject* module) {
    static PyMethodDef defs[] = {
        unpickle_def<kLogHandlerPickle>(),          unpickle_def<kStdoutHandlerPickle>(),
        unpickle_def<kStderrHandlerPickle>(),       unpickle_def<kBasicConsoleHandlerPickle>(),
        unpickle_def<kConsoleHandlerPickle>(),      unpickle_def<kFileHandlerPickle>(),
        unpickle_def<kRotatingFileHandlerPickle>(), unpickle_def<kJsonFileHandlerPickle>(),
        unpickle_def<kDailyFileHandlerPickle>(),    unpickle_def<kSyslogHandlerPickle>(),
        unpickle_def<kColorSchemePickle>(),         {nullptr, nullptr, 0, nullptr},
    };
    return PyModule_AddFunctions(module, defs) == 0;
}

}  // namespace zelvar::scrivo
