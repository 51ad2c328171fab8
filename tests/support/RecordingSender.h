#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "net/ReportSender.h"

// Records every report instead of sending it; a report sent in the foreground gets no answer.
class RecordingSender final : public ReportSender {
public:
    void sendInBackground(QString url) override { background.push_back(std::move(url)); }
    bool send(const QString& url, char*, std::uint32_t) override {
        foreground.push_back(url);
        return false;
    }

    std::vector<QString> background;
    std::vector<QString> foreground;
};
