#pragma once

#include <QDBusConnection>

#include "platform/Desktop.h"
#include "platform/DesktopNotifier.h"
#include "platform/LauncherEntry.h"

// The desktop as the session bus reaches it: the launcher entry for the taskbar progress and
// the notification service, both under the program's desktop file id "kestrel".
class DBusDesktop final : public Desktop {
public:
    explicit DBusDesktop(const QDBusConnection& bus);

    void ShowProgress(int percent) override { launcher_.SetProgress(percent); }
    void ClearProgress() override { launcher_.HideProgress(); }
    void Notify(const QString& summary, const QString& body) override {
        notifier_.Notify(summary, body);
    }

private:
    LauncherEntry launcher_;
    DesktopNotifier notifier_;
};
