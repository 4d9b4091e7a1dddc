// RotatingFileSink, the sink of RotatingFileHandler.
#pragma once

#include <cstddef>
#include <string>

#include "export.hpp"
#include "file_sink.hpp"

namespace zelvar::libscrivo {

// A FileSink rotated by size, as LoggerFactory::add_rotating_file_handler
// describes: before a record would take the file past `max_size` bytes
// (counting what is still buffered), the file becomes "<stem>.1<ext>", older
// ones shift up, at most `max_files` rotated files are kept, and a fresh file
// is started.  A file that is still empty is never rotated.
//
// With `compress`, each file rotation closes is gzipped in the background
// (compress_later) into "<stem>.1<ext>.gz"; the rotated files shift with their
// ".gz" (and any ".gz.tmp") companions, and `max_files` counts them whichever
// form they are in.  The constructor queues every rotated file found
// uncompressed (a compression a previous process did not finish) and removes
// temporaries left without one.
class SCRIVO_API RotatingFileSink final : public FileSink {
  public:
    RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files);
    // `truncate` empties the file first.
    RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files, bool truncate);
    RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files, bool truncate, bool compress);
    ~RotatingFileSink() override;

    // "logs/app.txt", 3 -> "logs/app.3.txt"; index 0 is the file itself.
    static std::string rotated_name(const std::string& filename, std::size_t index);

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override;

  private:
    void rotate();
    void shift_compressed();
    void resume_compression();

    std::size_t max_size_;
    std::size_t max_files_;
    std::size_t current_size_;
    bool compress_ = false;
};

}  // namespace zelvar::libscrivo
