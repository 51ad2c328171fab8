#include "StatisticsLine.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "PercentDecoding.h"

namespace publisher {

namespace {

void appendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    out += '"';
}

std::vector<std::pair<std::string, std::string>> splitQuery(const std::string& rawQuery) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t start = 0;
    while (start <= rawQuery.size() && !rawQuery.empty()) {
        std::size_t end = rawQuery.find('&', start);
        if (end == std::string::npos) {
            end = rawQuery.size();
        }
        const std::string item = rawQuery.substr(start, end - start);
        if (!item.empty()) {
            const std::size_t eq = item.find('=');
            out.emplace_back(DecodePercent(item.substr(0, eq)),
                             eq == std::string::npos ? "" : DecodePercent(item.substr(eq + 1)));
        }
        start = end + 1;
    }
    return out;
}

} // namespace

std::string StatisticsJsonLine(const std::string& rawQuery, const std::string& utcTime,
                               int attempt) {
    const auto params = splitQuery(rawQuery);
    std::string line = "{\"time\":";
    appendJsonString(line, utcTime);
    line += ",\"attempt\":" + std::to_string(attempt);
    line += ",\"stType\":";
    auto type = std::find_if(params.begin(), params.end(),
                             [](const auto& p) { return p.first == "stType"; });
    appendJsonString(line, type == params.end() ? std::string() : type->second);
    for (const auto& [key, value] : params) {
        if (key == "stType") {
            continue;
        }
        line += ',';
        appendJsonString(line, key);
        line += ':';
        appendJsonString(line, value);
    }
    line += '}';
    return line;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

} // namespace publisher
