#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace swarm {

// A line log shared by the tracker and the peers: every line gets a UTC time stamp with
// milliseconds, is kept in memory for tests and, when a path is given, appended to a file.
class Log {
public:
    Log() = default;
    explicit Log(const std::filesystem::path& file);

    void write(const std::string& line);
    std::vector<std::string> lines() const;

private:
    mutable std::mutex mutex_;
    std::ofstream file_;
    std::vector<std::string> lines_;
};

} // namespace swarm
