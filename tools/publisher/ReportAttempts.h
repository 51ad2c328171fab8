#pragma once

#include <chrono>
#include <iterator>
#include <map>
#include <string>

namespace publisher {

// Numbers each arrival of a statistics report. A client sends a report again right after a
// failed attempt, so the same query within kRepeatWindow of its last arrival is the next attempt
// of that report; after a longer gap it is a new report (a progress report with unchanged
// figures comes again only after 5 minutes).
class ReportAttempts {
public:
    using Time = std::chrono::steady_clock::time_point;
    static constexpr std::chrono::seconds kRepeatWindow{120};

    // The attempt number of this arrival, from 1.
    int arrived(const std::string& query, Time now) {
        for (auto it = last_.begin(); it != last_.end();) {
            it = now - it->second.at > kRepeatWindow ? last_.erase(it) : std::next(it);
        }
        Last& last = last_[query];
        last.attempt += 1;
        last.at = now;
        return last.attempt;
    }

private:
    struct Last {
        Time at;
        int attempt = 0;
    };
    std::map<std::string, Last> last_;
};

} // namespace publisher
