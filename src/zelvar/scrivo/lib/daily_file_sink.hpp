// DailyFileSink, the sink of DailyFileHandler.
#pragma once

#include "carried_libraries.hpp"  // before any spdlog or fmt header

#include <spdlog/common.h>

#include <cstddef>
#include <string>

#include "export.hpp"
#include "file_sink.hpp"

namespace zelvar::libscrivo {

// A FileSink that starts a new file every day at hour:minute local time.
// Each file is named after the local date on which its day began:
// "logs/app.log" -> "logs/app_2026-12-08.log".  Opening a file (at
// construction and at each change of day) removes the oldest of the dated
// files beyond `max_files` (0: keep all).  The change of day follows the
// records' own time stamps.
//
// With `compress`, each day's file is gzipped in the background once the
// next day's is open ("logs/app_2026-12-08.log.gz", as RotatingFileSink
// compresses), and `max_files` counts the days whichever form their file is
// in.  The constructor queues the dated files of other days found
// uncompressed and removes temporaries left without one.
class SCRIVO_API DailyFileSink final : public FileSink {
  public:
    // Throws std::invalid_argument for hour outside 0..23 or minute outside
    // 0..59, before anything is touched.
    DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files);
    // The same for the day that contains `when`: one reading of the clock decides both the file and
    // the next change of day (two would put a whole day into the previous day's file when the
    // change fell between them).
    DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files,
                  spdlog::log_clock::time_point when);
    DailyFileSink(std::string base_filename, int hour, int minute, std::size_t max_files,
                  spdlog::log_clock::time_point when, bool compress);
    ~DailyFileSink() override;

    // The constructors' checks of their arguments, with the same exceptions.
    static void check(const std::string& base_filename, int hour, int minute);

    // The file of the day that contains `when`.
    std::string file_for(spdlog::log_clock::time_point when) const;

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;

  private:
    void prune() noexcept;
    void resume_compression() noexcept;

    std::string base_;
    int hour_;
    int minute_;
    std::size_t max_files_;
    spdlog::log_clock::time_point next_day_;
    bool compress_ = false;
};

}  // namespace zelvar::libscrivo
