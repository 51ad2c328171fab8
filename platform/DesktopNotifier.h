#pragma once

#include <QDBusConnection>
#include <QString>

// Desktop notifications through the notification service on the session bus. The call does not
// wait for the answer: a desktop without the service answers with an error, which is dropped,
// and without a bus nothing is sent.
class DesktopNotifier {
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    // appName and iconName go with every notification; desktopEntry ("kestrel") ties it to the
    // program's desktop entry.
    DesktopNotifier(QDBusConnection bus, QString appName, QString iconName, QString desktopEntry);

    void Notify(const QString& summary, const QString& body);

private:
    QDBusConnection bus_;
    QString appName_;
    QString iconName_;
    QString desktopEntry_;
};
