// JsonConsoleSink, the sink of JsonStdoutHandler and JsonStderrHandler.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/common.h>
#include <spdlog/formatter.h>
#include <spdlog/sinks/sink.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "export.hpp"

namespace zelvar::libscrivo {

// JSON lines (a JsonFormatter) to standard output or standard error by its file descriptor, whatever
// that is: a terminal, a pipe, a socket or a file.  Each record is one write(2) of one whole line
// before log() returns (taken up again after a partial write or a signal, and after waiting for room
// on a non-blocking descriptor), under the stream's console lock: the records of every sink of this
// process on one stream never interleave, and a pipe takes a line of up to PIPE_BUF bytes whole
// against other processes too.  A reader that stalls holds up the caller, as any write to a full
// pipe does.  A failed write throws spdlog::spdlog_ex ("Failed writing to standard output:
// <strerror>"); the record is dropped.
class SCRIVO_API JsonConsoleSink final : public spdlog::sinks::sink {
  public:
    // `stream` is stdout or stderr.
    explicit JsonConsoleSink(std::FILE* stream);
    ~JsonConsoleSink() override;

    void log(const spdlog::details::log_msg& msg) override;
    void flush() override;
    void set_pattern(const std::string& pattern) override;
    void set_formatter(std::unique_ptr<spdlog::formatter> formatter) override;

  private:
    int fd_;
    std::mutex& lock_;
    std::unique_ptr<spdlog::formatter> formatter_;  // guarded by lock_
};

}  // namespace zelvar::libscrivo
