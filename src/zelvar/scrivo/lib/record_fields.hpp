// The fields of a record: key/value pairs a Python caller attached to it (bound to a logger, set
// for a block of code, or a standard logging record's name and extras).  spdlog's log_msg carries no
// user data, so they travel as one encoded block, set for the thread around the sink calls of the
// record being written (CurrentFields); the JSON formatter, the syslog sink and the pattern flag %K read it there.
// Included by libscrivo.hpp.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/common.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "export.hpp"

namespace zelvar::libscrivo {

// How a value is written: `text` as a string, `literal` as is (a JSON number, true, false or null),
// `json` as is in JSON and as its text elsewhere (an array or object). `exception` is no field but the
// record's exception (RecordException), which for_each_field leaves out.
enum class FieldKind : char { text = 's', literal = 'l', json = 'j', exception = 'x' };

struct Field {
    std::string_view key;
    FieldKind kind;
    std::string_view value;
    // The name is no identifier (a standard record's `extra` attribute, which nothing checked): text
    // pairs leave the field out, since such a name could end the line or the pair; JSON escapes it.
    bool free_name = false;
};

// Appends one field to an encoded block: key length, key, free-name flag, kind, value length, value.
inline void append_field(std::string& block, std::string_view key, FieldKind kind, std::string_view value,
                         bool free_name = false) {
    const auto put_size = [&](std::size_t size) {
        const auto n = static_cast<std::uint32_t>(size);
        block.append(reinterpret_cast<const char*>(&n), sizeof n);
    };
    put_size(key.size());
    block.append(key);
    block.push_back(free_name ? '\1' : '\0');
    block.push_back(static_cast<char>(kind));
    put_size(value.size());
    block.append(value);
}

// Calls fn(Field) for each entry of an encoded block, the exception's included, in order.
template <class Fn>
void for_each_entry(std::string_view block, Fn&& fn) {
    const auto take_size = [&](std::size_t& at) {
        std::uint32_t n;
        std::memcpy(&n, block.data() + at, sizeof n);
        at += sizeof n;
        return static_cast<std::size_t>(n);
    };
    for (std::size_t at = 0; at < block.size();) {
        const std::size_t key_size = take_size(at);
        const std::string_view key = block.substr(at, key_size);
        at += key_size;
        const bool free_name = block[at++] != '\0';
        const auto kind = static_cast<FieldKind>(block[at++]);
        const std::size_t value_size = take_size(at);
        const std::string_view value = block.substr(at, value_size);
        at += value_size;
        fn(Field{key, kind, value, free_name});
    }
}

// Calls fn(Field) for each field of an encoded block, in order.
template <class Fn>
void for_each_field(std::string_view block, Fn&& fn) {
    for_each_entry(block, [&](const Field& f) {
        if (f.kind != FieldKind::exception) fn(f);
    });
}

// Whether a block holds a field (and not only an exception).
inline bool has_fields(std::string_view block) {
    bool any = false;
    for_each_field(block, [&](const Field&) { any = true; });
    return any;
}

// A record's exception, carried as the last entry of its block (an empty key, which no field has):
// text sinks have its traceback in the payload after the message; JSON writes only the payload's
// first `message_size` bytes as "message" and `members` (`"exception":{...}`, and `"stack_info":"..."`
// for a standard record with one) after the fixed keys.
struct RecordException {
    std::size_t message_size = 0;
    std::string_view members;
};

inline void append_exception(std::string& block, std::size_t message_size, std::string_view members) {
    const auto n = static_cast<std::uint32_t>(message_size);
    std::string value(reinterpret_cast<const char*>(&n), sizeof n);
    value.append(members);
    append_field(block, {}, FieldKind::exception, value);
}

// The block's exception; false when it has none.
inline bool find_exception(std::string_view block, RecordException& out) {
    bool found = false;
    for_each_entry(block, [&](const Field& f) {
        if (f.kind != FieldKind::exception || f.value.size() < sizeof(std::uint32_t)) return;
        std::uint32_t n;
        std::memcpy(&n, f.value.data(), sizeof n);
        out = {n, f.value.substr(sizeof n)};
        found = true;
    });
    return found;
}

// The fields of the record being written on this thread; empty when it has none.
SCRIVO_API std::string_view current_fields() noexcept;
// Sets them, handing back those set before.
SCRIVO_API std::string_view set_current_fields(std::string_view block) noexcept;

// Sets a record's fields for the sink calls in its scope (only a record with fields needs one: the
// fields outside every scope are empty).
class CurrentFields {
  public:
    explicit CurrentFields(std::string_view block) noexcept : saved_(set_current_fields(block)) {}
    ~CurrentFields() { set_current_fields(saved_); }
    CurrentFields(const CurrentFields&) = delete;
    CurrentFields& operator=(const CurrentFields&) = delete;

  private:
    std::string_view saved_;
};

// Appends " key=value" for each field with an identifier for a name, the value quoted as logfmt
// quotes it when it holds a space, '=', '"', '\', a control character or a Unicode line separator
// (U+0085, U+2028, U+2029, written as \u escapes), or is empty.
SCRIVO_API void append_logfmt(std::string_view block, spdlog::memory_buf_t& dest);

}  // namespace zelvar::libscrivo
