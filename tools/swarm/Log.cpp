#include "tools/swarm/Log.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace swarm {

Log::Log(const std::filesystem::path& file) : file_(file, std::ios::app) {}

void Log::write(const std::string& line) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    std::lock_guard lock(mutex_);
    lines_.push_back(stamp + line);
    if (file_.is_open()) {
        file_ << lines_.back() << '\n';
        file_.flush();
    }
}

std::vector<std::string> Log::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

} // namespace swarm
