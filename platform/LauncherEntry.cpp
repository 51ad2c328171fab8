#include "platform/LauncherEntry.h"

#include <algorithm>

#include <QDBusMessage>

LauncherEntry::LauncherEntry(QDBusConnection bus, const QString& desktopFileId)
    : bus_(std::move(bus)), appUri_(QStringLiteral("application://") + desktopFileId) {}

void LauncherEntry::SetProgress(int percent) {
    // The signal carries a fraction from 0 to 1.
    const double fraction = std::clamp(percent, 0, 100) / 100.0;
    Update({{QStringLiteral("progress"), fraction}, {QStringLiteral("progress-visible"), true}});
}

void LauncherEntry::HideProgress() {
    Update({{QStringLiteral("progress"), 0.0}, {QStringLiteral("progress-visible"), false}});
}

void LauncherEntry::Update(const QVariantMap& properties) {
    if (!bus_.isConnected()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kPath), QString::fromLatin1(kInterface), QStringLiteral("Update"));
    signal << appUri_ << properties;
    bus_.send(signal);
}
