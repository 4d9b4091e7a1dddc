#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/details/os.h>

#include "crash_stack.hpp"
#include "slot_gate.hpp"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

namespace zelvar::libscrivo {
namespace {

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
constexpr std::size_t kKeptTextCapacity = 16 * 1024;

// A writer that ran out of records looks again after this long before it sleeps until woken: under a
// steady flow of records callers then wake it only when the queue is half full, not on every record.
constexpr std::chrono::microseconds kPollInterval{500};
// Fewer records than this (or than half the queue) are left for the next look, at most kPollInterval
// later (see run()).
constexpr std::size_t kEagerBatch = 4096;

// How many times a writer of a small queue looks for records before it waits to be woken.
constexpr int kSpins = 64;
constexpr std::chrono::microseconds kSpinTime{100};

// What callers must do for the writer: nothing while it is busy or will look again soon.
enum class Writer { busy, polling, sleeping };

}  // namespace

struct AsyncLogger::State {
    State(std::size_t capacity, Overflow overflow)
        : capacity(capacity), eager(std::min(kEagerBatch, (capacity + 1) / 2)), overflow(overflow) {}

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

namespace {

// Every AsyncLogger alive, for the exit and fork handlers. Never destroyed: the exit handler may
// run after static destructors.
struct Live {
    std::mutex mutex;
    std::unordered_set<AsyncLogger*> loggers;
};

Live& live() {
    static auto* l = new Live();
    return *l;
}

}  // namespace

namespace {
void stop_all_at_exit() { AsyncLogger::stop_all(); }
}  // namespace

// Fork: each writer parks between two records after flushing its sinks (so the child does not write
// the parent's buffered records again), and its queue is locked, so the child inherits neither a
// sink nor a queue in the middle of a change. Only the writer touches its sinks, so a sink that does
// not return holds up the fork for kForkWait at most; that logger is cut off in the child.
struct ForkHandlers {
    static void prepare() {
        live().mutex.lock();
        const auto deadline = std::chrono::steady_clock::now() + AsyncLogger::kForkWait;
        for (AsyncLogger* logger : live().loggers) {
            State& s = *logger->state_;
            std::unique_lock<std::mutex> lock(s.mutex);
            s.close_gate();  // no caller mid-record in the queue the child inherits
            s.pause.store(true);
            s.whole = true;
            if (s.writer && !s.stopped) {
                s.wake_writer();
                s.whole = s.forking.wait_until(lock, deadline, [&] { return s.parked; });
            }
            s.close_gate();
            (void)lock.release();  // held across the fork
        }
    }
    static void parent() {
        for (AsyncLogger* logger : live().loggers) {
            State& s = *logger->state_;
            s.pause.store(false);
            s.forking.notify_all();
            s.mutex.unlock();
        }
        live().mutex.unlock();
    }
    static void child() {
        for (AsyncLogger* logger : live().loggers) {
            State& s = *logger->state_;
            if (!s.whole) {
                // The sinks may hold the record the parent's writer was in: never written, flushed
                // or destroyed (which flushes) here.
                try {
                    static auto* kept = new std::vector<spdlog::sink_ptr>();
                    kept->insert(kept->end(), logger->sinks().begin(), logger->sinks().end());
                } catch (...) {
                    rethrow_forced_unwind();
                }
            }
            s.reset_in_child();
        }
        new (&live().mutex) std::mutex();
    }
    using State = AsyncLogger::State;
};

AsyncLogger::AsyncLogger(std::string name, std::vector<spdlog::sink_ptr> sinks, std::size_t queue_size,
                         Overflow overflow)
    : spdlog::logger(std::move(name), sinks.begin(), sinks.end()) {
    if (queue_size == 0 || queue_size > kMaxQueueSize) {
        throw std::invalid_argument("queue size must be between 1 and " + std::to_string(kMaxQueueSize));
    }
    state_ = std::make_unique<State>(queue_size, overflow);
    static std::once_flag hooks;
    std::call_once(hooks, [] {
        std::atexit(stop_all_at_exit);
        pthread_atfork(ForkHandlers::prepare, ForkHandlers::parent, ForkHandlers::child);
    });
    std::lock_guard<std::mutex> lock(live().mutex);
    live().loggers.insert(this);
}

AsyncLogger::~AsyncLogger() {
    {
        std::lock_guard<std::mutex> lock(live().mutex);
        live().loggers.erase(this);
    }
    if (state_->given_up) {
        // Its writer may never return from its sink: the state it uses stays, and so does the thread.
        state_->writer->detach();
        (void)state_.release();
        return;
    }
    stop();
}

std::size_t AsyncLogger::queue_size() const noexcept { return state_->capacity; }
AsyncLogger::Overflow AsyncLogger::overflow() const noexcept { return state_->overflow; }
std::uint64_t AsyncLogger::dropped() const noexcept { return state_->dropped.load(std::memory_order_relaxed); }

bool AsyncLogger::post(spdlog::level::level_enum level, const spdlog::source_loc& where, std::string_view plain,
                       std::string_view colored, bool wait, std::string_view fields) {
    return post_record(level, spdlog::log_clock::now(), spdlog::details::os::thread_id(), where, plain, colored, wait,
                       fields);
}

void AsyncLogger::sink_it_(const spdlog::details::log_msg& msg) {
    post_record(msg.level, msg.time, msg.thread_id, msg.source, {msg.payload.data(), msg.payload.size()}, {}, true);
}

bool AsyncLogger::post_record(spdlog::level::level_enum level, spdlog::log_clock::time_point time,
                              std::size_t thread_id, const spdlog::source_loc& where, std::string_view plain,
                              std::string_view colored, bool wait, std::string_view fields) {
    State& s = *state_;
    const std::string_view file = where.filename ? std::string_view(where.filename) : std::string_view();
    const std::string_view function = where.funcname ? std::string_view(where.funcname) : std::string_view();
    if (plain.size() + colored.size() + file.size() + function.size() + 2 + fields.size() >
        std::numeric_limits<std::uint32_t>::max()) {
        throw std::bad_alloc();
    }
    const RecordStamp stamp{time, thread_id};
    if (std::uint32_t index = 0; s.gate.reserve(index)) {
        // The slot is this caller's until published; the writer and the gate's owner wait for it.
        Record& r = s.waiting[index];
        try {
            r.fill(level, stamp, where, file, function, plain, colored, fields);
        } catch (...) {
            r.hole = true;
            r.published.set();
            throw;
        }
        r.published.set();
        return true;
    }
    std::unique_lock<std::mutex> lock(s.mutex);
    for (int spins = 0;;) {
        s.close_gate();
        if (s.given_up) {  // at exit, behind a writer that may never come back
            s.dropped.fetch_add(1, std::memory_order_relaxed);
            return true;
        }
        if (s.closing && !s.stopped) {
            // The writer holds the last queued records: one written now would overtake them.
            s.room.wait(lock, [&] { return s.stopped || !s.closing; });
            continue;
        }
        if (!s.stopped && !s.writer) {
            try {
                s.writer = std::make_unique<std::thread>([this] {
                    const ScopedSignalStack stack;  // a crash on the writer still writes the files out
                    run();
                });
            } catch (const std::system_error&) {
                // No thread to be had: this record is written here, as nothing is queued before it.
            }
        }
        if (s.stopped || !s.writer) {
            if (s.cut_off) {
                s.dropped.fetch_add(1, std::memory_order_relaxed);
                return true;
            }
            lock.unlock();
            write_now(level, stamp, where, plain, colored, fields);
            return true;
        }
        if (s.count < s.capacity) break;
        if (s.overflow == Overflow::drop_oldest) {
            s.head = s.slot(s.head + 1);
            --s.count;
            s.dropped.fetch_add(1, std::memory_order_relaxed);
            break;
        }
        s.wake_writer();
        if (spins < kSpins) {
            // A small queue's writer makes room within microseconds: cheaper to look again than to
            // sleep (and for a Python caller, to let go of the interpreter lock and take it back).
            ++spins;
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
            continue;
        }
        if (!wait) return false;
        ++s.blocked;
        s.room.wait(lock);
        --s.blocked;
    }
    const std::size_t at = s.slot(s.head + s.count);
    if (at == s.waiting.size()) {
        // Slots fill in order from 0 (see run()); made in steps that double, callers find the next
        // ones ready behind the gate.
        s.waiting.resize(std::min(s.capacity, std::max<std::size_t>(2 * at, 16)));
    }
    s.waiting[at].fill(level, stamp, where, file, function, plain, colored, fields);
    ++s.count;
    ++s.posted;
    // The gate lets through only records that need no wake-up (see open_gate()).
    if (s.writer_state == Writer::sleeping || (s.writer_state == Writer::polling && s.count >= s.eager)) {
        s.writer_state = Writer::busy;
        s.wake.notify_one();
    }
    s.open_gate();
    return true;
}

void AsyncLogger::write_now(spdlog::level::level_enum level, const RecordStamp& stamp, const spdlog::source_loc& where,
                            std::string_view plain, std::string_view colored, std::string_view fields) noexcept {
    SinkFailure failure;
    if (fields.empty()) {
        failure = write_to_sinks(*this, level, where, plain, colored, &stamp);
    } else {
        const CurrentFields current(fields);
        failure = write_to_sinks(*this, level, where, plain, colored, &stamp);
    }
    if (failure) report(failure);
}

void AsyncLogger::flush_sinks() noexcept {
    for (const auto& sink : sinks()) {
        try {
            sink->flush();
        } catch (...) {
            rethrow_forced_unwind();
            report(SinkFailure{sink, std::current_exception()});
        }
    }
}

void AsyncLogger::write_out_batch() noexcept {
    for (const auto& sink : sinks()) {
        auto* file = dynamic_cast<FileSink*>(innermost_sink(sink.get()));
        if (!file) continue;
        try {
            file->write_out_batch();
        } catch (...) {
            rethrow_forced_unwind();
            report(SinkFailure{sink, std::current_exception()});
        }
    }
}

void AsyncLogger::report(const SinkFailure& failure) noexcept {
    if (!due_for_report(failure.sink)) return;
    std::string text = "scrivo: logger '" + name() + "' could not write a record: ";
    try {
        std::rethrow_exception(failure.error);
    } catch (const std::exception& e) {
        text += e.what();
    } catch (...) {
        rethrow_forced_unwind();
        text += "unknown error";
    }
    text += '\n';
    // One write(2), so the line is not interleaved with other output; nothing to do if it fails.
    if (::write(STDERR_FILENO, text.data(), text.size()) < 0) return;
}

void AsyncLogger::run() noexcept {
    State& s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    bool streaming = false;  // the last batch held more than one record
    for (;;) {
        // The state is announced on every sleep, so a wake-up that found nothing to do is not the last.
        // Fewer than kEagerBatch records wait for the next look rather than being taken at once: a
        // writer on the callers' heels takes the queue's lock and the records' cache lines from them
        // every few records, and callers then write into lines the writer has only just read.
        // A small queue fills sooner than a sleeping writer wakes: under a stream of records the
        // writer looks again a few times first (for kSpinTime at most, so that an idle logger's
        // record is not kept past the poll), leaving its core to the callers in between.
        // The gate is open only while the writer waits: callers then queue without the lock.
        s.close_gate();
        const auto spin_until = std::chrono::steady_clock::now() + kSpinTime;
        for (int spin = 0; streaming && spin < kSpins && s.eager < kEagerBatch && s.count < s.eager &&
                           s.flush_wanted <= s.flushed_upto && !s.stopping &&
                           !s.pause.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < spin_until;
             ++spin) {
            s.open_gate();
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
            s.close_gate();
        }
        for (bool polled = false; s.count < (polled ? 1 : s.eager) && s.flush_wanted <= s.flushed_upto && !s.stopping &&
                                  !s.pause.load(std::memory_order_relaxed);
             polled = true) {
            s.writer_state = polled ? Writer::sleeping : Writer::polling;
            s.open_gate();
            if (polled) {
                s.wake.wait(lock);
            } else {
                s.wake.wait_for(lock, kPollInterval);
            }
            s.close_gate();
        }
        s.writer_state = Writer::busy;
        if (s.pause.load(std::memory_order_relaxed)) {
            lock.unlock();
            park();
            lock.lock();
            continue;
        }
        const bool last = s.stopping;
        const bool flush = last || s.flush_wanted > s.flushed_upto;
        std::swap(s.waiting, s.taken);
        s.taken_head = s.head;
        s.taken_count = s.count;
        s.head = s.count = 0;
        const std::uint64_t end = s.posted;
        if (last) s.closing = true;
        if (s.blocked) s.room.notify_all();
        s.open_gate();
        lock.unlock();
        const std::size_t count = s.taken_count;
        streaming = count > 1;
        {
            // Locals, not the shared lines callers keep writing.
            Record* const taken = s.taken.data();
            const std::size_t capacity = s.capacity, first = s.taken_head;
            const FileSink::BatchOfRecords batch;  // one write per file for what fits its buffer
            for (std::size_t i = 0; i < count; ++i) {
                if (s.pause.load(std::memory_order_relaxed)) park();
                const std::size_t at = first + i;
                Record& r = taken[at < capacity ? at : at - capacity];
                if (r.hole) continue;
                const char* text = r.text();
                const char* file = text + r.plain + r.colored;
                const spdlog::source_loc where{r.has_file ? file : nullptr, r.line,
                                               r.has_function ? file + r.file + 1 : nullptr};
                write_now(r.level, r.stamp, where, {text, r.plain}, {text + r.plain, r.colored},
                          {file + r.file + 1 + r.function + 1, r.fields});
                if (r.spill_capacity > kKeptTextCapacity) {
                    r.spill.reset();
                    r.spill_capacity = 0;
                }
                s.progress.fetch_add(1, std::memory_order_relaxed);
            }
            s.taken_count = 0;
            if (flush) {
                flush_sinks();
            } else {
                write_out_batch();
            }
            s.progress.fetch_add(1, std::memory_order_relaxed);
        }
        lock.lock();
        s.done += count;
        if (flush) {
            s.flushed_upto = std::max(s.flushed_upto, end);
            s.flushed.notify_all();
        }
        if (last) {
            s.stopped = true;
            s.closing = false;
            s.room.notify_all();
            return;
        }
    }
}

// On the writer, between two records, while a fork waits for it.
void AsyncLogger::park() noexcept {
    State& s = *state_;
    flush_sinks();
    std::unique_lock<std::mutex> lock(s.mutex);
    s.parked = true;
    s.forking.notify_all();
    s.forking.wait(lock, [&] { return !s.pause.load(std::memory_order_relaxed); });
    s.parked = false;
}

void AsyncLogger::flush_() {
    State& s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    s.room.wait(lock, [&] { return !s.closing || s.stopped || s.given_up; });
    s.close_gate();
    if (s.cut_off || s.given_up) return;
    if (s.stopped || !s.writer) {
        lock.unlock();
        flush_sinks();
        return;
    }
    const std::uint64_t ticket = s.posted;
    if (s.flushed_upto >= ticket) return;
    s.flush_wanted = std::max(s.flush_wanted, ticket);
    s.wake_writer();
    s.flushed.wait(lock, [&] { return s.flushed_upto >= ticket || s.stopped; });
}

void AsyncLogger::stop() noexcept { stop_within(std::chrono::milliseconds::zero()); }

void AsyncLogger::stop_within(std::chrono::milliseconds stall) noexcept {
    State& s = *state_;
    std::lock_guard<std::mutex> life(s.life);
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.close_gate();  // and closed for good: nothing is queued past the stop
        if (s.stopped || s.given_up) return;
        if (!s.writer) {
            s.stopped = true;  // nothing can be queued without a writer
            return;
        }
        s.stopping = true;
        s.wake_writer();
        auto seen = s.progress.load(std::memory_order_relaxed);
        auto moved = std::chrono::steady_clock::now();
        while (!s.stopped) {
            s.room.wait_for(lock, std::chrono::milliseconds(50));
            const auto now = std::chrono::steady_clock::now();
            if (const auto p = s.progress.load(std::memory_order_relaxed); p != seen) {
                seen = p;
                moved = now;
            } else if (!s.stopped && stall.count() > 0 && now - moved >= stall) {
                give_up(lock);
                return;
            }
        }
    }
    s.writer->join();
}

// At exit, on a writer whose sinks took nothing for the stall limit: the process ends without it.
void AsyncLogger::give_up(std::unique_lock<std::mutex>& lock) noexcept {
    State& s = *state_;
    s.given_up = true;
    const std::uint64_t lost = s.posted - s.done - std::min(s.posted - s.done, s.dropped.load());
    lock.unlock();
    try {
        // Kept for good: the stalled writer may go on one day, and must find its logger there.
        static auto* kept = new std::vector<std::shared_ptr<AsyncLogger>>();
        if (auto self = weak_from_this().lock()) kept->push_back(std::move(self));
        std::string text = "scrivo: logger '" + name() + "': its sinks accepted nothing for " +
                           std::to_string(kExitStall.count()) + " s at exit; up to " + std::to_string(lost) +
                           " records not written\n";
        if (::write(STDERR_FILENO, text.data(), text.size()) < 0) return;
    } catch (...) {
        rethrow_forced_unwind();
    }
}

void AsyncLogger::stop_all() noexcept {
    std::lock_guard<std::mutex> lock(live().mutex);
    for (AsyncLogger* logger : live().loggers) logger->stop_within(kExitStall);
}

std::shared_ptr<spdlog::logger> AsyncLogger::clone(std::string logger_name) {
    auto cloned = std::make_shared<AsyncLogger>(std::move(logger_name), sinks(), state_->capacity, state_->overflow);
    cloned->set_level(level());
    cloned->flush_on(flush_level());
    return cloned;
}

}  // namespace zelvar::libscrivo
