#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

#include "net/ReportSender.h"

// Records every report instead of sending it; a report sent in the foreground gets no answer,
// and a fetch fails.
class RecordingSender final : public ReportSender {
public:
    void sendInBackground(QString url) override { background.push_back(std::move(url)); }
    bool send(const QString& url, char*, std::uint32_t, std::chrono::milliseconds limit) override {
        foreground.push_back(url);
        limits.push_back(limit);
        return false;
    }
    std::optional<std::uint32_t> fetch(const QString& url, char*, std::uint32_t,
                                       std::chrono::milliseconds limit) override {
        fetched.push_back(url);
        limits.push_back(limit);
        return std::nullopt;
    }
    void stop() override { stopped = true; }

    std::vector<QString> background;
    std::vector<QString> foreground;
    std::vector<QString> fetched;
    // The limit of each foreground request, in order.
    std::vector<std::chrono::milliseconds> limits;
    bool stopped = false;
};
