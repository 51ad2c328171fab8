#pragma once

#include <QString>

// What the program shows outside its own window: the progress on its taskbar or dock entry and
// desktop notifications. The window's parts talk to this, so tests can record what was shown.
class Desktop {
public:
    virtual ~Desktop() = default;

    // Shows a whole percentage, 0 to 100, on the program's taskbar entry.
    virtual void ShowProgress(int percent) = 0;
    // Takes the progress off the taskbar entry.
    virtual void ClearProgress() = 0;
    // One notification with the program's name and icon.
    virtual void Notify(const QString& summary, const QString& body) = 0;
};

// Shows nothing anywhere: for a desktop that offers none of it, and for callers that need none.
class SilentDesktop final : public Desktop {
public:
    void ShowProgress(int) override {}
    void ClearProgress() override {}
    void Notify(const QString&, const QString&) override {}

    static Desktop& Instance() {
        static SilentDesktop silent;
        return silent;
    }
};
