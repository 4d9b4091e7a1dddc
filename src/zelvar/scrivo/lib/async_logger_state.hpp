// The queue of a non-blocking logger, shared by the files that make up AsyncLogger: a record's slot,
// the writer's pacing, and AsyncLogger::State. Internal to libscrivo.
#pragma once

#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "slot_gate.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>
#include <vector>

namespace zelvar::libscrivo {
namespace async_queue {

// A record waiting for the writer: one slot of two cache lines. Its texts (plain, colored, then the
// file and function names, each with its terminating zero, then the fields) are copied once into the
// slot's own bytes, or when they do not fit into a buffer of its own, kept from record to record.
// A hole is a slot reserved through the gate whose text could not be stored: the writer skips it.
struct alignas(64) Record {
    static constexpr std::size_t kSize = 128;

    RecordStamp stamp;
    std::unique_ptr<char[]> spill;
    std::uint32_t spill_capacity = 0;
    std::uint32_t plain = 0, colored = 0, file = 0, fields = 0, function = 0;  // sizes of the parts
    int line = 0;
    spdlog::level::level_enum level = spdlog::level::trace;
    bool has_file = false, has_function = false, hole = false;
    Published published;  // filled by the caller that reserved it through the gate
    char inline_text[kSize - sizeof(RecordStamp) - sizeof(std::unique_ptr<char[]>) - 7 * sizeof(std::uint32_t) -
                     sizeof(spdlog::level::level_enum) - 3 - sizeof(Published)];

    std::size_t size() const { return std::size_t{plain} + colored + file + function + 2 + fields; }
    const char* text() const { return size() <= sizeof inline_text ? inline_text : spill.get(); }

    // Room for `size` bytes of text; throws std::bad_alloc (the slot is left as it was).
    char* room(std::size_t size) {
        if (size <= sizeof inline_text) return inline_text;
        if (size > spill_capacity) {
            spill.reset(new char[size]);
            spill_capacity = static_cast<std::uint32_t>(size);
        }
        return spill.get();
    }

    // `file_name` and `function_name` are those of `where`. Throws std::bad_alloc (the slot is left as
    // it was).
    void fill(spdlog::level::level_enum level, const RecordStamp& made, const spdlog::source_loc& where,
              std::string_view file_name, std::string_view function_name, std::string_view plain_text,
              std::string_view colored_text, std::string_view fields_block) {
        char* to = room(plain_text.size() + colored_text.size() + file_name.size() + function_name.size() + 2 +
                        fields_block.size());
        const auto put = [&to](std::string_view part) {
            if (!part.empty()) std::memcpy(to, part.data(), part.size());
            to += part.size();
        };
        put(plain_text);
        put(colored_text);
        put(file_name);
        *to++ = '\0';
        put(function_name);
        *to++ = '\0';
        put(fields_block);
        stamp = made;
        plain = static_cast<std::uint32_t>(plain_text.size());
        colored = static_cast<std::uint32_t>(colored_text.size());
        file = static_cast<std::uint32_t>(file_name.size());
        function = static_cast<std::uint32_t>(function_name.size());
        fields = static_cast<std::uint32_t>(fields_block.size());
        line = where.line;
        this->level = level;
        has_file = where.filename != nullptr;
        has_function = where.funcname != nullptr;
        hole = false;
    }
};
static_assert(sizeof(Record) == Record::kSize);

// A buffer grown by one huge record is given back rather than kept for the logger's life.
inline constexpr std::size_t kKeptTextCapacity = 16 * 1024;

// A writer that ran out of records looks again after this long before it sleeps until woken: under a
// steady flow of records callers then wake it only when the queue is half full, not on every record.
inline constexpr std::chrono::microseconds kPollInterval{500};
// Fewer records than this (or than half the queue) are left for the next look, at most kPollInterval
// later (see run()).
inline constexpr std::size_t kEagerBatch = 4096;

// How many times a writer of a small queue looks for records before it waits to be woken.
inline constexpr int kSpins = 64;
inline constexpr std::chrono::microseconds kSpinTime{100};

// What callers must do for the writer: nothing while it is busy or will look again soon.
enum class Writer { busy, polling, sleeping };

}  // namespace async_queue

struct AsyncLogger::State {
    using Record = async_queue::Record;
    using Writer = async_queue::Writer;
    State(std::size_t capacity, Overflow overflow)
        : capacity(capacity), eager(std::min(async_queue::kEagerBatch, (capacity + 1) / 2)), overflow(overflow) {}

    // Callers write the lines from `mutex` on for every record, the writer reads `taken` for every
    // record: apart, so neither waits for the other's cache.
    alignas(64) const std::size_t capacity;
    // A polling writer takes the queue once it holds this many records, and callers wake it then: a
    // full queue never waits out the poll.
    const std::size_t eager;
    const Overflow overflow;

