#pragma once

#include <QString>

#include "platform/Prompt.h"

// Chooses the given folder when asked, answers every message box with its first button, and
// opens nothing.
class BenchPrompt final : public Prompt {
public:
    explicit BenchPrompt(QString folder) : folder_(std::move(folder)) {}

    Answer messageBox(QWidget*, const QString&, Buttons buttons) override {
        ++messages;
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
    QString chooseFolder(QWidget*, const QString&) override { return folder_; }
    bool openExternal(const QString&) override { return false; }

    int messages = 0;

private:
    QString folder_;
};
