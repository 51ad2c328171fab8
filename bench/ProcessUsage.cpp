#include "ProcessUsage.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

namespace {

std::optional<std::string> ReadText(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

std::optional<std::pair<std::uint64_t, std::uint64_t>> ParseStatTimes(const std::string& stat) {
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    // After the name: state (field 3) ... utime is field 14, stime field 15.
    std::istringstream rest(stat.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 13; ++i) {
        if (!(rest >> field)) {
            return std::nullopt;
        }
    }
    std::uint64_t user = 0;
    std::uint64_t system = 0;
    if (!(rest >> user >> system)) {
        return std::nullopt;
    }
    return std::make_pair(user, system);
}

std::optional<std::uint64_t> ParseStatusField(const std::string& status, const std::string& name) {
    std::istringstream lines(status);
    std::string line;
    const std::string key = name + ":";
    while (std::getline(lines, line)) {
        if (line.compare(0, key.size(), key) != 0) {
            continue;
        }
        std::istringstream value(line.substr(key.size()));
        std::uint64_t kb = 0;
        std::string unit;
        if (!(value >> kb >> unit) || unit != "kB") {
            return std::nullopt;
        }
        return kb * 1024;
    }
    return std::nullopt;
}

std::optional<ProcessUsage> ReadProcessUsage(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/";
    const auto stat = ReadText(dir + "stat");
    const auto status = ReadText(dir + "status");
    if (!stat || !status) {
        return std::nullopt;
    }
    const auto times = ParseStatTimes(*stat);
    const auto anonymous = ParseStatusField(*status, "RssAnon");
    const auto peak = ParseStatusField(*status, "VmHWM");
    if (!times || !anonymous || !peak) {
        return std::nullopt;
    }
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    ProcessUsage u;
    u.userSeconds = static_cast<double>(times->first) / tick;
    u.systemSeconds = static_cast<double>(times->second) / tick;
    u.anonymousBytes = *anonymous;
    u.peakBytes = *peak;
    return u;
}

std::map<int, ThreadTime> ReadThreadTimes(pid_t pid) {
    std::map<int, ThreadTime> out;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::error_code ec;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& entry : std::filesystem::directory_iterator(tasks, ec)) {
        const auto stat = ReadText((entry.path() / "stat").string());
        const auto name = ReadText((entry.path() / "comm").string());
        const auto times = stat ? ParseStatTimes(*stat) : std::nullopt;
        if (!times || !name) {
            continue; // ended meanwhile
        }
        ThreadTime t;
        t.name = name->substr(0, name->find('\n'));
        t.userSeconds = static_cast<double>(times->first) / tick;
        t.systemSeconds = static_cast<double>(times->second) / tick;
        out[std::atoi(entry.path().filename().c_str())] = t;
    }
    return out;
}

bool ResetPeakMemory(pid_t pid) {
    std::ofstream out("/proc/" + std::to_string(pid) + "/clear_refs");
    out << "5";
    out.flush();
    return static_cast<bool>(out);
}
