// The background compression the rotating and daily sinks share; internal to libscrivo.
#pragma once

#include <mutex>
#include <string>

namespace zelvar::libscrivo {

// Internal to the compressing sinks (compression.cpp): a closed file "x" becomes "x.gz" on one
// background thread, written as "x.gz.tmp" and renamed when whole, "x" removed after.  Every rename
// or removal of a file that may be queued, with its ".gz" and ".gz.tmp" companions, is made while
// holding lock_compressed_names() and told to the queue; the other calls need the lock held too.
// compress_later throws std::bad_alloc; a job whose file cannot be read, or whose compression fails
// (a full disk), leaves the file as it is.
std::unique_lock<std::mutex> lock_compressed_names();
void compress_later(const std::string& path);
bool compression_queued(const std::string& path) noexcept;
void compressed_file_renamed(const std::string& from, const std::string& to) noexcept;
void compressed_file_removed(const std::string& path) noexcept;
// The suffixes of a compressed file and of its temporary.
inline constexpr const char* kCompressedSuffixes[] = {".gz", ".gz.tmp"};

}  // namespace zelvar::libscrivo
