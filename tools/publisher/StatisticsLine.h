#pragma once

#include <string>

namespace publisher {

// One statistics report as a JSON line: time (UTC, ISO 8601), the attempt number (see
// ReportAttempts), stType, then every query parameter in the order sent, each percent-decoded
// (the time stamps' blanks travel as %20). No line break at the end.
std::string StatisticsJsonLine(const std::string& rawQuery, const std::string& utcTime,
                               int attempt);

// The time now as the statistics log writes it: UTC, ISO 8601, to the second.
std::string UtcNow();

} // namespace publisher
