#pragma once

#include <vector>

#include <QString>

#include "platform/Desktop.h"

// Records what the program shows on the desktop, in order: a percentage, -1 for a cleared
// taskbar entry, and the notifications.
class RecordingDesktop final : public Desktop {
public:
    static constexpr int kCleared = -1;
    std::vector<int> progress;
    std::vector<QString> notices;

    void ShowProgress(int percent) override { progress.push_back(percent); }
    void ClearProgress() override { progress.push_back(kCleared); }
    void Notify(const QString& summary, const QString& body) override {
        notices.push_back(summary + QStringLiteral(" / ") + body);
    }
};
