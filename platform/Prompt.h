#pragma once

#include <QString>

class QWidget;

// Everything the program asks of the user or hands to the desktop goes through here, so
// tests can answer from a script and record what was asked.
class Prompt {
public:
    enum class Buttons { Ok, YesNo };
    enum class Answer { Ok, Yes, No };

    virtual ~Prompt() = default;

    // A modal message box with the caption AppName().
    virtual Answer messageBox(QWidget* owner, const QString& text, Buttons buttons) = 0;
    // The chosen folder's path, or an empty text when the user cancelled.
    virtual QString chooseFolder(QWidget* owner, const QString& title) = 0;
    // Opens a page or folder for the user and returns at once; false when nothing was started.
    virtual bool openExternal(const QString& target) = 0;
};
