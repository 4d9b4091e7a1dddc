// The console sinks, each stream with a lock of its own (sinks.hpp).
#include <zelvar/scrivo/lib/libscrivo.hpp>

namespace zelvar::libscrivo {

std::mutex& stdout_console_mutex::mutex() {
    static std::mutex lock;
    return lock;
}

std::mutex& stderr_console_mutex::mutex() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<spdlog::sinks::sink> make_console_sink(std::FILE* stream, bool color) {
    if (stream == stderr) {
        if (color) return std::make_shared<stderr_color_sink>();
        return std::make_shared<stderr_plain_sink>();
    }
    if (color) return std::make_shared<stdout_color_sink>();
    return std::make_shared<stdout_plain_sink>();
}

}  // namespace zelvar::libscrivo
