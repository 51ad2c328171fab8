#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// Watches a bus as a desktop would: records every launcher-entry Update signal, and, when asked
// to, serves the notification service and records every Notify call it answers.
class DesktopWatch : public QObject {
    Q_OBJECT
public:
    struct LauncherUpdate {
        QString path;
        QString appUri;
        std::optional<double> progress;
        std::optional<bool> visible;
    };
    struct Notification {
        QString appName;
        uint replacesId = 0;
        QString icon, summary, body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };

    DesktopWatch(const QString& address, bool serveNotifications);
    ~DesktopWatch() override;

    // Connected, and the notification service's name held when asked for.
    bool ready() const { return ready_; }

    // Signals arrive through the event loop, on the watch's own thread.
    std::vector<LauncherUpdate> updates;
    // Calls are answered on the bus connection's thread; this takes a copy.
    std::vector<Notification> notifications() const;

private slots:
    void onUpdate(const QDBusMessage& message);

private:
    class NotificationService final : public QDBusVirtualObject {
    public:
        explicit NotificationService(DesktopWatch& watch) : watch_(watch) {}
        QString introspect(const QString& path) const override;
        bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

    private:
        DesktopWatch& watch_;
    };

    mutable std::mutex mutex_;
    std::vector<Notification> notifications_;
    QString name_;
    QDBusConnection bus_;
    NotificationService service_{*this};
    bool ready_ = false;
};
