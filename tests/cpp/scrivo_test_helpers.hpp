// Helpers shared by the libscrivo test sources, which build into one executable (scrivo_lib_test).
#pragma once

#include <zelvar/scrivo/lib/libscrivo.hpp>

#include <spdlog/spdlog.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace scrivo_test {

namespace fs = std::filesystem;
using spdlog::level::level_enum;

inline level_enum lvl(int value) { return static_cast<level_enum>(value); }

inline std::string unique_name(const std::string& prefix) {
    static std::atomic<int> counter{0};
    return prefix + "-" + std::to_string(counter++);
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "scrivo-test-XXXXXX").string();
        path = ::mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(path); }
};

inline std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace scrivo_test
