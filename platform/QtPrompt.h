#pragma once

#include "platform/Prompt.h"

// The production prompt: Qt's message box and folder dialog, and xdg-open for pages and folders.
class QtPrompt final : public Prompt {
public:
    Answer messageBox(QWidget* owner, const QString& text, Buttons buttons) override;
    QString chooseFolder(QWidget* owner, const QString& title) override;
    bool openExternal(const QString& target) override;
};
