// RotatingFileSink (rotating_file_sink.hpp): a FileSink that rotates by size, compressing rotated
// files in the background when asked.
#include <zelvar/scrivo/lib/libscrivo.hpp>

#include "compression.hpp"

#include <spdlog/details/file_helper.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/details/os.h>
#include <spdlog/fmt/fmt.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>
#include <utility>

namespace zelvar::libscrivo {

RotatingFileSink::RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files)
    : RotatingFileSink(std::move(filename), max_size, max_files, false) {}

RotatingFileSink::RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files, bool truncate)
    : RotatingFileSink(std::move(filename), max_size, max_files, truncate, false) {}

RotatingFileSink::RotatingFileSink(std::string filename, std::size_t max_size, std::size_t max_files, bool truncate,
                                   bool compress)
    : FileSink(std::move(filename), truncate),
      max_size_(max_size),
      max_files_(max_files),
      current_size_(file_size()),
      compress_(compress) {
    if (compress_) resume_compression();
}

RotatingFileSink::~RotatingFileSink() = default;

std::string RotatingFileSink::rotated_name(const std::string& filename, std::size_t index) {
    if (index == 0) {
        return filename;
    }
    const auto [stem, ext] = spdlog::details::file_helper::split_by_extension(filename);
    return fmt::format("{}.{}{}", stem, index, ext);
}

void RotatingFileSink::sink_it_(const spdlog::details::log_msg& msg) {
    const Writing writing(*this);
    std::size_t start = format_record(msg);
    const std::size_t size = buffered() - start;
    std::size_t new_size = current_size_ + size;
    if (new_size > max_size_) {
        write_front(start);  // the records before it count in the file's real size
        start = 0;
        if (file_size() > 0) {
            rotate();
            new_size = size;
        }
    }
    settle(start, msg.level);
    current_size_ = new_size;
}

// log.txt -> log.1.txt -> log.2.txt ... -> dropped; then a fresh log.txt.
void RotatingFileSink::rotate() {
    close_file();
    if (compress_) {
        shift_compressed();
        return;
    }
    for (std::size_t i = max_files_; i > 0; --i) {
        const std::string src = rotated_name(filename(), i - 1);
        if (!spdlog::details::os::path_exists(src)) {
            continue;
        }
        const std::string target = rotated_name(filename(), i);
        const auto rename = [&] {
            (void)spdlog::details::os::remove(target);
            return spdlog::details::os::rename(src, target) == 0;
        };
        if (!rename()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!rename()) {
                const int error = errno;
                reopen(true);  // truncate anyway, so the file does not grow past its limit
                current_size_ = 0;
                throw spdlog::spdlog_ex("rotating_file_sink: failed renaming " + src + " to " + target, error);
            }
        }
    }
    reopen(true);
}

namespace {

// A rotated file and its compressed companions, in the order they are moved.
std::array<std::string, 3> with_companions(const std::string& name) {
    return {name, name + kCompressedSuffixes[0], name + kCompressedSuffixes[1]};
}

}  // namespace

// As rotate() does, each index moving with its companions (a file and its older compressed copy
// are one rotated file), under the queue's lock so the compression in progress follows its file;
// then the file rotation closed is queued.
void RotatingFileSink::shift_compressed() {
    const auto names = lock_compressed_names();
    for (std::size_t i = max_files_; i > 0; --i) {
        const std::string src = rotated_name(filename(), i - 1), target = rotated_name(filename(), i);
        auto from = with_companions(src);
        if (i == 1) {  // the open file's own companions are none of this sink's
            from[1].clear();
            from[2].clear();
        }
        bool present[3] = {};
        for (std::size_t k = 0; k < 3; ++k) present[k] = !from[k].empty() && spdlog::details::os::path_exists(from[k]);
        if (!present[0] && !present[1] && !present[2]) continue;
        const auto to = with_companions(target);
        if (i == max_files_) {  // the file dropped; below it each target was vacated by the move above
            for (const std::string& name : to) (void)spdlog::details::os::remove(name);
            compressed_file_removed(target);
        }
        for (std::size_t k = 0; k < 3; ++k) {
            if (!present[k]) continue;
            if (spdlog::details::os::rename(from[k], to[k]) != 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (spdlog::details::os::rename(from[k], to[k]) != 0) {
                    const int error = errno;
                    reopen(true);  // truncate anyway, so the file does not grow past its limit
                    current_size_ = 0;
                    throw spdlog::spdlog_ex("rotating_file_sink: failed renaming " + from[k] + " to " + to[k], error);
                }
            }
        }
        compressed_file_renamed(src, target);
    }
    reopen(true);
    if (max_files_ > 0) compress_later(rotated_name(filename(), 1));
}

// What a process before this one left: rotated files not yet compressed are queued, temporaries
// without their file removed.  Rotated files are numbered without gaps, so the search stops at the
// first index with none.
void RotatingFileSink::resume_compression() {
    const auto names = lock_compressed_names();
    for (std::size_t i = 1; i <= max_files_; ++i) {
        const auto forms = with_companions(rotated_name(filename(), i));
        const bool present[3] = {spdlog::details::os::path_exists(forms[0]), spdlog::details::os::path_exists(forms[1]),
                                 spdlog::details::os::path_exists(forms[2])};
        if (!present[0] && !present[1] && !present[2]) break;
        if (present[0]) {
            compress_later(forms[0]);
        } else if (present[2] && !compression_queued(forms[0])) {
            (void)spdlog::details::os::remove(forms[2]);
        }
    }
}

}  // namespace zelvar::libscrivo
