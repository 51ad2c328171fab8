#include "platform/DesktopNotifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QString appName, QString iconName,
                                 QString desktopEntry)
    : bus_(std::move(bus)), appName_(std::move(appName)), iconName_(std::move(iconName)),
      desktopEntry_(std::move(desktopEntry)) {}

void DesktopNotifier::Notify(const QString& summary, const QString& body) {
    if (!bus_.isConnected()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kService), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopEntry_}};
    // replaces_id 0: a new notification; expire_timeout -1: the server's own default.
    call << appName_ << quint32(0) << iconName_ << summary << body << QStringList() << hints
         << qint32(-1);
    bus_.send(call);
}
