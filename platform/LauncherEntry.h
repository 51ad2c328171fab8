#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

// The progress on a taskbar or dock entry, as the launcher-entry D-Bus signal carries it: docks
// and task managers listen for it on the session bus and match it to the entry by the desktop
// file id. Signals go out whether or not anyone listens; without a bus nothing is sent.
class LauncherEntry {
public:
    static constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
    static constexpr const char* kPath = "/com/emberway/Kestrel/LauncherEntry";

    // desktopFileId names the entry, for example "kestrel.desktop".
    LauncherEntry(QDBusConnection bus, const QString& desktopFileId);

    // percent from 0 to 100.
    void SetProgress(int percent);
    void HideProgress();

private:
    void Update(const QVariantMap& properties);

    QDBusConnection bus_;
    // "application://" followed by the desktop file id: the entry every signal names.
    QString appUri_;
};