    // While open, callers queue records into `waiting` without `mutex` (see open_gate()). Whoever
    // holds `mutex` calls close_gate() before reading or changing the queue.
    SlotGate gate;
    // The queue and everything below up to `writer`.
    std::mutex mutex;
    std::condition_variable wake;     // the writer: records, a flush request, or stop
    std::condition_variable room;     // callers waiting for room, or for the writer to end
    std::condition_variable flushed;  // flush() callers
    std::condition_variable forking;  // a fork waiting for the writer to park, the writer for the fork's end
    // Slots are added as the queue first reaches them (in steps that double), so an unused capacity
    // costs no memory.
    std::vector<Record> waiting;
    std::size_t head = 0, count = 0;
    std::uint64_t posted = 0;        // records ever queued, dropped ones included
    std::uint64_t flush_wanted = 0;  // flush() asks for everything up to this record
    std::uint64_t flushed_upto = 0;  // written and flushed up to this record
    std::atomic<std::uint64_t> dropped{0};
    std::size_t blocked = 0;  // callers waiting for room
    Writer writer_state = Writer::busy;
    bool stopping = false;   // stop asked for: the writer takes what is queued and ends
    bool closing = false;    // the writer holds the last records: callers wait for it to end
    bool stopped = false;    // no writer any more: records are written on the calling thread
    bool parked = false;     // the writer waits for a fork to end, its sinks flushed
    bool whole = true;       // (across a fork) the writer parked in time, or there was none
    bool cut_off = false;    // (in a child) a sink may be mid-record: records are dropped, sinks left alone
    bool given_up = false;   // (at exit) the writer's sinks stalled: it is left where it is
    std::uint64_t done = 0;  // records of the batches written out so far, dropped ones aside
    std::unique_ptr<std::thread> writer;

    // The writer's own: the records it took out of the queue.
    alignas(64) std::vector<Record> taken;
    std::size_t taken_head = 0, taken_count = 0;
    std::atomic<bool> pause{false};  // a fork waits for the writer to park between two records
    // Moves with every record and batch the writer finishes: on the writer's line, not on the one
    // whose flags every caller reads.
    std::atomic<std::uint64_t> progress{0};

    std::mutex life;  // one stop() at a time

    // For a flush or a stop, which cannot wait for the next look. Called with `mutex` held.
    void wake_writer() {
        if (writer_state == Writer::busy) return;
        writer_state = Writer::busy;
        wake.notify_one();
    }

    std::size_t slot(std::size_t index) const { return index < capacity ? index : index - capacity; }

    // Called with `mutex` held: counts in the records callers queued through the gate, once they are
    // filled, and keeps the gate closed.
    void close_gate() noexcept {
        const std::uint32_t reserved = gate.close();
        if (reserved <= count) return;
        for (std::size_t i = count; i < reserved; ++i) waiting[i].published.await();
        posted += reserved - count;
        count = reserved;
    }

    // Called with `mutex` held and the gate closed: lets callers queue through the gate while a record
    // needs nothing else, that is while there is a writer that is neither stopping nor asked to park,
    // the queue has an existing slot to spare and has not wrapped (drop_oldest), and the record does
    // not have to wake the writer (see post_record()).
    void open_gate() noexcept {
        std::size_t limit = 0;
        if (writer && !stopped && !stopping && !closing && !given_up && head == 0 &&
            !pause.load(std::memory_order_relaxed) && writer_state != Writer::sleeping) {
            limit = std::min(capacity, waiting.size());
            if (writer_state == Writer::polling) limit = std::min(limit, eager - 1);
        }
        gate.open(static_cast<std::uint32_t>(count), static_cast<std::uint32_t>(limit));
    }

    // The child of a fork: no writer, nothing queued (the parent writes its own records), fresh
    // locks (the forking thread held them; other threads no longer exist).
    void reset_in_child() {
        new (&mutex) std::mutex();
        new (&wake) std::condition_variable();
        new (&room) std::condition_variable();
        new (&flushed) std::condition_variable();
        new (&forking) std::condition_variable();
        new (&life) std::mutex();
        gate.open(0, 0);  // closed, nothing reserved
        head = count = taken_count = 0;
        flush_wanted = flushed_upto = posted;
        blocked = 0;
        writer_state = Writer::busy;
        stopping = closing = parked = false;
        (void)writer.release();  // the parent's thread: nothing to join here
        pause.store(false);
        if (!whole) cut_off = stopped = true;
    }
};

}  // namespace zelvar::libscrivo
